#include "AutoSet.h"
#include "Language.h"

#include "Database.h"
#include "DialogService.h"
#include "FolderIdentity.h"
#include "Global.h"
#include "Paths.h"
#include "Rebase.h"
#include "Statement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QAnyStringView>

#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace tessaly {

namespace {

const QString kTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "オートセット"));

QString badNamesText()
{
    return QCoreApplication::translate("AutoSet", "次のフォルダは名前が UTF-8 ではないため登録できません。名前を変更してください:");
}

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
// folder that is there but cannot be read is an error. Names that are not valid UTF-8
// cannot be stored or found again: they go to *badNames as the path shown for them.
QStringList listSubFolders(const QString &folder, QStringList *badNames)
{
    if (folder.isEmpty() || !IsAbsolutePath(folder))
        return QStringList();
    const QFileInfo fi(folder);
    if (!fi.exists() || !fi.isDir())
        return QStringList();
    if (!fi.isReadable() || !fi.isExecutable())
        throw ScanError{QCoreApplication::translate("AutoSet", "フォルダ「%1」を読み取れません。").arg(folder)};
    QStringList bad;
    const QStringList names = ListFolders(folder, &bad);
    for (const QString &name : bad)
        badNames->append(ChildPath(folder, name));
    return names;
}

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
    // Rows written go to `pending` until their transaction is committed; what is only
    // looked at goes to `counts` at once.
    LevelWriter(Connection &conn, int level, AutoSetCounts &counts, AutoSetCounts &pending, QStringList &problems)
        : m_conn(conn), m_level(level), m_counts(counts), m_pending(pending), m_problems(problems),
          m_parents(int(levelSql(level).parentFields.size())),
          m_lookup(conn, lookupSql(level)),
          m_insertOne(conn, insertSql(level, 1)),
          m_insertGroup(conn, insertSql(level, kInsertGroup)),
          m_update(conn, QStringLiteral("update %1 set %2=? where %3=?")
                             .arg(QLatin1String(levelSql(level).table), QLatin1String(levelSql(level).pathField),
                                  QLatin1String(levelSql(level).key)))
    {
    }

    // parentKeys: the parent's key values in the order of parentFields. A folder that
    // cannot be read is noted in the problems and the pass goes on with the others.
    void scan(const QList<qint64> &parentKeys, const QString &parentFolder)
    {
        QStringList names;
        try {
            names = listSubFolders(parentFolder, &m_badNames);
        } catch (const ScanError &e) {
            m_problems << e.message;
            return;
        }
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
            Found row{m_lookup.integer(0), true, isChildPath(m_lookup.utf8(2), prefix8, name), {}};
            if (!row.samePath && m_level == TitleLevel)
                row.oldPath = m_lookup.utf8(2).toString();
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
        if (seen)
            for (const Found &f : found)
                if (f.stored)
                    seen->insert(f.key);

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
            if (m_level == TitleLevel)
                carryFiles(f.key, f.oldPath, path);
            ++m_pending.refreshed[m_level];
        }
        insertRows(parentKeys, prefix, names, newOnes);
    }

