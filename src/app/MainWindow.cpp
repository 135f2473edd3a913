#include "MainWindow.h"

#include "Database.h"
#include "DialogService.h"
#include "EndSignals.h"
#include "Global.h"
#include "JetImport.h"
#include "Paths.h"
#include "AppIcon.h"
#include "Fonts.h"
#include "HelpWindow.h"
#include "PrinterSettings.h"
#include "Splash.h"
#include "StartWindow.h"
#include "Twips.h"
#include "WindowFactory.h"

#include <QAction>
#include <QFileInfo>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QProgressDialog>
#include <QSessionManager>
#include <QStyle>

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace tessaly {

static htmlCrtMain::PrintHandler &printHandler()
{
    static htmlCrtMain::PrintHandler h;
    return h;
}

void htmlCrtMain::setPrintHandler(PrintHandler handler)
{
    printHandler() = std::move(handler);
}

htmlCrtMain::htmlCrtMain(Global &g, DialogService &dialogs, PrinterSettings &printer, QWidget *parent)
    : QMainWindow(parent), m_g(g), m_dialogs(dialogs), m_printer(printer)
{
    InstallJapaneseFontFallback();
    setObjectName(QStringLiteral("htmlCrtMain"));
    setWindowTitle(QStringLiteral("Tessaly"));
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MDIClient"));
    m_mdi->viewport()->installEventFilter(this);
    setCentralWidget(m_mdi);
    buildMenus();
    m_ownMenus = menuBar()->actions();
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &htmlCrtMain::updateMenuBar);
    qApp->installEventFilter(this);  // F1 anywhere opens the help
    m_endHandler = [] {
        std::fflush(nullptr);
        ::_exit(0);
    };
}

htmlCrtMain::~htmlCrtMain()
{
    qApp->removeEventFilter(this);
    // The children close after this part of the window has gone.
    disconnect(m_mdi, nullptr, this, nullptr);
    delete m_help;
}

void htmlCrtMain::updateMenuBar()
{
    // Null while the frame itself is inactive: the current child stays current.
    QMdiSubWindow *sub = m_mdi->currentSubWindow();
    QWidget *child = sub ? sub->widget() : nullptr;
    auto *childBar = child ? child->findChild<QMenuBar *>(QStringLiteral("menuBar"), Qt::FindDirectChildrenOnly)
                           : nullptr;
    const QList<QAction *> menus = childBar ? childBar->actions() : m_ownMenus;
    if (menuBar()->actions() == menus)
        return;
    for (QAction *a : menuBar()->actions())
        menuBar()->removeAction(a);
    menuBar()->addActions(menus);
}

static QAction *addItem(QMenu *menu, const char *name, const char *caption)
{
    QAction *a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromUtf8(name));
    return a;
}

static QAction *addLine(QMenu *menu, const char *name)
{
    QAction *a = addItem(menu, name, "----------------");
    a->setEnabled(false);
    return a;
}

