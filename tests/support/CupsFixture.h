#pragma once
// A private CUPS server for the printing tests: cupsd runs in the foreground with its
// configuration, spool, logs and state under a temporary folder, listens on a socket
// inside it, and serves one default printer whose device is a file in that folder and
// whose PPD offers A4, A5, Letter and the postcard size and produces PDF. CUPS_SERVER,
// CUPS_SERVERROOT and HOME point at it, so the user's default options land there too;
// the machine's own printing set-up is not touched. Start it before anything in the
// process talks to CUPS (libcups reads HOME and CUPS_SERVERROOT once per thread).
#include <QProcess>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace tessaly::test {

struct PdfPage {
    QSizeF sizePts;    // as the file states it, before rotation
    int rotation = 0;  // /Rotate of the first page, 0..359
    int pages = 0;
    double inked = 0;  // share of the first page's pixels that are not white
    // CUPS's PDF filter writes a landscape job as a landscape page or as a rotated portrait one.
    bool landscape() const { return sizePts.width() > sizePts.height() || rotation != 0; }
    bool isSize(QSizeF paper) const
    {
        auto near = [&](QSizeF a) { return qAbs(a.width() - paper.width()) < 3 && qAbs(a.height() - paper.height()) < 3; };
        return near(sizePts) || near(sizePts.transposed());
    }
};

class CupsFixture {
public:
    ~CupsFixture() { stop(); }
    // Starts cupsd and adds the printer as the default; false with the reason when it cannot.
    bool start(QString *whyNot);
    void stop();

    QString printerName() const { return QStringLiteral("Tessaly_PDF"); }
    QString outputPdf() const { return m_dir->path() + QStringLiteral("/out/job.pdf"); }
    QString userOptionsFile() const { return m_dir->path() + QStringLiteral("/home/.cups/lpoptions"); }

    bool addPrinter(QString *output = nullptr);
    bool removePrinter();  // the server then has no printer at all
    // Replaces the user's default options of the printer ("media=iso_a5_148x210mm", ...).
    bool setUserOptions(const QStringList &options, QString *output = nullptr);
    QString userOptions() const;                     // as lpoptions shows them
    QString userOption(const QString &name) const;  // one value of those
    int jobCount(bool activeOnly = false) const;
    bool waitIdle() const;  // until no job is pending
    // Points the process at this server, or at a socket where nothing listens.
    void pointAt(bool server);
    // pdfinfo's and pdftoppm's view of a PDF's first page; pages = 0 when unreadable.
    static PdfPage pdfPage(const QString &path);

private:
    bool run(const QString &program, const QStringList &args, QString *output = nullptr) const;
    QString socket() const { return m_dir->path() + QStringLiteral("/cups.sock"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lpadmin;
    QProcess m_cupsd;
};

}  // namespace tessaly::test
