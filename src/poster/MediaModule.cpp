#include "MediaModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <mutex>

namespace tessaly {

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

}  // namespace

const MediaApi *LoadMediaModule(QString *error)
{
    static std::once_flag once;
    static const MediaApi *api = nullptr;
    static QString why;
    std::call_once(once, [] {
        // In "modules" beside the programs; in a build tree the tests and benches lie
        // one folder over from bin.
        const QString name = QStringLiteral("modules/libtessaly_media.so");
        const QString dir = programFolder();
        QStringList tried;
        for (const QString &path : {dir + QLatin1Char('/') + name, QDir::cleanPath(dir + QStringLiteral("/../bin/") + name)}) {
            if (!QFileInfo::exists(path)) {
                tried << path;
                continue;
            }
            QLibrary lib(path);  // never unloaded: the table points into it
            using Entry = const MediaApi *(*)();
            const auto entry = lib.load() ? reinterpret_cast<Entry>(lib.resolve("tessaly_media_api")) : nullptr;
            const MediaApi *table = entry ? entry() : nullptr;
            if (table && table->size >= int(sizeof(MediaApi))) {
                api = table;
                return;
            }
            why = QCoreApplication::translate("Media", "画像と動画を扱う部品「%1」を読み込めません (%2)")
                      .arg(path, table ? QCoreApplication::translate("Media", "古い版です") : lib.errorString());
            return;
        }
        why = QCoreApplication::translate("Media", "画像と動画を扱う部品「%1」がありません").arg(tried.join(QCoreApplication::translate("Media", "」「")));
    });
    if (!api && error)
        *error = why;
    return api;
}

}  // namespace tessaly