private:
    struct Found {
        qint64 key = 0;
        bool stored = false;
        bool samePath = false;
        QString oldPath;  // a title found at a new place: where it was
    };

    // A title folder found at a new place takes along its file and photo that lay in it.
    void carryFiles(qint64 key, const QString &oldFolder, const QString &newFolder)
    {
        if (!IsAbsolutePath(oldFolder))
            return;
        if (!m_files) {
            m_files = std::make_unique<Statement>(m_conn, QStringLiteral("select Ivents, iventsPhoto from photoIvents where ID2=?"));
            m_setFiles = std::make_unique<Statement>(m_conn,
                                                     QStringLiteral("update photoIvents set Ivents=?, iventsPhoto=? where ID2=?"));
        }
        m_files->bind(1, key);
        if (!m_files->step()) {
            m_files->reset();
            return;
        }
        QString values[2];  // a null QString for Null
        bool changed = false;
        for (int i = 0; i < 2; ++i) {
            if (m_files->isNull(i))
                continue;
            QString path = m_files->utf8(i).toString();
            if (path.isNull())
                path = QLatin1String("");  // empty text stays empty text
            const QString moved = MovedPath(path, oldFolder, newFolder);
            values[i] = moved;
            changed = changed || moved != path;
        }
        m_files->reset();
        if (!changed)
            return;
        for (int i = 0; i < 2; ++i) {
            if (values[i].isNull())
                m_setFiles->bindNull(i + 1);
            else
                m_setFiles->bind(i + 1, values[i]);
        }
        m_setFiles->bind(3, key);
        m_setFiles->step();
        m_setFiles->reset();
    }

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
                // A fault that ended the whole transaction (a full disk) ends the pass.
                if (!m_conn.inTransaction())
                    throw;
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
        m_pending.added[m_level] += rows;
    }

    static QString lookupSql(int level)
    {
        const LevelSql &l = levelSql(level);
        // A genre's titles come by the genre index: "+" keeps the planner from taking the
        // category index, which would read the whole category for every genre.
        QString where;
        for (const QString &f : l.parentFields)
            where += (where.isEmpty() ? QStringLiteral(" where ") : QStringLiteral(" and "))
                     + (l.parentFields.size() > 1 && where.isEmpty() ? QStringLiteral("+") : QString()) + f
                     + QStringLiteral("=?");
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

public:
    // Folders whose names are not valid UTF-8, as "parent/name" with the bad bytes shown.
    QStringList m_badNames;
    // Where the keys of stored rows found again on disk go, when wanted.
    QSet<qint64> *seen = nullptr;

private:
    Connection &m_conn;
    int m_level;
    AutoSetCounts &m_counts;
    AutoSetCounts &m_pending;
    QStringList &m_problems;
    int m_parents;
    Statement m_lookup;
    Statement m_insertOne;
    Statement m_insertGroup;
    Statement m_update;
    std::unique_ptr<Statement> m_files, m_setFiles;
};

// A commit syncs the file several times, and costs more than the rows written between
// two of them. So the next commit comes only once the work since the last one took
// kCommitSpan times as long as that commit did (syncing then costs a few per cent of the
// run, however slow the disk), yet at least once a second, so that a stop or a full disk
// loses at most the last second's rows and another writer waits no longer. The first
// commit comes after the first folder.
constexpr qint64 kCommitSpan = 20;
constexpr qint64 kCommitAtMostNs = 1000 * 1000 * 1000;

int writes(const AutoSetCounts &c)
{
    int n = 0;
    for (int l = 0; l < 3; ++l)
        n += c.added[l] + c.refreshed[l];
    return n;
}

void addWrites(AutoSetCounts &to, AutoSetCounts &from)
{
    for (int l = 0; l < 3; ++l) {
        to.added[l] += from.added[l];
        to.refreshed[l] += from.refreshed[l];
    }
    from = AutoSetCounts();
}

// One pass on its own connection. Every folder's look-up and writes lie in one write
// transaction, which waits for another writer; commits come in groups (or after every
// folder without grouping). The counts hold only what was committed. An error ends the
// pass, keeps what was committed, and is shown; folders that could not be read or
// named are shown at the end and the pass goes on without them.
class Pass {
public:
    Pass(Global &g, DialogService &ds, const AutoSetOptions &opt, AutoSetCounts &counts)
        : m_g(g), m_ds(ds), m_opt(opt), m_counts(counts)
    {
    }

    template <typename Body>
    bool run(Body body)
    {
        QString error;
        try {
            m_conn = std::make_unique<Connection>(m_g.dbConnectString);
            // A group insert keeps a statement journal (a failed group leaves no row). In a
            // temporary file its writes came to several times the library's size.
            m_conn->exec(QStringLiteral("pragma temp_store=memory"));
            m_conn->begin();
            m_sinceCommit.start();
            body(*m_conn, *this);
            commit();
            m_conn->close();
        } catch (const DbError &e) {
            error = e.message();
        } catch (const ScanError &e) {
            error = e.message;
        }
        if (!error.isEmpty() && m_conn && m_conn->isOpen()) {
            // What the fault left of the open transaction is kept, if anything is.
            if (m_conn->inTransaction()) {
                try {
                    commit();
                } catch (const DbError &e) {
                    error += QLatin1Char('\n') + e.message();
                    m_conn->rollback();
                }
            }
            m_conn->close();
        }
        m_pending = AutoSetCounts();
        QStringList shown = m_problems;
        if (m_opt.badNames)
            *m_opt.badNames << m_badNames;
        else if (!m_badNames.isEmpty())
            shown << badNamesText() << m_badNames;
        if (!error.isEmpty()) {
            m_counts.stopped = true;
            shown << error << stoppedText();
        }
        if (!shown.isEmpty())
            m_ds.message(shown.join(QLatin1Char('\n')), MsgKind::None, appTitle(), MsgButtons::Ok, m_opt.owner);
        return shown.isEmpty();
    }

