#pragma once
// The base folder window topFolderF and the output folder window htmlOut. Both share
// one frame: the path box with its browse and set buttons, the menu bar, the Esc
// question, the 編集 pop-up and the closing rule of the new-library set-up.
#include <QWidget>

#include "FolderSettings.h"

class QAction;
class QLineEdit;
class QMenu;

namespace tessaly {

class WindowHost;

// What distinguishes the two windows.
struct FolderWindowSetup {
    const char *name;     // window name
    const char *caption;  // window caption, also the 印刷 question's title
    const char *label1;
    const char *label2;
    int clientWidth, clientHeight;  // twips
    int label1Rect[4], allTopRect[4], command1Rect[4], label2Rect[4], command2Rect[4];  // twips
    const char *escQuestion;
    const char *escTitle;
    const char *closeQuestion;  // 閉じる, empty title
    const char *otherItem;      // 編集 item that opens the other folder window
    const char *otherCaption;
    const char *otherWindow;
    FolderLoad (*load)(Global &, DialogService &, QObject *);
    QString (*browse)(Global &, DialogService &, const QString &, QObject *);
    SaveResult (*save)(Global &, DialogService &, const QString &, const FolderLoad &, QObject *);
    bool (*closeOpensEditor)(const Global &);
};

class FolderWindow : public QWidget {
    Q_OBJECT
public:
    QLineEdit *pathBox() const { return m_allTop; }
    QMenu *editMenu() const { return m_editMenu; }
    QAction *action(const QString &objectName) const;

public slots:
    void browse();        // Command1 "参照"
    void save();          // Command2 "設定", menu 設定
    void askClose();      // menu 閉じる
    void askEnd();        // menu 終了
    void askPrint();      // menu 印刷
    // Another library was opened: the box shows that library's folder.
    void libraryChanged();

protected:
    FolderWindow(WindowHost &host, const FolderWindowSetup &setup, QWidget *parent);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

protected:
    WindowHost &m_host;

private:
    void buildMenus();
    void openInstead(const QString &name);  // opens another window, then closes this one

    const FolderWindowSetup &m_setup;
    QLineEdit *m_allTop = nullptr;
    QMenu *m_editMenu = nullptr;
    bool m_closed = false;
    QString m_library;  // the library the box was read from
    FolderLoad m_loaded;  // what the box was filled from; a save is made against it
};

// Base folder window.
class topFolderF final : public FolderWindow {
    Q_OBJECT
public:
    explicit topFolderF(WindowHost &host, QWidget *parent = nullptr);
};

// Output folder window.
class htmlOut final : public FolderWindow {
    Q_OBJECT
public:
    explicit htmlOut(WindowHost &host, QWidget *parent = nullptr);

public slots:
    void publish();  // menu 公開用にコピー

private:
    QAction *m_videos = nullptr;  // menu 公開用のコピーにビデオを入れる (checked)
};

}  // namespace tessaly
