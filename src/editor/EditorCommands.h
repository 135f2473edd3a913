#pragma once
// The editor's commands: registering folders, the title's file, photo, flags and save,
// deleting level by level, the close question and the key map. They run against the
// window through EditorCommandView, so the window only holds the controls.
#include "EditorRecords.h"

#include <QString>
#include <QtGlobal>
#include <cstdint>

class QObject;

namespace tessaly {

class DbError;
struct Global;
class DialogService;

// Caption of f3 while a stored title is loaded.
extern const QString kUpdateCaption;  // "更新"

// What the commands need of the editor window.
class EditorCommandView {
public:
    enum class Control { TopFolder, YearFolder, IventsLink };

    virtual ~EditorCommandView() = default;
    virtual QObject *dialogOwner() = 0;

    // Status box MsgText; the window repaints it at once.
    virtual void showStatus(const QString &text) = 0;
    // Lets pending window messages run.
    virtual void processEvents() = 0;
    // How far a long command is: done units of total (-1: total unknown). The
    // indicator shows only while such a command runs.
    virtual void showProgress(const QString &unit, int done, int total) { Q_UNUSED(unit); Q_UNUSED(done); Q_UNUSED(total); }
    virtual void hideProgress() {}
    virtual void focusControl(Control c) = 0;

    // AllTop
    virtual QString baseFolderText() const = 0;

    // Category list topFolder with photoGFolder; selecting an entry runs the category choice.
    virtual int categoryIndex() const = 0;  // -1: none selected
    virtual int categoryCount() const = 0;
    virtual QString categoryItemText(int index) const = 0;
    virtual int32_t categoryItemKey(int index) const = 0;
    virtual void selectCategory(int index) = 0;
    // Selects an entry without running the category choice (-1: none).
    virtual void setCategoryIndex(int index) = 0;
    virtual void setCategoryText(const QString &text) = 0;
    virtual QString categoryFolderText() const = 0;
    virtual void setCategoryFolderText(const QString &text) = 0;

    // Genre list yearFolder with photoYFolder; selecting an entry runs the genre choice.
    virtual int genreIndex() const = 0;
    virtual int genreCount() const = 0;
    virtual QString genreItemText(int index) const = 0;
    virtual int32_t genreItemKey(int index) const = 0;
    virtual void selectGenre(int index) = 0;
    // Selects an entry without running the genre choice (-1: none).
    virtual void setGenreIndex(int index) = 0;
    virtual QString genreText() const = 0;
    virtual void setGenreText(const QString &text) = 0;
    virtual QString genreFolderText() const = 0;
    virtual void setGenreFolderText(const QString &text) = 0;
    virtual void clearGenreList() = 0;

    // Title entry area (fIvents* and the two check boxes) and the caption of f3.
    virtual TitleEntry titleEntry() const = 0;
    virtual void setTitleEntry(const TitleEntry &entry) = 0;
    virtual QString f3Caption() const = 0;
    virtual void setF3Caption(const QString &text) = 0;

    // The entry as the loaded title's row held it when it was read: a save or a deletion
    // goes ahead only while the row still holds it, and the entry differs from it once
    // the user edits.
    void setLoadedEntry(const TitleEntry &entry) { m_loaded = entry; }
    const TitleEntry &loadedEntry() const { return m_loaded; }
    // A loaded title whose entry holds edits not yet saved.
    bool entryChanged() const { return f3Caption() == kUpdateCaption && !(titleEntry() == m_loaded); }
    // A stored title shown for editing: the entry, the update mode and the title menus.
    void showLoadedTitle(Global &g, const TitleEntry &entry);

