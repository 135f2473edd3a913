#include "TestSupport.h"

#include "Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <libheif/heif.h>

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

QImage quarters(int w, int h, int o)
{
    const int sw = o >= 5 ? h : w, sh = o >= 5 ? w : h;
    QImage img(sw, sh, QImage::Format_RGB32);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            const int m[9][2] = {{x, y}, {x, y}, {sw - 1 - x, y}, {sw - 1 - x, sh - 1 - y}, {x, sh - 1 - y},
                                 {y, x}, {sh - 1 - y, x}, {sh - 1 - y, sw - 1 - x}, {y, sw - 1 - x}};
            img.setPixel(x, y, QList<QRgb>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}[(m[o][1] >= h / 2) * 2 + (m[o][0] >= w / 2)]);
        }
    return img;
}

QByteArray withPngExif(const QByteArray &png, int o)
{
    const QByteArray chunk = "eXIf" + exifSegment("MM", uint16_t(o)).mid(10);  // without the JPEG block's own header
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : chunk) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return png.left(33) + be32(uint32_t(chunk.size() - 4)) + chunk + be32(~crc) + png.mid(33);
}

QByteArray tiffBytes(const QImage &image, int o, bool bigEndian)
{
    const auto u16 = [bigEndian](uint32_t v) { return bigEndian ? be16(v) : le16(v); };
    const auto u32 = [bigEndian](uint32_t v) { return bigEndian ? be32(v) : le32(v); };
    // An image with alpha keeps it, unassociated (not multiplied in), as a fourth sample.
    const bool alpha = image.hasAlphaChannel();
    const uint32_t n = alpha ? 4 : 3;
    const QImage rgb = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const uint32_t w = uint32_t(rgb.width()), h = uint32_t(rgb.height());
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        return u16(tag) + u16(type) + u32(count) + (type == 3 && count == 1 ? u16(value) + u16(0) : u32(value));
    };
    const uint16_t entries = alpha ? 11 : 10;
    const uint32_t bits = 8 + 2 + entries * 12 + 4, data = bits + 2 * n;
    QByteArray b = (bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(entries) + entry(256, 4, 1, w) + entry(257, 4, 1, h)
                   + entry(258, 3, n, bits) + entry(259, 3, 1, 1) + entry(262, 3, 1, 2) + entry(273, 4, 1, data)
                   + entry(274, 3, 1, uint32_t(o)) + entry(277, 3, 1, n) + entry(278, 4, 1, h)
                   + entry(279, 4, 1, w * h * n) + (alpha ? entry(338, 3, 1, 2) : QByteArray()) + u32(0);
    for (uint32_t i = 0; i < n; ++i)
        b += u16(8);
    for (int y = 0; y < rgb.height(); ++y)
        b += QByteArray(reinterpret_cast<const char *>(rgb.constScanLine(y)), int(w * n));
    return b;
}

bool writeHeic(const QImage &image, const QString &path, bool av1)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    heif_context *ctx = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_image *img = nullptr;
    bool ok = heif_context_get_encoder_for_format(ctx, av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder).code
                  == heif_error_Ok
              && heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img).code
                     == heif_error_Ok
              && heif_image_add_plane(img, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code == heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width() * 3));
        heif_encoder_set_lossy_quality(encoder, 90);
        if (av1)
            heif_encoder_set_parameter_integer(encoder, "speed", 8);
        ok = heif_context_encode_image(ctx, img, encoder, nullptr, nullptr).code == heif_error_Ok
             && heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code == heif_error_Ok;
    }
    if (img)
        heif_image_release(img);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(ctx);
    return ok;
}

QByteArray jpegRows(int w, int h, bool progressive)
{
    jpeg_compress_struct ci{};
    jpeg_error_mgr err{};
    ci.err = jpeg_std_error(&err);
    jpeg_create_compress(&ci);
    unsigned char *data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&ci, &data, &size);
    ci.image_width = JDIMENSION(w);
    ci.image_height = JDIMENSION(h);
    ci.input_components = 3;
    ci.in_color_space = JCS_RGB;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, 50, TRUE);
    if (progressive)
        jpeg_simple_progression(&ci);
    jpeg_start_compress(&ci, TRUE);
    // One row of the top half and one of the bottom, as quarters() colours them.
    std::vector<JSAMPLE> rows[2];
    const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int half = 0; half < 2; ++half)
        for (int x = 0; x < w; ++x)
            rows[half].insert(rows[half].end(), colours[half * 2 + (x >= w / 2)], colours[half * 2 + (x >= w / 2)] + 3);
    while (ci.next_scanline < ci.image_height) {
        JSAMPROW row = rows[ci.next_scanline >= JDIMENSION(h / 2)].data();
        jpeg_write_scanlines(&ci, &row, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    std::free(data);
    return bytes;
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
    return runProgram(QStringLiteral("tessaly-cli"), args, workDir, "ja_JP.UTF-8");
}

CliResult runProgram(const QString &program, const QStringList &args, const QString &workDir, const QByteArray &lang)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.insert(QStringLiteral("LANG"), QString::fromLatin1(lang));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(binDir() + QLatin1Char('/') + program, args);
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

int runTestClasses(const QList<QObject *> &classes, int argc, char **argv)
{
    static const QStringList withValue{"-o", "-maxwarnings", "-eventdelay", "-keydelay", "-mousedelay", "-seed"};
    QStringList options, names;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (!a.startsWith(QLatin1Char('-'))) {
            names << a;
            continue;
        }
        options << a;
        if (withValue.contains(a) && i + 1 < argc)
            options << QString::fromLocal8Bit(argv[++i]);
    }
    // "Class::" names a whole class.
    const auto whole = [](QObject *t, const QString &name) {
        return name == QLatin1String(t->metaObject()->className()) + QStringLiteral("::");
    };
    const auto has = [&whole](QObject *t, const QString &name) {
        if (whole(t, name))
            return true;
        const QByteArray slot = name.section(QLatin1Char(':'), 0, 0).toLatin1() + "()";
        return t->metaObject()->indexOfMethod(slot.constData()) >= 0;
    };
    // A name no class has goes to the first, which says so.
    QStringList unknown;
    for (const QString &n : names)
        if (std::none_of(classes.begin(), classes.end(), [&](QObject *t) { return has(t, n); }))
            unknown << n;
    int failed = 0;
    for (QObject *t : classes) {
        QStringList mine = t == classes.first() ? unknown : QStringList();
        bool all = names.isEmpty();
        for (const QString &n : names) {
            if (whole(t, n))
                all = true;
            else if (has(t, n))
                mine << n;
        }
        if (all)
            mine.clear();
        if (all || !mine.isEmpty())
            failed += QTest::qExec(t, QStringList{QString::fromLocal8Bit(argv[0])} + options + mine);
    }
    return std::min(failed, 127);
}

}  // namespace tessaly::test