    // After each folder: commits when the group is full.
    void folderDone(LevelWriter &writer)
    {
        m_badNames << writer.m_badNames;
        writer.m_badNames.clear();
        const qint64 since = m_sinceCommit.nsecsElapsed();
        if (!m_opt.transactionPerPass || since >= kCommitAtMostNs
            || (writes(m_pending) > 0 && since >= kCommitSpan * m_commitNs)) {
            commit();
            m_conn->begin();
        }
        if (m_opt.progress)
            m_opt.progress(m_counts);
    }

    AutoSetCounts &pending() { return m_pending; }
    QStringList &problems() { return m_problems; }

private:
    // What a pass that stopped has kept (the counts hold only what was committed).
    QString stoppedText() const
    {
        static const char *const kLevel[] = {QT_TRANSLATE_NOOP("Kinds", "カテゴリー"), QT_TRANSLATE_NOOP("Kinds", "ジャンル"),
                                             QT_TRANSLATE_NOOP("Kinds", "タイトル")};
        const int level = qBound(0, m_counts.pass - 1, 2);
        const QString name = QCoreApplication::translate("Kinds", kLevel[level]);
        const int added = m_counts.added[level];
        if (added == 0)
            return QCoreApplication::translate("AutoSet", "%1の登録は途中で止まりました。新しい%1は登録していません。").arg(name);
        return QCoreApplication::translate("AutoSet", "%1の登録は途中で止まりました。%2 件まで登録しました。残りは登録していません。")
            .arg(name, MessageLocale().toString(added));
    }

    void commit()
    {
        QElapsedTimer t;
        t.start();
        m_conn->commit();
        m_commitNs = t.nsecsElapsed();
        m_sinceCommit.start();
        addWrites(m_counts, m_pending);
    }

    Global &m_g;
    DialogService &m_ds;
    const AutoSetOptions &m_opt;
    AutoSetCounts &m_counts;
    AutoSetCounts m_pending;
    QStringList m_problems;
    QStringList m_badNames;
    std::unique_ptr<Connection> m_conn;
    QElapsedTimer m_sinceCommit;
    qint64 m_commitNs = 0;  // how long the last commit took
};

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
    // A base folder that is not there on disk cannot be scanned either: say so and ask
    // the same question.
    const bool set = !unreadable && !base.trimmed().isEmpty() && IsAbsolutePath(base);
    if (!set || !IsFolder(base)) {
        const QString first = set ? QCoreApplication::translate("AutoSet", "総ﾄｯﾌﾟﾌｫﾙﾀﾞ「%1」が見つかりません。").arg(base)
                                  : QCoreApplication::translate("AutoSet", "総ﾄｯﾌﾟﾌｫﾙﾀﾞが設定されていません。");
        ds.message(first + QStringLiteral("\n\r") + QCoreApplication::translate("AutoSet", "総ﾄｯﾌﾟﾌｫﾙﾀﾞを設定してください。"),
                   MsgKind::Exclamation, kTitle, MsgButtons::Ok, opt.owner);
        const bool goOn = ds.ask(QCoreApplication::translate("AutoSet", "設定されている撮影者ﾌｫﾙﾀﾞを元に、ﾌｫﾙﾀﾞ検索を継続しますか？"),
                                 MsgKind::Question, kTitle, opt.owner);
        return goOn ? ScanBaseNotSetContinue : ScanBaseNotSetStop;
    }

    Pass pass(g, ds, opt, counts);
    const bool ok = pass.run([&](Connection &conn, Pass &p) {
        LevelWriter writer(conn, CategoryLevel, counts, p.pending(), p.problems());
        writer.seen = opt.found ? &opt.found[CategoryLevel] : nullptr;
        writer.scan(QList<qint64>(), base);
        p.folderDone(writer);
    });
    return ok ? ScanCompleted : ScanFailed;
}

bool ScanGenreFolders(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    counts.pass = 2;
    Pass pass(g, ds, opt, counts);
    return pass.run([&](Connection &conn, Pass &p) {
        LevelWriter writer(conn, GenreLevel, counts, p.pending(), p.problems());
        writer.seen = opt.found ? &opt.found[GenreLevel] : nullptr;
        RowSet categories(conn, QStringLiteral("photoGraph"));
        for (; !categories.eof(); categories.moveNext()) {
            writer.scan({categories.number(QStringLiteral("ID"))}, categories.text(QStringLiteral("topFolder")));
            p.folderDone(writer);
        }
    });
}

