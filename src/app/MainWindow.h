#pragma once
// htmlCrtMain: the multiple-document frame. Every window but the splash is a child
// inside it; it owns start-up, the menus, the opening of windows and the end.
#include <QMainWindow>
#include <QPointer>

#include <functional>

#include "Library.h"
#include "WindowHost.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QProgressDialog;

namespace tessaly { class HelpWork; }

namespace tessaly {

class htmlCrtMain : public QMainWindow, public WindowHost, public LibraryHost {
    Q_OBJECT
public:
    htmlCrtMain(Global &g, DialogService &dialogs, PrinterSettings &printer, QWidget *parent = nullptr);
    ~htmlCrtMain() override;

    // Start-up steps 2 to 6: the start window, the printer state, the help document,
    // no library open, the window's size.
    void startUp();

    // WindowHost
    Global &global() override { return m_g; }
    DialogService &dialogs() override { return m_dialogs; }
    PrinterSettings &printer() override { return m_printer; }
    QWidget *showWindow(const QString &name) override;
    QWidget *findWindow(const QString &name) const override;
    void showHelp() override;
    void showAbout() override;
    void endProgram() override;
    bool mayEnd() override;
    void printWindowImage(QWidget *window) override;

    // LibraryHost
    void enableLibraryMenus() override;
    void setLibraryCaption(const QString &caption) override;
    void showEditor() override;
    void showOutputFolderWindow() override;
    void showBaseFolderWindow() override;
    void showProgress(const QString &label, qint64 done, qint64 total) override;
    void hideProgress() override;
    bool progressCancelled() override;

    // ShowChildWindow: shows the window as a child (loading it into the frame if
    // needed) and sets its outer size in twips; a shown window only comes to the front.
    void ShowChildWindow(QWidget *window, int widthTwips, int heightTwips);
    void EnableLibraryMenus();

    QMdiArea *mdiArea() const { return m_mdi; }
    QMenu *editMenu() const { return m_editMenu; }
    QAction *action(const QString &objectName) const;
    QMdiSubWindow *subWindowOf(QWidget *window) const;

    // From here on a logout asks about an edit as the close does, and SIGTERM, SIGHUP
    // and SIGINT end the run as a close would without asking: the printer settings go
    // back, an edit not yet saved is kept for the next start.
    void watchSessionEnd();
    // What ends the process; tests replace it.
    void setEndHandler(std::function<void()> handler) { m_endHandler = std::move(handler); }
    // How a window image is printed; the printing module installs it.
    using PrintHandler = std::function<void(QWidget *, PrinterSettings &)>;
    static void setPrintHandler(PrintHandler handler);

public slots:
    void newLibrary();   // 新規作成
    void openLibrary();  // 開く
    void quit();         // 終了
    // A library named on the command line; the start window closes only once it is
    // open, so a missing or bad file leaves the user its two buttons.
    bool openNamedLibrary(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildMenus();
    // The bar shows the current child's menus, or the frame's own when it has none.
    void updateMenuBar();
    QWidget *createWindow(const QString &name);

    Global &m_g;
    DialogService &m_dialogs;
    PrinterSettings &m_printer;
    QMdiArea *m_mdi = nullptr;
    QMenu *m_editMenu = nullptr;
    std::function<void()> m_endHandler;
    QPointer<QProgressDialog> m_progress;  // objectName "libraryProgress"; set while a long step runs
    QPointer<QProgressBar> m_progressBar;
    bool m_progressCancelled = false;
    bool m_closing = false;  // the child windows are being closed with the frame
    QList<QAction *> m_ownMenus;
    QPointer<HelpWork> m_help;
    bool m_outerSizeSet = false;  // the frame's outer size is set once it is known
};

}  // namespace tessaly
