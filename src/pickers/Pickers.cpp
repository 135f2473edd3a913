#include "Pickers.h"

#include "Global.h"
#include "Paths.h"

#include <QFileInfo>

namespace tessaly {

static FilePickRequest request(const QString &title, const QString &start, const QString &initialName,
                               QList<FileFilter> filters, const QString &suffix)
{
    FilePickRequest r;
    r.dialogTitle = title;
    r.filters = std::move(filters);
    r.startFolder = start;
    r.initialName = initialName;
    r.defaultSuffix = suffix;
    r.allowNewName = true;
    return r;
}

FilePickRequest OpenDatabaseRequest(const QString &title, const QString &start, const QString &initialName)
{
    return request(title, start, initialName, {{QStringLiteral("mdb"), QStringLiteral("*.mdb")}}, QString());
}

FilePickRequest CreateDatabaseRequest(const QString &title, const QString &start, const QString &initialName)
{
    FilePickRequest r = request(title, start, initialName, {{QStringLiteral("mdb"), QStringLiteral("*.mdb")}},
                                QStringLiteral("mdb"));
    r.makesFile = true;
    r.acceptLabel = QStringLiteral("作成");
    return r;
}

FilePickRequest TitleFileRequest(const QString &title, const QString &start, const QString &initialName)
{
    return request(title, start, initialName,
                   {{QStringLiteral("All Files"), QStringLiteral("*")},
                    {QStringLiteral("html"), QStringLiteral("*.html")},
                    {QStringLiteral("htm"), QStringLiteral("*.htm")},
                    {QStringLiteral("MDS"), QStringLiteral("*.mds")},
                    {QStringLiteral("Mpeg"), QStringLiteral("*.mpg")},
                    {QStringLiteral("iso"), QStringLiteral("*.iso")},
                    {QStringLiteral("mp4"), QStringLiteral("*.mp4")},
                    {QStringLiteral("wmv"), QStringLiteral("*.wmv")},
                    {QStringLiteral("rm"), QStringLiteral("*.rm")}},
                   QStringLiteral("html"));
}

FilePickRequest TitlePhotoRequest(const QString &title, const QString &start, const QString &initialName)
{
    return request(title, start, initialName,
                   {{QStringLiteral("jpg"), QStringLiteral("*.jpg")},
                    {QStringLiteral("jpeg"), QStringLiteral("*.jpeg")},
                    {QStringLiteral("All Files"), QStringLiteral("*")}},
                   QStringLiteral("jpg"));
}

static void pick(Global &g, DialogService &ds, QObject *owner, const FilePickRequest &req, QString &path,
                 QString &title)
{
    path.clear();
    title.clear();
    const QString chosen = ds.pickFile(req, owner);
    if (!chosen.isEmpty()) {
        path = chosen;
        title = QFileInfo(chosen).fileName();
    }
    g.pickerDone = True16;
}

void PickOpenDatabase(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                      const QString &startFolder, const QString &initialName)
{
    pick(g, ds, owner, OpenDatabaseRequest(dialogTitle, startFolder, initialName), g.dbFilePath, g.dbFileTitle);
}

void PickCreateDatabase(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                        const QString &startFolder, const QString &initialName)
{
    pick(g, ds, owner, CreateDatabaseRequest(dialogTitle, startFolder, initialName), g.dbFilePath,
         g.dbFileTitle);
}

void PickTitleFile(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                   const QString &startFolder, const QString &initialName)
{
    pick(g, ds, owner, TitleFileRequest(dialogTitle, startFolder, initialName), g.pickedFilePath,
         g.pickedFileTitle);
}

void PickTitlePhoto(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                    const QString &startFolder, const QString &initialName)
{
    pick(g, ds, owner, TitlePhotoRequest(dialogTitle, startFolder, initialName), g.pickedFilePath,
         g.pickedFileTitle);
}

QString BrowseFolder(Global &g, DialogService &ds, QObject *owner, const QString &prompt,
                     const QString &startFolder, bool openInside, bool allowNewName)
{
    FolderPickRequest r;
    r.prompt = prompt + QStringLiteral("\r\nフォルダを選択してください。");
    r.startFolder = startFolder;
    r.openInside = openInside;
    r.allowNewName = allowNewName;
    const QString chosen = ds.pickFolder(r, owner);
    g.pickerDone = True16;
    if (chosen.isEmpty() || IsFolder(chosen))  // a folder's own name may end in a blank
        return chosen;
    // A typed name.
    const FolderText judged = JudgeFolderText(chosen);
    if (judged.fault == FolderTextFault::OtherSystem)
        ds.message(OtherSystemFolderMessage(judged.path), MsgKind::Exclamation, prompt, MsgButtons::Ok, owner);
    if (judged.fault != FolderTextFault::None)
        return QString();
    return judged.path;
}

}  // namespace tessaly