void htmlCrtMain::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    file->setObjectName(QStringLiteral("ファイル"));
    connect(addItem(file, "新規作成", "新規作成"), &QAction::triggered, this, &htmlCrtMain::newLibrary);
    connect(addItem(file, "開く", "開く"), &QAction::triggered, this, &htmlCrtMain::openLibrary);
    addLine(file, "line0");
    connect(addItem(file, "用紙設定", "用紙設定"), &QAction::triggered, this,
            [this] { showWindow(QStringLiteral("prtPaperF")); });
    addItem(file, "印刷", "印刷");  // has no action in the main window
    connect(addItem(file, "終了", "終了"), &QAction::triggered, this, &htmlCrtMain::quit);

    m_editMenu = menuBar()->addMenu(QStringLiteral("編集"));
    m_editMenu->setObjectName(QStringLiteral("編集"));
    connect(addItem(m_editMenu, "データ編集", "データ編集"), &QAction::triggered, this,
            [this] { showWindow(QStringLiteral("dataSet")); });
    connect(addItem(m_editMenu, "基準", "基準フォルダ設定"), &QAction::triggered, this,
            [this] { showWindow(QStringLiteral("topFolderF")); });
    connect(addItem(m_editMenu, "出力先", "HTML出力先"), &QAction::triggered, this,
            [this] { showWindow(QStringLiteral("htmlOut")); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ"));
    help->setObjectName(QStringLiteral("ヘルプ"));
    connect(addItem(help, "ヘルプ1", "ヘルプ"), &QAction::triggered, this, &htmlCrtMain::showHelp);
    connect(addItem(help, "このソフトについて", "このソフトについて"), &QAction::triggered, this,
            &htmlCrtMain::showAbout);
}

QAction *htmlCrtMain::action(const QString &objectName) const
{
    // Child windows carry items of the same names (印刷, データ編集, ...) inside the frame.
    return menuBar()->findChild<QAction *>(objectName);
}

void htmlCrtMain::startUp()
{
    showWindow(QStringLiteral("frmOpen"));

    m_printer.RememberSettings();
    m_g.savedPaperSize = m_printer.GetPrinterPaperSize();
    m_g.savedOrientation = m_printer.GetPrinterOrientation();
    m_g.printerUnavailable = m_g.savedPaperSize == -1 || m_g.savedOrientation == -1;
    if (m_g.printerUnavailable) {
        action(QStringLiteral("用紙設定"))->setEnabled(false);
        action(QStringLiteral("印刷"))->setEnabled(false);
    }

    m_g.dbConnectString.clear();
    EnableLibraryMenus();
    resize(twipsToPixels(12480, 9500));
}

void htmlCrtMain::EnableLibraryMenus()
{
    const bool open = !m_g.dbConnectString.isEmpty();
    for (const char *name : {"データ編集", "基準", "出力先"})
        action(QString::fromUtf8(name))->setEnabled(open);
}

void htmlCrtMain::enableLibraryMenus()
{
    EnableLibraryMenus();
}

void htmlCrtMain::setLibraryCaption(const QString &caption)
{
    setWindowTitle(caption);
    // Open windows show the library that is now open; the start window has done its part.
    for (const char *name : {"dataSet", "topFolderF", "htmlOut"})
        if (QWidget *w = findWindow(QString::fromLatin1(name)))
            QMetaObject::invokeMethod(w, "libraryChanged");
    // A file that turned out to be no library leaves the user the start window's buttons.
    auto *start = qobject_cast<frmOpen *>(findWindow(QStringLiteral("frmOpen")));
    if (!start)
        return;
    try {
        CheckLibraryFile(ConnectStringPath(m_g.dbConnectString));
    } catch (const DbError &) {
        return;
    }
    start->dismiss();
}

void htmlCrtMain::showEditor()
{
    showWindow(QStringLiteral("dataSet"));
}

void htmlCrtMain::showOutputFolderWindow()
{
    showWindow(QStringLiteral("htmlOut"));
}

void htmlCrtMain::showBaseFolderWindow()
{
    showWindow(QStringLiteral("topFolderF"));
}

namespace {

// While a long step runs only its progress box takes input, also before the box shows:
// no menu, key or button of the frame or its windows may start a second step or close
// the library. Installed on the application last, so it sees input before the windows'
// own filters (the editor's keys); it goes with the box.
class LongStepInputGuard : public QObject {
public:
    LongStepInputGuard(QWidget *frame, QProgressDialog *box) : QObject(box), m_frame(frame), m_box(box)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Shortcut:  // menu items' keys, sent to the actions
            return !inBox(watched);
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return !inBox(watched) && inFrame(watched);
        default:
            return false;
        }
    }

private:
    bool inBox(QObject *o) const
    {
        auto *w = qobject_cast<QWidget *>(o);
        return w && (w == m_box || m_box->isAncestorOf(w));
    }
    bool inFrame(QObject *o) const
    {
        auto *w = qobject_cast<QWidget *>(o);
        return w && (w == m_frame || m_frame->isAncestorOf(w));
    }
    QWidget *m_frame;
    QProgressDialog *m_box;
};

}  // namespace

void htmlCrtMain::showProgress(const QString &label, qint64 done, qint64 total)
{
    if (!m_progress) {
        m_progress = new QProgressDialog(this);
        m_progress->setObjectName(QStringLiteral("libraryProgress"));
        m_progress->setWindowTitle(QStringLiteral("データベースを開く"));
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setCancelButtonText(QStringLiteral("中止"));
        m_progress->setAutoReset(false);
        m_progress->setAutoClose(false);
        // The bar is set directly and the box shown by a timer of its own: the dialog's
        // setValue processes events itself once a modal box is up, inside our caller.
        m_progressBar = new QProgressBar(m_progress);
        m_progress->setBar(m_progressBar);
        auto *showLater = new QTimer(m_progress);
        showLater->setSingleShot(true);
        connect(showLater, &QTimer::timeout, m_progress, &QWidget::show);
        showLater->start(300);
        new LongStepInputGuard(this, m_progress);
        m_progressCancelled = false;
        connect(m_progress, &QProgressDialog::canceled, this, [this] { m_progressCancelled = true; });
    }
    m_progress->setLabelText(label);
    const qint64 scale = qMax<qint64>(1, total / INT_MAX + 1);  // counts from a file may pass int
    m_progressBar->setMaximum(int(qMax<qint64>(total, 1) / scale));
    m_progressBar->setValue(int(qBound<qint64>(0, done, total) / scale));
}

