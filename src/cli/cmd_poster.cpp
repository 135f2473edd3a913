// poster: the poster frames of videos, for trying files or making many at once.
#include "Cli.h"

#include "Paths.h"
#include "Poster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QThreadPool>

namespace tessaly::cli {

static int posterCommand(Context &c)
{
    const QString folder = c.optionValue(QStringLiteral("--out"));
    if (folder.isEmpty() && c.args.size() != 2)
        return c.usageError(QCoreApplication::translate("cli", "動画 1 本なら VIDEO OUT.jpg、何本でも --out FOLDER VIDEO... と指定してください。"));
    struct Job {
        QString video;
        QString out;
        QString fault;  // found before decoding
        PosterInfo made;
    };
    QList<Job> jobs;
    if (folder.isEmpty()) {
        jobs << Job{QFileInfo(c.args.at(0)).absoluteFilePath(), c.args.at(1), {}, {}};
    } else {
        if (!IsFolder(QFileInfo(folder).absoluteFilePath()))
            return c.fail(QCoreApplication::translate("cli", "フォルダ「%1」がありません。").arg(folder));
        // "clip.mp4" gives "clip.mp4.jpg": clip.mov beside it keeps a poster of its own.
        QSet<QString> names;
        for (const QString &v : std::as_const(c.args)) {
            const QString name = QFileInfo(v).fileName() + QStringLiteral(".jpg");
            Job job{QFileInfo(v).absoluteFilePath(), ChildPath(folder, name), {}, {}};
            if (names.contains(name))
                job.fault = QCoreApplication::translate("cli", "同じ名前の動画が先にあるため、「%1」は書きません").arg(job.out);
            names.insert(name);
            jobs << job;
        }
    }
    for (Job &job : jobs)
        if (job.fault.isEmpty() && !QFileInfo(job.video).isFile())
            job.fault = QCoreApplication::translate("cli", "動画ファイルがありません");

    // One decoder per core, as a site run does; the lines come out in the order given.
    QThreadPool pool;
    pool.setMaxThreadCount(QThread::idealThreadCount());
    for (Job &job : jobs)
        if (job.fault.isEmpty())
            pool.start([&job] { job.made = MakePoster(job.video, job.out); });
    pool.waitForDone();

    int failed = 0;
    for (const Job &job : std::as_const(jobs)) {
        QString why = job.fault;
        if (why.isEmpty() && job.made.fault != PosterFault::None) {
            why = PosterFaultText(job.made.fault);
            if (!job.made.detail.isEmpty())
                why += QStringLiteral(" (") + job.made.detail + QLatin1Char(')');
        }
        if (why.isEmpty()) {
            c.out << job.out << '\t' << job.made.width << '\t' << job.made.height << '\t' << QCoreApplication::translate("cli", "回転 %1").arg(job.made.rotation)
                  << '\n';
            continue;
        }
        ++failed;
        c.out.flush();
        c.err << "tessaly-cli: " << job.video << ": " << why << Qt::endl;
    }
    c.out.flush();
    return failed ? 1 : 0;
}

static CliCommand poster("poster", "poster [--out FOLDER] VIDEO [OUT.jpg|VIDEO...]",
                         "writes the poster frame of a video (about 10 % in, upright, at most 240 px) as JPEG to "
                         "OUT.jpg, or of every VIDEO into FOLDER as NAME.jpg (clip.mp4: clip.mp4.jpg)",
                         posterCommand, {QStringLiteral("--out")},
                         "動画のポスター画像(約 10 % の位置、正立、最大 240 px)を JPEG で OUT.jpg に、"
                         "--out を付けるとすべての動画の分を FOLDER に「名前.jpg」(clip.mp4 なら clip.mp4.jpg)で"
                         "書き出します");

}  // namespace tessaly::cli
