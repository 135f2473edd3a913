#pragma once
// Ties the editor window's keys, function-key buttons, delete buttons and menu items to
// the editor commands. The window's key handler sees every key first (key preview); a
// button posts its key to the window, so a click and a key press run one code path.
// While a command runs the window takes no input.
#include <QObject>
#include <QPointer>

#include <functional>

#include "EditorCommands.h"

class QAction;
class QKeyEvent;
class QWidget;

namespace tessaly {

class WindowHost;

class EditorCommandBinder : public QObject {
    Q_OBJECT
public:
    // window: the editor (dataSet); view: the window's controls for the commands;
    // autoSet: the window's menu command オートセット (F4 leads to it too).
    EditorCommandBinder(QWidget *window, WindowHost &host, EditorCommandView &view, std::function<void()> autoSet);
    ~EditorCommandBinder() override;

    EditorCommands &commands() { return m_cmds; }
    bool isBusy() const { return m_busy > 0; }

    // Runs a command with the window kept from taking input until it returns.
    void runBusy(const std::function<void()> &command);
    // The close sequence's questions; true when the editor is to close.
    bool confirmClose();

public slots:
    void closeEditor();   // Esc and 閉じる: closes the window, which asks first
    void exitProgram();   // 終了
    void printWindow();   // 印刷
    void htmlOutput();    // F12 and HTML出力

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool inWindow(QObject *o) const;
    QWidget *keyTarget() const;
    bool handleKey(QKeyEvent *e);
    void runKeyAction(int action);
    void bindButtons();
    void bindMenus();
    QAction *menuItem(const char *name) const;

    QPointer<QWidget> m_window;
    WindowHost &m_host;
    EditorCommandView &m_view;
    EditorCommands m_cmds;
    std::function<void()> m_autoSet;
    int m_busy = 0;
    QPointer<QWidget> m_closeAfterRun;  // closed while a command ran
    int m_passingKey = 0;
};

}  // namespace tessaly
