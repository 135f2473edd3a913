#pragma once
// Moving the base folder rewrites the stored paths (category, genre and title folders,
// a title's file and photo), so a library whose folder tree moved keeps working.
//
// Two rules:
// - Both base folders in the drive/share form ("D:\photo", "\\srv\share\lib"): the
//   first two characters of the old and the new base folder are compared; when they
//   differ, every stored path gets the new base folder's PathRoot in place of its own.
// - Otherwise (Linux paths, or a library brought over from the drive form): the paths
//   that lay in the old base folder moved with it and get the new base folder in its
//   place; every other path stays as it is. A path left where it was that lies in the
//   new base folder is noted in the library (table keptPaths), so that no later move
//   takes it for part of the tree: any route of moves and back gives every path back.
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tessaly {

class Connection;

struct RebasePlan {
    bool run = false;        // the stored paths are to be rewritten
    bool driveRule = false;  // the drive/share rule; else the folder rule
    QString newRoot;         // drive rule: PathRoot of the new base folder
    QString oldBase;         // folder rule: the old base folder
    QString newBase;         // folder rule: the new one
};

// What to do when the base folder changes from oldBase (a null QString when none was
// stored) to newBase.
RebasePlan PlanRebase(const QString &oldBase, const QString &newBase);

// One stored path under a plan (as a path not noted as kept). Returns false for a path
// the rewrite cannot take (Null, or shorter than its root under the drive rule).
// *changed tells whether the text differs from the stored one.
bool RebasePath(const RebasePlan &plan, const QVariant &stored, QString *result, bool *changed);

// Whether path is folder or lies below it (whole components; without regard to case
// for the drive form).
bool PathInFolder(const QString &path, const QString &folder);
// A path that lay in oldFolder, moved with it into newFolder (the rest in newFolder's
// separators); any other path as it is.
QString MovedPath(const QString &path, const QString &oldFolder, const QString &newFolder);

struct RebaseResult {
    bool ran = false;     // the rewrite was started
    bool failed = false;  // it stopped at a path it cannot take or a database error
    int rowsSaved = 0;    // rows written with new text
    QString error;        // what stopped it
};

// Rewrites the stored paths on conn for a base folder moved from oldBase to newBase,
// when the plan says so, inside the caller's transaction: on failure the caller rolls
// back, so the new base folder and its paths are stored together or not at all. Rows
// are streamed a page at a time; one prepared statement per table.
RebaseResult RebaseStoredPaths(Connection &conn, const QString &oldBase, const QString &newBase);

}  // namespace tessaly
