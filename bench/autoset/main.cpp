// Auto-set speed: builds synthetic folder trees and times a first run (every row new),
// a second run over the unchanged tree (no writes) and a bare walk that lists the same
// folders, then prints the ratios to the walk and the peak memory of each run.
//
//   bench_autoset [--template PATH] [--keep]
#include "../BenchSupport.h"
#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace tessaly;

namespace {

// Peak resident memory since the last reset, in MiB (Linux).
void resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void makeTree(const QString &base, int categories, int genres, int titles)
{
    QDir d;
    for (int c = 0; c < categories; ++c) {
        const QString cat = base + QStringLiteral("/cat%1").arg(c, 3, 10, QLatin1Char('0'));
        for (int g = 0; g < genres; ++g) {
            const QString genre = cat + QStringLiteral("/genre%1").arg(g, 3, 10, QLatin1Char('0'));
            for (int t = 0; t < titles; ++t)
                d.mkpath(genre + QStringLiteral("/title%1").arg(t, 3, 10, QLatin1Char('0')));
            // files beside the folders are ignored by the scan but listed by both
            QFile f(genre + QStringLiteral("/cover.jpg"));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
    }
}

// Lists the same folders the three passes list.
int walk(const QString &base)
{
    int n = 0;
    for (const QString &c : ListFolders(base)) {
        const QString cat = ChildPath(base, c);
        for (const QString &g : ListFolders(cat)) {
            const QString genre = ChildPath(cat, g);
            n += ListFolders(genre).size();
        }
    }
    return n;
}

// Wall and CPU time of one measured step. The CPU time is what the step costs when
// the machine is shared with other work; the wall time is what the user waits.
struct Clock {
    QElapsedTimer wall;
    double cpu0 = 0;
    static double cpuNow() { return tessaly::bench::CpuSeconds(); }
    void start()
    {
        cpu0 = cpuNow();
        wall.start();
    }
    double wallSeconds() const { return wall.nsecsElapsed() / 1e9; }
    double cpuSeconds() const { return cpuNow() - cpu0; }
};

struct Time {
    double wall = 1e9, cpu = 1e9;
};

struct Figures {
    Time walk, first, second;
    double memFirst = 0, memSecond = 0;
    int titles = 0;
};

Figures runTree(const QString &templatePath, const QString &root, int categories, int genres, int titles)
{
    Figures f;
    const QString base = root + QStringLiteral("/base");
    QDir().mkpath(base);
    makeTree(base, categories, genres, titles);

    const QString lib = tessaly::bench::NewLibrary(templatePath, root + QStringLiteral("/lib.mdb"));
    Global g;
    g.dbConnectString = MakeConnectString(lib);
    {
        Connection c(g.dbConnectString);
        c.exec(QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
    }
    ConsoleDialogService ds(MsgAnswer::Yes);

    walk(base);  // warm the directory cache so that every figure sees the same
    Clock t;
    for (int i = 0; i < 5; ++i) {
        t.start();
        f.titles = walk(base);
        f.walk.wall = std::min(f.walk.wall, t.wallSeconds());
        f.walk.cpu = std::min(f.walk.cpu, t.cpuSeconds());
    }

    AutoSetCounts first;
    resetPeakMemory();
    t.start();
    RunAutoSetPasses(g, ds, &first);
    f.first = {t.wallSeconds(), t.cpuSeconds()};
    f.memFirst = tessaly::bench::StatusKiB("VmHWM:") / 1024.0;

    AutoSetCounts second;
    resetPeakMemory();
    t.start();
    RunAutoSetPasses(g, ds, &second);
    f.second = {t.wallSeconds(), t.cpuSeconds()};
    f.memSecond = tessaly::bench::StatusKiB("VmHWM:") / 1024.0;

    if (first.added[TitleLevel] != f.titles || second.added[TitleLevel] != 0
        || second.unchanged[TitleLevel] != f.titles || ds.messageCount() != 0) {
        std::fprintf(stderr, "unexpected result: %s / %s\n", qPrintable(AutoSetSummary(first)),
                     qPrintable(AutoSetSummary(second)));
        std::exit(1);
    }
    return f;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString templatePath = tessaly::bench::TemplatePath(args);
    if (templatePath.isEmpty())
        return 1;

    struct Shape {
        int c, g, t;
    };
    const Shape shapes[] = {{3, 20, 50}, {10, 100, 100}};
    std::printf("%-12s %7s %-5s %8s %8s %8s %8s %8s %10s %10s\n", "tree", "titles", "time", "walk s", "first s",
                "second s", "first/w", "second/w", "peak1 MiB", "peak2 MiB");
    for (const Shape &s : shapes) {
        QTemporaryDir tmp;
        if (args.contains(QStringLiteral("--keep"))) {
            tmp.setAutoRemove(false);
            std::fprintf(stderr, "kept %s\n", qPrintable(tmp.path()));
        }
        const Figures f = runTree(templatePath, tmp.path(), s.c, s.g, s.t);
        const QString name = QStringLiteral("%1x%2x%3").arg(s.c).arg(s.g).arg(s.t);
        std::printf("%-12s %7d %-5s %8.3f %8.3f %8.3f %8.2f %8.2f %10.1f %10.1f\n", qPrintable(name), f.titles,
                    "wall", f.walk.wall, f.first.wall, f.second.wall, f.first.wall / f.walk.wall,
                    f.second.wall / f.walk.wall, f.memFirst, f.memSecond);
        std::printf("%-12s %7s %-5s %8.3f %8.3f %8.3f %8.2f %8.2f\n", "", "", "cpu", f.walk.cpu, f.first.cpu,
                    f.second.cpu, f.first.cpu / f.walk.cpu, f.second.cpu / f.walk.cpu);
        std::fflush(stdout);
    }
    return 0;
}
