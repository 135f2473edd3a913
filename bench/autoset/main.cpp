// Auto-set speed: builds synthetic folder trees and times a first run (every row new),
// a second run over the unchanged tree (no writes) and a bare walk that lists the same
// folders, then prints the ratios to the walk and the peak memory of each run.
//
// Then the cost of syncing: a first run through `tessaly-cli autoset` on a new library,
// with libbench_nosync.so preloaded either counting the file syncs (passed on to the
// system) or making them do nothing: the floor is the same run with syncing disabled.
// Target: the syncing run within 1.25 x the floor. --cli PATH adds the same rows for
// another tessaly-cli (an older build).
//
//   bench_autoset [--template PATH] [--keep] [--rounds N] [--cli PATH] [--sync-only]
#include "../BenchSupport.h"
#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct ChildRun {
    double wall = 0, cpu = 0;
    long syncs = 0;
};

// One `cli autoset lib` with the shim preloaded in the given mode.
ChildRun runCli(const QString &cli, const QString &lib, const QString &shim, const char *mode, const QString &countFile)
{
    const QByteArray exe = QFile::encodeName(cli), libPath = QFile::encodeName(lib);
    const QByteArray preload = "LD_PRELOAD=" + QFile::encodeName(shim), syncMode = QByteArray("BENCH_SYNC=") + mode,
                     count = "BENCH_SYNC_COUNT=" + QFile::encodeName(countFile);
    QElapsedTimer t;
    t.start();
    const pid_t pid = fork();
    if (pid == 0) {
        putenv(const_cast<char *>(preload.constData()));
        putenv(const_cast<char *>(syncMode.constData()));
        putenv(const_cast<char *>(count.constData()));
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(exe.constData(), exe.constData(), "autoset", libPath.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    ChildRun r;
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s autoset failed\n", exe.constData());
        std::exit(1);
    }
    QFile f(countFile);
    if (f.open(QIODevice::ReadOnly))
        r.syncs = f.readAll().trimmed().toLong();
    return r;
}

// A first run syncing against the same run with syncing off, alternating; best wall
// and median CPU of each.
void syncTable(const QString &templatePath, const QStringList &clis, int rounds, bool keep)
{
    const QString shim = QCoreApplication::applicationDirPath() + QStringLiteral("/libbench_nosync.so");
    struct Shape {
        int c, g, t;
    };
    const Shape shapes[] = {{3, 20, 50}, {10, 100, 100}};
    std::printf("\nfirst run through tessaly-cli autoset, syncing vs floor (the same run, fsync/fdatasync made no-ops"
                " by an LD_PRELOAD shim); %d rounds each, alternating; wall: best, cpu: median\n", rounds);
    std::printf("%-12s %-6s %7s %9s %9s %9s %9s %8s %8s\n", "tree", "cli", "syncs", "wall s", "floor s", "x floor",
                "cpu s", "floor s", "x floor");
    for (const Shape &s : shapes) {
        QTemporaryDir tmp;
        tmp.setAutoRemove(!keep);
        const QString base = tmp.filePath(QStringLiteral("base"));
        QDir().mkpath(base);
        makeTree(base, s.c, s.g, s.t);
        walk(base);
        const QString name = QStringLiteral("%1x%2x%3").arg(s.c).arg(s.g).arg(s.t);
        for (int ci = 0; ci < clis.size(); ++ci) {
            std::vector<ChildRun> on, off;
            for (int round = 0; round < rounds; ++round) {
                for (const char *mode : {"count", "off"}) {
                    const QString lib = tmp.filePath(QStringLiteral("lib.mdb"));
                    QFile::remove(lib);
                    tessaly::bench::NewLibrary(templatePath, lib);
                    {
                        Connection c(MakeConnectString(lib));
                        c.exec(QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
                    }
                    const ChildRun r = runCli(clis[ci], lib, shim, mode, tmp.filePath(QStringLiteral("syncs")));
                    (qstrcmp(mode, "off") == 0 ? off : on).push_back(r);
                }
            }
            const auto best = [](const std::vector<ChildRun> &v) {
                double b = 1e9;
                for (const ChildRun &r : v)
                    b = std::min(b, r.wall);
                return b;
            };
            const auto median = [](const std::vector<ChildRun> &v) {
                std::vector<double> c;
                for (const ChildRun &r : v)
                    c.push_back(r.cpu);
                std::sort(c.begin(), c.end());
                return c[c.size() / 2];
            };
            const double w = best(on), wf = best(off), c = median(on), cf = median(off);
            std::printf("%-12s %-6s %7ld %9.3f %9.3f %9.2f %9.3f %8.3f %8.2f%s\n", qPrintable(name),
                        ci == 0 ? "this" : qPrintable(QStringLiteral("[%1]").arg(ci)), on.front().syncs, w, wf, w / wf,
                        c, cf, c / cf, ci == 0 && w / wf > 1.25 ? "  OUTSIDE TARGET" : "");
            std::fflush(stdout);
        }
    }
    for (int ci = 1; ci < clis.size(); ++ci)
        std::printf("[%d]: %s\n", ci, qPrintable(clis[ci]));
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString templatePath = tessaly::bench::TemplatePath(args);
    if (templatePath.isEmpty())
        return 1;
    int rounds = 3;
    QStringList clis = {QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-cli")};
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--cli"))
            clis << QFileInfo(args[i + 1]).absoluteFilePath();
    }
    const bool keep = args.contains(QStringLiteral("--keep"));
    if (args.contains(QStringLiteral("--sync-only"))) {
        syncTable(templatePath, clis, rounds, keep);
        return 0;
    }

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
    syncTable(templatePath, clis, rounds, keep);
    return 0;
}