void htmlCrtMain::hideProgress()
{
    // Deleted, not hidden: a hidden progress dialog shows itself again on its timer.
    delete m_progress;
}

bool htmlCrtMain::progressCancelled()
{
    return m_progressCancelled;
}

QMdiSubWindow *htmlCrtMain::subWindowOf(QWidget *window) const
{
    for (QMdiSubWindow *sub : m_mdi->subWindowList())
        if (sub->widget() == window)
            return sub;
    return nullptr;
}

QWidget *htmlCrtMain::findWindow(const QString &name) const
{
    if (name == QLatin1String("HelpWork"))
        return m_help;
    for (QMdiSubWindow *sub : m_mdi->subWindowList())
        if (sub->widget() && sub->widget()->objectName() == name)
            return sub->widget();
    return nullptr;
}

QWidget *htmlCrtMain::createWindow(const QString &name)
{
    if (name == QLatin1String("frmOpen"))
        return new frmOpen(m_g, m_dialogs, *this);
    return CreateChildWindow(name, *this);
}

void htmlCrtMain::ShowChildWindow(QWidget *window, int widthTwips, int heightTwips)
{
    QMdiSubWindow *sub = subWindowOf(window);
    if (!sub) {
        // The windows are laid out at fixed places: they do not grow with the frame.
        sub = m_mdi->addSubWindow(window, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        // Its menus show in the frame's bar while it is the current child.
        if (auto *bar = window->findChild<QMenuBar *>(QStringLiteral("menuBar"), Qt::FindDirectChildrenOnly))
            bar->hide();
        connect(sub, &QObject::destroyed, this,
                [this] { QMetaObject::invokeMethod(this, &htmlCrtMain::updateMenuBar, Qt::QueuedConnection); });
        sub->setWindowIcon(AppIcon());
        window->setAttribute(Qt::WA_DeleteOnClose);
        // A window that closes itself takes its frame along.
        connect(window, &QObject::destroyed, sub, &QMdiSubWindow::close);
        if (widthTwips > 0 && heightTwips > 0)
            sub->resize(twipsToPixels(widthTwips, heightTwips));
        // New windows cascade from the top-left corner, so a large one (the editor)
        // fits the frame instead of going where the free space happens to be. The start
        // window (the frameless one) closes as the window it opens appears.
        int open = 0;
        for (QMdiSubWindow *other : m_mdi->subWindowList())
            open += other != sub && other->isVisible() && other->widget() && other->widget()->isVisible()
                    && !other->windowFlags().testFlag(Qt::FramelessWindowHint);
        const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub);
        sub->move(step * open, step * open);
        sub->show();
        window->show();
    } else {
        if (sub->isMinimized() || sub->isShaded())
            sub->showNormal();
        if (!sub->isMaximized() && widthTwips > 0 && heightTwips > 0)
            sub->resize(twipsToPixels(widthTwips, heightTwips));
    }
    m_mdi->setActiveSubWindow(sub);
    sub->raise();
    updateMenuBar();
}

QWidget *htmlCrtMain::showWindow(const QString &name)
{
    // A window that opens another one from its closing handling (the folder windows
    // open the editor) must not keep the frame from closing.
    if (m_closing)
        return nullptr;
    QWidget *w = findWindow(name);
    const bool loaded = w != nullptr;
    if (!w)
        w = createWindow(name);
    if (!w)
        return nullptr;
    w->setObjectName(name);
    if (name == QLatin1String("frmOpen")) {
        if (!loaded) {
            QMdiSubWindow *sub = m_mdi->addSubWindow(w, Qt::SubWindow | Qt::FramelessWindowHint);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            w->setAttribute(Qt::WA_DeleteOnClose);
            connect(w, &QObject::destroyed, sub, &QMdiSubWindow::close);
            w->setFixedSize(twipsToPixels(4260, 1500));
            sub->adjustSize();
            sub->show();
        }
        m_mdi->setActiveSubWindow(subWindowOf(w));
        return w;
    }
    const QSize size = StandardWindowSizeTwips(name);
    ShowChildWindow(w, size.width(), size.height());
    return w;
}

