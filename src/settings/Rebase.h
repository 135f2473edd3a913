#pragma once
// Moving the base folder to another root rewrites the root of every stored path
// (category, genre and title folders, a title's file and photo), so a library whose
// folder tree moved keeps working.
//
// Two rules:
// - Both base folders in the drive/share form ("D:\photo", "\\srv\share\lib"): the
//   first two characters of the old and the new base folder are compared; when they
//   differ, every stored path gets the new base folder's PathRoot in place of its own.
// - Otherwise (Linux paths, or a library brought over from the drive form): the
//   longest common tail of whole components is stripped from both base folders as long
//   as what is left, the old and the new root, stay apart (neither lies in the other).
//   Paths that begin with the old root (whole components) get the new root, the rest of
//   the path in the new root's separators. When even the two base folders lie one in
//   the other (moving to the parent folder and back), nothing is rewritten: such a move
//   could not be undone, as paths beside the old base folder would join the tree.
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tessaly {

class Connection;

struct RebasePlan {
    bool run = false;        // the stored paths are to be rewritten
    bool driveRule = false;  // the drive/share rule; else the component rule
    QString newRoot;         // drive rule: PathRoot of the new base folder
    QString oldRoot;         // component rule: the old root's components, joined
    QString newRootText;     // component rule: the new root's components, joined
    QChar newSeparator;      // component rule: separator of the new base folder
    bool oldCaseless = false;  // component rule: the old root is in the drive form
};

// What to do when the base folder changes from oldBase (a null QString when none was
// stored) to newBase.
RebasePlan PlanRebase(const QString &oldBase, const QString &newBase);

// One stored path under a plan. Returns false for a path the rewrite cannot take
// (Null, or shorter than its root under the drive rule). *changed tells whether the
// text differs from the stored one.
bool RebasePath(const RebasePlan &plan, const QVariant &stored, QString *result, bool *changed);

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
