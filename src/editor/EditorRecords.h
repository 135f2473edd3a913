#pragma once
// The editor's record operations on the library: registering categories, genres and
// titles, the look-ups that tell whether a folder is registered, loading and saving a
// title, and deleting rows level by level. GUI-free; the editor window feeds them the
// texts of its fields.
//
// Each operation opens its own connection from g.dbConnectString and closes it before
// it returns. Database failures throw DbError (a message fit for the user), except in
// the folder scans, which report the failure themselves and return a status.
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

// Caption of the boxes that report a failed folder scan.
extern const QString kAppTitle;  // "Tessaly"

// The title entry area of the editor: what is loaded, edited and saved.
struct TitleEntry {
    QString folderName;  // iventsFolderName
    QString folder;      // iventsFolder
    QString link;        // iventsLink
    QString html;        // iventsHTML
    QString ivents;      // Ivents (second copy of the chosen file)
    QString photo;       // iventsPhoto
    int linkButton = 0;  // check box state 0/1
    int htmlButton = 0;

    bool operator==(const TitleEntry &o) const
    {
        return folderName == o.folderName && folder == o.folder && link == o.link && html == o.html
               && ivents == o.ivents && photo == o.photo && linkButton == o.linkButton
               && htmlButton == o.htmlButton;
    }
};

// Which rows a scan covers: everything of one category, one genre, or one title.
struct EntrySelector {
    enum Kind { Category, Genre, Title } kind = Category;
    int32_t key = 0;
    static EntrySelector category(int32_t id) { return {Category, id}; }
    static EntrySelector genre(int32_t id1) { return {Genre, id1}; }
    static EntrySelector title(int32_t id2) { return {Title, id2}; }
};

// A stored Yes/No value as a check box state: a stored True (-1) ticks the box.
int CheckStateOf(int32_t stored);
// A stored title as the entry area shows it, every field from the row (Null reads as
// empty); value gives a field of the row by name.
TitleEntry TitleEntryOf(const std::function<QVariant(const QString &field)> &value);

// What the entry shows after another program rewrote its title: every field the user
// edited (edited differs from loaded there) as edited, the others as stored now.
TitleEntry EditsOver(const TitleEntry &edited, const TitleEntry &loaded, const TitleEntry &stored);

// --- record operations (throw DbError) ---

// Adds a category; currentCategoryId becomes the new ID.
void AddCategoryRow(Global &g, const QString &name, const QString &folder);
// True when no category has that name (currentCategoryId becomes 0); otherwise
// currentCategoryId becomes the first such category's ID.
bool CategoryNameMissing(Global &g, const QString &name);
// Adds a genre of category currentCategoryId; currentGenreId becomes the new ID1.
void AddGenreRow(Global &g, const QString &name, const QString &folder);
// True when no genre of any category has that folder.
bool GenreFolderMissing(Global &g, const QString &folder);
// Adds a title of the current category and genre; currentTitleId becomes the new ID2.
void AddTitleRow(Global &g, const QString &name, const QString &folder);
// True when the current genre has no title with that folder.
bool TitleFolderMissing(Global &g, const QString &folder);
// True when no title has that folder. Otherwise the first such title (one of the current
// genre first) becomes the entry, every field of it; currentTitleId becomes its ID2.
bool LoadTitleByFolder(Global &g, const QString &folder, TitleEntry &entry);
// The title with that ID2 as the entry; false when there is none.
bool LoadTitleById(const Global &g, int32_t titleId, TitleEntry &entry);

// What became of a write to a loaded title's row.
enum class TitleWrite {
    Written,
    Missing,           // no such row: nothing written
    ChangedElsewhere,  // the row no longer holds what was loaded: nothing written
};

// Writes entry into the title currentTitleId of the current category and genre: name,
// folder and both flags always, link, file and Ivents only when not empty, the photo
// or Null; only while the row still holds loaded.
TitleWrite UpdateTitleRow(Global &g, const TitleEntry &entry, const TitleEntry &loaded);

// Told of each row deleted or folder registered (the count of this step, usually 1).
using CountProgress = std::function<void(int)>;

// How many rows one deletion removed, level by level.
struct DeletedRows {
    int categories = 0;
    int genres = 0;
    int titles = 0;
};
// Each deletion runs in one write transaction: on a failure nothing is deleted (throws
// DbError). Every matching row goes; progress counts them in batches.
// The category's photoGraph rows; when there were any, its photoYear rows; when there
// were any, beforeTitles runs and its photoIvents rows go.
DeletedRows DeleteCategoryTree(const Global &g, int32_t categoryId, const CountProgress &progress = {},
                               const std::function<void()> &beforeTitles = {});
// The genre's photoYear rows; when there were any, beforeTitles and its photoIvents rows.
DeletedRows DeleteGenreTree(const Global &g, int32_t categoryId, int32_t genreId, const CountProgress &progress = {},
                            const std::function<void()> &beforeTitles = {});
// Deletes the title only while its row still holds loaded.
TitleWrite DeleteTitleRows(const Global &g, int32_t categoryId, int32_t genreId, int32_t titleId,
                           const TitleEntry &loaded);

// --- module operations ---

// True when a category / genre is stored with exactly that folder (throw DbError).
bool IsCategoryFolder(const Global &g, const QString &path);
bool IsGenreFolder(const Global &g, const QString &path);

// Registers the sub-folders of category categoryId as its genres (new rows added,
// existing ones get their folder refreshed). 0 on success; on a failure the error is
// shown (no icon, title "Tessaly") and -1 returned; rows saved before it stay.
int16_t RegisterGenresOfCategory(const Global &g, DialogService &ds, int32_t categoryId,
                                 QObject *owner = nullptr, const CountProgress &progress = {});
// The same one level down: the sub-folders of the selected genres become titles.
int16_t RegisterTitlesOfGenres(const Global &g, DialogService &ds, EntrySelector which,
                               QObject *owner = nullptr, const CountProgress &progress = {});
// For each selected title: the first "*.html" file in its folder becomes its file (and
// Ivents, with the open button on) when it has none yet; a title folder without one
// gets the open button off. A failure is shown as above and ends the pass.
void FindTitleHtmlFiles(const Global &g, DialogService &ds, EntrySelector which, QObject *owner = nullptr);

}  // namespace tessaly
