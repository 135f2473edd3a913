#include "AutoSet.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"

#include <QFileInfo>
#include <QHash>
#include <QAnyStringView>
#include <QSqlDriver>
#include <QUtf8StringView>

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <vector>

namespace tessaly {

namespace {

const QString kTitle = QStringLiteral("オートセット");

QString appTitle()
{
    return QStringLiteral("Tessaly");
}

// A failure inside a pass that is not the database's: a folder that cannot be listed.
struct ScanError {
    QString message;
};

// Sub-folders of a stored folder. A folder that is gone (or is no folder any more)
// lists nothing, so one vanished entry does not end the pass for the others; a
// folder that is there but cannot be read is an error.
QStringList listSubFolders(const QString &folder)
{
    if (folder.isEmpty())
        return QStringList();
    const QFileInfo fi(folder);
    if (!fi.exists() || !fi.isDir())
        return QStringList();
    if (!fi.isReadable() || !fi.isExecutable())
        throw ScanError{QStringLiteral("フォルダ「%1」を読み取れません。").arg(folder)};
    return ListFolders(folder);
}

// One statement prepared once per pass on the pass's own connection and run many
// times. The auto-set writes up to a hundred thousand rows in one run, so its hot
// statements go straight to SQLite on the connection's handle; Qt's per-value binding
// would cost more than the folder walk itself.
class Statement {
public:
    Statement(Connection &conn, const QString &sql) : m_conn(conn)
    {
        m_db = handleOf(conn);
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(int i, qint64 n)
    {
        if (sqlite3_bind_int64(m_stmt, i, n) != SQLITE_OK)
            fail();
    }
    // The text must stay alive until step() is done with it.
    void bind(int i, const QString &text)
    {
        if (sqlite3_bind_text16(m_stmt, i, text.utf16(), int(text.size() * sizeof(char16_t)), SQLITE_STATIC)
            != SQLITE_OK)
            fail();
    }
    // True while a row is there; false at the end.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    qint64 integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    // A text column as stored, valid until the next step; null for Null.
    QUtf8StringView utf8(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return p ? QUtf8StringView(p, sqlite3_column_bytes(m_stmt, col)) : QUtf8StringView();
    }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }

private:
    static sqlite3 *handleOf(Connection &conn)
    {
        const QVariant v = conn.database().driver()->handle();
        sqlite3 *db = nullptr;
        if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
            db = *static_cast<sqlite3 *const *>(v.data());
        if (!db)
            throw DbError(conn.errorText(QStringLiteral("処理"), QStringLiteral("SQLite の接続を使えません")));
        return db;
    }
    [[noreturn]] void fail()
    {
        const QString detail = QString::fromUtf8(sqlite3_errmsg(m_db));
        if (m_stmt)
            sqlite3_reset(m_stmt);
        throw DbError(m_conn.errorText(QStringLiteral("処理"), detail));
    }

    Connection &m_conn;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

struct LevelSql {
    const char *table;
    const char *key;
    const char *nameField;
    const char *pathField;
    QStringList parentFields;  // fields copied from the parent into a new row
};

const LevelSql &levelSql(int level)
{
    static const LevelSql levels[3] = {
        {"photoGraph", "ID", "topFolderName", "topFolder", {}},
        {"photoYear", "ID1", "yearFolderName", "yearFolder", {QStringLiteral("ID")}},
        {"photoIvents", "ID2", "iventsFolderName", "iventsFolder", {QStringLiteral("ID"), QStringLiteral("ID1")}},
    };
    return levels[level];
}

// New rows go in groups of this many per statement.
constexpr int kInsertGroup = 32;

// Registers the sub-folders of parent folders at one level, on one connection with
// its statements prepared once.
class LevelWriter {
public:
    LevelWriter(Connection &conn, int level, AutoSetCounts &counts)
        : m_level(level), m_counts(counts), m_parents(int(levelSql(level).parentFields.size())),
          m_lookup(conn, lookupSql(level)),
          m_insertOne(conn, insertSql(level, 1)),
          m_insertGroup(conn, insertSql(level, kInsertGroup)),
          m_update(conn, QStringLiteral("update %1 set %2=? where %3=?")
                             .arg(QLatin1String(levelSql(level).table), QLatin1String(levelSql(level).pathField),
                                  QLatin1String(levelSql(level).key)))
    {
    }

