#include "KeptEdit.h"

#include "FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaly {

namespace {

QJsonObject toJson(const TitleEntry &e)
{
    return QJsonObject{{QStringLiteral("iventsFolderName"), e.folderName}, {QStringLiteral("iventsFolder"), e.folder},
                       {QStringLiteral("iventsLink"), e.link},           {QStringLiteral("iventsHTML"), e.html},
                       {QStringLiteral("Ivents"), e.ivents},             {QStringLiteral("iventsPhoto"), e.photo},
                       {QStringLiteral("IventsLinkButton"), e.linkButton},
                       {QStringLiteral("IventsHtmlButton"), e.htmlButton}};
}

TitleEntry fromJson(const QJsonObject &o)
{
    TitleEntry e;
    e.folderName = o.value(QStringLiteral("iventsFolderName")).toString();
    e.folder = o.value(QStringLiteral("iventsFolder")).toString();
    e.link = o.value(QStringLiteral("iventsLink")).toString();
    e.html = o.value(QStringLiteral("iventsHTML")).toString();
    e.ivents = o.value(QStringLiteral("Ivents")).toString();
    e.photo = o.value(QStringLiteral("iventsPhoto")).toString();
    e.linkButton = o.value(QStringLiteral("IventsLinkButton")).toInt() != 0;
    e.htmlButton = o.value(QStringLiteral("IventsHtmlButton")).toInt() != 0;
    return e;
}

}  // namespace

QString KeptEditPath(const QString &libraryPath)
{
    return libraryPath.isEmpty() ? QString() : libraryPath + QStringLiteral(".tessaly-recovery");
}

bool WriteKeptEdit(const QString &libraryPath, const KeptEdit &edit)
{
    const QString path = KeptEditPath(libraryPath);
    if (path.isEmpty())
        return false;
    const QJsonObject o{{QStringLiteral("library"), QFileInfo(libraryPath).fileName()},
                        {QStringLiteral("ID"), edit.categoryId},
                        {QStringLiteral("ID1"), edit.genreId},
                        {QStringLiteral("ID2"), edit.titleId},
                        {QStringLiteral("typed"), toJson(edit.typed)},
                        {QStringLiteral("loaded"), toJson(edit.loaded)}};
    return ReplaceFileBytes(path, QJsonDocument(o).toJson()) == ReplaceOutcome::Done;
}

bool ReadKeptEdit(const QString &libraryPath, KeptEdit &edit)
{
    const QString path = KeptEditPath(libraryPath);
    // A link put in its place is no edit of ours.
    if (path.isEmpty() || !SymLinkTarget(path).isNull())
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject o = QJsonDocument::fromJson(f.read(1 << 22)).object();
    if (!o.value(QStringLiteral("typed")).isObject() || !o.value(QStringLiteral("loaded")).isObject())
        return false;
    edit.categoryId = o.value(QStringLiteral("ID")).toInt();
    edit.genreId = o.value(QStringLiteral("ID1")).toInt();
    edit.titleId = o.value(QStringLiteral("ID2")).toInt();
    edit.typed = fromJson(o.value(QStringLiteral("typed")).toObject());
    edit.loaded = fromJson(o.value(QStringLiteral("loaded")).toObject());
    return edit.titleId != 0;
}

void RemoveKeptEdit(const QString &libraryPath)
{
    const QString path = KeptEditPath(libraryPath);
    if (!path.isEmpty())
        QFile::remove(path);  // removes a link itself, never its target
}

}  // namespace tessaly
