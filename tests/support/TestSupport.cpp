#include "TestSupport.h"

#include "Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace tessaly::test {

QByteArray le16(uint32_t v) { return QByteArray(1, char(v)) + char(v >> 8); }
QByteArray le32(uint32_t v) { return le16(v) + le16(v >> 16); }
QByteArray be16(uint32_t v) { return QByteArray(1, char(v >> 8)) + char(v); }
QByteArray be32(uint32_t v) { return be16(v >> 16) + be16(v); }

QByteArray exifSegment(const char *order, uint16_t value, uint16_t type, uint32_t count, uint32_t ifd)
{
    const bool ii = order[0] == 'I' || order[1] == 'I';
    const auto u16 = [ii](uint32_t v) { return ii ? le16(v) : be16(v); };
    const auto u32 = [ii](uint32_t v) { return ii ? le32(v) : be32(v); };
    const QByteArray tiff = QByteArray(order) + u16(42) + u32(ifd) + u16(2) + u16(0x010F) + u16(2) + u32(4)
                            + QByteArray("Cam", 4) + u16(0x0112) + u16(type) + u32(count) + u16(value) + u16(0) + u32(0);
    return "\xFF\xE1" + be16(tiff.size() + 208) + "Exif" + QByteArray(2, 0) + tiff + QByteArray(200, 'e');
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QString binDir()
{
    return QStringLiteral(TESSALY_BIN_DIR);
}

QString templatePath()
{
    return binDir() + QStringLiteral("/sys.1");
}

QString makeLibrary(const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    const QString dest = folder + QLatin1Char('/') + name;
    QFile::remove(dest);
    if (!QFile::copy(templatePath(), dest))
        qFatal("cannot copy the template %s to %s", qPrintable(templatePath()), qPrintable(dest));
    QFile::setPermissions(dest, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return dest;
}

Global makeGlobal(const QString &libraryPath)
{
    Global g;
    g.programFolder = binDir();
    if (!libraryPath.isEmpty()) {
        g.dbFilePath = libraryPath;
        g.dbFileTitle = QFileInfo(libraryPath).fileName();
        g.dbConnectString = MakeConnectString(libraryPath);
    }
    return g;
}

QString makeDir(const QString &path)
{
    if (!QDir().mkpath(path))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

CliResult runCli(const QStringList &args, const QString &workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(binDir() + QStringLiteral("/tessaly-cli"), args);
    CliResult r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void sql(const QString &libraryPath, const QString &statement, const QVariantList &params)
{
    sqlColumn(libraryPath, statement, params);
}

// Through a plain connection without the library checks, so tests can also break a library.
QStringList sqlColumn(const QString &libraryPath, const QString &statement, const QVariantList &params)
{
    static int n = 0;
    const QString name = QStringLiteral("test-raw-%1").arg(++n);
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(libraryPath);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(libraryPath));
        QSqlQuery q(db);
        q.prepare(statement);
        for (const QVariant &p : params)
            q.addBindValue(p);
        if (!q.exec())
            qFatal("statement failed: %s", qPrintable(statement));
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

}  // namespace tessaly::test
