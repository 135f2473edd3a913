// Small pieces every bench needs: where the library template is, and the process's memory.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include "Library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tessaly::bench {

// The template beside the built programs, or the one named by --template PATH; empty (with a
// message) when it is missing.
inline QString TemplatePath(const QStringList &args)
{
    QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/sys.1");
    const int ti = args.indexOf(QStringLiteral("--template"));
    if (ti > 0 && ti + 1 < args.size())
        path = args.at(ti + 1);
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "template not found: %s (use --template PATH)\n", qPrintable(path));
        return {};
    }
    return path;
}

// A new library at path, copied from the template; the bench ends when it cannot be.
inline QString NewLibrary(const QString &templatePath, const QString &path)
{
    int err = 0;
    QString desc;
    if (!CopyTemplate(templatePath, path, &err, &desc)) {
        std::fprintf(stderr, "cannot copy the template %s: %s\n", qPrintable(templatePath), qPrintable(desc));
        std::exit(1);
    }
    return path;
}

// CPU seconds the process has used.
inline double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A field of /proc/self/status such as "VmRSS:" or "VmHWM:", in KiB.
inline long StatusKiB(const char *field)
{
    long kib = 0;
    if (FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, field, std::strlen(field)) == 0)
                kib = std::atol(line + std::strlen(field) + 1);
        std::fclose(f);
    }
    return kib;
}

}  // namespace tessaly::bench
