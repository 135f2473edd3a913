#pragma once
// Opening an existing library and creating one from the template "sys.1".
#include <QString>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

// What the windows do when a library is opened or created; the core calls these.
class LibraryHost {
public:
    virtual ~LibraryHost() = default;
    virtual void enableLibraryMenus() {}
    virtual void setLibraryCaption(const QString &) {}
    virtual void showEditor() {}
    virtual void showOutputFolderWindow() {}
    virtual void showBaseFolderWindow() {}
    // A long step (converting a Jet library): done of total rows so far. From the first
    // call until hideProgress the step runs its own event loop: the windows repaint but
    // take no command that could start another step or close the library.
    virtual void showProgress(const QString &, qint64, qint64) {}
    virtual void hideProgress() {}
    // The user asked to stop the long step.
    virtual bool progressCancelled() { return false; }
};

// Main window caption for a library file name: "Tessaly <lib.mdb>".
QString LibraryCaption(const QString &fileTitle);
// Full path of the template beside the program.
QString TemplatePath(const Global &g);

// Where the open and create dialogs start: the program's folder when the user can
// write there, else the open library's folder, else the home folder.
QString LibraryDialogFolder(const Global &g);

// Copies the template to dest, replacing dest atomically where the folder allows it,
// and checks the copy as a library. Only the name dest is replaced: a file it shares with
// other hard links keeps its bytes under them. A dest that is not a file is refused. On failure returns false
// and sets errorNumber (70 permission denied, 53 file not found, 76 path not found,
// 61 disk full, 75 other access error) and a description.
// A symbolic link is never written through: refused, with SymLinkRefusal's text.
bool CopyTemplate(const QString &templatePath, const QString &dest, int *errorNumber, QString *description);

// The refusal of a library name that is a symbolic link pointing to target.
QString SymLinkRefusal(const QString &path, const QString &target);

// fromMenu: started from the main window's menu (enables the library menu items).
// Both return true when a library became the open library.
bool OpenLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner = nullptr);
// The part of OpenLibrary after the dialog, for a file named otherwise (the command line).
bool OpenLibraryFile(Global &g, DialogService &ds, LibraryHost &host, const QString &path, bool enableMenus,
                     QObject *owner = nullptr);
bool CreateLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner = nullptr);

// True when path names the same file as the open library, also under another name.
bool IsOpenLibrary(const Global &g, const QString &path);

}  // namespace tessaly
