#include "FolderSettings.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"
#include "Pickers.h"

#include <QDir>
#include <QFileInfo>

namespace tessaly {

namespace {

struct FolderTable {
    const char *statement;  // the single row
    const char *field;
    const char *windowTitle;  // title of a library fault
    const char *emptyTitle;   // title of "no folder chosen"
    const char *prompt;       // folder browser prompt
};

const FolderTable kBase{"select * from allTop where ID=1", "allTop", "基準フォルダ設定", "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定",
                        "基準フォルダ選択"};
const FolderTable kOutput{"select * from systemdir where ID=1", "htmlDir", "HTML出力先", "HTMLﾌｫﾙﾀﾞ設定",
                          "HTML保存先フォルダ選択"};

QString str(const char *s)
{
    return QString::fromUtf8(s);
}

FolderLoad loadFolder(const FolderTable &t, Global &g, DialogService &ds, QObject *owner)
{
    FolderLoad r;
    try {
        Connection conn(g.dbConnectString);
        RowSet rs(conn, str(t.statement));
        if (rs.eof()) {
            rs.addNew();
            rs.setNumber(QStringLiteral("ID"), 1);
            rs.update();
        }
        // A blank stands for no folder: the box shows it empty, so what is typed there
        // is all there is.
        const QString field = str(t.field);
        r.text = rs.isNull(field) || rs.text(field).trimmed().isEmpty() ? QString() : rs.text(field);
        r.ok = true;
    } catch (const DbError &e) {
        ds.message(e.message(), MsgKind::Critical, str(t.windowTitle), MsgButtons::Ok, owner);
    }
    return r;
}

// Writes the text into the single row; returns the folder stored before it (null
// when none). Throws DbError.
QString storeFolder(const FolderTable &t, Connection &conn, const QString &text)
{
    const QString field = str(t.field);
    QString previous;
    RowSet rs(conn, str(t.statement));
    if (rs.eof()) {
        // The row is looked up by ID 1, so a row added here must carry it.
        rs.addNew();
        rs.setNumber(QStringLiteral("ID"), 1);
        rs.setText(field, text);
        rs.update();
        return previous;
    }
    for (; !rs.eof(); rs.moveNext()) {
        if (rs.number(QStringLiteral("ID")) != 1)
            continue;
        previous = rs.isNull(field) ? QString() : rs.text(field);
        rs.setText(field, text);
        rs.update();
    }
    return previous;
}

// The folder and, for the base folder, the rewrite of the stored paths are one
// transaction: both are stored or neither.
SaveResult saveFolder(const FolderTable &t, Global &g, DialogService &ds, const QString &typed, bool rebase,
                      MissingFolder missing, QObject *owner)
{
    SaveResult r;
    r.outcome = SaveOutcome::NoFolder;
    // Blanks typed around a path are no part of it (unless a folder has them in its name).
    const QString text = IsFolder(typed) ? typed : typed.trimmed();
    r.folder = text;
    const auto refuse = [&](const QString &message) {
        ds.message(message, MsgKind::Exclamation, str(t.emptyTitle), MsgButtons::Ok, owner);
        return r;
    };
    if (text.isEmpty())
        return refuse(QStringLiteral("ﾌｫﾙﾀﾞが選択されていません！"));
    // A relative folder would be looked up from wherever the program was started.
    if (!IsAbsolutePath(text))
        return refuse(QStringLiteral("「%1」はフォルダの場所を「/」から示していません。\n\r"
                                     "フォルダは「参照」で選ぶか、「/」で始まるパスで入力してください。")
                          .arg(text));
    // A folder in the other platform's form names a place on that system, not here.
    if (!IsWindowsFormPath(text)) {
        const QFileInfo fi(text);
        if (fi.exists() && !fi.isDir())
            return refuse(QStringLiteral("「%1」はフォルダではなくファイルです。フォルダを指定してください。").arg(text));
        if (!fi.exists()) {
            if (missing == MissingFolder::Refuse)
                return refuse(QStringLiteral("フォルダ「%1」がありません。").arg(text));
            if (missing == MissingFolder::Ask
                && !ds.ask(QStringLiteral("フォルダ「%1」がありません。作成しますか？").arg(text), MsgKind::Question,
                           str(t.emptyTitle), owner))
                return r;
            if (!QDir().mkpath(text) || !IsFolder(text))
                return refuse(QStringLiteral("フォルダ「%1」を作成できません。").arg(text));
        }
    }
    QString error;
    try {
        Connection conn(g.dbConnectString);
        conn.begin();
        r.previous = storeFolder(t, conn, text);
        if (rebase) {
            r.rebase = RebaseStoredPaths(conn, r.previous, text);
            if (r.rebase.failed)
                error = r.rebase.error + QStringLiteral("\n\r")
                        + QStringLiteral("基準フォルダと保存されているパスは変更されていません。");
        }
        if (error.isEmpty())
            conn.commit();
        else
            conn.rollback();
    } catch (const DbError &e) {
        error = e.message();
    }
    if (!error.isEmpty()) {
        ds.message(error, MsgKind::Critical, str(t.windowTitle), MsgButtons::Ok, owner);
        r.outcome = SaveOutcome::Failed;
        return r;
    }
    // Only a save that reached the library counts for the set-up.
    AdvanceFolderSetupStage(g);
    r.outcome = SaveOutcome::Saved;
    return r;
}

QString browse(const FolderTable &t, Global &g, DialogService &ds, const QString &current, QObject *owner)
{
    const QString chosen = BrowseFolder(g, ds, owner, str(t.prompt), current);
    return chosen.isEmpty() ? current : chosen;
}

}  // namespace

FolderLoad LoadBaseFolder(Global &g, DialogService &ds, QObject *owner)
{
    return loadFolder(kBase, g, ds, owner);
}

FolderLoad LoadOutputFolder(Global &g, DialogService &ds, QObject *owner)
{
    return loadFolder(kOutput, g, ds, owner);
}

QString BrowseBaseFolder(Global &g, DialogService &ds, const QString &current, QObject *owner)
{
    return browse(kBase, g, ds, current, owner);
}

QString BrowseOutputFolder(Global &g, DialogService &ds, const QString &current, QObject *owner)
{
    return browse(kOutput, g, ds, current, owner);
}

SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, QObject *owner, MissingFolder missing)
{
    return saveFolder(kBase, g, ds, text, true, missing, owner);
}

SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner, MissingFolder missing)
{
    return saveFolder(kOutput, g, ds, text, false, missing, owner);
}

SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, QObject *owner)
{
    return SaveBaseFolder(g, ds, text, owner, MissingFolder::Ask);
}

SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner)
{
    return SaveOutputFolder(g, ds, text, owner, MissingFolder::Ask);
}

void AdvanceFolderSetupStage(Global &g)
{
    if (g.isNewLibrary != True16)
        return;
    if (g.folderSetupStage == 0)
        g.folderSetupStage = 1;
    else if (g.folderSetupStage == 1)
        g.folderSetupStage = 2;
}

bool CloseBaseFolderWindow(const Global &g)
{
    return g.folderSetupStage == 2;
}

bool CloseOutputFolderWindow(const Global &g)
{
    return g.folderSetupStage == 2;
}

}  // namespace tessaly
