#include "EditorRecords.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdlib>
#include <memory>

namespace tessaly {

const QString kAppTitle = QStringLiteral("Tessaly");

int CheckStateOf(int32_t stored)
{
    return stored < 0 ? -stored : stored;
}

// --- record operations ------------------------------------------------------

void AddCategoryRow(Global &g, const QString &name, const QString &folder)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("photoGraph"));
    rs.addNew();
    rs.setText(QStringLiteral("topFolderName"), name);
    rs.setText(QStringLiteral("topFolder"), folder);
    rs.update();
    g.currentCategoryId = rs.number(QStringLiteral("ID"));
}

bool CategoryNameMissing(Global &g, const QString &name)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoGraph where topFolderName=? order by ID"), {name});
    if (rs.eof()) {
        g.currentCategoryId = 0;
        return true;
    }
    g.currentCategoryId = rs.number(QStringLiteral("ID"));
    return false;
}

void AddGenreRow(Global &g, const QString &name, const QString &folder)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("photoYear"));
    rs.addNew();
    rs.setText(QStringLiteral("yearFolderName"), name);
    rs.setText(QStringLiteral("yearFolder"), folder);
    rs.setNumber(QStringLiteral("ID"), g.currentCategoryId);
    rs.update();
    g.currentGenreId = rs.number(QStringLiteral("ID1"));
}

bool GenreFolderMissing(Global &g, const QString &folder)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoyear where yearFolder=?"), {folder});
    return rs.eof();
}

void AddTitleRow(Global &g, const QString &name, const QString &folder)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("photoIvents"));
    rs.addNew();
    rs.setText(QStringLiteral("iventsFolderName"), name);
    rs.setText(QStringLiteral("iventsFolder"), folder);
    rs.setNumber(QStringLiteral("ID"), g.currentCategoryId);
    rs.setNumber(QStringLiteral("ID1"), g.currentGenreId);
    rs.update();
    g.currentTitleId = rs.number(QStringLiteral("ID2"));
}

bool TitleFolderMissing(Global &g, const QString &folder)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoivents where (iventsFolder=?) and ID=? and ID1=?"),
              {folder, g.currentCategoryId, g.currentGenreId});
    return rs.eof();
}

TitleEntry TitleEntryOf(const std::function<QVariant(const QString &field)> &value)
{
    auto text = [&value](const char *field) {
        const QVariant v = value(QLatin1String(field));
        return v.isNull() ? QString() : v.toString();
    };
    TitleEntry e;
    e.folderName = text("iventsFolderName");
    e.folder = text("iventsFolder");
    e.link = text("iventsLink");
    e.html = text("iventsHTML");
    e.ivents = text("Ivents");
    e.photo = text("iventsPhoto");
    e.linkButton = CheckStateOf(text("IventsLinkButton").trimmed().toInt()) != 0 ? 1 : 0;
    e.htmlButton = CheckStateOf(text("IventsHtmlButton").trimmed().toInt()) != 0 ? 1 : 0;
    return e;
}

TitleEntry EditsOver(const TitleEntry &edited, const TitleEntry &loaded, const TitleEntry &stored)
{
    TitleEntry e = stored;
    auto keep = [](auto &out, const auto &typed, const auto &was) {
        if (typed != was)
            out = typed;
    };
    keep(e.folderName, edited.folderName, loaded.folderName);
    keep(e.folder, edited.folder, loaded.folder);
    keep(e.link, edited.link, loaded.link);
    keep(e.html, edited.html, loaded.html);
    keep(e.ivents, edited.ivents, loaded.ivents);
    keep(e.photo, edited.photo, loaded.photo);
    keep(e.linkButton, edited.linkButton, loaded.linkButton);
    keep(e.htmlButton, edited.htmlButton, loaded.htmlButton);
    return e;
}

static TitleEntry entryOf(const RowSet &rs)
{
    return TitleEntryOf([&rs](const QString &field) { return rs.value(field); });
}

bool LoadTitleByFolder(Global &g, const QString &folder, TitleEntry &entry)
{
    Connection conn(g.dbConnectString);
    // A title of the current genre comes first: the same folder may also be registered
    // under another genre, and the editor saves into the current genre only.
    RowSet rs(conn,
              QStringLiteral("select * from photoivents where iventsFolder=? "
                             "order by (ID=? and ID1=?) desc, ID2"),
              {folder, g.currentCategoryId, g.currentGenreId});
    if (rs.eof())
        return true;
    entry = entryOf(rs);
    g.currentTitleId = rs.number(QStringLiteral("ID2"));
    return false;
}

bool LoadTitleById(const Global &g, int32_t titleId, TitleEntry &entry)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoIvents where ID2=?"), {titleId});
    if (rs.eof())
        return false;
    entry = entryOf(rs);
    return true;
}

namespace {

// A write transaction that is rolled back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(Connection &conn) : m_conn(conn) { m_conn.exec(QStringLiteral("BEGIN IMMEDIATE")); }
    ~WriteTransaction()
    {
        if (!m_done) {
            try {
                m_conn.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError &) {
                // Closing the connection rolls back as well.
            }
        }
    }
    void commit()
    {
        m_conn.exec(QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    Connection &m_conn;
    bool m_done = false;
};

// Deletes the rows of table matching condition in batches, so that progress moves on
// a large genre; one prepared statement, re-run until a batch comes back short.
int deleteWhere(Connection &conn, const QString &table, const QString &condition, const QVariantList &params,
                const CountProgress &progress)
{
    constexpr int kBatch = 2000;
    QSqlQuery q(conn.database());
    if (!q.prepare(QStringLiteral("delete from %1 where rowid in (select rowid from %1 where %2 limit %3)")
                       .arg(table, condition)
                       .arg(kBatch)))
        throw DbError(conn.errorText(QCoreApplication::translate("Database", "削除"), q.lastError()));
    int total = 0;
    for (;;) {
        for (int i = 0; i < params.size(); ++i)
            q.bindValue(i, params[i]);
        if (!q.exec())
            throw DbError(conn.errorText(QCoreApplication::translate("Database", "削除"), q.lastError()));
        const int n = q.numRowsAffected();
        total += n;
        if (n > 0 && progress)
            progress(n);
        if (n < kBatch)
            return total;
    }
}

// The title's row as the entry showed it when it was loaded: every field the entry
// holds, Null read as empty text and a flag as ticked or not.
const QString kAsLoaded = QStringLiteral(
    " and coalesce(iventsFolderName,'')=? and coalesce(iventsFolder,'')=? and coalesce(iventsLink,'')=?"
    " and coalesce(iventsHTML,'')=? and coalesce(Ivents,'')=? and coalesce(iventsPhoto,'')=?"
    " and (coalesce(IventsLinkButton,0)<>0)=? and (coalesce(IventsHtmlButton,0)<>0)=?");

QVariantList asLoadedParams(const TitleEntry &e)
{
    // A field read as Null is held as a null text, which would be bound as Null and
    // match nothing: it is compared as the empty text it stands for.
    auto text = [](const QString &s) { return s.isNull() ? QStringLiteral("") : s; };
    return {text(e.folderName), text(e.folder), text(e.link), text(e.html), text(e.ivents), text(e.photo),
            e.linkButton != 0 ? 1 : 0, e.htmlButton != 0 ? 1 : 0};
}

bool titleExists(Connection &conn, int32_t categoryId, int32_t genreId, int32_t titleId)
{
    RowSet rs(conn, QStringLiteral("select * from photoIvents where ID=? and ID1=? and ID2=?"),
              {categoryId, genreId, titleId});
    return !rs.eof();
}

}  // namespace

TitleWrite UpdateTitleRow(Global &g, const TitleEntry &entry, const TitleEntry &loaded)
{
    Connection conn(g.dbConnectString);
    WriteTransaction t(conn);
    const QVariantList keys{g.currentCategoryId, g.currentGenreId, g.currentTitleId};
    if (!titleExists(conn, g.currentCategoryId, g.currentGenreId, g.currentTitleId))
        return TitleWrite::Missing;
    QStringList set{QStringLiteral("iventsFolderName=?"), QStringLiteral("iventsFolder=?")};
    QVariantList params{entry.folderName, entry.folder};
    auto setIfGiven = [&](const char *field, const QString &text) {
        if (text.isEmpty())
            return;
        set << QLatin1String(field) + QLatin1String("=?");
        params << text;
    };
    setIfGiven("iventsLink", entry.link);
    setIfGiven("iventsHTML", entry.html);
    setIfGiven("Ivents", entry.ivents);
    set << QStringLiteral("IventsLinkButton=?") << QStringLiteral("iventsPhoto=?") << QStringLiteral("IventsHtmlButton=?");
    params << (entry.linkButton != 0 ? -1 : 0)
           << (entry.photo.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(entry.photo))
           << (entry.htmlButton != 0 ? -1 : 0);
    QSqlQuery q(conn.database());
    if (!q.prepare(QStringLiteral("update photoIvents set %1 where ID=? and ID1=? and ID2=?%2")
                       .arg(set.join(QLatin1Char(',')), kAsLoaded)))
        throw DbError(conn.errorText(QCoreApplication::translate("Database", "更新"), q.lastError()));
    const QVariantList all = params + keys + asLoadedParams(loaded);
    for (int i = 0; i < all.size(); ++i)
        q.bindValue(i, all[i]);
    if (!q.exec())
        throw DbError(conn.errorText(QCoreApplication::translate("Database", "更新"), q.lastError()));
    const int n = q.numRowsAffected();
    q.finish();
    if (n == 0)
        return TitleWrite::ChangedElsewhere;
    t.commit();
    return TitleWrite::Written;
}

DeletedRows DeleteCategoryTree(const Global &g, int32_t categoryId, const CountProgress &progress,
                               const std::function<void()> &beforeTitles)
{
    Connection conn(g.dbConnectString);
    WriteTransaction t(conn);
    DeletedRows d;
    d.categories = deleteWhere(conn, QStringLiteral("photoGraph"), QStringLiteral("ID=?"), {categoryId}, progress);
    if (d.categories > 0)
        d.genres = deleteWhere(conn, QStringLiteral("photoYear"), QStringLiteral("ID=?"), {categoryId}, progress);
    if (d.genres > 0) {
        if (beforeTitles)
            beforeTitles();
        d.titles = deleteWhere(conn, QStringLiteral("photoIvents"), QStringLiteral("ID=?"), {categoryId}, progress);
    }
    t.commit();
    return d;
}

DeletedRows DeleteGenreTree(const Global &g, int32_t categoryId, int32_t genreId, const CountProgress &progress,
                            const std::function<void()> &beforeTitles)
{
    Connection conn(g.dbConnectString);
    WriteTransaction t(conn);
    DeletedRows d;
    const QVariantList keys{categoryId, genreId};
    d.genres = deleteWhere(conn, QStringLiteral("photoYear"), QStringLiteral("ID=? and ID1=?"), keys, progress);
    if (d.genres > 0) {
        if (beforeTitles)
            beforeTitles();
        d.titles = deleteWhere(conn, QStringLiteral("photoIvents"), QStringLiteral("+ID=? and ID1=?"), keys, progress);
    }
    t.commit();
    return d;
}

TitleWrite DeleteTitleRows(const Global &g, int32_t categoryId, int32_t genreId, int32_t titleId,
                           const TitleEntry &loaded)
{
    Connection conn(g.dbConnectString);
    WriteTransaction t(conn);
    const int n = deleteWhere(conn, QStringLiteral("photoIvents"), QStringLiteral("ID=? and ID1=? and ID2=?") + kAsLoaded,
                              QVariantList{categoryId, genreId, titleId} + asLoadedParams(loaded), {});
    if (n == 0)
        return titleExists(conn, categoryId, genreId, titleId) ? TitleWrite::ChangedElsewhere : TitleWrite::Missing;
    t.commit();
    return TitleWrite::Written;
}

// --- module operations -------------------------------------------------------

bool IsCategoryFolder(const Global &g, const QString &path)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoGraph where topFolder=?"), {path});
    return !rs.eof();
}

