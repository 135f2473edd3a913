// Root rewrite speed: fills libraries of growing size with category, genre and title
// rows under one base folder, then times moving the base folder to another root (drive
// form and Linux form), and prints rows per second.
//
//   bench_rebase [--template PATH]
#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "Library.h"
#include "Rebase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

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

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString templatePath = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/sys.1");
    const int ti = args.indexOf(QStringLiteral("--template"));
    if (ti > 0 && ti + 1 < args.size())
        templatePath = args.at(ti + 1);
    if (!QFile::exists(templatePath)) {
        std::fprintf(stderr, "template not found: %s (use --template PATH)\n", qPrintable(templatePath));
        return 1;
    }
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
    const Size sizes[] = {{10, 10, 10}, {20, 25, 20}, {40, 25, 50}};
    const Move moves[] = {{"drive D: -> E:", "D:\\photo", "E:\\photo", '\\'},
                          {"linux diskA -> diskB", "/media/diskA/photo", "/media/diskB/photo", '/'}};
    std::printf("%-22s %8s %10s %12s\n", "move", "rows", "seconds", "rows/second");
    int n = 0;
    for (const Size &s : sizes) {
        for (const Move &m : moves) {
            const QString lib = tmp.path() + QStringLiteral("/lib%1.mdb").arg(++n);
            int err = 0;
            QString desc;
            if (!CopyTemplate(templatePath, lib, &err, &desc)) {
                std::fprintf(stderr, "cannot copy the template: %s\n", qPrintable(desc));
                return 1;
            }
            fill(lib, QString::fromUtf8(m.from), QLatin1Char(m.sep), s.c, s.g, s.t);
            QElapsedTimer timer;
            timer.start();
            Connection conn(MakeConnectString(lib));
            conn.begin();
            const RebaseResult r = RebaseStoredPaths(conn, QString::fromUtf8(m.from), QString::fromUtf8(m.to));
            conn.commit();
            const double secs = timer.nsecsElapsed() / 1e9;
            if (r.failed) {
                std::fprintf(stderr, "rewrite failed: %s\n", qPrintable(r.error));
                return 1;
            }
            std::printf("%-22s %8d %10.3f %12.0f\n", m.label, r.rowsSaved, secs, r.rowsSaved / secs);
        }
    }
    return 0;
}
