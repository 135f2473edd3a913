#pragma once
// A private CUPS server for the printing tests: cupsd runs in the foreground with its
// configuration, spool, logs and state under a temporary folder, listens on a socket
// inside it, and serves one printer whose device is a file in that folder and whose
// PPD offers A4, A5, Letter and the postcard size and produces PDF. The process's
// CUPS_SERVER, CUPS_SERVERROOT and HOME point at it, so the user's default options
// land in that folder too. The machine's own printing set-up is not touched.
//
// libcups reads HOME and CUPS_SERVERROOT once per thread: start the fixture before
// anything in the test process talks to CUPS (initTestCase).
#include <QImage>
#include <QProcess>
#include <QSizeF>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tessaly::test {

struct PdfPage {
    QSizeF sizePts;   // as the file states it, before rotation
    int rotation = 0; // /Rotate of the first page, 0..359
    int pages = 0;
    // CUPS's PDF filter writes a landscape job as a landscape page, or as a portrait
    // page with a rotation.
    bool landscape() const { return sizePts.width() > sizePts.height() || rotation != 0; }
    // Whether the page is of that paper size in one orientation or the other.
    bool isSize(QSizeF paper, qreal tolerance = 3) const
    {
        auto near = [&](QSizeF a) {
            return qAbs(a.width() - paper.width()) < tolerance && qAbs(a.height() - paper.height()) < tolerance;
        };
        return near(sizePts) || near(sizePts.transposed());
    }
};

class CupsFixture {
public:
    CupsFixture() = default;
    ~CupsFixture();
    CupsFixture(const CupsFixture &) = delete;
    CupsFixture &operator=(const CupsFixture &) = delete;

    // Starts cupsd and adds the printer as the default. False with the reason when
    // cupsd cannot be started here (then the caller skips).
    bool start(QString *whyNot);
    // Stops the daemon started by start().
    void stop();
    bool running() const;

    QString printerName() const { return QStringLiteral("Tessaly_PDF"); }
    QString folder() const;
    QString outputPdf() const;        // what the printer's device writes
    QString userOptionsFile() const;  // HOME/.cups/lpoptions

    // Adds the test printer and makes it the server's default (start() does this).
    bool addPrinter(QString *output = nullptr);
    // Deletes the test printer: the server then has no printer at all.
    bool removePrinter();

    // Removes the user's default options, leaving the printer's own defaults.
    void clearUserOptions();
    // Sets user options of the printer as lpoptions would ("-o media=iso_a5_148x210mm").
    bool lpoptions(const QStringList &args, QString *output = nullptr);
    // The user's option value on the default destination as lpoptions shows it.
    QString userOption(const QString &name);

    // Removes the printer's output file from an earlier job.
    void clearOutput();
    // Jobs the server has seen in all (completed ones included).
    int jobCount(bool activeOnly = false) const;
    // Waits until no job is pending; false on timeout.
    bool waitIdle(int timeoutMs = 30000) const;

    // Points the process at a server that does not exist (no cupsd, no printer).
    void pointAtNothing();
    // Points the process back at this fixture's server.
    void pointAtServer();

    // pdfinfo's view of a PDF's first page; pages = 0 when it cannot be read.
    static PdfPage pdfPage(const QString &path);
    // The first page rendered in grey at dpi (pdftoppm), rotation applied; null on failure.
    static QImage renderPdf(const QString &path, int dpi = 20);

private:
    bool run(const QString &program, const QStringList &args, QString *output = nullptr) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lpadmin;
    QProcess m_cupsd;
};

}  // namespace tessaly::test