    // The window operations shared by the editor.
    virtual void FillCategoryList() = 0;
    virtual void FillGenreList() = 0;
    virtual void RefreshTitleGrid() = 0;
    virtual void ClearTitleEntry() = 0;
    virtual void EnableTitleMenus() = 0;
    virtual void DisableTitleMenus() = 0;

private:
    TitleEntry m_loaded;
};

// Keys of the editor, with or without Shift, Ctrl and Alt.
enum class EditorKeyAction {
    None,              // not ours: the key goes on
    Close,             // Esc: close sequence, key goes on
    Help,              // F1: nothing here, key goes on to the help handling
    Nothing,           // F2, F5, F11, and F3 with no title loaded: consumed
    SaveTitle,         // F3
    AutoSet,           // F4
    RegisterCategory,  // F6
    RegisterGenre,     // F7
    RegisterTitle,     // F8
    SelectFile,        // F9
    SelectPhoto,       // F10
    HtmlOutput,        // F12
};
struct EditorKeyDecision {
    EditorKeyAction action = EditorKeyAction::None;
    bool consumed = false;
};
// qtKey is a Qt::Key value.
EditorKeyDecision DecideEditorKey(int qtKey, int16_t titleEditMode);

class EditorCommands {
public:
    EditorCommands(Global &g, DialogService &ds, EditorCommandView &view) : m_g(g), m_ds(ds), m_v(view) {}

    // Registering folders.
    void RegisterCategoryFolder();
    void RegisterGenreFolder();
    void RegisterTitleFolder();

    // Title details.
    void SelectTitleFile();
    void SelectTitlePhoto();
    void TickLinkButton();   // menu linkButton
    void TickOpenButton();   // menu openButton
    void SaveTitleEntry();
    int16_t CheckTitleInput();  // -1 failed, 0 fine
    int16_t UpdateTitle();

    // Deleting.
    void DeleteCategoryCascade();
    void DeleteGenreCascade();
    void DeleteTitle();

    // The keys and buttons F6 to F10 with their status texts. fromMenu: the menu
    // items, which do not let pending messages run between the first text and the command.
    void RunCategoryFolderCommand();
    void RunGenreFolderCommand();
    void RunTitleFolderCommand(bool fromMenu = false);
    void RunSelectFileCommand(bool fromMenu = false);
    void RunSelectPhotoCommand(bool fromMenu = false);
    // The three delete buttons with their status texts.
    void RunDeleteCategory();
    void RunDeleteGenre();
    void RunDeleteTitle();

    // F12 and the menu item HTML出力: asks, then writes the site between two status texts.
    void RunHtmlOutput();

    void ShowDetachStatus();
    void ShowJoinStatus();

    // Close sequence: the save question while f3 reads "更新", then the end question.
    // True when the editor is to be unloaded.
    bool ConfirmClose();
    // Before a step replaces or empties the entry: while it holds edits, asks whether to
    // save them first. False when the step is to stop: cancelled (canCancel), or the save
    // did not go through and the entry is still there.
    bool OfferSaveBeforeReplacing(bool canCancel);
    // Another library has been opened: a title loaded from the library named by
    // connectString is offered for saving there first.
    void OfferSaveInto(const QString &connectString);
    // The program ends without a word (a signal): an entry with edits goes to a file
    // beside the library. True when one was kept.
    bool KeepPendingEdit();
    // An edit kept so at an earlier end is offered once the library shows: shown as
    // typed (not saved), or discarded.
    void OfferKeptEdit();

private:
    bool requireSelection(const QString &title, const QString &categoryText, const QString &genreText);
    bool prepareTitlePicker(const QString &title, TitleEntry &entry, QString &start);
    void selectCategoryByName(const QString &name);
    void selectGenreByName(const QString &name);
    void reportDbError(const QString &title, const QString &message);
    // A command between its two status texts; the progress indicator goes with it.
    void withStatus(const QString &before, const QString &after, bool letMessagesRun, void (EditorCommands::*command)());
    void deleteTitleAndRefresh();
    // The delete question, naming the entry it deletes.
    // The save question, asked while a title is loaded.
    bool askSave();
    bool askDelete(const QString &question, const QString &name, const QString &title);
    // outcome: what was not done, and what the user can do now.
    void showChangedElsewhere(const QString &title, const QString &outcome);
    // True (and told) when chosen is the folder of the level above itself.
    bool refuseOwnFolder(const QString &chosen, const QString &parent, const QString &parentLevel,
                         const QString &level, const QString &title);
    // A deletion that failed: nothing was deleted.
    void reportDeleteFailed(const QString &title, const DbError &e);
    // Counts steps of one command into the progress indicator.
    CountProgress counter(const QString &unit);

    Global &m_g;
    DialogService &m_ds;
    EditorCommandView &m_v;
};

}  // namespace tessaly
