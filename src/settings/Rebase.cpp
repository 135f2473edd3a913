#include "Rebase.h"

#include "Database.h"
#include "Paths.h"
#include "Statement.h"

#include <QCoreApplication>
#include <QHash>

#include <limits>
#include <tuple>
#include <vector>

namespace tessaly {

namespace {

// A stored path that the rewrite cannot take.
struct RebaseFault {
    QString what;
};

// The folder without trailing separators ("/" becomes empty text, "C:\" becomes "C:").
QString folderText(const QString &path)
{
    QString f = path;
    const QChar sep = PathSeparator(path);
    while (!f.isEmpty() && f.endsWith(sep))
        f.chop(1);
    return f;
}

// The same test on stored UTF-8, for folders of this system.
bool inFolder8(const QByteArray &path, const QByteArray &folder)
{
    return path.startsWith(folder) && path.size() > folder.size() ? path.at(folder.size()) == '/'
                                                                   : path == folder && !folder.isEmpty();
}

// Rows read per page: the walk holds no more than this, whatever the library's size,
// and no read statement stays open while rows are written.
constexpr int kPage = 1000;

const char kKeptTable[] = "keptPaths";

// Paths that a move of the base folder left where they were although they lie in the
// base folder: they are no part of the tree, and no later move takes them along. A note
// holds while the field still has the text noted.
struct KeptPaths {
    QHash<QString, QByteArray> noted;  // "table|key|field" -> path
    QList<std::tuple<QString, qint64, QString, QByteArray>> next;

    static QString id(const QString &table, qint64 key, const QString &field)
    {
        return table + QLatin1Char('|') + QString::number(key) + QLatin1Char('|') + field;
    }
    bool isKept(const QString &table, qint64 key, const QString &field, const QByteArray &path) const
    {
        if (noted.isEmpty())
            return false;
        const auto it = noted.constFind(id(table, key, field));
        return it != noted.constEnd() && it.value() == path;
    }

