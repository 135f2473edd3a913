#include "Library.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "JetImport.h"
#include "Paths.h"
#include "Pickers.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tessaly {

QString LibraryCaption(const QString &fileTitle)
{
    return QStringLiteral("Tessaly <") + fileTitle + QStringLiteral(">");
}

QString TemplatePath(const Global &g)
{
    return ChildPath(g.programFolder, QStringLiteral("sys.1"));
}

bool IsOpenLibrary(const Global &g, const QString &path)
{
    const QString open = ConnectStringPath(g.dbConnectString);
    if (open.isEmpty())
        return false;
    const QString a = QFileInfo(open).canonicalFilePath();
    const QString b = QFileInfo(path).canonicalFilePath();
    return !a.isEmpty() && a == b;
}

static int errorNumberFor(QFileDevice::FileError e, const QString &path, QString *description)
{
    switch (e) {
    case QFileDevice::PermissionsError:
        *description = QStringLiteral("書き込みが許可されていません (%1)").arg(path);
        return 70;
    case QFileDevice::ResourceError:
        *description = QStringLiteral("ディスクの空き容量が足りません (%1)").arg(path);
        return 61;
    default:
        break;
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        *description = QStringLiteral("フォルダが見つかりません (%1)").arg(QFileInfo(path).absolutePath());
        return 76;
    }
    *description = QStringLiteral("ファイルにアクセスできません (%1)").arg(path);
    return 75;
}

bool CopyTemplate(const QString &templatePath, const QString &dest, int *errorNumber, QString *description)
{
    QFile src(templatePath);
    if (!QFileInfo(templatePath).isFile() || !src.open(QIODevice::ReadOnly)) {
        *errorNumber = 53;
        *description = QStringLiteral("テンプレート「%1」が見つからないか読めません").arg(templatePath);
        return false;
    }
    const QByteArray bytes = src.readAll();
    if (src.error() != QFileDevice::NoError) {
        *errorNumber = 75;
        *description = QStringLiteral("テンプレート「%1」を読めません").arg(templatePath);
        return false;
    }
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly)) {
        *errorNumber = errorNumberFor(out.error(), dest, description);
        return false;
    }
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        *errorNumber = errorNumberFor(out.error(), dest, description);
        return false;
    }
    return true;
}

bool OpenLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner)
{
    const QString title = QStringLiteral("データベースを開く");
    PickOpenDatabase(g, ds, owner, title, g.programFolder);
    if (g.dbFilePath.isEmpty())
        return false;
    return OpenLibraryFile(g, ds, host, g.dbFilePath, fromMenu, owner);
}

bool OpenLibraryFile(Global &g, DialogService &ds, LibraryHost &host, const QString &path, bool enableMenus,
                     QObject *owner)
{
    const QString title = QStringLiteral("データベースを開く");
    g.dbFilePath = path;
    g.dbFileTitle = QFileInfo(path).fileName();
    if (!IsNormalFile(g.dbFilePath)) {
        ds.message(QStringLiteral("データベースを新規で作成する場合は、「新規作成」メニューで処理を行ってください！！"),
                   MsgKind::Critical, title, MsgButtons::Ok, owner);
        return false;
    }
    if (IsJetFile(g.dbFilePath))
        return OpenJetLibrary(g, ds, host, g.dbFilePath, enableMenus, owner);
    g.dbConnectString = MakeConnectString(g.dbFilePath);
    if (enableMenus)
        host.enableLibraryMenus();
    host.setLibraryCaption(LibraryCaption(g.dbFileTitle));
    host.showEditor();
    return true;
}

bool CreateLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner)
{
    const QString title = QStringLiteral("新規作成");
    PickCreateDatabase(g, ds, owner, QStringLiteral("データベースを作成"), g.programFolder);
    if (g.dbFilePath.isEmpty())
        return false;

    int err = 0;
    QString desc;
    if (IsNormalFile(g.dbFilePath)) {
        if (ds.ask(QStringLiteral("データベースファイルが存在します！上書きで作成しますか？"), MsgKind::Question, title,
                   owner)) {
            // Overwriting the open library would pull it from under every window.
            if (IsOpenLibrary(g, g.dbFilePath)) {
                ds.message(QStringLiteral("現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、"
                                          "再度新規作成処理を行ってください。"),
                           MsgKind::Exclamation, title, MsgButtons::Ok, owner);
                return false;
            }
            while (!CopyTemplate(TemplatePath(g), g.dbFilePath, &err, &desc)) {
                const QString text = QString::number(err) + QStringLiteral(":") + desc + QStringLiteral("再実行しますか？");
                if (!ds.ask(text, MsgKind::Critical, title, owner))
                    return false;
            }
        }
    } else if (!CopyTemplate(TemplatePath(g), g.dbFilePath, &err, &desc)) {
        ds.message(QStringLiteral("ライブラリを作成できませんでした。\n\r%1").arg(desc), MsgKind::Critical, title,
                   MsgButtons::Ok, owner);
        return false;
    }

    g.dbConnectString = MakeConnectString(g.dbFilePath);
    if (fromMenu)
        host.enableLibraryMenus();
    host.setLibraryCaption(LibraryCaption(g.dbFileTitle));
    g.isNewLibrary = True16;
    host.showOutputFolderWindow();
    host.showBaseFolderWindow();
    return true;
}

}  // namespace tessaly
