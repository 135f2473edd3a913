#include "Library.h"

#include "Database.h"
#include "DialogService.h"
#include "FileReplace.h"
#include "Global.h"
#include "JetImport.h"
#include "Paths.h"
#include "Pickers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace tessaly {

QString LibraryCaption(const QString &fileTitle)
{
    return QStringLiteral("Tessaly <") + fileTitle + QStringLiteral(">");
}

QString TemplatePath(const Global &g)
{
    return ChildPath(g.programFolder, QStringLiteral("sys.1"));
}

QString LibraryDialogFolder(const Global &g)
{
    // Installed, the program's folder is not the user's to keep libraries in, even where
    // root may write there.
    const QString program = QFileInfo(g.programFolder).canonicalFilePath();
    const bool system = program.startsWith(QLatin1String("/usr/")) || program.startsWith(QLatin1String("/opt/"));
    if (!system && QFileInfo(g.programFolder).isWritable())
        return g.programFolder;
    const QString open = ConnectStringPath(g.dbConnectString);
    if (!open.isEmpty())
        return QFileInfo(open).absolutePath();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

bool IsOpenLibrary(const Global &g, const QString &path)
{
    const QString open = ConnectStringPath(g.dbConnectString);
    if (open.isEmpty())
        return false;
    return IsSameFile(open, path);
}

static int errorNumberFor(int err, const QString &path, QString *description)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        *description = QCoreApplication::translate("Library", "書き込みが許可されていません (%1)").arg(path);
        return 70;
    case ENOSPC:
    case EDQUOT:
        *description = QCoreApplication::translate("Library", "ディスクの空き容量が足りません (%1)").arg(path);
        return 61;
    default:
        break;
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        *description = QCoreApplication::translate("Library", "フォルダが見つかりません (%1)").arg(QFileInfo(path).absolutePath());
        return 76;
    }
    *description = QCoreApplication::translate("Library", "ファイルにアクセスできません (%1: %2)").arg(path, QString::fromLocal8Bit(std::strerror(err)));
    return 75;
}

QString SymLinkRefusal(const QString &path, const QString &target)
{
    return QCoreApplication::translate("Library", "「%1」はシンボリックリンクです (リンク先: %2)。リンク先を書き換えないよう、"
                          "ライブラリはリンクの名前には作成しません。別の名前を指定してください。")
        .arg(path, target);
}

bool CopyTemplate(const QString &templatePath, const QString &dest, int *errorNumber, QString *description)
{
    const QString link = SymLinkTarget(dest);
    if (!link.isNull()) {
        *errorNumber = 75;
        *description = SymLinkRefusal(dest, link);
        return false;
    }
    const QFileInfo target(dest);
    if (target.exists() && !target.isFile()) {
        *errorNumber = 75;
        *description = QCoreApplication::translate("Library", "「%1」はファイルではありません").arg(dest);
        return false;
    }
    QFile src(templatePath);
    if (!QFileInfo(templatePath).isFile() || !src.open(QIODevice::ReadOnly)) {
        *errorNumber = 53;
        *description = QCoreApplication::translate("Library", "テンプレート「%1」が見つからないか読めません").arg(templatePath);
        return false;
    }
    const QByteArray bytes = src.readAll();
    if (src.error() != QFileDevice::NoError) {
        *errorNumber = 75;
        *description = QCoreApplication::translate("Library", "テンプレート「%1」を読めません").arg(templatePath);
        return false;
    }
    // A broken template must not replace a good file.
    try {
        CheckLibraryFile(templatePath);
    } catch (const DbError &e) {
        *errorNumber = 53;
        *description = QCoreApplication::translate("Library", "テンプレートがライブラリではありません: %1").arg(e.message());
        return false;
    }
    int err = 0;
    QString linkTarget;
    switch (ReplaceFileBytes(dest, bytes, &err, &linkTarget, FileSync::Now, OtherLinks::KeepOld)) {
    case ReplaceOutcome::Done:
        break;
    case ReplaceOutcome::IsLink:
        *errorNumber = 75;
        *description = SymLinkRefusal(dest, linkTarget);
        return false;
    case ReplaceOutcome::Failed:
        *errorNumber = errorNumberFor(err, dest, description);
        return false;
    }
    try {
        CheckLibraryFile(dest);
    } catch (const DbError &e) {
        *errorNumber = 75;
        *description = e.message();
        return false;
    }
    return true;
}

