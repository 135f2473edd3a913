#include "EditorRecords.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Paths.h"

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
    auto copy = [&rs](const char *field, QString &to) {
        const QString name = QLatin1String(field);
        if (!rs.isNull(name))
            to = rs.text(name);
    };
    copy("iventsFolderName", entry.folderName);
    copy("iventsFolder", entry.folder);
    copy("iventsLink", entry.link);
    copy("iventsHTML", entry.html);
    entry.linkButton = CheckStateOf(rs.number(QStringLiteral("IventsLinkButton")));
    entry.htmlButton = CheckStateOf(rs.number(QStringLiteral("IventsHtmlButton")));
    g.currentTitleId = rs.number(QStringLiteral("ID2"));
    return false;
}

bool UpdateTitleRow(Global &g, const TitleEntry &entry)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, QStringLiteral("select * from photoIvents where ID=? and ID1=? and ID2=?"),
              {g.currentCategoryId, g.currentGenreId, g.currentTitleId});
    if (rs.eof())
        return false;
    rs.setText(QStringLiteral("iventsFolderName"), entry.folderName);
    rs.setText(QStringLiteral("iventsFolder"), entry.folder);
    if (!entry.link.isEmpty())
        rs.setText(QStringLiteral("iventsLink"), entry.link);
    if (!entry.html.isEmpty())
        rs.setText(QStringLiteral("iventsHTML"), entry.html);
    rs.setFlag(QStringLiteral("IventsLinkButton"), entry.linkButton != 0);
    if (!entry.ivents.isEmpty())
        rs.setText(QStringLiteral("Ivents"), entry.ivents);
    if (entry.photo.isEmpty())
        rs.setNull(QStringLiteral("iventsPhoto"));
    else
        rs.setText(QStringLiteral("iventsPhoto"), entry.photo);
    rs.setFlag(QStringLiteral("IventsHtmlButton"), entry.htmlButton != 0);
    rs.update();  // one statement: the row is written whole or not at all
    return true;
}

static int deleteAll(Global &g, const QString &statement, const QVariantList &params, const CountProgress &progress)
{
    Connection conn(g.dbConnectString);
    RowSet rs(conn, statement, params);
    int n = 0;
    while (!rs.eof()) {
        rs.deleteRow();
        ++n;
        if (progress)
            progress(1);
        rs.moveNext();
    }
    return n;
}

int DeleteCategoryRows(Global &g, int32_t categoryId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoGraph where ID=?"), {categoryId}, progress);
}

int DeleteGenreRowsOfCategory(Global &g, int32_t categoryId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoyear where ID=?"), {categoryId}, progress);
}

int DeleteGenreRows(Global &g, int32_t categoryId, int32_t genreId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoyear where ID=? and ID1=?"), {categoryId, genreId}, progress);
}

int DeleteTitleRowsOfCategory(Global &g, int32_t categoryId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoivents where ID=?"), {categoryId}, progress);
}

int DeleteTitleRowsOfGenre(Global &g, int32_t categoryId, int32_t genreId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoivents where ID=? and ID1=?"), {categoryId, genreId}, progress);
}

int DeleteTitleRows(Global &g, int32_t categoryId, int32_t genreId, int32_t titleId, const CountProgress &progress)
{
    return deleteAll(g, QStringLiteral("select * from photoivents where ID=? and ID1=? and ID2=?"),
                     {categoryId, genreId, titleId}, progress);
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
                      which.kind == EntrySelector::Category
                          ? QStringLiteral("select * from photoivents where ID=? order by ID2")
                          : QStringLiteral("select * from photoivents where ID1=? order by ID2"),
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
