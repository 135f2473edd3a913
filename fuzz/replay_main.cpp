// Runs a fuzz target once over each file given (or each file in a folder given), without
// libFuzzer: the test suite replays the inputs that fuzzing found.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        QStringList paths{arg};
        if (QFileInfo(arg).isDir()) {
            paths.clear();
            for (const QFileInfo &fi : QDir(arg).entryInfoList(QDir::Files, QDir::Name))
                paths << fi.filePath();
        }
        for (const QString &p : paths) {
            QFile f(p);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(p));
                return 1;
            }
            const QByteArray bytes = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("%d inputs read\n", files);
    return files > 0 ? 0 : 1;
}
