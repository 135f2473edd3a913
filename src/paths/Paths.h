#pragma once
// Path conventions. Paths are stored as the platform gives them: on Linux "/"-separated.
// Paths in the other platform's form (a drive letter, or \\server\share) keep that
// form's text rules, so a library brought over from it can still be read and rebased.
#include <QString>
#include <QStringList>

namespace tessaly {

// True for "X:..." and "\\..." paths.
bool IsWindowsFormPath(const QString &path);
// A path that names its place without a current folder: "/..." or the Windows form.
bool IsAbsolutePath(const QString &path);
// The separator of a path's own form: '\' for the Windows form, '/' otherwise.
QChar PathSeparator(const QString &path);
// Parent + separator + name, in the parent's own form.
QString ChildPath(const QString &parent, const QString &name);
// The text after the last separator; the whole text when it has none.
QString LastPathPart(const QString &path);
// "\\server\share" for a share path (the whole text when nothing follows the share
// name); otherwise the first two characters.
QString PathRoot(const QString &path);
// The length of PathRoot for a share path; otherwise 2, also for a shorter text.
int PathRootLength(const QString &path);

// A folder the user names to be set (typed into a window or a picker, given on the
// command line): the blanks around the text are no part of it, and it must be an
// absolute path of this system. Windows-form paths stay readable in a library brought
// over from Windows, but are never set here.
enum class FolderTextFault { None, Empty, OtherSystem, Relative };
struct FolderText {
    QString path;  // the text without blanks around it, made absolute when allowed
    FolderTextFault fault = FolderTextFault::None;
};
// currentFolder: a relative text is taken from it (the command line); empty: a
// relative text is a fault.
FolderText JudgeFolderText(const QString &text, const QString &currentFolder = QString());
// The refusal of a Windows-form folder.
QString OtherSystemFolderMessage(const QString &path);

// Names of the sub-folders / normal files of a folder, in name order, hidden entries
// skipped. Pattern like "*.jpg" matches without regard to case. A folder that does
// not exist or cannot be read lists nothing.
QStringList ListFolders(const QString &folder);
// The same; names that are not valid in the file-name encoding (UTF-8) cannot be named
// again by a path, so they are left out and go to *undecodable (bad bytes shown as U+FFFD).
QStringList ListFolders(const QString &folder, QStringList *undecodable);
QStringList ListFiles(const QString &folder, const QString &pattern = QStringLiteral("*"));
// From one listing of the folder, the first normal file in name order whose name ends
// with each of the suffixes (lower-case, such as ".jpg"; names match in any letter
// case); empty text where none does. False when the folder cannot be listed. Names that
// are not valid in the file-name encoding are never chosen; those with one of the
// suffixes go to *undecodable, when given (bad bytes shown as U+FFFD).
bool FirstFiles(const QString &folder, const QList<QByteArray> &suffixes, QStringList *first,
                QStringList *undecodable = nullptr);
// A regular file that exists and is not hidden.
bool IsNormalFile(const QString &path);
bool IsFolder(const QString &path);
// Name order of listings.
bool NameLess(const QString &a, const QString &b);

}  // namespace tessaly
