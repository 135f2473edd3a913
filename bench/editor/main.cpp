// Editor at scale: opening the editor and choosing a genre in libraries of 10,000 and
// 400,000 titles (10 categories x 100 genres), and deleting a genre of 20,000 titles.
// Each figure stands beside its floor, measured in the same run with plain SQL on its
// own connection: the rows the screen shows, and one DELETE per table.
//
// Options: --help.
#include "../BenchSupport.h"
#include "Database.h"
#include "DialogService.h"
#include "EditorRecords.h"
#include "EditorScreen.h"
#include "EditorView.h"
#include "Global.h"
#include "Library.h"
#include "TitleGrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace tessaly;

namespace {

// The editor window's controls as plain values.
class PlainView : public EditorView {
public:
    struct Entries {
        QStringList texts;
        QVector<int32_t> keys;
        int position = -1;
        QString text;
    } lists[2];
    QString fields[9];
    int checks[2] = {0, 0};
    QString f3;

    Entries &l(List which) { return lists[int(which)]; }
    const Entries &l(List which) const { return lists[int(which)]; }
    void clearList(List which) override { l(which) = Entries(); }
    void addListEntry(List which, const QString &text, int32_t key) override
    {
        l(which).texts << text;
        l(which).keys << key;
    }
    int listCount(List which) const override { return l(which).texts.size(); }
    QString listEntryText(List which, int p) const override { return l(which).texts.value(p); }
    int32_t listEntryKey(List which, int p) const override { return l(which).keys.value(p); }
    int listPosition(List which) const override { return l(which).position; }
    void setListPosition(List which, int p) override
    {
        l(which).position = p;
        l(which).text = l(which).texts.value(p);
    }
    QString listText(List which) const override { return l(which).text; }
    void setListText(List which, const QString &text) override
    {
        if (l(which).position >= 0 && l(which).texts.value(l(which).position) != text)
            l(which).position = -1;
        l(which).text = text;
    }
    QString fieldText(Field f) const override { return fields[int(f)]; }
    void setFieldText(Field f, const QString &text) override { fields[int(f)] = text; }
    int checkValue(Check c) const override { return checks[int(c)]; }
    void setCheckValue(Check c, int v) override { checks[int(c)] = v; }
    void setTitleMenusEnabled(bool) override {}
    void layoutGrid() override {}
    QObject *dialogOwner() override { return nullptr; }
    void showStatus(const QString &) override {}
    void processEvents() override {}
    void focusControl(Control) override {}
    QString f3Caption() const override { return f3; }
    void setF3Caption(const QString &text) override { f3 = text; }
};

void fill(const QString &lib, int titlesPerGenre, int bigGenre)
{
    Connection conn(MakeConnectString(lib));
    conn.begin();
    QSqlQuery cat(conn.database()), gen(conn.database()), tit(conn.database());
    cat.prepare(QStringLiteral("insert into photoGraph(topFolder, topFolderName) values(?, ?)"));
    gen.prepare(QStringLiteral("insert into photoYear(ID, yearFolder, yearFolderName) values(?, ?, ?)"));
    tit.prepare(QStringLiteral("insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, iventsHTML, Ivents)"
                               " values(?, ?, ?, ?, ?, ?)"));
    int genreId = 0;
    for (int c = 1; c <= 10; ++c) {
        const QString cf = QStringLiteral("/photo/cat%1").arg(c);
        cat.addBindValue(cf);
        cat.addBindValue(QStringLiteral("cat%1").arg(c));
        cat.exec();
        for (int g = 1; g <= 100; ++g) {
            ++genreId;
            const QString gf = cf + QStringLiteral("/genre%1").arg(g);
            gen.addBindValue(c);
            gen.addBindValue(gf);
            gen.addBindValue(QStringLiteral("genre%1").arg(g));
            gen.exec();
            const int titles = genreId == bigGenre ? 20000 : titlesPerGenre;
            for (int t = 1; t <= titles; ++t) {
                const QString tf = gf + QStringLiteral("/title%1").arg(t);
                tit.addBindValue(c);
                tit.addBindValue(genreId);
                tit.addBindValue(QStringLiteral("title%1").arg(t));
                tit.addBindValue(tf);
                tit.addBindValue(tf + QStringLiteral("/index.html"));
                tit.addBindValue(tf + QStringLiteral("/index.html"));
                tit.exec();
            }
        }
    }
    conn.commit();
}

// The best of a few runs, in milliseconds.
double best(int runs, const std::function<void()> &f)
{
    double b = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        b = std::min(b, t.nsecsElapsed() / 1e6);
    }
    return b;
}

// Plain SQL on a connection of its own, opened and closed like the screen's.
void plain(const QString &lib, const std::function<void(QSqlDatabase &)> &f)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("floor"));
        db.setDatabaseName(lib);
        db.open();
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("floor"));
}