bool htmlCrtMain::openNamedLibrary(const QString &path)
{
    // A file named from outside that is no library is told and leaves everything as it was.
    const QString full = QFileInfo(path).absoluteFilePath();
    if (m_progress)
        return false;
    if (IsNormalFile(full) && !IsJetFile(full)) {
        try {
            CheckLibraryFile(full);
        } catch (const DbError &e) {
            m_dialogs.message(e.message(), MsgKind::Critical, QStringLiteral("データベースを開く"), MsgButtons::Ok, this);
            return false;
        }
    }
    if (!OpenLibraryFile(m_g, m_dialogs, *this, full, true, this))
        return false;
    if (QWidget *start = findWindow(QStringLiteral("frmOpen")))
        start->close();
    return true;
}

void htmlCrtMain::showHelp()
{
    // A window of its own: closing it gives the focus back without activating a child
    // again (the editor would offer its auto-set once more).
    if (!m_help) {
        m_help = new HelpWork(m_g, this);
        m_help->setWindowFlag(Qt::Window);
        m_help->setAttribute(Qt::WA_DeleteOnClose);
        m_help->setWindowIcon(AppIcon());
        m_help->resize(twipsToPixels(9000, 7000));
        QRect place(QPoint(), m_help->size());
        place.moveCenter(frameGeometry().center());
        m_help->move(place.topLeft());
    }
    m_help->showFirstPage();
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void htmlCrtMain::showAbout()
{
    auto *s = new frmSplash(nullptr);
    s->setAttribute(Qt::WA_DeleteOnClose);
    s->showCentered();
}

void htmlCrtMain::endProgram()
{
    // 終了 ends at once, past every window's closing handling, but the user's printer
    // settings go back as on any other end.
    m_printer.RestoreSettings();
    if (m_endHandler)
        m_endHandler();
}

void htmlCrtMain::printWindowImage(QWidget *window)
{
    if (printHandler())
        printHandler()(window, m_printer);
}

void htmlCrtMain::newLibrary()
{
    if (!m_progress)
        CreateLibrary(m_g, m_dialogs, *this, true, this);
}

void htmlCrtMain::openLibrary()
{
    if (!m_progress)
        OpenLibrary(m_g, m_dialogs, *this, true, this);
}

bool htmlCrtMain::mayEnd()
{
    QWidget *editor = findWindow(QStringLiteral("dataSet"));
    bool end = true;
    if (editor)
        QMetaObject::invokeMethod(editor, "offerSaveBeforeEnd", Q_RETURN_ARG(bool, end));
    return end;
}

void htmlCrtMain::watchSessionEnd()
{
    new EndSignals(
        [this](int) {
            if (QWidget *editor = findWindow(QStringLiteral("dataSet")))
                QMetaObject::invokeMethod(editor, "keepPendingEdit");
            m_printer.RestoreSettings();
        },
        this);
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!manager.allowsInteraction()) {
            if (QWidget *editor = findWindow(QStringLiteral("dataSet")))
                QMetaObject::invokeMethod(editor, "keepPendingEdit");
            return;
        }
        const bool end = mayEnd();
        manager.release();
        if (!end)
            manager.cancel();
    });
#endif
}

void htmlCrtMain::quit()
{
    if (!m_progress && mayEnd() && m_dialogs.ask(QStringLiteral("終了しますか？"), MsgKind::Information, QStringLiteral("Quillmere"), this))
        endProgram();
}

void htmlCrtMain::closeEvent(QCloseEvent *event)
{
    if (m_progress) {  // a long step runs: it ends by itself or by its 中止
        event->ignore();
        return;
    }
    // Each child window gets its own closing handling first; one may refuse.
    m_closing = true;
    m_mdi->closeAllSubWindows();
    m_closing = false;
    if (!m_mdi->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    // The user's own settings as they were, also those the paper codes cannot say.
    m_printer.RestoreSettings();
    event->accept();
}

bool htmlCrtMain::event(QEvent *event)
{
    // The outer size includes the window manager's frame, known only once it is shown.
    const bool result = QMainWindow::event(event);
    if (!m_outerSizeSet && isVisible() && !isMaximized()
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        const QSize frame = frameGeometry().size() - geometry().size();
        if (!frame.isEmpty()) {
            m_outerSizeSet = true;
            resize(twipsToPixels(12480, 9500) - frame);
        }
    }
    return result;
}

bool htmlCrtMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_mdi->viewport() && event->type() == QEvent::ContextMenu) {
        m_editMenu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1) {
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && w->isWidgetType() && (w == this || isAncestorOf(w))) {
            showHelp();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessaly
