#include "FolderIdentity.h"

#include "Database.h"
#include "Global.h"
#include "Paths.h"
#include "Rebase.h"
#include "Statement.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tessaly {

namespace {

const QString kTable = QStringLiteral("folderIdentity");

struct Identity {
    qint64 dev = 0;
    qint64 ino = 0;
    qint64 born = 0;  // birth time in ns; 0 where the file system keeps none
};

// The identity of the folder at path (links followed, as the passes list them); false
// when it is no folder.
bool identityOf(const QString &path, Identity *id)
{
    if (!IsAbsolutePath(path) || IsWindowsFormPath(path))
        return false;
    struct statx sx;
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &sx) != 0
        || !S_ISDIR(sx.stx_mode))
        return false;
    id->dev = qint64(makedev(sx.stx_dev_major, sx.stx_dev_minor));
    id->ino = qint64(sx.stx_ino);
    id->born = (sx.stx_mask & STATX_BTIME) ? qint64(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec : 0;
    return true;
}

// The same folder: a folder made anew where an old one was removed may get its inode
// back, but not its birth time.
bool sameFolder(const Identity &a, const Identity &b)
{
    return a.dev == b.dev && a.ino == b.ino && (a.born == 0 || b.born == 0 || a.born == b.born);
}

struct Level {
    const char *table;
    const char *key;
    const char *name;
    const char *path;
};

const Level kLevels[3] = {
    {"photoGraph", "ID", "topFolderName", "topFolder"},
    {"photoYear", "ID1", "yearFolderName", "yearFolder"},
    {"photoIvents", "ID2", "iventsFolderName", "iventsFolder"},
};

bool tableExists(Connection &conn)
{
    Statement st(conn, QStringLiteral("select 1 from sqlite_master where type='table' and name=?"));
    st.bind(1, kTable);
    return st.step();
}

struct Recorded {
    Identity id;
    bool present = false;
};

QHash<qint64, Recorded> recorded(Connection &conn, int level)
{
    QHash<qint64, Recorded> r;
    Statement st(conn, QStringLiteral("select rowKey, dev, ino, born, present from %1 where level=?").arg(kTable));
    st.bind(1, qint64(level));
    while (st.step())
        r.insert(st.integer(0), {{st.integer(1), st.integer(2), st.integer(3)}, st.integer(4) != 0});
    return r;
}

QString text(const Statement &st, int col)
{
    return st.isNull(col) ? QString() : st.utf8(col).toString();
}

// Rewrites the stored paths of the titles that where selects that lay inside from: their
// folder, file (both fields) and photo; category, when not negative, becomes their ID.
void moveTitlePaths(Connection &conn, const QString &where, qint64 whereKey, const QString &from, const QString &to,
                    qint64 category)
{
    struct Row {
        qint64 key;
        QVariant values[4];
    };
    QList<Row> rows;
    {
        Statement st(conn, QStringLiteral("select ID2, iventsFolder, Ivents, iventsHTML, iventsPhoto from photoIvents where ")
                               + where);
        st.bind(1, whereKey);
        while (st.step()) {
            Row r{st.integer(0), {}};
            for (int i = 0; i < 4; ++i)
                if (!st.isNull(i + 1))
                    r.values[i] = MovedPath(text(st, i + 1), from, to);
            rows << r;
        }
    }
    for (const Row &r : std::as_const(rows)) {
        QVariantList params;
        for (const QVariant &v : r.values)
            params << v;
        QString sql = QStringLiteral("update photoIvents set iventsFolder=?, Ivents=?, iventsHTML=?, iventsPhoto=?");
        if (category >= 0) {
            sql += QStringLiteral(", ID=?");
            params << category;
        }
        params << r.key;
        conn.exec(sql + QStringLiteral(" where ID2=?"), params);
    }
}

// The identities of the sub-folders of folder.
QSet<QPair<qint64, qint64>> subFolderIdentities(const QString &folder)
{
    QSet<QPair<qint64, qint64>> ids;
    for (const QString &name : ListFolders(folder)) {
        Identity id;
        if (identityOf(ChildPath(folder, name), &id))
            ids.insert({id.dev, id.ino});
    }
    return ids;
}

}  // namespace

