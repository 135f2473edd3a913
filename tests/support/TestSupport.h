#pragma once
// Fixtures shared by the tests: libraries copied from the built template, folder
// trees and files made in temporary folders, and the command-line tool run as a process.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include "Global.h"

namespace tessaly::test {

QString binDir();        // where tessaly, tessaly-cli, sys.1 and the help lie
QString templatePath();  // the built sys.1

// Copies the template to folder/name and returns its full path.
QString makeLibrary(const QString &folder, const QString &name = QStringLiteral("lib.mdb"));
// A Global with programFolder set to binDir() and, when given, the library open.
Global makeGlobal(const QString &libraryPath = QString());

// Creates folder and all parents; returns the path.
QString makeDir(const QString &path);
// Writes bytes to path (parents created); returns the path.
QString writeFile(const QString &path, const QByteArray &bytes = QByteArray());
QByteArray readFile(const QString &path);
// Runs pending events and deferred deletes, so closed windows are gone.
void settle();

// Numbers as image headers store them: little- or big-endian, 16 or 32 bits.
QByteArray le16(uint32_t v);
QByteArray le32(uint32_t v);
QByteArray be16(uint32_t v);
QByteArray be32(uint32_t v);
// A JPEG APP1 segment with Exif data whose first directory (at offset ifd) holds a camera
// name and an orientation entry (type, count, value), in "II" or "MM" byte order (little-endian if either is I).
QByteArray exifSegment(const char *order, uint16_t value, uint16_t type = 3, uint32_t count = 1, uint32_t ifd = 8);

// The stored pixels of an upright w x h picture in red, green / blue, yellow quarters
// that the Exif orientation o (0 or 1: none) turns upright.
QImage quarters(int w, int h, int o = 0);
// A PNG file's bytes with an eXIf chunk of orientation o in "MM" order put right after
// its header chunk.
QByteArray withPngExif(const QByteArray &png, int o);
// An uncompressed RGB TIFF of the image whose Orientation tag says o; RGBA when the
// image has alpha.
QByteArray tiffBytes(const QImage &image, int o = 1, bool bigEndian = false);
// The image as a HEIC file (HEVC through libheif), or an AVIF one (AV1); false when it
// cannot be written.
bool writeHeic(const QImage &image, const QString &path, bool av1 = false);
// quarters(w, h) as a JPEG (4:2:0, progressive or baseline) written a row at a time by
// libjpeg, so that a picture of any size is made without holding it.
QByteArray jpegRows(int w, int h, bool progressive);

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs a program of bin/ ("tessaly-cli", "tessaly") with LANG=lang and no LC_ALL or
// LC_MESSAGES over it.
CliResult runProgram(const QString &program, const QStringList &args, const QString &workDir,
                     const QByteArray &lang);
// tessaly-cli under a Japanese locale, the language of the texts the tests compare.
CliResult runCli(const QStringList &args, const QString &workDir = QString());

// Runs a statement on the library directly, for arranging rows and checking results.
void sql(const QString &libraryPath, const QString &statement, const QVariantList &params = {});
// First column of every row of a query.
QStringList sqlColumn(const QString &libraryPath, const QString &statement, const QVariantList &params = {});

// Runs test classes as one program, each in turn. Functions named on the command line go
// to the class that has them; a class with none of them is left out.
int runTestClasses(const QList<QObject *> &classes, int argc, char **argv);

}  // namespace tessaly::test