    // parentKeys: the parent's key values in the order of parentFields.
    void scan(const QList<qint64> &parentKeys, const QString &parentFolder)
    {
        const QStringList names = listSubFolders(parentFolder);
        ++m_counts.foldersListed;
        if (names.isEmpty())
            return;
        // Every child path is this prefix + the folder name.
        const QString prefix = ChildPath(parentFolder, QString());
        const QByteArray prefix8 = prefix.toUtf8();

        // The first stored row of each listed name. Rows written by an earlier run come
        // back in the order of the listing, so they are matched one by one without
        // copying their texts; from the first row out of that order on, the rest goes
        // through a look-up by name.
        std::vector<Found> found(size_t(names.size()));
        QHash<QString, Found> others;
        qsizetype next = 0;
        bool inOrder = true;
        for (int i = 0; i < m_parents; ++i)
            m_lookup.bind(i + 1, parentKeys.at(i));
        while (m_lookup.step()) {
            const QUtf8StringView name = m_lookup.utf8(1);
            const Found row{m_lookup.integer(0), true, isChildPath(m_lookup.utf8(2), prefix8, name)};
            if (inOrder && next < names.size() && QAnyStringView::equal(name, names.at(next))) {
                found[size_t(next++)] = row;
                continue;
            }
            inOrder = false;
            const QString key = name.toString();
            if (!others.contains(key))
                others.insert(key, row);
        }
        m_lookup.reset();
        for (qsizetype i = next; i < names.size(); ++i) {
            const auto it = others.constFind(names.at(i));
            if (it != others.constEnd())
                found[size_t(i)] = it.value();
        }

        // Writes go in folder order, so a failure keeps every row before it.
        QList<qsizetype> newOnes;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const Found &f = found[size_t(i)];
            if (!f.stored) {
                newOnes.append(i);
                continue;
            }
            if (f.samePath) {
                ++m_counts.unchanged[m_level];
                continue;
            }
            insertRows(parentKeys, prefix, names, newOnes);
            newOnes.clear();
            const QString path = prefix + names.at(i);
            m_update.bind(1, path);
            m_update.bind(2, f.key);
            m_update.step();
            m_update.reset();
            ++m_counts.refreshed[m_level];
        }
        insertRows(parentKeys, prefix, names, newOnes);
    }

private:
    struct Found {
        qint64 key = 0;
        bool stored = false;
        bool samePath = false;
    };

    // path == prefix + name, compared as stored (UTF-8) without building the text.
    static bool isChildPath(QUtf8StringView path, const QByteArray &prefix, QUtf8StringView name)
    {
        if (path.isNull() || path.size() != prefix.size() + name.size())
            return false;
        return std::memcmp(path.data(), prefix.constData(), size_t(prefix.size())) == 0
               && std::memcmp(path.data() + prefix.size(), name.data(), size_t(name.size())) == 0;
    }

    void insertRows(const QList<qint64> &parentKeys, const QString &prefix, const QStringList &names,
                    const QList<qsizetype> &which)
    {
        qsizetype i = 0;
        while (which.size() - i >= kInsertGroup) {
            try {
                insert(m_insertGroup, kInsertGroup, parentKeys, prefix, names, which, i);
            } catch (const DbError &) {
                // The failed group left no row; redo it row by row so that every row
                // before the faulty one is saved and the fault is raised by its own row.
                for (int r = 0; r < kInsertGroup; ++r)
                    insert(m_insertOne, 1, parentKeys, prefix, names, which, i + r);
            }
            i += kInsertGroup;
        }
        for (; i < which.size(); ++i)
            insert(m_insertOne, 1, parentKeys, prefix, names, which, i);
    }