void RecordFolderIdentities(const Global &g)
{
    Connection conn(g.dbConnectString);
    conn.begin();
    conn.exec(QStringLiteral("create table if not exists %1 (level INTEGER NOT NULL, rowKey INTEGER NOT NULL, "
                             "dev INTEGER, ino INTEGER, born INTEGER, present INTEGER, PRIMARY KEY (level, rowKey))")
                  .arg(kTable));
    for (int level = 0; level < 3; ++level) {
        const Level &l = kLevels[level];
        const QHash<qint64, Recorded> known = recorded(conn, level);
        QList<QPair<qint64, QString>> rows;
        {
            Statement st(conn, QStringLiteral("select %1, %2 from %3").arg(QLatin1String(l.key), QLatin1String(l.path),
                                                                         QLatin1String(l.table)));
            while (st.step())
                rows << qMakePair(st.integer(0), text(st, 1));
        }
        Statement put(conn, QStringLiteral("insert or replace into %1 (level, rowKey, dev, ino, born, present) "
                                           "values (?, ?, ?, ?, ?, 1)").arg(kTable));
        Statement gone(conn, QStringLiteral("update %1 set present=0 where level=? and rowKey=?").arg(kTable));
        for (const auto &[key, path] : std::as_const(rows)) {
            Identity id;
            const auto it = known.constFind(key);
            if (identityOf(path, &id)) {
                if (it != known.constEnd() && it->present && it->id.dev == id.dev && it->id.ino == id.ino
                    && it->id.born == id.born)
                    continue;
                put.bind(1, qint64(level));
                put.bind(2, key);
                put.bind(3, id.dev);
                put.bind(4, id.ino);
                put.bind(5, id.born);
                put.step();
                put.reset();
            } else if (it != known.constEnd() && it->present) {
                // Kept: the folder may come back under another name.
                gone.bind(1, qint64(level));
                gone.bind(2, key);
                gone.step();
                gone.reset();
            }
        }
        conn.exec(QStringLiteral("delete from %1 where level=? and rowKey not in (select %2 from %3)")
                      .arg(kTable, QLatin1String(l.key), QLatin1String(l.table)),
                  {level});
    }
    conn.commit();
}

