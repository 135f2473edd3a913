// Auto-set speed: builds synthetic folder trees and times a first run (every row new)
// against its floor, plain C on the same tree: the folders walked with readdir and the
// same rows inserted through SQLite's own interface into a new library in one
// transaction; and a second run over the unchanged tree (no writes) against the same
// walk alone. Prints the ratios, the peak memory of each run, and the bytes the first
// run hands to write calls (/proc/self/io, temporary files included) against the
// library's final size (target: at most 2 x).
//
// Then the cost of syncing: a first run through `tessaly-cli autoset` on a new library,
// with libbench_nosync.so preloaded either counting the file syncs (passed on to the
// system) or making them do nothing: the floor is the same run with syncing disabled.
// Target: the syncing run within 1.25 x the floor. --cli PATH adds the same rows for
// another tessaly-cli (an older build). Options: --help.
#include "../BenchSupport.h"
#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
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

// Sub-folders of a folder in name order, as the program takes them.
std::vector<std::string> subFolders(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (e->d_name[0] != '.' && e->d_type == DT_DIR)
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The floor: the three levels walked with readdir and, given a library, every folder's
// row inserted (parent keys, name, path) in one transaction. Returns the titles.
int floorRun(const std::string &base, const QString &lib = QString())
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *insert[3] = {};
    const auto check = [&](int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_DONE) {
            std::fprintf(stderr, "floor: %s\n", db ? sqlite3_errmsg(db) : "cannot open");
            std::exit(1);
        }
    };
    if (!lib.isEmpty()) {
        check(sqlite3_open_v2(QFile::encodeName(lib).constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
        check(sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr));
        const char *sql[3] = {"insert into photoGraph (topFolderName, topFolder) values (?3, ?4)",
                              "insert into photoYear (ID, yearFolderName, yearFolder) values (?1, ?3, ?4)",
                              "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (?1, ?2, ?3, ?4)"};
        for (int l = 0; l < 3; ++l)
            check(sqlite3_prepare_v2(db, sql[l], -1, &insert[l], nullptr));
    }
    int titles = 0;
    sqlite3_int64 keys[2] = {0, 0};
    const auto level = [&](auto &self, const std::string &folder, int depth) -> void {
        for (const std::string &name : subFolders(folder)) {
            const std::string path = folder + '/' + name;
            if (db) {
                sqlite3_stmt *st = insert[depth];
                for (int k = 0; k < depth; ++k)
                    sqlite3_bind_int64(st, k + 1, keys[k]);
                sqlite3_bind_text(st, 3, name.data(), int(name.size()), SQLITE_STATIC);
                sqlite3_bind_text(st, 4, path.data(), int(path.size()), SQLITE_STATIC);
                check(sqlite3_step(st));
                sqlite3_reset(st);
                if (depth < 2)
                    keys[depth] = sqlite3_last_insert_rowid(db);
            }
            if (depth < 2)
                self(self, path, depth + 1);
            else
                ++titles;
        }
    };
    level(level, base, 0);
    if (db) {
        check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr));
        for (sqlite3_stmt *st : insert)
            sqlite3_finalize(st);
        sqlite3_close(db);
    }
    return titles;
}

// Bytes this process has handed to write calls so far (Linux).
qint64 bytesWritten()
{
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return 0;
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
    Time floor, first, walk, second;
    double memFirst = 0, memSecond = 0;
    qint64 written = 0, floorWritten = 0, libBytes = 0, floorLibBytes = 0;
    int titles = 0;
};

void keepBest(Time &t, const Clock &c)
{
    t.wall = std::min(t.wall, c.wallSeconds());
    t.cpu = std::min(t.cpu, c.cpuSeconds());
}

