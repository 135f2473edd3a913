#include "FolderSettings.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"
#include "Pickers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace tessaly {

namespace {

struct FolderTable {
    const char *statement;  // the single row
    const char *table;
    const char *field;
    const char *changedText;  // the stored folder changed after the window read it
    const char *windowTitle;  // title of a library fault
    const char *emptyTitle;   // title of "no folder chosen"
    const char *prompt;       // folder browser prompt
};

const FolderTable kBase{"select * from allTop where ID=1", "allTop", "allTop", QT_TRANSLATE_NOOP("FolderSettings", "基準フォルダは読み込んだ後に他で変更されています。"),
                        QT_TRANSLATE_NOOP("Titles", "基準フォルダ設定"), QT_TRANSLATE_NOOP("Titles", "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定"),
                        "基準フォルダ選択"};
const FolderTable kOutput{"select * from systemdir where ID=1", "systemdir", "htmlDir",
                          QT_TRANSLATE_NOOP("FolderSettings", "HTML出力先は読み込んだ後に他で変更されています。"), QT_TRANSLATE_NOOP("Titles", "HTML出力先"), QT_TRANSLATE_NOOP("Titles", "HTMLﾌｫﾙﾀﾞ設定"),
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
        r.stored = rs.isNull(field) ? QString() : rs.text(field);
        r.text = r.stored.trimmed().isEmpty() ? QString() : r.stored;
        r.ok = true;
    } catch (const DbError &e) {
        ds.message(e.message(), MsgKind::Critical, str(t.windowTitle), MsgButtons::Ok, owner);
    }
    return r;
}

// Writes the text into the single row; returns the folder stored before it (null
// when none). With asLoaded, the row is written only while it still holds that folder
// (Null taken as empty, as the box shows it): *changed tells when it no longer does.
// Throws DbError.
QString storeFolder(const FolderTable &t, Connection &conn, const QString &text, const FolderLoad *asLoaded,
                    bool *changed)
{
    const QString field = str(t.field);
    *changed = false;
    RowSet rs(conn, str(t.statement));
    if (rs.eof()) {
        if (asLoaded && !asLoaded->stored.isEmpty()) {
            *changed = true;
            return QString();
        }
        // The row is looked up by ID 1, so a row added here must carry it.
        rs.addNew();
        rs.setNumber(QStringLiteral("ID"), 1);
        rs.setText(field, text);
        rs.update();
        return QString();
    }
    const QString previous = rs.isNull(field) ? QString() : rs.text(field);
    // The compare lies in the statement itself, inside the caller's write transaction.
    QString update = QStringLiteral("update %1 set %2=? where ID=1").arg(str(t.table), field);
    QVariantList params{text};
    if (asLoaded) {
        update += QStringLiteral(" and coalesce(%1,'')=?").arg(field);
        params << (asLoaded->stored.isNull() ? QStringLiteral("") : asLoaded->stored);
    }
    QSqlQuery q(conn.database());
    if (!q.prepare(update))
        throw DbError(conn.errorText(QCoreApplication::translate("FolderSettings", "書き込み"), q.lastError()));
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, params[i]);
    if (!q.exec())
        throw DbError(conn.errorText(QCoreApplication::translate("FolderSettings", "書き込み"), q.lastError()));
    *changed = q.numRowsAffected() == 0;
    return previous;
}

// After a move (a library brought over from Windows): the title files (what 開く opens)
// and photos whose paths still name a drive or nothing on this computer.
void reportUnreachablePaths(Global &g, DialogService &ds, const QString &title, QObject *owner)
{
    QStringList lost;
    int count = 0;
    try {
        Connection conn(g.dbConnectString);
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("select Ivents, iventsPhoto from photoIvents order by ID2")))
            return;
        while (q.next())
            for (int c = 0; c < 2; ++c) {
                const QString path = q.value(c).toString();
                if (path.isEmpty() || (!IsWindowsFormPath(path) && QFileInfo::exists(path)))
                    continue;
                if (++count <= 20)
                    lost << path;
            }
    } catch (const DbError &) {
        return;  // the save itself went through; this is only advice
    }
    if (count == 0)
        return;
    QString text = QCoreApplication::translate("FolderSettings", "登録済みのファイルと写真のうち %1 件は、パスがまだ Windows のドライブを指しているか、"
                                  "このコンピューターにありません（そのタイトルの「開く」は使えません）:\n\r")
                       .arg(count)
                   + lost.join(QStringLiteral("\n\r"));
    if (count > lost.size())
        text += QCoreApplication::translate("FolderSettings", "\n\r…ほか %1 件").arg(count - lost.size());
    ds.message(text, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
}

