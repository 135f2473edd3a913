#pragma once
#include <QWidget>

namespace tessaly {

struct Global;
class DialogService;
class LibraryHost;

// frmOpen: the start window with its two buttons; each runs its operation and then
// closes the window, whatever the outcome.
class frmOpen : public QWidget {
    Q_OBJECT
public:
    frmOpen(Global &g, DialogService &dialogs, LibraryHost &host, QWidget *parent = nullptr);
    // A library is open: the window goes away (at the end of its own button's run).
    void dismiss();

private:
    bool m_running = false;
    Global &m_g;
    DialogService &m_dialogs;
    LibraryHost &m_host;
};

}  // namespace tessaly
