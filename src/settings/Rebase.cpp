#include "Rebase.h"

#include "Database.h"
#include "Paths.h"
#include "Statement.h"

#include <limits>
#include <vector>

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

bool beginsWith(const QStringList &parts, const QStringList &root, Qt::CaseSensitivity cs)
{
    if (parts.size() < root.size())
        return false;
    for (int i = 0; i < root.size(); ++i)
        if (parts.at(i).compare(root.at(i), cs) != 0)
            return false;
    return true;
}

// Rows read per page: the walk holds no more than this, whatever the library's size,
// and no read statement stays open while rows are written.
constexpr int kPage = 1000;

// Rewrites the path fields of every row of one table. Fields in `always` must hold a
// path; the others are skipped when Null or empty.
void rewriteTable(Connection &conn, const RebasePlan &plan, const char *table, const char *key,
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

    struct Row {
        qint64 key;
        QVariantList values;
    };
    std::vector<Row> rows;
    rows.reserve(kPage);
    qint64 last = std::numeric_limits<qint64>::min();
    for (;;) {
        rows.clear();
        page.bind(1, last);
        while (page.step()) {
            Row r{page.integer(0), {}};
            for (int i = 0; i < fields.size(); ++i)
                r.values << (page.isNull(i + 1) ? QVariant() : QVariant(page.utf8(i + 1).toString()));
            rows.push_back(std::move(r));
        }
        page.reset();
        if (rows.empty())
            return;
        last = rows.back().key;
        for (Row &r : rows) {
            bool rowChanged = false;
            QStringList texts(fields.size());
            for (int i = 0; i < fields.size(); ++i) {
                const QVariant &stored = r.values.at(i);
                if (i >= always && (stored.isNull() || stored.toString().isEmpty()))
                    continue;
                bool changed = false;
                if (!RebasePath(plan, stored, &texts[i], &changed)) {
                    const QString why = stored.isNull()
                                            ? QStringLiteral("値がありません")
                                            : QStringLiteral("「%1」はルートより短いパスです").arg(stored.toString());
                    throw RebaseFault{QStringLiteral("%1 (%2=%3) の %4 を書き換えられません: %5")
                                          .arg(t, k)
                                          .arg(r.key)
                                          .arg(fields.at(i), why)};
                }
                rowChanged = rowChanged || changed;
            }
            if (!rowChanged)
                continue;
            for (int i = 0; i < fields.size(); ++i) {
                if (!texts.at(i).isNull())
                    update.bind(i + 1, texts.at(i));
                else if (r.values.at(i).isNull())
                    update.bindNull(i + 1);
                else
                    update.bind(i + 1, r.values[i].toString());
            }
            update.bind(int(fields.size()) + 1, r.key);
            update.step();
            update.reset();
            ++result.rowsSaved;
        }
    }
}

// The roots left after stripping `tail` common components, or false when they would
// lie one in the other.
bool apart(const QStringList &a, const QStringList &b, Qt::CaseSensitivity cs)
{
    return !beginsWith(a, b, cs) && !beginsWith(b, a, cs);
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
    if (!IsAbsolutePath(newBase))
        return plan;
    QStringList oldParts = baseComponents(oldBase);
    QStringList newParts = baseComponents(newBase);
    plan.oldCaseless = IsWindowsFormPath(oldBase);
    // Roots in two different forms never lie one in the other.
    const Qt::CaseSensitivity cs = plan.oldCaseless ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool sameForm = IsWindowsFormPath(oldBase) == IsWindowsFormPath(newBase);
    const auto rootsApart = [&](const QStringList &a, const QStringList &b) { return !sameForm || apart(a, b, cs); };
    if (oldParts.isEmpty() || !rootsApart(oldParts, newParts))
        return plan;
    while (oldParts.size() > 1 && newParts.size() > 1 && oldParts.last() == newParts.last()
           && rootsApart(oldParts.mid(0, oldParts.size() - 1), newParts.mid(0, newParts.size() - 1))) {
        oldParts.removeLast();
        newParts.removeLast();
    }
    plan.oldParts = oldParts;
    plan.newParts = newParts;
    plan.newSeparator = PathSeparator(newBase);
    plan.run = true;
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

RebaseResult RebaseStoredPaths(Connection &conn, const QString &oldBase, const QString &newBase)
{
    RebaseResult result;
    const RebasePlan plan = PlanRebase(oldBase, newBase);
    if (!plan.run)
        return result;
    result.ran = true;
    try {
        rewriteTable(conn, plan, "photoGraph", "ID", {QStringLiteral("topFolder")}, 1, result);
        rewriteTable(conn, plan, "photoYear", "ID1", {QStringLiteral("yearFolder")}, 1, result);
        rewriteTable(conn, plan, "photoIvents", "ID2",
                     {QStringLiteral("iventsFolder"), QStringLiteral("Ivents"), QStringLiteral("iventsPhoto")}, 1,
                     result);
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
