#include "EditorCommandBinder.h"

#include "DialogService.h"
#include "Global.h"
#include "WindowHost.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTimer>
#include <QWidget>

namespace tessaly {

EditorCommandBinder::EditorCommandBinder(QWidget *window, WindowHost &host, EditorCommandView &view,
                                         std::function<void()> autoSet)
    : QObject(window),
      m_window(window),
      m_host(host),
      m_view(view),
      m_cmds(host.global(), host.dialogs(), view),
      m_autoSet(std::move(autoSet))
{
    // Installed on the application so the editor sees a key before its focused control.
    qApp->installEventFilter(this);
    bindButtons();
    bindMenus();
}

EditorCommandBinder::~EditorCommandBinder()
{
    qApp->removeEventFilter(this);
}

void EditorCommandBinder::runBusy(const std::function<void()> &command)
{
    {
        ++m_busy;
        struct Done {
            int &busy;
            ~Done() { --busy; }
        } done{m_busy};
        command();
    }
    // A close asked for while the command ran goes ahead now, with its questions.
    if (m_busy == 0 && m_closeAfterRun) {
        QPointer<QWidget> w = m_closeAfterRun;
        m_closeAfterRun = nullptr;
        QTimer::singleShot(0, w, [w] {
            if (w)
                w->close();
        });
    }
}

bool EditorCommandBinder::inWindow(QObject *o) const
{
    if (!m_window || !o || !o->isWidgetType())
        return false;
    auto *w = static_cast<QWidget *>(o);
    return w == m_window || m_window->isAncestorOf(w);
}

static bool isUserInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

bool EditorCommandBinder::eventFilter(QObject *watched, QEvent *event)
{
    if (m_busy > 0 && isUserInput(event->type()) && m_window && watched->isWidgetType()) {
        // The whole frame holding the editor waits; dialogs are windows of their own.
        auto *w = static_cast<QWidget *>(watched);
        if (w->window() == m_window->window()) {
            // Refused for now (a close left accepted would go ahead unasked); the
            // close sequence runs once the command has ended.
            if (event->type() == QEvent::Close) {
                event->ignore();
                if (!m_closeAfterRun || w == w->window())
                    m_closeAfterRun = w;
            }
            return true;
        }
    }
    // A key that goes on travels up to the parents as a copy; only its first delivery,
    // to the control with the focus, is the key press.
    if (event->type() == QEvent::KeyRelease)
        m_passingKey = 0;
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_passingKey != 0 && key->key() == m_passingKey)
            return false;
        if (watched == keyTarget())
            return handleKey(key);
    }
    return QObject::eventFilter(watched, event);
}

QWidget *EditorCommandBinder::keyTarget() const
{
    QWidget *focus = QApplication::focusWidget();
    return inWindow(focus) ? focus : m_window.data();
}

bool EditorCommandBinder::handleKey(QKeyEvent *e)
{
    // Shift, Ctrl and Alt are not looked at.
    const EditorKeyDecision d = DecideEditorKey(e->key(), m_host.global().titleEditMode);
    if (d.action != EditorKeyAction::None)
        runKeyAction(int(d.action));
    if (!d.consumed && d.action != EditorKeyAction::None) {
        // The key goes on to the parents; they must not run it again, even when the
        // command moved the focus. Cleared by the key's release or the next turn of the loop.
        m_passingKey = e->key();
        QTimer::singleShot(0, this, [this] { m_passingKey = 0; });
    }
    return d.consumed;
}

void EditorCommandBinder::runKeyAction(int action)
{
    using A = EditorKeyAction;
    switch (A(action)) {
    case A::None:
    case A::Help:     // the help-key handling of the frame shows the help
    case A::Nothing:
        return;
    case A::Close:
        closeEditor();
        return;
    case A::SaveTitle:
        runBusy([this] { m_cmds.SaveTitleEntry(); });
        return;
    case A::AutoSet:
        if (m_autoSet)
            runBusy(m_autoSet);
        return;
    case A::RegisterCategory:
        runBusy([this] { m_cmds.RunCategoryFolderCommand(); });
        return;
    case A::RegisterGenre:
        runBusy([this] { m_cmds.RunGenreFolderCommand(); });
        return;
    case A::RegisterTitle:
        runBusy([this] { m_cmds.RunTitleFolderCommand(); });
        return;
    case A::SelectFile:
        runBusy([this] { m_cmds.RunSelectFileCommand(); });
        return;
    case A::SelectPhoto:
        runBusy([this] { m_cmds.RunSelectPhotoCommand(); });
        return;
    case A::HtmlOutput:
        htmlOutput();
        return;
    }
}

