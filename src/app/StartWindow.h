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

private:
    Global &m_g;
    DialogService &m_dialogs;
    LibraryHost &m_host;
};

}  // namespace tessaly
