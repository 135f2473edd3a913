#include "Paths.h"

#include "DirEntries.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringBuilder>

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace tessaly {

bool IsWindowsFormPath(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\")))
        return true;
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter();
}

bool IsAbsolutePath(const QString &path)
{
    return IsWindowsFormPath(path) || path.startsWith(QLatin1Char('/'));
}

QChar PathSeparator(const QString &path)
{
    return IsWindowsFormPath(path) ? QLatin1Char('\\') : QLatin1Char('/');
}

QString ChildPath(const QString &parent, const QString &name)
{
    const QChar sep = PathSeparator(parent);
    if (parent.endsWith(sep))  // a drive root "C:\" or "/"
        return parent + name;
    return parent % sep % name;  // one allocation: called for every file a run names
}

QString LastPathPart(const QString &path)
{
    const int i = path.lastIndexOf(PathSeparator(path));
    return i < 0 ? path : path.mid(i + 1);
}

QString PathRoot(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\"))) {
        const int a = path.indexOf(QLatin1Char('\\'), 2);
        if (a < 0)
            return path;
        const int b = path.indexOf(QLatin1Char('\\'), a + 1);
        return b < 0 ? path : path.left(b);
    }
    return path.left(2);
}

int PathRootLength(const QString &path)
{
    // Always 2 for a drive path, even when the text itself is shorter: the rewrite of a
    // stored path treats such a path as broken.
    if (path.startsWith(QLatin1String("\\\\")))
        return PathRoot(path).size();
    return 2;
}

FolderText JudgeFolderText(const QString &text, const QString &currentFolder)
{
    FolderText r;
    r.path = text.trimmed();
    if (r.path.isEmpty())
        r.fault = FolderTextFault::Empty;
    else if (IsWindowsFormPath(r.path))
        r.fault = FolderTextFault::OtherSystem;
    else if (!r.path.startsWith(QLatin1Char('/'))) {
        if (currentFolder.isEmpty())
            r.fault = FolderTextFault::Relative;
        else
            r.path = QDir::cleanPath(ChildPath(currentFolder, r.path));
    }
    return r;
}

QString OtherSystemFolderMessage(const QString &path)
{
    return QCoreApplication::translate("Paths", "「%1」は Windows のパスです。このコンピューターのフォルダではありません。\n\r"
                          "フォルダは「/」で始まるこのコンピューターのパスで指定してください。")
        .arg(path);
}

bool NameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

QStringList ListFolders(const QString &folder)
{
    return ListFolders(folder, nullptr);
}

QStringList ListFolders(const QString &folder, QStringList *undecodable)
{
    QStringList names;
    if (folder.isEmpty())
        return names;
    // Listed by hand: Qt's own listing drops names it cannot decode without a word.
    ForEachEntry(QFile::encodeName(folder), [&](const dirent64 &e, int dir) {
        if (e.d_name[0] == '.')  // hidden
            return;
        bool isDir = e.d_type == DT_DIR;
        if (e.d_type == DT_LNK || e.d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(dir, e.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isDir)
            return;
        const QByteArray raw(e.d_name);
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) != raw) {
            if (undecodable)
                undecodable->append(name);
            return;
        }
        names.append(name);
    });
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

QStringList ListFiles(const QString &folder, const QString &pattern)
{
    QStringList names;
    if (folder.isEmpty())
        return names;
    QRegularExpression re;
    const bool all = pattern.isEmpty() || pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    if (!all)
        re = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    // A plain file or a link to one; the listing tells the kind of the others.
    ForEachEntry(QFile::encodeName(folder), [&](const dirent64 &e, int dir) {
        if (e.d_name[0] == '.')
            return;
        bool file = e.d_type == DT_REG;
        if (e.d_type == DT_LNK || e.d_type == DT_UNKNOWN) {
            struct stat st;
            file = ::fstatat(dir, e.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        const QString name = file ? QFile::decodeName(e.d_name) : QString();
        if (file && (all || re.match(name).hasMatch()))
            names.append(name);
    });
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

// Called once per title folder when the site is written: plain system calls, and only
// the names that match become text.
bool FirstFiles(const QString &folder, const QList<QByteArray> &suffixes, QStringList *first, QStringList *undecodable)
{
    *first = QStringList(suffixes.size());
    if (folder.isEmpty())
        return false;
    return ForEachEntry(QFile::encodeName(folder), [&](const dirent64 &e, int dir) {
        const char *name = e.d_name;
        if (name[0] == '.')
            return;
        const size_t len = std::strlen(name);
        for (int k = 0; k < suffixes.size(); ++k) {
            const QByteArray &suffix = suffixes[k];
            const size_t n = size_t(suffix.size());
            if (len <= n)
                continue;
            bool match = true;
            for (size_t i = 0; i < n && match; ++i) {
                const char c = name[len - n + i];
                match = (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) == suffix[int(i)];
            }
            if (!match)
                continue;
            const QString text = QFile::decodeName(name);
            if (QFile::encodeName(text) != QByteArrayView(name, qsizetype(len))) {
                // A Shift-JIS name from an old camera or archive: no path could open it.
                if (undecodable)
                    undecodable->append(text);
                break;
            }
            if (!(*first)[k].isEmpty() && !NameLess(text, (*first)[k]))
                continue;
            bool regular = e.d_type == DT_REG;
            if (e.d_type == DT_LNK || e.d_type == DT_UNKNOWN) {
                struct stat st;
                regular = ::fstatat(dir, name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
            if (regular)
                (*first)[k] = text;
        }
    });
}

bool IsNormalFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    return fi.isFile() && !fi.fileName().startsWith(QLatin1Char('.'));
}

bool IsFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

}  // namespace tessaly