void EditorCommandBinder::bindButtons()
{
    for (int i = 1; i <= 12; ++i) {
        auto *b = m_window->findChild<QAbstractButton *>(QStringLiteral("f%1").arg(i));
        if (!b)
            continue;
        const int key = Qt::Key_F1 + (i - 1);
        connect(b, &QAbstractButton::clicked, this, [this, key] {
            QCoreApplication::processEvents();
            // Sent like a typed key: to the control with the focus.
            if (QWidget *target = keyTarget())
                QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        });
    }
    const struct {
        const char *name;
        void (EditorCommands::*run)();
    } deletes[] = {{"del1", &EditorCommands::RunDeleteCategory},
                   {"del2", &EditorCommands::RunDeleteGenre},
                   {"del3", &EditorCommands::RunDeleteTitle}};
    for (const auto &d : deletes) {
        auto *b = m_window->findChild<QAbstractButton *>(QString::fromLatin1(d.name));
        if (!b)
            continue;
        auto run = d.run;
        connect(b, &QAbstractButton::clicked, this, [this, run] { runBusy([this, run] { (m_cmds.*run)(); }); });
    }
}

QAction *EditorCommandBinder::menuItem(const char *name) const
{
    return m_window->findChild<QAction *>(QString::fromUtf8(name));
}

void EditorCommandBinder::bindMenus()
{
    auto on = [this](const char *name, std::function<void()> f) {
        if (QAction *a = menuItem(name))
            connect(a, &QAction::triggered, this, [f = std::move(f)] { f(); });
    };
    on("閉じる", [this] { closeEditor(); });
    on("用紙設定", [this] { m_host.showWindow(QStringLiteral("prtPaperF")); });
    on("印刷", [this] { printWindow(); });
    on("終了", [this] { exitProgram(); });
    on("オートセット", [this] {
        if (m_autoSet)
            runBusy(m_autoSet);
    });
    on("フォルダ更新", [this] { runBusy([this] { m_cmds.RunTitleFolderCommand(true); }); });
    on("linkButton", [this] { m_cmds.TickLinkButton(); });
    on("openButton", [this] { m_cmds.TickOpenButton(); });
    on("ファイルの指定", [this] { runBusy([this] { m_cmds.RunSelectFileCommand(true); }); });
    on("写真の指定", [this] { runBusy([this] { m_cmds.RunSelectPhotoCommand(true); }); });
    on("HTML出力", [this] { htmlOutput(); });
    on("基準", [this] { m_host.showWindow(QStringLiteral("topFolderF")); });
    on("HTML出力先", [this] { m_host.showWindow(QStringLiteral("htmlOut")); });
    on("ヘルプ1", [this] { m_host.showHelp(); });
    on("このソフトについて", [this] { m_host.showAbout(); });
}

bool EditorCommandBinder::confirmClose()
{
    bool close = false;
    runBusy([this, &close] { close = m_cmds.ConfirmClose(); });
    return close;
}

void EditorCommandBinder::closeEditor()
{
    if (!m_window)
        return;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(m_window->parentWidget()))
        sub->close();
    else
        m_window->close();
}

void EditorCommandBinder::exitProgram()
{
    if (m_host.mayEnd() && m_host.dialogs().ask(QStringLiteral("終了しますか？"), MsgKind::Question, QString(), m_window))
        m_host.endProgram();
}

void EditorCommandBinder::printWindow()
{
    if (m_host.dialogs().ask(QStringLiteral("この画面を印刷しますか？"), MsgKind::Question, m_window->windowTitle(),
                             m_window))
        m_host.printWindowImage(m_window);
}

void EditorCommandBinder::htmlOutput()
{
    runBusy([this] { m_cmds.RunHtmlOutput(); });
}

}  // namespace tessaly
