#include "Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace tessaly {

bool IsWindowsFormPath(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\")))
        return true;
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter();
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
    return parent + sep + name;
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

bool NameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

static QStringList listEntries(const QString &folder, QDir::Filters filters, const QString &pattern)
{
    QStringList names;
    if (folder.isEmpty())
        return names;
    QDirIterator it(folder, filters | QDir::NoDotAndDotDot);
    QRegularExpression re;
    const bool all = pattern.isEmpty() || pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    if (!all)
        re = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (name.startsWith(QLatin1Char('.')))
            continue;
        if (!all && !re.match(name).hasMatch())
            continue;
        names.append(name);
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

QStringList ListFolders(const QString &folder)
{
    return listEntries(folder, QDir::Dirs, QString());
}

QStringList ListFiles(const QString &folder, const QString &pattern)
{
    return listEntries(folder, QDir::Files, pattern);
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