int MoveRenamedFolders(const Global &g, int level)
{
    Connection conn(g.dbConnectString);
    if (!tableExists(conn))
        return 0;
    QString baseFolder;
    if (level == 0) {
        Statement st(conn, QStringLiteral("select allTop from allTop where ID=1"));
        if (st.step())
            baseFolder = text(st, 0);
    }
    const Level &l = kLevels[level];
    const QHash<qint64, Recorded> known = recorded(conn, level);
    if (known.isEmpty())
        return 0;

    // The stored folders of this level that are gone, by their identity.
    struct Gone {
        qint64 key;
        QString path;
        Identity id;
    };
    QHash<QPair<qint64, qint64>, Gone> gone;
    {
        Statement st(conn, QStringLiteral("select %1, %2 from %3").arg(QLatin1String(l.key), QLatin1String(l.path),
                                                                     QLatin1String(l.table)));
        while (st.step()) {
            const auto it = known.constFind(st.integer(0));
            const QString path = text(st, 1);
            Identity now;
            if (it == known.constEnd() || path.isEmpty() || identityOf(path, &now))
                continue;
            // A path of the other system's form is a library brought over, not a folder gone.
            if (!IsAbsolutePath(path) || IsWindowsFormPath(path))
                continue;
            gone.insert({it->id.dev, it->id.ino}, Gone{st.integer(0), path, it->id});
        }
    }
    if (gone.isEmpty())
        return 0;

    conn.begin();
    // Where a folder of this level may now lie: the base folder, or a stored folder of
    // the level above, with the keys its rows carry.
    struct Parent {
        QList<qint64> keys;
        QString folder;
    };
    QList<Parent> parents;
    if (level == 0) {
        parents << Parent{{}, baseFolder};
    } else {
        Statement st(conn, level == 1 ? QStringLiteral("select ID, topFolder from photoGraph order by ID")
                                      : QStringLiteral("select ID, ID1, yearFolder from photoYear order by ID1"));
        while (st.step())
            parents << (level == 1 ? Parent{{st.integer(0)}, text(st, 1)}
                                   : Parent{{st.integer(0), st.integer(1)}, text(st, 2)});
    }
    const QHash<qint64, Recorded> knownChildren = level < 2 ? recorded(conn, level + 1) : QHash<qint64, Recorded>();
    int moved = 0;
    for (const Parent &p : std::as_const(parents)) {
        if (gone.isEmpty())
            break;
        if (!IsAbsolutePath(p.folder) || IsWindowsFormPath(p.folder) || !IsFolder(p.folder))
            continue;
        for (const QString &name : ListFolders(p.folder)) {
            const QString path = ChildPath(p.folder, name);
            Identity id;
            if (!identityOf(path, &id))
                continue;
            const auto it = gone.find({id.dev, id.ino});
            if (it == gone.end() || !sameFolder(it->id, id))
                continue;
            // A name already stored there is that row's: the pass finds it.
            {
                QString taken = QStringLiteral("select 1 from %1 where %2=?").arg(QLatin1String(l.table), QLatin1String(l.name));
                if (level >= 1)
                    taken += QStringLiteral(" and ID=?");
                if (level == 2)
                    taken += QStringLiteral(" and ID1=?");
                Statement st(conn, taken);
                st.bind(1, name);
                for (int i = 0; i < p.keys.size(); ++i)
                    st.bind(i + 2, p.keys.at(i));
                if (st.step())
                    continue;
            }
            // A category or genre is the one it was only with the sub-folders it had.
            if (level < 2) {
                QSet<QPair<qint64, qint64>> had;
                Statement st(conn, QStringLiteral("select %1 from %2 where %3=?")
                                       .arg(QLatin1String(kLevels[level + 1].key), QLatin1String(kLevels[level + 1].table),
                                            QLatin1String(l.key)));
                st.bind(1, it->key);
                while (st.step()) {
                    const auto c = knownChildren.constFind(st.integer(0));
                    if (c != knownChildren.constEnd() && c->present)
                        had.insert({c->id.dev, c->id.ino});
                }
                if (had != subFolderIdentities(path))
                    continue;
            }
            const qint64 key = it->key;
            const QString from = it->path;
            switch (level) {
            case 0:
                conn.exec(QStringLiteral("update photoGraph set topFolderName=?, topFolder=? where ID=?"), {name, path, key});
                {
                    QList<QPair<qint64, QString>> genres;
                    Statement st(conn, QStringLiteral("select ID1, yearFolder from photoYear where ID=?"));
                    st.bind(1, key);
                    while (st.step())
                        genres << qMakePair(st.integer(0), text(st, 1));
                    for (const auto &[genre, folder] : std::as_const(genres))
                        if (!folder.isNull())
                            conn.exec(QStringLiteral("update photoYear set yearFolder=? where ID1=?"),
                                      {MovedPath(folder, from, path), genre});
                }
                moveTitlePaths(conn, QStringLiteral("ID=?"), key, from, path, -1);
                break;
            case 1:
                conn.exec(QStringLiteral("update photoYear set ID=?, yearFolderName=?, yearFolder=? where ID1=?"),
                          {p.keys.at(0), name, path, key});
                moveTitlePaths(conn, QStringLiteral("ID1=?"), key, from, path, p.keys.at(0));
                break;
            default:
                conn.exec(QStringLiteral("update photoIvents set ID=?, ID1=?, iventsFolderName=? where ID2=?"),
                          {p.keys.at(0), p.keys.at(1), name, key});
                moveTitlePaths(conn, QStringLiteral("ID2=?"), key, from, path, -1);
                break;
            }
            gone.erase(it);
            ++moved;
        }
    }
    conn.commit();
    return moved;
}

}  // namespace tessaly
