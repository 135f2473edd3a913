#include "CupsFixture.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QThread>

#include <cups/cups.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::test {

namespace {

QByteArray ppd()
{
    QByteArray sizes, dimensions;
    for (const char *size : {"A4 595 842", "A5 420 595", "Letter 612 792", "Postcard 283 420", "Legal 612 1008"}) {
        const QList<QByteArray> p = QByteArray(size).split(' ');
        sizes += "*PageSize " + p[0] + ": \"<</PageSize[" + p[1] + ' ' + p[2] + "]>>setpagedevice\"\n";
        dimensions += "*PaperDimension " + p[0] + ": \"" + p[1] + ' ' + p[2] + "\"\n";
    }
    return "*PPD-Adobe: \"4.3\"\n*NickName: \"Tessaly Test PDF\"\n*LandscapeOrientation: Plus90\n"
           "*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n"
           "*OpenUI *PageSize/Media Size: PickOne\n*DefaultPageSize: A4\n" + sizes + "*CloseUI: *PageSize\n" + dimensions;
}

bool accepts(const QString &socket)
{
    http_t *http = httpConnect2(socket.toUtf8().constData(), 631, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1, 200,
                                nullptr);
    httpClose(http);
    return http != nullptr;
}

}  // namespace

bool CupsFixture::start(QString *whyNot)
{
    const QStringList sbin{"/usr/sbin", "/usr/local/sbin", "/sbin", "/usr/bin"};
    const QString cupsd = QStandardPaths::findExecutable("cupsd", sbin);
    m_lpadmin = QStandardPaths::findExecutable("lpadmin", sbin);
    if (cupsd.isEmpty() || m_lpadmin.isEmpty()) {
        *whyNot = "cupsd or lpadmin is not installed (packages cups, cups-client)";
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>("/tmp/tcups-XXXXXX");  // cupsd refuses long socket paths
    const QString base = m_dir->path();
    const QByteArray b = base.toUtf8();
    // Filters may run as another user: they must reach the spool, tmp and out folders.
    ::chmod(b.constData(), 0755);
    for (const char *sub : {"spool", "tmp", "cache", "state", "log", "out", "home"})
        QDir(base).mkdir(sub);
    ::chmod(QByteArray(b + "/tmp").constData(), 01777);
    ::chmod(QByteArray(b + "/out").constData(), 0777);

    QByteArray files = "ServerRoot " + b + "\nRequestRoot " + b + "/spool\nTempDir " + b + "/tmp\nCacheDir " + b +
                       "/cache\nStateDir " + b + "/state\nAccessLog " + b + "/log/access_log\nErrorLog " + b +
                       "/log/error_log\nPageLog " + b + "/log/page_log\nPrintcap " + b + "/printcap\nFileDevice Yes\n";
    if (geteuid() != 0) {  // a daemon of an ordinary user runs its filters as that user
        if (const passwd *pw = getpwuid(geteuid()))
            files += QByteArray("User ") + pw->pw_name + "\n";
        if (const group *gr = getgrgid(getegid()))
            files += QByteArray("Group ") + gr->gr_name + "\n";
    }
    const QByteArray conf = "Listen " + socket().toUtf8() +
                            "\nLogLevel info\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                            "ErrorPolicy abort-job\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                            "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    writeFile(base + "/cups-files.conf", files);
    writeFile(base + "/cupsd.conf", conf);
    writeFile(base + "/tessaly.ppd", ppd());
    qputenv("CUPS_SERVERROOT", b);
    qputenv("HOME", b + "/home");
    qunsetenv("XDG_STATE_HOME");  // the program's own state follows HOME too
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    pointAt(true);

    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {"-f", "-c", base + "/cupsd.conf", "-s", base + "/cups-files.conf"});
    const QDeadlineTimer deadline(15000);
    bool ready = false;
    while (!ready && !deadline.hasExpired() && m_cupsd.waitForStarted(5000) && m_cupsd.state() == QProcess::Running)
        if (!(ready = accepts(socket())))
            QThread::msleep(50);
    QString out;
    if (!ready) {
        QFile log(base + "/log/error_log");
        log.open(QIODevice::ReadOnly);
        *whyNot = "cupsd did not come up: " + m_cupsd.errorString() + "\n" +
                  QString::fromLocal8Bit(m_cupsd.readAll() + log.readAll().right(1500)).trimmed();
    } else if (!run(m_lpadmin, {"-p", printerName(), "-E", "-v", "file://" + outputPdf(), "-P", base + "/tessaly.ppd"}, &out) ||
               !run(m_lpadmin, {"-p", legalPrinter(), "-E", "-v", "file://" + base + "/out/legal.pdf", "-P",
                                base + "/tessaly.ppd", "-o", "PageSize=Legal"}, &out) ||
               !setDefault(printerName(), &out)) {
        *whyNot = "cannot add the test printers: " + out.trimmed();
        ready = false;
    }
    if (!ready)
        stop();
    return ready;
}

void CupsFixture::stop()
{
    m_cupsd.terminate();
    if (m_cupsd.state() != QProcess::NotRunning && !m_cupsd.waitForFinished(10000))
        m_cupsd.kill(), m_cupsd.waitForFinished(5000);
}

bool CupsFixture::setDefault(const QString &printer, QString *output)
{
    return run(m_lpadmin, {"-d", printer}, output);
}

bool CupsFixture::run(const QString &program, const QStringList &args, QString *output) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return ok;
}

bool CupsFixture::writeUserFile(const QByteArray &text)
{
    if (text.isNull())
        return !QFile::exists(userOptionsFile()) || QFile::remove(userOptionsFile());
    return !writeFile(userOptionsFile(), text).isEmpty();
}

int CupsFixture::jobCount(bool activeOnly) const
{
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printerName().toUtf8().constData(), 0,
                               activeOnly ? CUPS_WHICHJOBS_ACTIVE : CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(n, jobs);
    return n;
}

bool CupsFixture::waitIdle() const
{
    const QDeadlineTimer deadline(30000);
    while (jobCount(true) > 0 && !deadline.hasExpired())
        QThread::msleep(100);
    return jobCount(true) == 0;
}

void CupsFixture::pointAt(bool server)
{
    qputenv("CUPS_SERVER", server ? socket().toUtf8() : (m_dir->path() + "/no-such.sock").toUtf8());
    cupsSetServer(nullptr);  // read CUPS_SERVER again
}

PdfPage CupsFixture::pdfPage(const QString &path)
{
    PdfPage page;
    QProcess p;
    p.start("pdftoppm", {"-gray", "-r", "20", "-f", "1", "-l", "1", path});
    const QImage img = p.waitForFinished(30000) ? QImage::fromData(p.readAllStandardOutput(), "PGM") : QImage();
    page.sheet = img.size();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 250)
                page.picture |= QRect(x, y, 1, 1);
    return page;
}

}  // namespace tessaly::test