// A new library whose base folder is `base`.
QString newLibrary(const QString &templatePath, const QString &path, const QString &base)
{
    QFile::remove(path);
    tessaly::bench::NewLibrary(templatePath, path);
    Connection c(MakeConnectString(path));
    c.exec(QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
    return path;
}

// Each figure is the best of `rounds`; the first run and its floor take turns, each on a
// new library.
Figures runTree(const QString &templatePath, const QString &root, int categories, int genres, int titles, int rounds)
{
    Figures f;
    const QString base = root + QStringLiteral("/base");
    QDir().mkpath(base);
    makeTree(base, categories, genres, titles);
    const std::string base8 = QFile::encodeName(base).toStdString();
    const QString lib = root + QStringLiteral("/lib.mdb"), floorLib = root + QStringLiteral("/floor.mdb");
    Global g;
    g.dbConnectString = MakeConnectString(lib);
    ConsoleDialogService ds(MsgAnswer::Yes);

    floorRun(base8);  // warm the directory cache so that every figure sees the same
    Clock t;
    AutoSetCounts first;
    for (int r = 0; r < rounds; ++r) {
        newLibrary(templatePath, lib, base);
        first = AutoSetCounts();
        resetPeakMemory();
        qint64 before = bytesWritten();
        t.start();
        RunAutoSetPasses(g, ds, &first);
        keepBest(f.first, t);
        f.written = bytesWritten() - before;
        f.memFirst = tessaly::bench::StatusKiB("VmHWM:") / 1024.0;

        newLibrary(templatePath, floorLib, base);
        before = bytesWritten();
        t.start();
        const int floorTitles = floorRun(base8, floorLib);
        keepBest(f.floor, t);
        f.floorWritten = bytesWritten() - before;
        if (floorTitles != first.added[TitleLevel]) {
            std::fprintf(stderr, "the floor wrote %d titles, the run %d\n", floorTitles, first.added[TitleLevel]);
            std::exit(1);
        }
    }
    f.libBytes = QFileInfo(lib).size();
    f.floorLibBytes = QFileInfo(floorLib).size();
    for (int r = 0; r < rounds; ++r) {
        t.start();
        f.titles = floorRun(base8);
        keepBest(f.walk, t);
    }

    AutoSetCounts second;
    resetPeakMemory();
    t.start();
    RunAutoSetPasses(g, ds, &second);
    keepBest(f.second, t);
    f.memSecond = tessaly::bench::StatusKiB("VmHWM:") / 1024.0;

    if (first.added[TitleLevel] != f.titles || second.added[TitleLevel] != 0
        || second.unchanged[TitleLevel] != f.titles || ds.messageCount() != 0) {
        std::fprintf(stderr, "unexpected result: %s / %s\n", qPrintable(AutoSetSummary(first)),
                     qPrintable(AutoSetSummary(second)));
        std::exit(1);
    }
    return f;
}

// Categories x genres x titles: 10,000 and 100,000 title folders.
struct Shape {
    int c, g, t;
};
const Shape kShapes[] = {{10, 10, 100}, {10, 100, 100}};

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
    std::printf("\nfirst run through tessaly-cli autoset, syncing vs floor (the same run, fsync/fdatasync made no-ops"
                " by an LD_PRELOAD shim); %d rounds each, alternating; wall: best, cpu: median\n", rounds);
    std::printf("%-12s %-6s %7s %9s %9s %9s %9s %8s %8s\n", "tree", "cli", "syncs", "wall s", "floor s", "x floor",
                "cpu s", "floor s", "x floor");
    for (const Shape &s : kShapes) {
        QTemporaryDir tmp;
        tmp.setAutoRemove(!keep);
        const QString base = tmp.filePath(QStringLiteral("base"));
        QDir().mkpath(base);
        makeTree(base, s.c, s.g, s.t);
        floorRun(QFile::encodeName(base).toStdString());
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
    const tessaly::bench::Options options(
        app.arguments(), "First and second auto-set runs over trees of 10,000 and 100,000 titles, then the cost of syncing.",
        "first run: the folders walked with readdir and the same rows inserted through SQLite's C interface"
        " in one transaction on a new library; second run: the same walk alone; syncing: the same tessaly-cli run"
        " with fsync and fdatasync made no-ops",
        {tessaly::bench::kTemplateOption,
         {"--rounds", "N", "rounds of each timed run (default 3)"},
         {"--cli", "PATH", "another tessaly-cli for the syncing table (an older build)", true},
         {"--sync-only", nullptr, "the syncing table alone"},
         {"--keep", nullptr, "keep the temporary folders"}});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    const int rounds = options.number("--rounds", 3);
    QStringList clis = {QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-cli")};
    for (const QString &cli : options.values("--cli"))
        clis << QFileInfo(cli).absoluteFilePath();
    const bool keep = options.has("--keep");
    if (options.has("--sync-only")) {
        syncTable(templatePath, clis, rounds, keep);
        return 0;
    }

    std::printf("best of %d rounds\n", rounds);
    std::printf("%-10s %7s %-5s %8s %8s %8s %8s %8s %8s %9s %9s\n", "tree", "titles", "time", "floor s", "first s",
                "x floor", "walk s", "second s", "x walk", "peak1 MiB", "peak2 MiB");
    QList<Figures> all;
    for (const Shape &s : kShapes) {
        QTemporaryDir tmp;
        tmp.setAutoRemove(!keep);
        if (keep)
            std::fprintf(stderr, "kept %s\n", qPrintable(tmp.path()));
        const Figures f = runTree(templatePath, tmp.path(), s.c, s.g, s.t, rounds);
        all << f;
        const QString name = QStringLiteral("%1x%2x%3").arg(s.c).arg(s.g).arg(s.t);
        std::printf("%-10s %7d %-5s %8.3f %8.3f %8.2f %8.3f %8.3f %8.2f %9.1f %9.1f\n", qPrintable(name), f.titles,
                    "wall", f.floor.wall, f.first.wall, f.first.wall / f.floor.wall, f.walk.wall, f.second.wall,
                    f.second.wall / f.walk.wall, f.memFirst, f.memSecond);
        std::printf("%-10s %7s %-5s %8.3f %8.3f %8.2f %8.3f %8.3f %8.2f\n", "", "", "cpu", f.floor.cpu, f.first.cpu,
                    f.first.cpu / f.floor.cpu, f.walk.cpu, f.second.cpu, f.second.cpu / f.walk.cpu);
        std::fflush(stdout);
    }
    std::printf("\nbytes handed to write calls by the first run (temporary files included) against the library's"
                " final size; target: at most 2 x\n");
    std::printf("%-10s %7s %11s %11s %7s %11s %11s %7s\n", "tree", "titles", "library MB", "written MB", "x lib",
                "floor lib", "floor wr", "x lib");
    for (int i = 0; i < all.size(); ++i) {
        const Figures &f = all.at(i);
        const double x = double(f.written) / f.libBytes;
        std::printf("%-10s %7d %11.2f %11.2f %7.2f %11.2f %11.2f %7.2f%s\n",
                    qPrintable(QStringLiteral("%1x%2x%3").arg(kShapes[i].c).arg(kShapes[i].g).arg(kShapes[i].t)),
                    f.titles, f.libBytes / 1e6, f.written / 1e6, x, f.floorLibBytes / 1e6, f.floorWritten / 1e6,
                    double(f.floorWritten) / f.floorLibBytes, x > 2 ? "  OUTSIDE TARGET" : "");
    }
    std::fflush(stdout);
    syncTable(templatePath, clis, rounds, keep);
    return 0;
}
