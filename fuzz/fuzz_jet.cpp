// libFuzzer target for the Jet library reader (libmdb under our checks). Each input is
// written to a file and read as a conversion reads it: every table, every row. A file
// is either refused with a message naming it or read with rows of the template's shape;
// AddressSanitizer and UndefinedBehaviorSanitizer catch what either side does wrong.
#include "Database.h"
#include "JetImport.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = QString("/tmp/tessaly-fuzz-jet-%1.mdb").arg(getpid());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    f.close();
    try {
        JetLibraryReader reader(path);
        for (int t = 0; t < LibraryTables().size(); ++t) {
            const int fields = LibraryTables().at(t).fields.size();
            int rows = 0;
            const int n = reader.readTable(t, [&](const QVariantList &values) {
                ++rows;
                if (values.size() != fields)
                    std::abort();
            });
            if (n != rows)
                std::abort();
        }
    } catch (const JetImportError &e) {
        if (!e.message().contains(path))
            std::abort();
    }
    return 0;
}
