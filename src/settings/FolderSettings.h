#pragma once
// The base folder (table allTop) and the output folder (table systemdir) as the two
// folder windows and the command-line tool read and save them, with the set-up
// sequence of a new library (isNewLibrary / folderSetupStage).
#include "Rebase.h"

#include <QString>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

struct FolderLoad {
    bool ok = false;  // false: the library could not be read (already reported)
    QString text;     // what the path box shows: the stored folder, empty when none (or a blank)
    QString stored;   // the field as read (null when Null): a window's save is made against it
};

// Reads the folder for the path box, adding the single row (ID 1) when it is missing.
FolderLoad LoadBaseFolder(Global &g, DialogService &ds, QObject *owner = nullptr);
FolderLoad LoadOutputFolder(Global &g, DialogService &ds, QObject *owner = nullptr);

// The folder browser started at the box's text; returns the text the box shows next
// (the chosen folder, or the current text when nothing was chosen).
QString BrowseBaseFolder(Global &g, DialogService &ds, const QString &current, QObject *owner = nullptr);
QString BrowseOutputFolder(Global &g, DialogService &ds, const QString &current, QObject *owner = nullptr);

enum class SaveOutcome {
    NoFolder,  // empty, relative, Windows form, a file, or a missing folder not made: told the user, nothing
               // stored; the window stays open
    Saved,     // stored; the window closes
    Failed,    // the library could not be written (already reported); the window stays open
    ChangedElsewhere,  // the stored folder is no longer what the window read: nothing
                       // written, told the user; `current` holds what is stored now
};

// A folder that does not exist: the question whether to make it, made at once, or refused.
enum class MissingFolder { Ask, Create, Refuse };

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::NoFolder;
    QString folder;    // the text judged and stored: blanks around it removed
    QString previous;  // the folder stored before (null when none)
    RebaseResult rebase;
    FolderLoad current;  // ChangedElsewhere: the folder stored now
};

// Stores the box's text without blanks around it; a relative folder, a folder in the
// Windows drive or share form and a file are refused, a missing folder is handled as
// `missing` says. The base folder also rewrites the stored paths when it
// moves, in the same transaction. While a new library is being set up, a save advances
// folderSetupStage.
SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, QObject *owner, MissingFolder missing);
SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner, MissingFolder missing);
// A missing folder is asked about.
SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, QObject *owner = nullptr);
SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner = nullptr);
// The windows' saves: as above, and written only while the stored folder is still the one
// the box was filled from (asLoaded), so a change made meanwhile by another program is
// never undone; otherwise ChangedElsewhere.
SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, const FolderLoad &asLoaded,
                          QObject *owner);
SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, const FolderLoad &asLoaded,
                            QObject *owner);

// 0 -> 1 -> 2 while isNewLibrary is set; 2 stays 2.
void AdvanceFolderSetupStage(Global &g);

// True when closing a folder window is to open the editor (both folders were saved
// in the set-up of a new library).
bool CloseBaseFolderWindow(const Global &g);
bool CloseOutputFolderWindow(const Global &g);

}  // namespace tessaly