bool IsGenreFolder(const Global &g, const QString &path)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoyear where yearFolder=?"), {path});
    return !rs.eof();
}

namespace {

// Runs a scan; a failure is shown the way every scan shows it, after its connection is
// closed. 0 when it ran to its end, -1 after a failure.
template <typename Scan>
int16_t trappedScan(DialogService &ds, QObject *owner, Scan scan)
{
    QString failure;
    try {
        scan();
        return 0;
    } catch (const DbError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    ds.message(failure, MsgKind::None, kAppTitle, MsgButtons::Ok, owner);
    return -1;
}

// Looks an entry up by its parent's keys and name, reusing one prepared statement.
class Lookup {
public:
    Lookup(Connection &conn, QString statement) : m_conn(conn), m_statement(std::move(statement)) {}
    RowSet &find(const QVariantList &params)
    {
        if (!m_rs)
            m_rs = std::make_unique<RowSet>(m_conn, m_statement, params);
        else
            m_rs->requery(params);
        return *m_rs;
    }

private:
    Connection &m_conn;
    QString m_statement;
    std::unique_ptr<RowSet> m_rs;
};

}  // namespace

int16_t RegisterGenresOfCategory(const Global &g, DialogService &ds, int32_t categoryId, QObject *owner,
                                 const CountProgress &progress)
{
    return trappedScan(ds, owner, [&] {
        Connection conn(g.dbConnectString);
        RowSet category(conn, QStringLiteral("select * from photograph where id=?"), {categoryId});
        Lookup lookup(conn, QStringLiteral("select * from photoYear where ID=? and yearFolderName=?"));
        if (!category.eof()) {
            const int32_t id = category.number(QStringLiteral("ID"));
            const QString path = category.text(QStringLiteral("topFolder"));
            for (const QString &name : ListFolders(path)) {
                RowSet &genre = lookup.find({id, name});
                if (genre.eof()) {
                    genre.addNew();
                    genre.setNumber(QStringLiteral("ID"), id);
                    genre.setText(QStringLiteral("yearFolderName"), name);
                }
                genre.setText(QStringLiteral("yearFolder"), ChildPath(path, name));
                genre.update();
                if (progress)
                    progress(1);
            }
        }
    });
}

int16_t RegisterTitlesOfGenres(const Global &g, DialogService &ds, EntrySelector which, QObject *owner,
                               const CountProgress &progress)
{
    return trappedScan(ds, owner, [&] {
        Connection conn(g.dbConnectString);
        RowSet genres(conn,
                      which.kind == EntrySelector::Category
                          ? QStringLiteral("select * from photoyear where ID=? order by ID1")
                          : QStringLiteral("select * from photoyear where ID1=?"),
                      {which.key});
        Lookup lookup(conn, QStringLiteral("select * from photoIvents where ID=? and ID1=? and iventsFolderName=?"));
        for (; !genres.eof(); genres.moveNext()) {
            const int32_t id = genres.number(QStringLiteral("ID"));
            const int32_t id1 = genres.number(QStringLiteral("ID1"));
            const QString path = genres.text(QStringLiteral("yearFolder"));
            for (const QString &name : ListFolders(path)) {
                RowSet &title = lookup.find({id, id1, name});
                if (title.eof()) {
                    title.addNew();
                    title.setNumber(QStringLiteral("ID"), id);
                    title.setNumber(QStringLiteral("ID1"), id1);
                    title.setText(QStringLiteral("iventsFolderName"), name);
                }
                title.setText(QStringLiteral("iventsFolder"), ChildPath(path, name));
                title.update();
                if (progress)
                    progress(1);
            }
        }
    });
}

void FindTitleHtmlFiles(const Global &g, DialogService &ds, EntrySelector which, QObject *owner)
{
    trappedScan(ds, owner, [&] {
        Connection conn(g.dbConnectString);
        RowSet titles(conn,
                      which.kind == EntrySelector::Category ? QStringLiteral("select * from photoivents where ID=? order by ID2")
                      : which.kind == EntrySelector::Genre  ? QStringLiteral("select * from photoivents where ID1=? order by ID2")
                                                            : QStringLiteral("select * from photoivents where ID2=?"),
                      {which.key});
        for (; !titles.eof(); titles.moveNext()) {
            const QString folder = titles.text(QStringLiteral("iventsFolder"));
            const QStringList files = ListFiles(folder, QStringLiteral("*.html"));
            if (files.isEmpty()) {
                titles.setFlag(QStringLiteral("IventsHtmlButton"), false);
            } else if (titles.text(QStringLiteral("iventsHTML")).isEmpty()) {
                const QString file = ChildPath(folder, files.first());
                titles.setText(QStringLiteral("iventsHTML"), file);
                titles.setText(QStringLiteral("Ivents"), file);
                titles.setFlag(QStringLiteral("IventsHtmlButton"), true);
            }
            titles.update();
        }
    });
}

}  // namespace tessaly