// The folder and, for the base folder, the rewrite of the stored paths are one
// transaction: both are stored or neither.
SaveResult saveFolder(const FolderTable &t, Global &g, DialogService &ds, const QString &typed, bool rebase,
                      MissingFolder missing, const FolderLoad *asLoaded, QObject *owner)
{
    SaveResult r;
    r.outcome = SaveOutcome::NoFolder;
    const FolderText judged = JudgeFolderText(typed);
    const QString text = judged.path;
    r.folder = text;
    const auto refuse = [&](const QString &message) {
        ds.message(message, MsgKind::Exclamation, str(t.emptyTitle), MsgButtons::Ok, owner);
        return r;
    };
    switch (judged.fault) {
    case FolderTextFault::Empty:
        return refuse(QCoreApplication::translate("FolderSettings", "ﾌｫﾙﾀﾞが選択されていません！"));
    case FolderTextFault::OtherSystem:
        // It would name nothing here, and every page written under it would fail.
        return refuse(OtherSystemFolderMessage(text));
    case FolderTextFault::Relative:
        // It would be looked up from wherever the program was started.
        return refuse(QCoreApplication::translate("FolderSettings", "「%1」はフォルダの場所を「/」から示していません。\n\r"
                                     "フォルダは「参照」で選ぶか、「/」で始まるパスで入力してください。")
                          .arg(text));
    case FolderTextFault::None:
        break;
    }
    const QFileInfo fi(text);
    if (fi.exists() && !fi.isDir())
        return refuse(QCoreApplication::translate("FolderSettings", "「%1」はフォルダではなくファイルです。フォルダを指定してください。").arg(text));
    if (!fi.exists()) {
        if (missing == MissingFolder::Refuse)
            return refuse(QCoreApplication::translate("FolderSettings", "フォルダ「%1」がありません。").arg(text));
        if (missing == MissingFolder::Ask
            && !ds.ask(QCoreApplication::translate("FolderSettings", "フォルダ「%1」がありません。作成しますか？").arg(text), MsgKind::Question,
                       str(t.emptyTitle), owner))
            return r;
        if (!QDir().mkpath(text) || !IsFolder(text))
            return refuse(QCoreApplication::translate("FolderSettings", "フォルダ「%1」を作成できません。").arg(text));
    }
    QString error;
    bool changed = false;
    try {
        Connection conn(g.dbConnectString);
        conn.begin();
        r.previous = storeFolder(t, conn, text, asLoaded, &changed);
        if (changed) {
            conn.rollback();
            conn.close();
            r.current = loadFolder(t, g, ds, owner);
            r.outcome = SaveOutcome::ChangedElsewhere;
            ds.message(QCoreApplication::translate("FolderSettings", t.changedText) + QStringLiteral("\n\r")
                           + QCoreApplication::translate("FolderSettings", "書き込みは行いませんでした。保存されている内容を表示します。"),
                       MsgKind::Exclamation, str(t.windowTitle), MsgButtons::Ok, owner);
            return r;
        }
        if (rebase) {
            r.rebase = RebaseStoredPaths(conn, r.previous, text);
            if (r.rebase.failed)
                error = r.rebase.error + QStringLiteral("\n\r")
                        + QCoreApplication::translate("FolderSettings", "基準フォルダと保存されているパスは変更されていません。");
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
    if (rebase && r.rebase.rowsSaved > 0)
        reportUnreachablePaths(g, ds, str(t.windowTitle), owner);
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
    return saveFolder(kBase, g, ds, text, true, missing, nullptr, owner);
}

SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner, MissingFolder missing)
{
    return saveFolder(kOutput, g, ds, text, false, missing, nullptr, owner);
}

SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, QObject *owner)
{
    return SaveBaseFolder(g, ds, text, owner, MissingFolder::Ask);
}

SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, QObject *owner)
{
    return SaveOutputFolder(g, ds, text, owner, MissingFolder::Ask);
}

SaveResult SaveBaseFolder(Global &g, DialogService &ds, const QString &text, const FolderLoad &asLoaded,
                          QObject *owner)
{
    return saveFolder(kBase, g, ds, text, true, MissingFolder::Ask, &asLoaded, owner);
}

SaveResult SaveOutputFolder(Global &g, DialogService &ds, const QString &text, const FolderLoad &asLoaded,
                            QObject *owner)
{
    return saveFolder(kOutput, g, ds, text, false, MissingFolder::Ask, &asLoaded, owner);
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
