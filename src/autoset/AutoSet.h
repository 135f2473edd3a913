#pragma once
// The auto-set: registers the whole folder tree under the base folder in three passes
// (categories, genres, titles). Entries that exist keep their rows and only get their
// stored path refreshed; nothing is ever deleted; files are ignored at every level.
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

enum AutoSetLevel { CategoryLevel = 0, GenreLevel = 1, TitleLevel = 2 };

// What a run has done so far; handed to the progress hook and kept by the caller.
struct AutoSetCounts {
    int pass = 0;              // 1..3 while a pass runs
    int foldersListed = 0;     // folders whose sub-folders were listed
    int added[3] = {0, 0, 0};      // new rows, per level
    int refreshed[3] = {0, 0, 0};  // existing rows whose stored path was rewritten
    int unchanged[3] = {0, 0, 0};  // existing rows found again with the same path
    bool stopped = false;          // a pass ended on an error: the folders it had not reached are not registered
    int renamed = 0;               // stored folders found again under a new name or place
    int found(int level) const { return added[level] + refreshed[level] + unchanged[level]; }
};

struct AutoSetOptions {
    // Groups each pass's writes into one transaction. An error inside the pass still
    // commits what was done before it.
    bool transactionPerPass = true;
    // Called after every listed folder (cheap; meant for a progress indicator).
    std::function<void(const AutoSetCounts &)> progress;
    // Owner of the message boxes.
    QObject *owner = nullptr;
    // Called once the question is answered Yes, before the first pass.
    std::function<void()> started;
    // Where a pass puts the folders whose names cannot be stored, instead of telling them
    // at its end (RunAutoSetPasses tells them once for the run).
    QStringList *badNames = nullptr;
    // Where each pass puts the keys of stored rows that it found again on disk: an array
    // of three sets, one per level (null: not kept).
    QSet<qint64> *found = nullptr;
};

// Status of the category pass.
enum : int16_t {
    ScanCompleted = 0,
    ScanBaseNotSetStop = 1,      // base folder not set, the user chose to stop
    ScanBaseNotSetContinue = 2,  // base folder not set, go on with the stored categories
    ScanFailed = -1              // the pass stopped on an error (already reported)
};

struct AutoSetResult {
    bool confirmed = false;       // the question was answered Yes (or not asked)
    int16_t categoryStatus = ScanCompleted;
    bool genresCompleted = false;
    bool titlesCompleted = false;
    bool anyError = false;        // a pass ended on an error (reported), or left folders out
    bool stopped = false;         // a pass ended on an error before its last folder
    int vanishedCount = 0;        // stored folders that are gone from the disk
    QStringList vanished;         // the first ten of them: level and path
};

// A stored path that names nothing on this system.
struct MissingPath {
    QString kind;  // カテゴリー, ジャンル, タイトル, ファイル, 写真
    qint64 key = 0;
    QString path;
};
// Every stored folder that is not a folder here, and with files every title's file and
// photo that does not exist, by level and key; folders that known(level, key) vouches
// for are not looked up. Throws DbError.
QList<MissingPath> MissingPaths(Global &g, bool files, const std::function<bool(int, qint64)> &known = {});

// Pass 1: sub-folders of the base folder become categories. Returns a status above.
int16_t ScanCategoryFolders(Global &g, DialogService &ds, AutoSetCounts *counts = nullptr,
                            const AutoSetOptions &options = AutoSetOptions());
// Pass 2: sub-folders of every stored category's folder become genres. Errors are
// reported and end the pass; returns true when it ran to its end.
bool ScanGenreFolders(Global &g, DialogService &ds, AutoSetCounts *counts = nullptr,
                      const AutoSetOptions &options = AutoSetOptions());
// Pass 3: sub-folders of every stored genre's folder become titles.
bool ScanTitleFolders(Global &g, DialogService &ds, AutoSetCounts *counts = nullptr,
                      const AutoSetOptions &options = AutoSetOptions());

// The three passes without the question: stops after pass 1 only when it returns 1.
// Afterwards tells, in one message, the names that could not be stored and the stored
// folders that are gone (their count and the first ten).
AutoSetResult RunAutoSetPasses(Global &g, DialogService &ds, AutoSetCounts *counts = nullptr,
                               const AutoSetOptions &options = AutoSetOptions());
// Asks "ｵｰﾄｾｯﾄを実行しますか？" and on Yes runs the passes.
AutoSetResult AutoSetMain(Global &g, DialogService &ds, AutoSetCounts *counts = nullptr,
                          const AutoSetOptions &options = AutoSetOptions());

// One line for the counts: categories, genres and titles added and refreshed.
QString AutoSetSummary(const AutoSetCounts &counts);
// "名前が変わったフォルダ: N": stored folders found again under a new name or place.
QString RenamedText(const AutoSetCounts &counts);
// The same, short and in Japanese: what was added, for a status line.
QString AutoSetAddedText(const AutoSetCounts &counts);

}  // namespace tessaly
