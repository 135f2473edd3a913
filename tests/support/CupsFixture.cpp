#include "CupsFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cups/cups.h>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace tessaly::test {

namespace {

const char kPpd[] = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TESSPDF.PPD"
*Manufacturer: "Tessaly"
*Product: "(Tessaly Test PDF)"
*ModelName: "Tessaly Test PDF"
*ShortNickName: "Tessaly Test PDF"
*NickName: "Tessaly Test PDF"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageSize A5/A5: "<</PageSize[420 595]/ImagingBBox null>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*PageSize Postcard/Postcard: "<</PageSize[283 420]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageRegion A5/A5: "<</PageSize[420 595]/ImagingBBox null>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*PageRegion Postcard/Postcard: "<</PageSize[283 420]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*ImageableArea A5/A5: "0 0 420 595"
*ImageableArea Letter/US Letter: "0 0 612 792"
*ImageableArea Postcard/Postcard: "0 0 283 420"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension A5/A5: "420 595"
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension Postcard/Postcard: "283 420"
)PPD";

bool writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

QString socketPath(const QString &folder)
{
    return folder + QStringLiteral("/cups.sock");
}

bool socketAccepts(const QString &path)
{
    const QByteArray p = path.toLocal8Bit();
    sockaddr_un addr{};
    if (size_t(p.size()) >= sizeof(addr.sun_path))
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

CupsFixture::~CupsFixture()
{
    stop();
}

QString CupsFixture::folder() const
{
    return m_dir ? m_dir->path() : QString();
}

QString CupsFixture::outputPdf() const
{
    return folder() + QStringLiteral("/out/job.pdf");
}

QString CupsFixture::userOptionsFile() const
{
    return folder() + QStringLiteral("/home/.cups/lpoptions");
}

bool CupsFixture::running() const
{
    return m_cupsd.state() == QProcess::Running;
}

bool CupsFixture::start(QString *whyNot)
{
    const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
    m_lpadmin = QStandardPaths::findExecutable(QStringLiteral("lpadmin"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/bin")});
    if (cupsd.isEmpty() || m_lpadmin.isEmpty()) {
        *whyNot = QStringLiteral("cupsd or lpadmin is not installed (packages cups, cups-client)");
        return false;
    }

    // cupsd refuses sockets with long paths; keep the folder short.
    m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tcups-XXXXXX"));
    if (!m_dir->isValid()) {
        *whyNot = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    const QString base = m_dir->path();
    // Filters run as another user when cupsd runs as root: they must reach the spool,
    // the temporary folder and the output folder.
    ::chmod(QFile::encodeName(base).constData(), 0755);
    for (const char *sub : {"spool", "tmp", "cache", "state", "log", "out", "home"})
        QDir(base).mkdir(QString::fromLatin1(sub));
    ::chmod(QFile::encodeName(base + QStringLiteral("/tmp")).constData(), 01777);
    ::chmod(QFile::encodeName(base + QStringLiteral("/out")).constData(), 0777);

    QByteArray files;
    files += "ServerRoot " + base.toUtf8() + "\n";
    files += "RequestRoot " + base.toUtf8() + "/spool\n";
    files += "TempDir " + base.toUtf8() + "/tmp\n";
    files += "CacheDir " + base.toUtf8() + "/cache\n";
    files += "StateDir " + base.toUtf8() + "/state\n";
    files += "AccessLog " + base.toUtf8() + "/log/access_log\n";
    files += "ErrorLog " + base.toUtf8() + "/log/error_log\n";
    files += "PageLog " + base.toUtf8() + "/log/page_log\n";
    files += "Printcap " + base.toUtf8() + "/printcap\n";
    files += "FileDevice Yes\n";
    if (geteuid() != 0) {
        // A daemon of an ordinary user runs its filters as that user.
        if (const passwd *pw = getpwuid(geteuid()))
            files += QByteArray("User ") + pw->pw_name + "\n";
        if (const group *gr = getgrgid(getegid()))
            files += QByteArray("Group ") + gr->gr_name + "\n";
    }
    QByteArray conf;
    conf += "Listen " + socketPath(base).toUtf8() + "\n";
    conf += "LogLevel info\n"
            "Browsing No\n"
            "WebInterface No\n"
            "DefaultAuthType None\n"
            "ErrorPolicy abort-job\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    const QString ppd = base + QStringLiteral("/tessaly.ppd");
    if (!writeText(base + QStringLiteral("/cups-files.conf"), files)
        || !writeText(base + QStringLiteral("/cupsd.conf"), conf)
        || !writeText(ppd, QByteArray(kPpd))) {
        *whyNot = QStringLiteral("cannot write the cupsd configuration");
        return false;
    }

    // The client side of this process and of every program it starts.
    qputenv("CUPS_SERVER", socketPath(base).toUtf8());
    qputenv("CUPS_SERVERROOT", base.toUtf8());
    qputenv("HOME", (base + QStringLiteral("/home")).toUtf8());
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    cupsSetServer(nullptr);  // read CUPS_SERVER again

    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), base + QStringLiteral("/cupsd.conf"),
                          QStringLiteral("-s"), base + QStringLiteral("/cups-files.conf")});
    if (!m_cupsd.waitForStarted(5000)) {
        *whyNot = QStringLiteral("cupsd does not start: ") + m_cupsd.errorString();
        return false;
    }
    // Ready once the socket takes connections.
    const QDeadlineTimer deadline(15000);
    bool ready = false;
    while (!ready && !deadline.hasExpired() && m_cupsd.state() == QProcess::Running) {
        ready = socketAccepts(socketPath(base));
        if (!ready)
            QThread::msleep(50);
    }
    if (!ready) {
        m_cupsd.waitForFinished(100);
        QString log = QString::fromLocal8Bit(m_cupsd.readAll());
        QFile el(base + QStringLiteral("/log/error_log"));
        if (el.open(QIODevice::ReadOnly))
            log += QString::fromLocal8Bit(el.readAll()).right(1500);
        *whyNot = QStringLiteral("cupsd did not come up: ") + log.trimmed();
        stop();
        return false;
    }

    QString out;
    if (!addPrinter(&out)) {
        *whyNot = QStringLiteral("cannot add the test printer: ") + out.trimmed();
        stop();
        return false;
    }
    return true;
}

bool CupsFixture::addPrinter(QString *output)
{
    const QString uri = QStringLiteral("file://") + outputPdf();
    const QString ppd = folder() + QStringLiteral("/tessaly.ppd");
    return run(m_lpadmin, {QStringLiteral("-p"), printerName(), QStringLiteral("-E"),
                                           QStringLiteral("-v"), uri, QStringLiteral("-P"), ppd}, output)
        && run(m_lpadmin, {QStringLiteral("-d"), printerName()}, output);
}

bool CupsFixture::removePrinter()
{
    return run(m_lpadmin, {QStringLiteral("-x"), printerName()});
}

void CupsFixture::stop()
{
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
    }
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

void CupsFixture::clearUserOptions()
{
    QFile::remove(userOptionsFile());
    QFile::remove(folder() + QStringLiteral("/lpoptions"));
}

bool CupsFixture::lpoptions(const QStringList &args, QString *output)
{
    return run(QStringLiteral("lpoptions"), args, output);
}

QString CupsFixture::userOption(const QString &name)
{
    QString out;
    if (!lpoptions({}, &out))
        return QString();
    // "name=value" or "name='quoted value'", separated by spaces.
    const QRegularExpression re(QStringLiteral("(?:^|\\s)") + QRegularExpression::escape(name)
                                + QStringLiteral("=('[^']*'|\\S*)"));
    const QRegularExpressionMatch m = re.match(out);
    if (!m.hasMatch())
        return QString();
    QString v = m.captured(1);
    if (v.startsWith(QLatin1Char('\'')))
        v = v.mid(1, v.size() - 2);
    return v;
}

void CupsFixture::clearOutput()
{
    QFile::remove(outputPdf());
}

int CupsFixture::jobCount(bool activeOnly) const
{
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printerName().toUtf8().constData(), 0,
                               activeOnly ? CUPS_WHICHJOBS_ACTIVE : CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(n, jobs);
    return n;
}

bool CupsFixture::waitIdle(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (jobCount(true) > 0) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

void CupsFixture::pointAtNothing()
{
    const QString nowhere = folder() + QStringLiteral("/no-such.sock");
    qputenv("CUPS_SERVER", nowhere.toUtf8());
    cupsSetServer(nullptr);
}

void CupsFixture::pointAtServer()
{
    qputenv("CUPS_SERVER", socketPath(folder()).toUtf8());
    cupsSetServer(nullptr);
}

PdfPage CupsFixture::pdfPage(const QString &path)
{
    PdfPage page;
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return page;
    const QString info = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QRegularExpressionMatch size = QRegularExpression(
        QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
    const QRegularExpressionMatch rot = QRegularExpression(QStringLiteral("Page rot:\\s+(-?[0-9]+)")).match(info);
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+([0-9]+)")).match(info);
    if (size.hasMatch())
        page.sizePts = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    if (rot.hasMatch())
        page.rotation = ((rot.captured(1).toInt() % 360) + 360) % 360;
    if (pages.hasMatch())
        page.pages = pages.captured(1).toInt();
    return page;
}

QImage CupsFixture::renderPdf(const QString &path, int dpi)
{
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi),
                                          QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                          QStringLiteral("1"), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QImage();
    return QImage::fromData(p.readAllStandardOutput(), "PGM");
}

}  // namespace tessaly::test
