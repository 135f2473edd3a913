// Start-up cost of tessaly-cli against a floor: a minimal Qt Core program that prints a
// line (bench_startup_floor, built beside this bench).
//
// Options: --help.
//
// Times, in alternating rounds, the floor, `tessaly-cli --version`, `image-size` of one
// JPEG and `show` of a small library, each as its own process; keeps each one's best
// wall time and the median CPU time (user + system of the child) and prints them with
// the ratio to the floor, the peak memory and how many shared libraries the program
// loads at start. Target: --version and image-size within 1.5 x the floor. More
// programs to compare (an older build) are given by --cli.
#include "../BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
    double wall = 0, cpu = 0;
    long maxRssKiB = 0;
};

// One run with its output thrown away; the child's own CPU time and peak memory.
Run runOnce(const QStringList &cmd, const QStringList &env = {})
{
    std::vector<QByteArray> store;
    for (const QString &a : cmd)
        store.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStore;
    for (const QString &e : env)
        envStore.push_back(e.toLocal8Bit());
    QElapsedTimer t;
    t.start();
    const pid_t pid = fork();
    if (pid == 0) {
        for (QByteArray &e : envStore)
            putenv(e.data());
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    Run r;
    r.wall = t.nsecsElapsed() / 1e9;
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    r.maxRssKiB = ru.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(cmd.join(' ')));
        std::exit(1);
    }
    return r;
}

// Shared libraries the dynamic loader maps before main (none loaded later counted).
int librariesAtStart(const QString &program)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(program, {});
    p.waitForFinished();
    return int(QString::fromLocal8Bit(p.readAllStandardOutput()).count(QLatin1String("=>")));
}

struct Row {
    QString name;
    QStringList cmd;
    std::vector<double> cpu;
    double bestWall = 1e9;
    long rss = 0;
    int libs = 0;
};

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "Start-up of tessaly-cli: --version, image-size of one JPEG and show of a small library.",
        "bench_startup_floor, a bare Qt Core program that prints a line",
        {{"--rounds", "N", "alternating rounds, at least 3 (default 40)"},
         {"--cli", "PATH", "another tessaly-cli to time beside this one (an older build)", true},
         tessaly::bench::kTemplateOption});
    const int rounds = options.number("--rounds", 40, 3);
    const QStringList clis = QStringList{QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-cli")}
                             + options.values("--cli");
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    QTemporaryDir tmp;
    const QString lib = tessaly::bench::NewLibrary(templatePath, tmp.filePath(QStringLiteral("lib.mdb")));
    // One camera-like JPEG: its frame header after a 20 KB Exif block.
    const QString jpeg = tmp.filePath(QStringLiteral("photo.jpg"));
    {
        QByteArray b("\xFF\xD8\xFF\xE1\x4E\x22", 6);
        b += QByteArray("Exif\0\0II*\0\x08\0\0\0\0\0\0\0", 18) + QByteArray(20000 - 18, 'x');
        b += QByteArray("\xFF\xC0\0\x11\x08\x0B\xB8\x0F\xA0\x03\x01\x22\0\x02\x11\x01\x03\x11\x01", 19);
        b += QByteArray("\xFF\xD9", 2);
        QFile f(jpeg);
        if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size())
            return 1;
    }

    std::vector<Row> rows;
    const QString floor = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_startup_floor");
    rows.push_back({QStringLiteral("floor"), {floor}, {}});
    for (int i = 0; i < clis.size(); ++i) {
        const QString cli = QFileInfo(clis[i]).absoluteFilePath();
        const QString tag = i == 0 ? QString() : QStringLiteral(" [%1]").arg(i);
        rows.push_back({QStringLiteral("--version") + tag, {cli, QStringLiteral("--version")}, {}});
        rows.push_back({QStringLiteral("image-size 1") + tag, {cli, QStringLiteral("image-size"), jpeg}, {}});
        rows.push_back({QStringLiteral("show") + tag, {cli, QStringLiteral("show"), lib}, {}});
    }
    for (Row &r : rows)
        r.libs = librariesAtStart(r.cmd.first());
    for (Row &r : rows)
        runOnce(r.cmd);  // warm the page cache
    for (int round = 0; round < rounds; ++round) {
        for (Row &r : rows) {
            const Run run = runOnce(r.cmd);
            r.cpu.push_back(run.cpu);
            r.bestWall = std::min(r.bestWall, run.wall);
            r.rss = std::max(r.rss, run.maxRssKiB);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("floor: bench_startup_floor, a QCoreApplication that prints one line through QTextStream\n");
    for (int i = 1; i < clis.size(); ++i)
        std::printf("[%d]: %s\n", i, qPrintable(clis[i]));
    std::printf("%d rounds; wall: best round; cpu: median of user + system\n\n", rounds);
    std::printf("%-18s %9s %9s %9s %9s %8s %6s\n", "command", "wall ms", "x floor", "cpu ms", "x floor", "peak MiB",
                "libs");
    const double floorWall = rows[0].bestWall, floorCpu = median(rows[0].cpu);
    bool ok = true;
    for (const Row &r : rows) {
        const double cpu = median(r.cpu);
        std::printf("%-18s %9.2f %9.2f %9.2f %9.2f %8.1f %6d\n", qPrintable(r.name), r.bestWall * 1e3,
                    r.bestWall / floorWall, cpu * 1e3, cpu / floorCpu, r.rss / 1024.0, r.libs);
        if (r.name == QLatin1String("--version") || r.name == QLatin1String("image-size 1"))
            ok = ok && r.bestWall / floorWall <= 1.5 && cpu / floorCpu <= 1.5;
    }
    std::printf("\n%s\n", ok ? "within target: --version and image-size at most 1.5 x the floor (wall and cpu)"
                             : "OUTSIDE TARGET");
    return ok ? 0 : 1;
}