bool OpenLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner)
{
    const QString title = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "データベースを開く"));
    PickOpenDatabase(g, ds, owner, title, LibraryDialogFolder(g));
    if (g.dbFilePath.isEmpty())
        return false;
    return OpenLibraryFile(g, ds, host, g.dbFilePath, fromMenu, owner);
}

bool OpenLibraryFile(Global &g, DialogService &ds, LibraryHost &host, const QString &path, bool enableMenus,
                     QObject *owner)
{
    const QString title = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "データベースを開く"));
    g.dbFilePath = path;
    g.dbFileTitle = QFileInfo(path).fileName();
    if (!IsNormalFile(g.dbFilePath)) {
        ds.message(QCoreApplication::translate("Library", "データベースを新規で作成する場合は、「新規作成」メニューで処理を行ってください！！"),
                   MsgKind::Critical, title, MsgButtons::Ok, owner);
        return false;
    }
    if (IsJetFile(g.dbFilePath))
        return OpenJetLibrary(g, ds, host, g.dbFilePath, enableMenus, owner);
    MarkLibraryFile(g.dbFilePath);
    g.dbConnectString = MakeConnectString(g.dbFilePath);
    if (enableMenus)
        host.enableLibraryMenus();
    host.setLibraryCaption(LibraryCaption(g.dbFileTitle));
    host.showEditor();
    return true;
}

bool CreateLibrary(Global &g, DialogService &ds, LibraryHost &host, bool fromMenu, QObject *owner)
{
    const QString title = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "新規作成"));
    PickCreateDatabase(g, ds, owner, QCoreApplication::translate("Library", "データベースを作成"), LibraryDialogFolder(g));
    if (g.dbFilePath.isEmpty())
        return false;

    int err = 0;
    QString desc;
    const QString link = SymLinkTarget(g.dbFilePath);
    if (!link.isNull()) {
        ds.message(SymLinkRefusal(g.dbFilePath, link), MsgKind::Critical, title, MsgButtons::Ok, owner);
        return false;
    }
    const QFileInfo existing(g.dbFilePath);
    if (existing.exists()) {
        // Hidden or not, an existing file is never replaced without the question; what
        // is not a file at all (a folder, a pipe, a device) is never replaced.
        if (!existing.isFile()) {
            ds.message(QCoreApplication::translate("Library", "「%1」はファイルではないため、データベースを作成できません。")
                           .arg(g.dbFilePath),
                       MsgKind::Critical, title, MsgButtons::Ok, owner);
            return false;
        }
        if (ds.ask(QCoreApplication::translate("Library", "データベースファイルが存在します！上書きで作成しますか？"), MsgKind::Question, title,
                   owner)) {
            // Overwriting the open library would pull it from under every window.
            if (IsOpenLibrary(g, g.dbFilePath)) {
                ds.message(QCoreApplication::translate("Library", "現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、"
                                          "再度新規作成処理を行ってください。"),
                           MsgKind::Exclamation, title, MsgButtons::Ok, owner);
                return false;
            }
            while (!CopyTemplate(TemplatePath(g), g.dbFilePath, &err, &desc)) {
                MessageRequest again{desc + QCoreApplication::translate("Library", "再実行しますか？"), MsgKind::Critical, title,
                                     MsgButtons::YesNo};
                again.number = err;
                if (ds.message(again, owner) != MsgAnswer::Yes)
                    return false;
            }
        }
    } else if (!CopyTemplate(TemplatePath(g), g.dbFilePath, &err, &desc)) {
        ds.message(QCoreApplication::translate("Library", "ライブラリを作成できませんでした。\n\r%1").arg(desc), MsgKind::Critical, title,
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