    // The parent keys and the prefix are shared by the rows of one statement; each row
    // has its folder name, and its path is made by the statement.
    void insert(Statement &st, int rows, const QList<qint64> &parentKeys, const QString &prefix,
                const QStringList &names, const QList<qsizetype> &which, qsizetype first)
    {
        for (int p = 0; p < m_parents; ++p)
            st.bind(p + 1, parentKeys.at(p));
        st.bind(m_parents + 1, prefix);
        for (int r = 0; r < rows; ++r)
            st.bind(m_parents + 2 + r, names.at(which.at(first + r)));
        st.step();
        st.reset();
        m_counts.added[m_level] += rows;
    }

    static QString lookupSql(int level)
    {
        const LevelSql &l = levelSql(level);
        QString where;
        for (const QString &f : l.parentFields)
            where += (where.isEmpty() ? QStringLiteral(" where ") : QStringLiteral(" and ")) + f + QStringLiteral("=?");
        return QStringLiteral("select %1, %2, %3 from %4%5 order by %1")
            .arg(QLatin1String(l.key), QLatin1String(l.nameField), QLatin1String(l.pathField),
                 QLatin1String(l.table), where);
    }
    // "insert into T (parents, name, path) values (?1, .., ?P, ?N, ?(P+1) || ?N), ..."
    static QString insertSql(int level, int rows)
    {
        const LevelSql &l = levelSql(level);
        const int parents = int(l.parentFields.size());
        QStringList fields = l.parentFields;
        fields << QLatin1String(l.nameField) << QLatin1String(l.pathField);
        QStringList tuples;
        for (int r = 0; r < rows; ++r) {
            QStringList values;
            for (int p = 1; p <= parents; ++p)
                values << QStringLiteral("?%1").arg(p);
            const int name = parents + 2 + r;
            values << QStringLiteral("?%1").arg(name) << QStringLiteral("?%1 || ?%2").arg(parents + 1).arg(name);
            tuples << QLatin1Char('(') + values.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        return QStringLiteral("insert into %1 (%2) values %3")
            .arg(QLatin1String(l.table), fields.join(QLatin1Char(',')), tuples.join(QLatin1Char(',')));
    }

    int m_level;
    AutoSetCounts &m_counts;
    int m_parents;
    Statement m_lookup;
    Statement m_insertOne;
    Statement m_insertGroup;
    Statement m_update;
};

// Runs one pass body on its own connection. Errors end the pass: what was written
// before stays (the transaction is committed), then the error is shown.
template <typename Body>
bool runPass(Global &g, DialogService &ds, const AutoSetOptions &opt, Body body)
{
    std::unique_ptr<Connection> conn;
    bool inTransaction = false;
    QString error;
    try {
        conn = std::make_unique<Connection>(g.dbConnectString);
        if (opt.transactionPerPass) {
            conn->begin();
            inTransaction = true;
        }
        body(*conn);
        if (inTransaction) {
            inTransaction = false;
            conn->commit();
        }
        conn->close();
        return true;
    } catch (const DbError &e) {
        error = e.message();
    } catch (const ScanError &e) {
        error = e.message;
    }
    if (inTransaction && conn) {
        try {
            conn->commit();
        } catch (const DbError &e) {
            error += QLatin1Char('\n') + e.message();
        }
    }
    if (conn)
        conn->close();
    ds.message(error, MsgKind::None, appTitle(), MsgButtons::Ok, opt.owner);
    return false;
}

void report(AutoSetCounts &counts, const AutoSetOptions &opt)
{
    if (opt.progress)
        opt.progress(counts);
}

}  // namespace

int16_t ScanCategoryFolders(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    counts.pass = 1;

    // The base folder: the allTop row with ID 1, made when it is missing.
    QString base;
    bool unreadable = false;
    try {
        Connection conn(g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from allTop where ID=1"));
        if (rs.eof()) {
            rs.addNew();
            rs.setNumber(QStringLiteral("ID"), 1);
            rs.update();
        }
        if (rs.isNull(QStringLiteral("allTop")))
            unreadable = true;
        else
            base = rs.text(QStringLiteral("allTop"));
    } catch (const DbError &) {
        unreadable = true;
    }
    // A base folder that is not there on disk cannot be scanned either: ask the same.
    if (unreadable || base.isEmpty() || !IsFolder(base)) {
        ds.message(QStringLiteral("総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。") + QStringLiteral("\n\r")
                       + QStringLiteral("総ﾄｯﾌﾟﾌｫﾙﾀﾞを設定してください。"),
                   MsgKind::Exclamation, kTitle, MsgButtons::Ok, opt.owner);
        const bool goOn = ds.ask(QStringLiteral("設定されている撮影者ﾌｫﾙﾀﾞを元に、ﾌｫﾙﾀﾞ検索を継続しますか？"),
                                 MsgKind::Question, kTitle, opt.owner);
        return goOn ? ScanBaseNotSetContinue : ScanBaseNotSetStop;
    }

    const bool ok = runPass(g, ds, opt, [&](Connection &conn) {
        LevelWriter writer(conn, CategoryLevel, counts);
        writer.scan(QList<qint64>(), base);
        report(counts, opt);
    });
    return ok ? ScanCompleted : ScanFailed;
}

bool ScanGenreFolders(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    counts.pass = 2;
    return runPass(g, ds, opt, [&](Connection &conn) {
        LevelWriter writer(conn, GenreLevel, counts);
        RowSet categories(conn, QStringLiteral("photoGraph"));
        for (; !categories.eof(); categories.moveNext()) {
            writer.scan({categories.number(QStringLiteral("ID"))}, categories.text(QStringLiteral("topFolder")));
            report(counts, opt);
        }
    });
}

bool ScanTitleFolders(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    counts.pass = 3;
    return runPass(g, ds, opt, [&](Connection &conn) {
        LevelWriter writer(conn, TitleLevel, counts);
        RowSet genres(conn, QStringLiteral("photoYear"));
        for (; !genres.eof(); genres.moveNext()) {
            writer.scan({genres.number(QStringLiteral("ID")), genres.number(QStringLiteral("ID1"))},
                        genres.text(QStringLiteral("yearFolder")));
            report(counts, opt);
        }
    });
}

AutoSetResult RunAutoSetPasses(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    AutoSetResult r;
    r.confirmed = true;
    r.categoryStatus = ScanCategoryFolders(g, ds, &counts, opt);
    if (r.categoryStatus == ScanBaseNotSetStop)
        return r;
    r.genresCompleted = ScanGenreFolders(g, ds, &counts, opt);
    r.titlesCompleted = ScanTitleFolders(g, ds, &counts, opt);
    r.anyError = r.categoryStatus == ScanFailed || !r.genresCompleted || !r.titlesCompleted;
    return r;
}

AutoSetResult AutoSetMain(Global &g, DialogService &ds, AutoSetCounts *counts, const AutoSetOptions &opt)
{
    if (!ds.ask(QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"), MsgKind::Question, kTitle, opt.owner))
        return AutoSetResult();
    return RunAutoSetPasses(g, ds, counts, opt);
}

QString AutoSetSummary(const AutoSetCounts &c)
{
    const auto level = [&c](const char *name, int l) {
        return QStringLiteral("%1: %2 added, %3 refreshed, %4 unchanged")
            .arg(QLatin1String(name))
            .arg(c.added[l])
            .arg(c.refreshed[l])
            .arg(c.unchanged[l]);
    };
    return level("categories", CategoryLevel) + QStringLiteral("; ") + level("genres", GenreLevel)
           + QStringLiteral("; ") + level("titles", TitleLevel);
}

}  // namespace tessaly
