// Root rewrite speed: fills libraries of 10k, 50k and 100k titles under one base
// folder, then times moving the base folder to another root (drive form and Linux form)
// against its floor, the same rows rewritten by plain SQL UPDATEs in one transaction on
// a copy of the library, and prints the ratio and the peak memory the rewrite added.
//
// Options: --help.
#include "../BenchSupport.h"
#include "Database.h"
#include "Library.h"
#include "Rebase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <cstring>

using namespace tessaly;

namespace {

void fill(const QString &lib, const QString &base, QChar sep, int categories, int genres, int titles)
{
    Connection conn(MakeConnectString(lib));
    conn.begin();
    QSqlQuery cat(conn.database()), gen(conn.database()), tit(conn.database());
    cat.prepare(QStringLiteral("insert into photoGraph(topFolder, topFolderName) values(?, ?)"));
    gen.prepare(QStringLiteral("insert into photoYear(ID, yearFolder, yearFolderName) values(?, ?, ?)"));
    tit.prepare(QStringLiteral("insert into photoIvents(ID, ID1, iventsFolderName, iventsFolder, Ivents, iventsPhoto)"
                               " values(?, ?, ?, ?, ?, ?)"));
    int genreId = 0;
    for (int c = 1; c <= categories; ++c) {
        const QString cf = base + sep + QStringLiteral("cat%1").arg(c);
        cat.addBindValue(cf);
        cat.addBindValue(QStringLiteral("cat%1").arg(c));
        cat.exec();
        for (int g = 1; g <= genres; ++g) {
            ++genreId;
            const QString gf = cf + sep + QStringLiteral("genre%1").arg(g);
            gen.addBindValue(c);
            gen.addBindValue(gf);
            gen.addBindValue(QStringLiteral("genre%1").arg(g));
            gen.exec();
            for (int t = 1; t <= titles; ++t) {
                const QString tf = gf + sep + QStringLiteral("title%1").arg(t);
                tit.addBindValue(c);
                tit.addBindValue(genreId);
                tit.addBindValue(QStringLiteral("title%1").arg(t));
                tit.addBindValue(tf);
                tit.addBindValue(tf + sep + QStringLiteral("index.html"));
                tit.addBindValue(tf + sep + QStringLiteral("cover.jpg"));
                tit.exec();
            }
        }
    }
    conn.commit();
}


// Resets the peak resident size, so that the next reading is the peak of what follows.
void resetPeak()
{
    if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// The floor: the same rewrite as plain SQL, one UPDATE per table in one transaction.
struct Time {
    double wall, cpu;
};

// Wall and CPU seconds since the start values.
Time since(const QElapsedTimer &timer, std::clock_t cpu)
{
    return {timer.nsecsElapsed() / 1e9, double(std::clock() - cpu) / CLOCKS_PER_SEC};
}

Time plainSql(const QString &lib, const QString &from, const QString &to, bool drive)
{
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpu = std::clock();
    Connection conn(MakeConnectString(lib));
    conn.begin();
    const QString sep = drive ? QStringLiteral("\\") : QStringLiteral("/");
    // Drive rule: every path gets the new drive; Linux rule: paths under the old root.
    const QString oldRoot = drive ? from.left(2) : from.section(QLatin1Char('/'), 0, -3);
    const QString newRoot = drive ? to.left(2) : to.section(QLatin1Char('/'), 0, -3);
    const auto set = [&](const char *f, bool optional) {
        const QString field = QLatin1String(f);
        const QString moved = QStringLiteral("'%1' || substr(%2, %3)").arg(newRoot, field).arg(oldRoot.size() + 1);
        QString when = drive ? QStringLiteral("length(%1) >= 2").arg(field)
                             : QStringLiteral("(%1 = '%2' or substr(%1, 1, %3) = '%2%4')")
                                   .arg(field, oldRoot)
                                   .arg(oldRoot.size() + 1)
                                   .arg(sep);
        if (optional)
            when += QStringLiteral(" and %1 <> ''").arg(field);
        return QStringLiteral("%1 = case when %2 then %3 else %1 end").arg(field, when, moved);
    };
    conn.exec(QStringLiteral("update photoGraph set ") + set("topFolder", false));
    conn.exec(QStringLiteral("update photoYear set ") + set("yearFolder", false));
    conn.exec(QStringLiteral("update photoIvents set ") + set("iventsFolder", false) + QLatin1Char(',')
              + set("Ivents", true) + QLatin1Char(',') + set("iventsPhoto", true));
    conn.commit();
    return since(timer, cpu);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "Rewriting every stored path after a base folder move, at 10,000, 50,000 and 100,000 titles.",
        "the same rows rewritten by plain SQL UPDATEs in one transaction on a copy of the library",
        {tessaly::bench::kTemplateOption});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    QTemporaryDir tmp;
    struct Size {
        int c, g, t;
    };
    struct Move {
        const char *label;
        const char *from;
        const char *to;
        char sep;
    };
    const Size sizes[] = {{10, 10, 100}, {10, 50, 100}, {10, 100, 100}};
    const Move moves[] = {{"drive D: -> E:", "D:\\photo", "E:\\photo", '\\'},
                          {"linux diskA -> diskB", "/media/diskA/photo", "/media/diskB/photo", '/'}};
    std::printf("%-22s %7s %7s %7s %7s %6s %7s %7s %6s %9s\n", "move", "titles", "rows", "wall s", "floor", "ratio",
                "cpu s", "floor", "ratio", "peak+ MiB");
    int n = 0;
    for (const Size &s : sizes) {
        for (const Move &m : moves) {
            const QString lib = tessaly::bench::NewLibrary(templatePath, tmp.path() + QStringLiteral("/lib%1.mdb").arg(++n));
            const QString floorLib = tmp.path() + QStringLiteral("/floor%1.mdb").arg(n);
            fill(lib, QString::fromUtf8(m.from), QLatin1Char(m.sep), s.c, s.g, s.t);
            QFile::copy(lib, floorLib);
            const Time floor = plainSql(floorLib, QString::fromUtf8(m.from), QString::fromUtf8(m.to), m.sep != '/');

            const long before = tessaly::bench::StatusKiB("VmRSS:");
            resetPeak();
            QElapsedTimer timer;
            timer.start();
            const std::clock_t cpu = std::clock();
            Connection conn(MakeConnectString(lib));
            conn.begin();
            const RebaseResult r = RebaseStoredPaths(conn, QString::fromUtf8(m.from), QString::fromUtf8(m.to));
            conn.commit();
            const Time took = since(timer, cpu);
            const long peak = tessaly::bench::StatusKiB("VmHWM:");
            if (r.failed) {
                std::fprintf(stderr, "rewrite failed: %s\n", qPrintable(r.error));
                return 1;
            }
            std::printf("%-22s %7d %7d %7.3f %7.3f %6.2f %7.3f %7.3f %6.2f %9.1f\n", m.label, s.c * s.g * s.t,
                        r.rowsSaved, took.wall, floor.wall, took.wall / floor.wall, took.cpu, floor.cpu,
                        took.cpu / floor.cpu, (peak - before) / 1024.0);
            conn.close();
            QFile::remove(lib);
            QFile::remove(floorLib);
        }
    }
    return 0;
}
