#include "Rebase.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"

#include <memory>

namespace tessaly {

namespace {

// A stored path that the rewrite cannot take.
struct RebaseFault {
    QString what;
};

// Components split on the path's own separator, trailing separators dropped
// ("/" keeps one empty component, "C:\" keeps "C:"). Empty text has none.
QStringList baseComponents(const QString &path)
{
    if (path.isEmpty())
        return {};
    QStringList parts = path.split(PathSeparator(path));
    while (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

bool isAbsolute(const QString &path)
{
    return IsWindowsFormPath(path) || path.startsWith(QLatin1Char('/'));
}

bool beginsWith(const QStringList &parts, const QStringList &root, Qt::CaseSensitivity cs)
{
    if (parts.size() < root.size())
        return false;
    for (int i = 0; i < root.size(); ++i)
        if (parts.at(i).compare(root.at(i), cs) != 0)
            return false;
    return true;
}

QString rowKey(const RowSet &rs, const QString &table)
{
    const QString key = table.compare(QLatin1String("photoGraph"), Qt::CaseInsensitive) == 0   ? QStringLiteral("ID")
                        : table.compare(QLatin1String("photoYear"), Qt::CaseInsensitive) == 0 ? QStringLiteral("ID1")
                                                                                                : QStringLiteral("ID2");
    return key + QLatin1Char('=') + QString::number(rs.number(key));
}

// Rewrites the paths of every row of one table. Fields in `always` must hold a path;
// fields in `ifSet` are skipped when Null or empty.
void rewriteTable(Connection &conn, const RebasePlan &plan, const QString &statement, const QStringList &always,
                  const QStringList &ifSet, RebaseResult &result)
{
    RowSet rs(conn, statement);
    for (; !rs.eof(); rs.moveNext()) {
        bool rowChanged = false;
        auto rewrite = [&](const QString &field) {
            const QVariant stored = rs.value(field);
            QString text;
            bool changed = false;
            if (!RebasePath(plan, stored, &text, &changed)) {
                const QString why = stored.isNull()
                                        ? QStringLiteral("値がありません")
                                        : QStringLiteral("「%1」はルートより短いパスです").arg(stored.toString());
                rs.cancelUpdate();
                throw RebaseFault{QStringLiteral("%1 (%2) の %3 を書き換えられません: %4")
                                      .arg(rs.table(), rowKey(rs, rs.table()), field, why)};
            }
            if (changed) {
                rs.setText(field, text);
                rowChanged = true;
            }
        };
        for (const QString &f : always)
            rewrite(f);
        for (const QString &f : ifSet) {
            const QVariant v = rs.value(f);
            if (!v.isNull() && !v.toString().isEmpty())
                rewrite(f);
        }
        if (rowChanged) {
            rs.update();
            ++result.rowsSaved;
        }
    }
}

}  // namespace

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
    // A blank or relative base folder gives no root to move the stored paths to.
    if (!isAbsolute(newBase))
        return plan;
    QStringList oldParts = baseComponents(oldBase);
    QStringList newParts = baseComponents(newBase);
    while (oldParts.size() > 1 && newParts.size() > 1 && oldParts.last() == newParts.last()) {
        oldParts.removeLast();
        newParts.removeLast();
    }
    plan.oldParts = oldParts;
    plan.newParts = newParts;
    plan.newSeparator = PathSeparator(newBase);
    plan.oldCaseless = IsWindowsFormPath(oldBase);
    plan.run = !oldParts.isEmpty() && oldParts != newParts;
    return plan;
}

bool RebasePath(const RebasePlan &plan, const QVariant &stored, QString *result, bool *changed)
{
    if (stored.isNull())
        return false;
    const QString path = stored.toString();
    if (plan.driveRule) {
        const int n = PathRootLength(path);
        if (path.size() < n)
            return false;
        *result = plan.newRoot + path.mid(n);
    } else {
        *result = path;
        if (!path.isEmpty()) {
            const QStringList parts = path.split(PathSeparator(path));
            if (beginsWith(parts, plan.oldParts, plan.oldCaseless ? Qt::CaseInsensitive : Qt::CaseSensitive)) {
                const QStringList out = plan.newParts + parts.mid(plan.oldParts.size());
                // The root "/" alone is one empty component.
                *result = out.size() == 1 && out.first().isEmpty() ? QString(plan.newSeparator)
                                                                   : out.join(plan.newSeparator);
            }
        }
    }
    *changed = *result != path;
    return true;
}

RebaseResult RebaseStoredPaths(Global &g, DialogService &ds, const QString &oldBase, const QString &newBase,
                               QObject *owner)
{
    RebaseResult result;
    const RebasePlan plan = PlanRebase(oldBase, newBase);
    if (!plan.run)
        return result;
    result.ran = true;

    std::unique_ptr<Connection> conn;
    try {
        conn = std::make_unique<Connection>(g.dbConnectString);
        // One commit for the whole walk; an error commits what was saved before it.
        conn->begin();
        rewriteTable(*conn, plan, QStringLiteral("select * from photoGraph"), {QStringLiteral("topFolder")}, {},
                     result);
        rewriteTable(*conn, plan, QStringLiteral("select * from photoYear"), {QStringLiteral("yearFolder")}, {},
                     result);
        rewriteTable(*conn, plan, QStringLiteral("select * from photoivents"), {QStringLiteral("iventsFolder")},
                     {QStringLiteral("Ivents"), QStringLiteral("iventsPhoto")}, result);
        conn->commit();
        return result;
    } catch (const DbError &e) {
        result.error = e.message();
    } catch (const RebaseFault &f) {
        result.error = f.what;
    }
    result.failed = true;
    try {
        if (conn && conn->isOpen())
            conn->commit();
    } catch (...) {
        // Nothing more can be done here; the message below sends the user to AutoSet.
    }
    conn.reset();
    ds.message(QStringLiteral("この後「AutoSet」を実行してください。"), MsgKind::None, QStringLiteral("Tessaly"),
               MsgButtons::Ok, owner);
    return result;
}

}  // namespace tessaly
