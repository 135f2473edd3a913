#pragma once
// dataSet: the library editor window. It holds the controls, the menus and the grid;
// what they do is in EditorScreen (lists, grid, auto-set) and in the editor commands.
#include <QWidget>

#include "EditorScreen.h"
#include "EditorView.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableView;

namespace tessaly {

class EditorCommandBinder;
class WindowHost;

class dataSet : public QWidget, public EditorView {
    Q_OBJECT
public:
    explicit dataSet(WindowHost &host, QWidget *parent = nullptr);
    ~dataSet() override;

    EditorScreen &screen() { return m_screen; }
    WindowHost &host() { return m_host; }
    QAction *action(const QString &objectName) const;
    QMenu *editMenu() const { return m_editMenu; }
    QTableView *grid() const { return m_grid; }
    QComboBox *list(List which) const { return which == List::Category ? m_topFolder : m_yearFolder; }
    QLineEdit *field(Field which) const;
    QCheckBox *check(Check which) const;
    QLineEdit *statusBox() const { return m_msgText; }
    // Keys, buttons and menu items of the editor commands.
    EditorCommandBinder *binder() const { return m_binder; }

    // EditorView
    void clearList(List list) override;
    void addListEntry(List list, const QString &text, int32_t key) override;
    int listCount(List list) const override;
    QString listEntryText(List list, int position) const override;
    int32_t listEntryKey(List list, int position) const override;
    int listPosition(List list) const override;
    void setListPosition(List list, int position) override;
    QString listText(List list) const override;
    void setListText(List list, const QString &text) override;
    QString fieldText(Field field) const override;
    void setFieldText(Field field, const QString &text) override;
    int checkValue(Check check) const override;
    void setCheckValue(Check check, int value) override;
    void setTitleMenusEnabled(bool enabled) override;
    void layoutGrid() override;
    int gridTopRow() const override;
    void scrollGridTo(int row) override;
    void highlightGridRow(int row) override;

    // EditorCommandView
    QObject *dialogOwner() override { return this; }
    void showStatus(const QString &text) override;
    void showProgress(const QString &unit, int done, int total) override;
    void hideProgress() override;
    QWidget *progressIndicator() const { return m_progress; }
    void processEvents() override;
    void focusControl(Control c) override;
    QString f3Caption() const override;
    void setF3Caption(const QString &text) override;

public slots:
    // Window activation: the base folder text and the auto-set offer.
    void activate();
    // Menu item オートセット, F4 and f4: the auto-set run without ending the set-up.
    void autoSetCommand();
    // Another library was opened or created: offers to save an edit of the old one,
    // then shows the new one.
    void libraryChanged();
    // The program ends: the save question of an edit (false: stay), or, with no one
    // to ask, the edit kept for the next start.
    bool offerSaveBeforeEnd();
    bool keepPendingEdit();

protected:
    bool event(QEvent *e) override;
    // Every way of closing (Esc, 閉じる, the title bar, the main window) asks the same.
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus(QMenuBar *bar);
    void watchActivation();
    void subWindowActivated(QMdiSubWindow *sub);
    void userChoice(List which);
    void gridClicked(int row);

    WindowHost &m_host;
    EditorScreen m_screen;

    QWidget *m_client = nullptr;
    QLineEdit *m_allTop = nullptr;
    QComboBox *m_topFolder = nullptr;
    QLineEdit *m_photoGFolder = nullptr;
    QComboBox *m_yearFolder = nullptr;
    QLineEdit *m_photoYFolder = nullptr;
    QLineEdit *m_folderName = nullptr;
    QLineEdit *m_folder = nullptr;
    QLineEdit *m_html = nullptr;
    QLineEdit *m_link = nullptr;
    QLineEdit *m_photo = nullptr;
    QLineEdit *m_ivents = nullptr;
    QCheckBox *m_linkButton = nullptr;
    QCheckBox *m_htmlButton = nullptr;
    QTableView *m_grid = nullptr;
    QPushButton *m_f[12] = {};
    QLineEdit *m_msgText = nullptr;
    // Beside the status text while a long command runs: a bar and the count so far.
    QWidget *m_progress = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressText = nullptr;
    qint64 m_progressShownMs = 0;
    QMenu *m_editMenu = nullptr;
    EditorCommandBinder *m_binder = nullptr;

    QMdiSubWindow *m_sub = nullptr;  // the frame in the main window, once shown there
    QMetaObject::Connection m_activation;
    bool m_active = false;           // the active child window of the main window
    bool m_shownOnce = false;
    bool m_activating = false;
    QString m_library;               // the connection string the screen shows
    int m_chosen[2] = {-1, -1};      // the entry of each list chosen last, and its text
    QString m_chosenText[2];
};

}  // namespace tessaly