bool ScanTitleFolders(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &opt)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    counts.pass = 3;
    Pass pass(g, ds, opt, counts);
    return pass.run([&](Connection &conn, Pass &p) {
        LevelWriter writer(conn, TitleLevel, counts, p.pending(), p.problems());
        writer.seen = opt.found ? &opt.found[TitleLevel] : nullptr;
        RowSet genres(conn, QStringLiteral("photoYear"));
        for (; !genres.eof(); genres.moveNext()) {
            writer.scan({genres.number(QStringLiteral("ID")), genres.number(QStringLiteral("ID1"))},
                        genres.text(QStringLiteral("yearFolder")));
            p.folderDone(writer);
        }
    });
}

QList<MissingPath> MissingPaths(Global &g, bool files, const std::function<bool(int, qint64)> &known)
{
    struct Field {
        const char *kind;
        const char *table;
        const char *key;
        const char *field;
        bool file;
        int level;
    };
    static const Field fields[] = {
        {QT_TRANSLATE_NOOP("Kinds", "カテゴリー"), "photoGraph", "ID", "topFolder", false, CategoryLevel},
        {QT_TRANSLATE_NOOP("Kinds", "ジャンル"), "photoYear", "ID1", "yearFolder", false, GenreLevel},
        {QT_TRANSLATE_NOOP("Kinds", "タイトル"), "photoIvents", "ID2", "iventsFolder", false, TitleLevel},
        {QT_TRANSLATE_NOOP("Kinds", "ファイル"), "photoIvents", "ID2", "Ivents", true, TitleLevel},
        {QT_TRANSLATE_NOOP("Kinds", "写真"), "photoIvents", "ID2", "iventsPhoto", true, TitleLevel},
    };
    QList<MissingPath> missing;
    Connection conn(g.dbConnectString);
    for (const Field &f : fields) {
        if (f.file && !files)
            continue;
        Statement st(conn, QStringLiteral("select %1, %2 from %3 order by %1")
                               .arg(QLatin1String(f.key), QLatin1String(f.field), QLatin1String(f.table)));
        QByteArray name;
        while (st.step()) {
            // Looked up as stored (names are UTF-8 here): a run over every folder of a large
            // library costs one stat each.
            const QUtf8StringView path = st.utf8(1);
            // No file or photo chosen is nothing missing; a folder row without a path is.
            if (f.file && path.isEmpty())
                continue;
            if (!f.file && known && known(f.level, st.integer(0)))
                continue;
            name.resize(path.size());
            if (!path.isEmpty())
                std::memcpy(name.data(), path.data(), size_t(path.size()));
            struct stat info;
            if (name.startsWith('/') && ::stat(name.constData(), &info) == 0 && (f.file || S_ISDIR(info.st_mode)))
                continue;
            missing.append({QString::fromUtf8(f.kind), st.integer(0), path.toString()});
        }
    }
    return missing;
}

