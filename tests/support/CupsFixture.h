#pragma once
// A private cupsd for the printing tests, all under a temporary folder (the machine's own
// set-up is untouched), with two PDF printers offering A4, A5, Letter, the postcard size
// and Legal: the default one on A4, writing to outputPdf(), another on Legal. HOME points
// there too, for the user's options file and the program's state. Start it before anything
// in the process talks to CUPS (libcups reads HOME and CUPS_SERVERROOT once per thread).
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "TestSupport.h"

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
    bool start(QString *whyNot);
    void stop();

    QString printerName() const { return QStringLiteral("Tessaly_PDF"); }
    QString legalPrinter() const { return QStringLiteral("Tessaly_Legal"); }
    QString outputPdf() const { return m_dir->path() + QStringLiteral("/out/job.pdf"); }
    QString userOptionsFile() const { return m_dir->path() + QStringLiteral("/home/.cups/lpoptions"); }

    bool setDefault(const QString &printer, QString *output = nullptr);  // the server's default
    bool writeUserFile(const QByteArray &text);  // a null text: no file
    QByteArray userFile() const { return readFile(userOptionsFile()); }
    int jobCount(bool activeOnly = false) const;
    bool waitIdle() const;  // until no job is pending
    void pointAt(bool server);  // at this server, or at a socket where nothing listens
    static PdfPage pdfPage(const QString &path);

private:
    bool run(const QString &program, const QStringList &args, QString *output = nullptr) const;
    QString socket() const { return m_dir->path() + QStringLiteral("/cups.sock"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lpadmin;
    QProcess m_cupsd;
};

}  // namespace tessaly::test