    void load(Connection &conn)
    {
        Statement exists(conn, QStringLiteral("select 1 from sqlite_master where type='table' and name=?"));
        const QString name = QString::fromLatin1(kKeptTable);
        exists.bind(1, name);
        if (!exists.step())
            return;
        Statement st(conn, QStringLiteral("select tableName, rowKey, field, path from %1").arg(QLatin1String(kKeptTable)));
        while (st.step()) {
            const QUtf8StringView p = st.utf8(3);
            noted.insert(id(st.utf8(0).toString(), st.integer(1), st.utf8(2).toString()),
                         QByteArray(p.data(), p.size()));
        }
    }
    void store(Connection &conn)
    {
        if (next.isEmpty() && noted.isEmpty())
            return;
        conn.exec(QStringLiteral("create table if not exists %1 (tableName TEXT, rowKey INTEGER, field TEXT, path TEXT)")
                      .arg(QLatin1String(kKeptTable)));
        conn.exec(QStringLiteral("delete from %1").arg(QLatin1String(kKeptTable)));
        Statement ins(conn, QStringLiteral("insert into %1 values (?, ?, ?, ?)").arg(QLatin1String(kKeptTable)));
        for (const auto &[table, key, field, path] : next) {
            ins.bind(1, table);
            ins.bind(2, key);
            ins.bind(3, field);
            ins.bind(4, path);
            ins.step();
            ins.reset();
        }
    }
};

// The move of one stored path. Returns false for a path the rule cannot take.
// *inNew: the path stays as it is and lies in the new base folder.
bool movePath(const RebasePlan &plan, const QString &path, bool kept, QString *result, bool *inNew)
{
    *inNew = false;
    if (plan.driveRule) {
        const int n = PathRootLength(path);
        if (path.size() < n)
            return false;
        *result = plan.newRoot + path.mid(n);
        return true;
    }
    if (!kept && PathInFolder(path, plan.oldBase)) {
        *result = MovedPath(path, plan.oldBase, plan.newBase);
        return true;
    }
    *result = path;
    *inNew = PathInFolder(path, plan.newBase);
    return true;
}

// Rewrites the path fields of every row of one table. Fields from `always` on are
// skipped when Null or empty; those before must hold a path.
void rewriteTable(Connection &conn, const RebasePlan &plan, KeptPaths &kept, const char *table, const char *key,
                  const QStringList &fields, int always, RebaseResult &result)
{
    const QString t = QLatin1String(table), k = QLatin1String(key);
    Statement page(conn, QStringLiteral("select %1, %2 from %3 where %1 > ? order by %1 limit %4")
                             .arg(k, fields.join(QLatin1Char(',')), t)
                             .arg(kPage));
    QStringList sets;
    for (const QString &f : fields)
        sets << f + QStringLiteral("=?");
    Statement update(conn, QStringLiteral("update %1 set %2 where %3=?").arg(t, sets.join(QLatin1Char(',')), k));
    // Folders of this system on both sides: the stored UTF-8 is compared and joined as it is.
    const bool bytes = !plan.driveRule && !IsWindowsFormPath(plan.oldBase) && !IsWindowsFormPath(plan.newBase);
    const QByteArray old8 = folderText(plan.oldBase).toUtf8(), new8 = folderText(plan.newBase).toUtf8();

    struct Row {
        qint64 key;
        QByteArray values[3];  // as stored, UTF-8; Null is a null QByteArray
    };
    const int n = int(fields.size());
    std::vector<Row> rows(kPage);
    qint64 last = std::numeric_limits<qint64>::min();
    for (;;) {
        int count = 0;
        page.bind(1, last);
        while (page.step()) {
            Row &r = rows[size_t(count++)];
            r.key = page.integer(0);
            for (int i = 0; i < n; ++i) {
                const QUtf8StringView v = page.utf8(i + 1);
                r.values[i] = v.isNull() ? QByteArray() : QByteArray(v.data(), v.size());
            }
        }
        page.reset();
        if (count == 0)
            return;
        last = rows[size_t(count - 1)].key;
        for (int j = 0; j < count; ++j) {
            const Row &r = rows[size_t(j)];
            bool rowChanged = false;
            QByteArray texts[3];
            for (int i = 0; i < n; ++i) {
                const QByteArray &stored = r.values[i];
                texts[i] = stored;
                if (i >= always && stored.isEmpty())
                    continue;
                const bool isKept = !plan.driveRule && kept.isKept(t, r.key, fields.at(i), stored);
                bool inNew = false;
                if (bytes && !stored.isNull()) {
                    if (!isKept && inFolder8(stored, old8))
                        texts[i] = stored.size() == old8.size() && new8.isEmpty() ? QByteArray("/")
                                                                                   : new8 + stored.mid(old8.size());
                    else
                        inNew = inFolder8(stored, new8);
                } else {
                    QString text;
                    if (stored.isNull() || !movePath(plan, QString::fromUtf8(stored), isKept, &text, &inNew)) {
                        const QString why = stored.isNull()
                                                ? QCoreApplication::translate("FolderSettings", "値がありません")
                                                : QCoreApplication::translate("FolderSettings", "「%1」はルートより短いパスです").arg(QString::fromUtf8(stored));
                        throw RebaseFault{QCoreApplication::translate("FolderSettings", "%1 (%2=%3) の %4 を書き換えられません: %5")
                                              .arg(t, k)
                                              .arg(r.key)
                                              .arg(fields.at(i), why)};
                    }
                    texts[i] = text.toUtf8();
                }
                if (isKept || inNew)
                    kept.next.append({t, r.key, fields.at(i), stored});
                rowChanged = rowChanged || texts[i] != stored;
            }
            if (!rowChanged)
                continue;
            for (int i = 0; i < n; ++i) {
                if (r.values[i].isNull())
                    update.bindNull(i + 1);
                else
                    update.bind(i + 1, texts[i]);  // SQLite takes UTF-8 as it is
            }
            update.bind(n + 1, r.key);
            update.step();
            update.reset();
            ++result.rowsSaved;
        }
    }
}

}  // namespace

bool PathInFolder(const QString &path, const QString &folder)
{
    if (!IsAbsolutePath(folder))
        return false;
    const QString f = folderText(folder);
    const QChar sep = PathSeparator(folder);
    if (PathSeparator(path) != sep)
        return false;
    const Qt::CaseSensitivity cs = IsWindowsFormPath(folder) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (!path.startsWith(f, cs))
        return false;
    return path.size() > f.size() ? path.at(f.size()) == sep : !f.isEmpty();
}

QString MovedPath(const QString &path, const QString &oldFolder, const QString &newFolder)
{
    if (!PathInFolder(path, oldFolder))
        return path;
    const QString from = folderText(oldFolder), to = folderText(newFolder);
    QString rest = path.mid(from.size());
    const QChar oldSep = PathSeparator(oldFolder), newSep = PathSeparator(newFolder);
    if (oldSep != newSep)
        rest.replace(oldSep, newSep);
    const QString moved = to + rest;
    return moved.isEmpty() ? QString(newSep) : moved;
}

RebasePlan PlanRebase(const QString &oldBase, const QString &newBase)
{
    RebasePlan plan;
    if (IsWindowsFormPath(oldBase) && IsWindowsFormPath(newBase)) {
        // Only the first two characters count: two shares ("\\") never differ, and
        // D:\photo -> D:\album moves nothing.
        plan.driveRule = true;
        const QString oldPrefix = oldBase.left(2);
        const QString newPrefix = newBase.left(2);
        plan.newRoot = PathRoot(newBase);
        plan.run = !oldPrefix.isEmpty() && newPrefix != oldPrefix;
        return plan;
    }
    // A blank or relative base folder holds nothing, or gives nothing to move to.
    if (!IsAbsolutePath(oldBase) || !IsAbsolutePath(newBase))
        return plan;
    plan.oldBase = oldBase;
    plan.newBase = newBase;
    plan.run = folderText(oldBase) != folderText(newBase);
    return plan;
}

bool RebasePath(const RebasePlan &plan, const QVariant &stored, QString *result, bool *changed)
{
    if (stored.isNull())
        return false;
    const QString path = stored.toString();
    bool inNew = false;
    if (!movePath(plan, path, false, result, &inNew))
        return false;
    *changed = *result != path;
    return true;
}

RebaseResult RebaseStoredPaths(Connection &conn, const QString &oldBase, const QString &newBase)
{
    RebaseResult result;
    const RebasePlan plan = PlanRebase(oldBase, newBase);
    if (!plan.run)
        return result;
    result.ran = true;
    try {
        KeptPaths kept;
        if (!plan.driveRule)
            kept.load(conn);
        rewriteTable(conn, plan, kept, "photoGraph", "ID", {QStringLiteral("topFolder")}, 1, result);
        rewriteTable(conn, plan, kept, "photoYear", "ID1", {QStringLiteral("yearFolder")}, 1, result);
        rewriteTable(conn, plan, kept, "photoIvents", "ID2",
                     {QStringLiteral("iventsFolder"), QStringLiteral("Ivents"), QStringLiteral("iventsPhoto")}, 1,
                     result);
        if (!plan.driveRule)
            kept.store(conn);
        return result;
    } catch (const DbError &e) {
        result.error = e.message();
    } catch (const RebaseFault &f) {
        result.error = f.what;
    }
    result.failed = true;
    return result;
}

}  // namespace tessaly
