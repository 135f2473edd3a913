#pragma once
// What every child window needs from the main window. The main window (htmlCrtMain)
// implements it; windows get it in their constructor.
#include <QString>

class QWidget;

namespace tessaly {

struct Global;
class DialogService;
class PrinterSettings;

class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual Global &global() = 0;
    virtual DialogService &dialogs() = 0;
    virtual PrinterSettings &printer() = 0;

    // ShowChildWindow by window name ("dataSet", "topFolderF", "htmlOut", "prtPaperF",
    // "frmOpen"): loads the window if needed, shows it as a child of the main window
    // with its outer size in twips from the menus' table, or brings it to the front.
    // Returns the window, or null for a name that has no window.
    virtual QWidget *showWindow(const QString &name) = 0;
    // The window of that name when it is loaded, else null.
    virtual QWidget *findWindow(const QString &name) const = 0;

    virtual void showHelp() = 0;   // the help document's first page
    virtual void showAbout() = 0;  // the splash window
    // Ends the program at once, without any window's closing handling.
    virtual void endProgram() = 0;
    // Before a 終了: an edit not yet saved is offered for saving. False when the program
    // is to stay (cancelled, or the save did not go through).
    virtual bool mayEnd() { return true; }
    // Prints an image of the window's client area on the default printer.
    virtual void printWindowImage(QWidget *window) = 0;
};

}  // namespace tessaly
