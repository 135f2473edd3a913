#pragma once
// A private CUPS server for the printing tests: cupsd runs in the foreground with its
// configuration, spool, logs and state under a temporary folder, listens on a socket
// inside it, and serves two printers whose devices are files in that folder and whose PPD
// offers A4, A5, Letter, the postcard size and Legal and produces PDF: the default one on
// A4, another on Legal. CUPS_SERVER, CUPS_SERVERROOT and HOME point at it, so the user's
// options file lands there too; the machine's own printing set-up is not touched. Start it before anything in the
// process talks to CUPS (libcups reads HOME and CUPS_SERVERROOT once per thread).
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace tessaly::test {

struct PdfPage {
    QSize sheet;    // the first page as shown (rotation applied), at 20 dpi; empty when unreadable
    QRect picture;  // the bounds of what is printed on it
    bool isSize(QSizeF paperPts) const
    {
        const QSizeF px = paperPts * 20 / 72;
        auto near = [&](QSizeF a) { return qAbs(a.width() - sheet.width()) < 1.5 && qAbs(a.height() - sheet.height()) < 1.5; };
        return near(px) || near(px.transposed());
    }
};

class CupsFixture {
public:
    ~CupsFixture() { stop(); }
    // Starts cupsd with both printers; false with the reason when it cannot.
    bool start(QString *whyNot);
    void stop();

    QString printerName() const { return QStringLiteral("Tessaly_PDF"); }
    QString legalPrinter() const { return QStringLiteral("Tessaly_Legal"); }
    QString outputPdf() const { return m_dir->path() + QStringLiteral("/out/job.pdf"); }
    QString userOptionsFile() const { return m_dir->path() + QStringLiteral("/home/.cups/lpoptions"); }

    bool setDefault(const QString &printer, QString *output = nullptr);  // the server's default
    // The user's options file as it stands; a null text for no file.
    bool writeUserFile(const QByteArray &text);
    QByteArray userFile() const;
    int jobCount(bool activeOnly = false) const;
    bool waitIdle() const;  // until no job is pending
    // Points the process at this server, or at a socket where nothing listens.
    void pointAt(bool server);
    // pdftoppm's view of a PDF's first page.
    static PdfPage pdfPage(const QString &path);

private:
    bool run(const QString &program, const QStringList &args, QString *output = nullptr) const;
    QString socket() const { return m_dir->path() + QStringLiteral("/cups.sock"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lpadmin;
    QProcess m_cupsd;
};

}  // namespace tessaly::test
