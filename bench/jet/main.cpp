// Jet conversion speed and memory. Without a Jet writer there is no 20,000-title Jet
// file to convert, so the real reader and writer are driven at that scale instead: the
// Jet library's title table is read again and again (40 titles a pass) through libmdb
// and every row goes into one new library with a fresh key, as a conversion does.
// Also times converting the whole test library end to end, in this process and through
// the child process that import-jet and the program use.
//
// Options: --help.
#include "../BenchSupport.h"
#include "Database.h"
#include "JetImport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace tessaly;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long maxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Writes `titles` title rows read from the Jet file into a new library; returns seconds.
double convertRepeated(const QString &jet, const QString &templatePath, const QString &dest, int titles)
{
    QElapsedTimer timer;
    timer.start();
    JetLibraryReader reader(jet);
    LibraryFileWriter writer(templatePath, dest, true);
    for (int t = 0; t < 4; ++t)
        reader.readTable(t, [&](const QVariantList &row) { writer.insert(t, row); });
    int written = 0;
    while (written < titles) {
        reader.readTable(4, [&](const QVariantList &row) {
            if (written >= titles)
                return;
            QVariantList copy = row;
            copy[0] = ++written;  // ID2
            writer.insert(4, copy);
        });
    }
    writer.finish();
    return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const tessaly::bench::Options options(
        app.arguments(), "Converting a Jet library: the test library end to end, then 2,000 to 100,000 titles.",
        "none measured: fixed targets, 20,000 titles within 5 s and peak memory growing by at most 16 MiB from"
        " 2,000 to 100,000 titles",
        {tessaly::bench::kTemplateOption,
         {"JET.mdb", nullptr, "the Jet library to read (default: tests/data/jet/library-jet4.mdb)"}});
    const QString templatePath = tessaly::bench::TemplatePath(options);
    if (templatePath.isEmpty())
        return 1;
    const QString jet = options.value("JET.mdb", QStringLiteral("tests/data/jet/library-jet4.mdb"));
    if (!QFile::exists(templatePath) || !QFile::exists(jet)) {
        std::fprintf(stderr, "template or Jet file not found: %s, %s (use --template PATH, JET.mdb)\n",
                     qPrintable(templatePath), qPrintable(jet));
        return 2;
    }
    QTemporaryDir tmp;
    const QString dest = tmp.filePath(QStringLiteral("bench.mdb"));

    try {
        QList<double> runs;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer timer;
            timer.start();
            ImportJetLibrary(jet, templatePath, dest, true);
            runs << timer.nsecsElapsed() / 1e6;
        }
        std::sort(runs.begin(), runs.end());
        std::printf("whole test library (52 rows) end to end: median %.1f ms over 20 runs\n", runs.at(10));
        // As import-jet and 開く run it: parsed in a child process, put in place here.
        const QString converter = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-cli");
        if (QFile::exists(converter)) {
            runs.clear();
            for (int i = 0; i < 20; ++i) {
                QElapsedTimer timer;
                timer.start();
                ConvertJetLibrary(converter, jet, templatePath, dest, true);
                runs << timer.nsecsElapsed() / 1e6;
            }
            std::sort(runs.begin(), runs.end());
            std::printf("the same through the child process: median %.1f ms over 20 runs\n", runs.at(10));
        }

        const double floorSeconds = 5.0;
        const long floorGrowthKb = 16 * 1024;
        bool ok = true;
        long firstRss = 0;
        for (int titles : {2000, 20000, 100000}) {
            const double cpu = cpuSeconds();
            const double s = convertRepeated(jet, templatePath, dest, titles);
            const long rss = maxRssKb();
            if (!firstRss)
                firstRss = rss;
            std::printf("%6d titles: %.2f s wall, %.2f s CPU (%.0f titles/s), peak memory %ld KiB\n", titles, s,
                        cpuSeconds() - cpu, titles / s, rss);
            if (titles == 20000 && s > floorSeconds)
                ok = false;
        }
        const long growth = maxRssKb() - firstRss;
        std::printf("targets: 20000 titles within %.0f s; peak memory from 2000 to 100000 titles grows by at most %ld KiB "
                    "(grew %ld KiB)\n",
                    floorSeconds, floorGrowthKb, growth);
        ok = ok && growth <= floorGrowthKb;
        std::printf("%s\n", ok ? "PASS" : "FAIL");
        return ok ? 0 : 1;
    } catch (const JetImportError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 2;
    }
}