AutoSetResult RunAutoSetPasses(Global &g, DialogService &ds, AutoSetCounts *countsOut, const AutoSetOptions &given)
{
    AutoSetCounts local;
    AutoSetCounts &counts = countsOut ? *countsOut : local;
    // Names that cannot be stored are told once, after the last pass.
    QStringList badNames;
    AutoSetOptions opt = given;
    opt.badNames = &badNames;
    // Rows found again by the passes, and rows added since they started, are there: only
    // the others are looked up on disk afterwards.
    QSet<qint64> found[3];
    opt.found = found;
    qint64 before[3] = {0, 0, 0};
    counts.stopped = false;
    try {
        Connection conn(g.dbConnectString);
        for (int level : {CategoryLevel, GenreLevel, TitleLevel}) {
            Statement st(conn, QStringLiteral("select max(%1) from %2").arg(QLatin1String(levelSql(level).key),
                                                                           QLatin1String(levelSql(level).table)));
            before[level] = st.step() ? st.integer(0) : 0;
        }
    } catch (const DbError &) {
        // The passes tell what the library cannot do.
    }
    AutoSetResult r;
    r.confirmed = true;
    // A folder renamed or moved since the last run takes its row along before the pass
    // of its level looks for new folders, so that it is not registered anew.
    counts.renamed = 0;
    QStringList renameFaults;
    const auto renames = [&](int level) {
        try {
            counts.renamed += MoveRenamedFolders(g, level);
        } catch (const DbError &e) {
            renameFaults << e.message();
        }
    };
    renames(CategoryLevel);
    r.categoryStatus = ScanCategoryFolders(g, ds, &counts, opt);
    if (r.categoryStatus == ScanBaseNotSetStop)
        return r;
    renames(GenreLevel);
    r.genresCompleted = ScanGenreFolders(g, ds, &counts, opt);
    renames(TitleLevel);
    r.titlesCompleted = ScanTitleFolders(g, ds, &counts, opt);
    try {
        RecordFolderIdentities(g);
    } catch (const DbError &e) {
        renameFaults << e.message();
    }
    r.anyError = r.categoryStatus == ScanFailed || !r.genresCompleted || !r.titlesCompleted || !badNames.isEmpty();
    // A library the passes could not use has been told about once already.
    if (r.anyError)
        renameFaults.clear();
    r.anyError = r.anyError || !renameFaults.isEmpty();
    r.stopped = counts.stopped;

    // A folder gone and not found again (or made anew) comes back as a new row; the old
    // row keeps its details and a dead path, which the user is to hear about.
    QStringList text;
    if (counts.renamed > 0)
        text << RenamedText(counts);
    text << renameFaults;
    if (!badNames.isEmpty())
        text << badNamesText() << badNames;
    try {
        const QList<MissingPath> gone = MissingPaths(
            g, false, [&](int level, qint64 key) { return key > before[level] || found[level].contains(key); });
        r.vanishedCount = int(gone.size());
        for (qsizetype i = 0; i < gone.size() && i < 10; ++i)
            r.vanished << QCoreApplication::translate("Kinds", gone.at(i).kind.toUtf8().constData()) + QStringLiteral(" ") + gone.at(i).path;
    } catch (const DbError &) {
        // The passes have told what the library cannot do.
    }
    if (r.vanishedCount > 0) {
        if (!text.isEmpty())
            text << QString();
        text << QCoreApplication::translate("AutoSet", "登録されているフォルダのうち %1 件が見つかりません:").arg(r.vanishedCount) << r.vanished;
        if (r.vanishedCount > r.vanished.size())
            text << QCoreApplication::translate("AutoSet", "ほか %1 件 (すべては tessaly-cli check で表示できます)").arg(r.vanishedCount - r.vanished.size());
        text << QCoreApplication::translate("AutoSet", "名前を変えたか移したフォルダは新しい行として登録されています。"
                               "古い行のリンク・ファイル・写真を移してから、古い行を削除してください。");
    }
    if (!text.isEmpty())
        ds.message(text.join(QLatin1Char('\n')), MsgKind::Information, kTitle, MsgButtons::Ok, opt.owner);
    return r;
}

AutoSetResult AutoSetMain(Global &g, DialogService &ds, AutoSetCounts *counts, const AutoSetOptions &opt)
{
    if (!ds.ask(QCoreApplication::translate("AutoSet", "ｵｰﾄｾｯﾄを実行しますか？"), MsgKind::Question, kTitle, opt.owner))
        return AutoSetResult();
    if (opt.started)
        opt.started();
    return RunAutoSetPasses(g, ds, counts, opt);
}

QString AutoSetSummary(const AutoSetCounts &c)
{
    const auto level = [&c](const QString &line, int l) {
        return line.arg(c.added[l]).arg(c.refreshed[l]).arg(c.unchanged[l]);
    };
    return level(QCoreApplication::translate("AutoSet", "カテゴリー: 追加 %1、更新 %2、変更なし %3"), CategoryLevel) + QStringLiteral(" / ")
           + level(QCoreApplication::translate("AutoSet", "ジャンル: 追加 %1、更新 %2、変更なし %3"), GenreLevel) + QStringLiteral(" / ")
           + level(QCoreApplication::translate("AutoSet", "タイトル: 追加 %1、更新 %2、変更なし %3"), TitleLevel);
}

QString RenamedText(const AutoSetCounts &c)
{
    return QCoreApplication::translate("AutoSet", "名前が変わったフォルダ: %1").arg(c.renamed);
}

QString AutoSetAddedText(const AutoSetCounts &c)
{
    return QCoreApplication::translate("AutoSet", "追加: カテゴリー %1、ジャンル %2、タイトル %3")
        .arg(c.added[CategoryLevel])
        .arg(c.added[GenreLevel])
        .arg(c.added[TitleLevel]);
}

}  // namespace tessaly