void readAll(QSqlDatabase &db, const QString &sql, const QVariantList &params = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant &p : params)
        q.addBindValue(p);
    q.exec();
    while (q.next())
        q.value(0);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "The editor at 10,000 and 400,000 titles: opening, choosing a genre, deleting 20,000 rows.",
        "with plain SQL on a connection of its own: the rows the screen shows read, and one DELETE per table",
        {tessaly::bench::kTemplateOption});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    QTemporaryDir tmp;
    auto library = [&](const QString &name, int titlesPerGenre, int bigGenre) {
        const QString lib = tessaly::bench::NewLibrary(templatePath, tmp.path() + QLatin1Char('/') + name);
        fill(lib, titlesPerGenre, bigGenre);
        return lib;
    };

    std::printf("%-28s %9s %9s %9s %7s %10s\n", "editor", "titles", "ms", "floor ms", "ratio", "held rows");
    double openMs[2] = {0, 0}, genreMs[2] = {0, 0};
    int n = 0;
    for (int perGenre : {10, 400}) {
        const QString lib = library(QStringLiteral("lib%1.mdb").arg(perGenre), perGenre, 0);
        const int titles = perGenre * 1000;
        Global g;
        g.dbConnectString = MakeConnectString(lib);
        ConsoleDialogService ds;
        PlainView view;
        EditorScreen screen(g, ds, view);
        const long rssBefore = tessaly::bench::StatusKiB("VmRSS:");
        const double open = best(5, [&] {
            view = PlainView();
            screen.Load();
        });
        const long rssGrowth = tessaly::bench::StatusKiB("VmRSS:") - rssBefore;
        const double openFloor = best(5, [&] {
            plain(lib, [](QSqlDatabase &db) {
                readAll(db, QStringLiteral("select * from photoGraph order by ID"));
                readAll(db, QStringLiteral("select * from photoYear where ID=1 order by ID1"));
                readAll(db, QStringLiteral("select * from photoIvents where ID=1 order by ID2 limit %1").arg(TitleGrid::kPageRows));
            });
        });
        std::printf("%-28s %9d %9.2f %9.2f %7.1f %10d\n", "open (first category)", titles, open, openFloor,
                    open / openFloor, screen.grid().heldRows());
        const double genre = best(5, [&] { screen.SelectGenre(50); });
        const int32_t id1 = view.listEntryKey(EditorView::List::Genre, 50);
        const double genreFloor = best(5, [&] {
            plain(lib, [id1](QSqlDatabase &db) {
                readAll(db, QStringLiteral("select * from photoYear where ID1=?"), {id1});
                readAll(db, QStringLiteral("select * from photoIvents where ID1=? order by ID2 limit %1").arg(TitleGrid::kPageRows),
                        {id1});
            });
        });
        std::printf("%-28s %9d %9.2f %9.2f %7.1f %10d\n", "choose a genre", titles, genre, genreFloor,
                    genre / genreFloor, screen.grid().heldRows());
        std::printf("%-28s %9d %9ld KiB\n", "memory growth while opening", titles, rssGrowth);
        openMs[n] = open;
        genreMs[n] = genre;
        ++n;
    }
    std::printf("400k / 10k: open %.1fx, genre choice %.1fx (the same cost: about 1x)\n", openMs[1] / openMs[0],
                genreMs[1] / genreMs[0]);

    // A genre of 20,000 titles in a library of 10,000 more; the floor deletes the same
    // rows of an identical copy with one DELETE per table.
    const QString lib = library(QStringLiteral("big.mdb"), 10, 500);
    const QString copy = tmp.path() + QStringLiteral("/big-floor.mdb");
    QFile::copy(lib, copy);
    Global g;
    g.dbConnectString = MakeConnectString(lib);
    int counted = 0;
    QElapsedTimer t;
    t.start();
    const DeletedRows d = DeleteGenreTree(g, 5, 500, [&counted](int k) { counted += k; });
    const double del = t.nsecsElapsed() / 1e6;
    double delFloor = 0;
    plain(copy, [&delFloor](QSqlDatabase &db) {
        QElapsedTimer ft;
        ft.start();
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        q.exec(QStringLiteral("delete from photoYear where ID=5 and ID1=500"));
        q.exec(QStringLiteral("delete from photoIvents where ID=5 and ID1=500"));
        q.exec(QStringLiteral("COMMIT"));
        delFloor = ft.nsecsElapsed() / 1e6;
    });
    std::printf("%-28s %9d %9.2f %9.2f %7.1f   (counted %d, goal under 1000 ms)\n", "delete a genre", d.titles, del,
                delFloor, del / delFloor, counted);
    return 0;
}
