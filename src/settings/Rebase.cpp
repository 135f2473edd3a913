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

// The common moves done on the stored UTF-8 itself: a Linux root to a Linux root, and a
// drive to a drive. Anything else goes through RebasePath.
struct Utf8Plan {
    bool usable = false;
    bool drive = false;
    QByteArray oldRoot, newRoot;
};

Utf8Plan utf8Plan(const RebasePlan &plan)
{
    Utf8Plan u;
    u.drive = plan.driveRule;
    if (plan.driveRule) {
        u.usable = !plan.newRoot.startsWith(QLatin1String("\\\\"));
        u.newRoot = plan.newRoot.toUtf8();
    } else {
        u.usable = !plan.oldCaseless && plan.newSeparator == QLatin1Char('/');
        u.oldRoot = plan.oldRoot.toUtf8();
        u.newRoot = plan.newRootText.toUtf8();
    }
    return u;
}

// False when the UTF-8 way does not apply to this path.
bool rebaseUtf8(const Utf8Plan &u, const QByteArray &path, QByteArray *out)
{
    if (!u.usable || path.isEmpty())
        return false;
    const bool windowsForm = path.startsWith("\\\\") || (path.size() >= 2 && path.at(1) == ':');
    if (u.drive) {
        // A drive path's root is its first two characters: two bytes when both are ASCII.
        if (path.startsWith("\\\\") || path.size() < 2 || (path.at(0) & 0x80) || (path.at(1) & 0x80))
            return false;
        *out = u.newRoot + path.mid(2);
        return true;
    }
    if (windowsForm)
        return false;
    const QByteArray &root = u.oldRoot;
    if (path.startsWith(root) && (path.size() == root.size() ? !root.isEmpty() : path.at(root.size()) == '/')) {
        *out = u.newRoot + path.mid(root.size());
        if (out->isEmpty())
            *out = "/";
    } else {
        *out = path;
    }
    return true;
}

// Rewrites the path fields of every row of one table. Fields from `always` on are
// skipped when Null or empty; those before must hold a path.
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
    const Utf8Plan u = utf8Plan(plan);

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
                if (i >= always && stored.isEmpty()) {
                    texts[i] = stored;
                    continue;
                }
                if (!stored.isNull() && rebaseUtf8(u, stored, &texts[i])) {
                    rowChanged = rowChanged || texts[i] != stored;
                    continue;
                }
                const QVariant value = stored.isNull() ? QVariant() : QVariant(QString::fromUtf8(stored));
                QString text;
                bool changed = false;
                if (!RebasePath(plan, value, &text, &changed)) {
                    const QString why = stored.isNull()
                                            ? QStringLiteral("値がありません")
                                            : QStringLiteral("「%1」はルートより短いパスです").arg(value.toString());
                    throw RebaseFault{QStringLiteral("%1 (%2=%3) の %4 を書き換えられません: %5")
                                          .arg(t, k)
                                          .arg(r.key)
                                          .arg(fields.at(i), why)};
                }
                texts[i] = text.toUtf8();
                rowChanged = rowChanged || changed;
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
    plan.oldRoot = oldParts.join(PathSeparator(oldBase));
    plan.newSeparator = PathSeparator(newBase);
    plan.newRootText = newParts.join(plan.newSeparator);
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
        // Whole components: the old root, then the end or a separator. The rest keeps its
        // components, in the new root's separators.
        *result = path;
        const QString &root = plan.oldRoot;
        const QChar sep = PathSeparator(path);
        const Qt::CaseSensitivity cs = plan.oldCaseless ? Qt::CaseInsensitive : Qt::CaseSensitive;
        if (!path.isEmpty() && path.startsWith(root, cs)
            && (path.size() == root.size() ? !root.isEmpty() : path.at(root.size()) == sep)) {
            QString rest = path.mid(root.size());
            if (sep != plan.newSeparator)
                rest.replace(sep, plan.newSeparator);
            *result = plan.newRootText + rest;
            if (result->isEmpty())  // the root "/" alone
                *result = QString(plan.newSeparator);
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
