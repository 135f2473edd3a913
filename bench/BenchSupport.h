// Small pieces every bench needs: its command line, where the library template is, and
// the process's memory.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QStringList>

#include "Library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace tessaly::bench {

// One option of a bench. name "--x" takes the value named by `value` (a flag when null);
// a name without dashes is the one word that may stand alone (a file to read).
struct Option {
    const char *name;
    const char *value;
    const char *help;
    bool many = false;  // may be given more than once
};

inline const Option kTemplateOption{"--template", "PATH", "the library template (default: bin/sys.1 beside the bench)"};

// A bench's command line, checked before anything is made or timed: --help prints the
// usage and the floor and ends the bench with 0; an unknown option, a missing value or a
// bad number prints the usage and ends it with 2. A run begins by printing the floor, so
// that every table says what it is measured against.
class Options {
public:
    Options(const QStringList &args, const char *about, const char *floor, QList<Option> options)
        : m_program(QFileInfo(args.value(0)).fileName()), m_about(about), m_floor(floor), m_options(std::move(options))
    {
        for (int i = 1; i < args.size(); ++i) {
            const QString &a = args.at(i);
            if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
                std::fputs(qPrintable(usage()), stdout);
                std::exit(0);
            }
            const Option *o = find(a);
            if (!o && !a.startsWith(QLatin1Char('-')))
                o = word();
            if (!o)
                fail(QStringLiteral("unknown option: %1").arg(a));
            const QString key = QString::fromLatin1(o->name);
            if (!o->many && given(key))
                fail(QStringLiteral("given twice: %1").arg(a));
            if (!isWord(*o) && o->value) {
                if (++i >= args.size())
                    fail(QStringLiteral("%1 needs %2").arg(a, QLatin1String(o->value)));
                m_given.append({key, args.at(i)});
            } else {
                m_given.append({key, isWord(*o) ? a : QString()});
            }
        }
        std::printf("floor: %s\n", m_floor);
        std::fflush(stdout);
    }

    bool has(const char *name) const { return !values(name).isEmpty(); }
    QString value(const char *name, const QString &fallback = {}) const
    {
        const QStringList v = values(name);
        return v.isEmpty() ? fallback : v.last();
    }
    QStringList values(const char *name) const
    {
        known(name);
        QStringList v;
        for (const auto &g : m_given)
            if (g.first == QLatin1String(name))
                v << g.second;
        return v;
    }
    // A whole number of at least `least`.
    int number(const char *name, int fallback, int least = 1) const
    {
        const QList<int> n = numbers(name, {fallback}, least);
        if (n.size() != 1)
            fail(QStringLiteral("%1 takes one number").arg(QLatin1String(name)));
        return n.first();
    }
    // Whole numbers given as "N,N,...", each at least `least`.
    QList<int> numbers(const char *name, const QList<int> &fallback, int least = 1) const
    {
        if (!has(name))
            return fallback;
        QList<int> n;
        for (const QString &part : value(name).split(QLatin1Char(','))) {
            bool ok = false;
            n << part.toInt(&ok);
            if (!ok || n.last() < least)
                fail(QStringLiteral("%1: \"%2\" is no number of at least %3").arg(QLatin1String(name), part).arg(least));
        }
        return n;
    }

    QString usage() const
    {
        QString line = QStringLiteral("usage: ") + m_program, lines;
        for (const Option &o : m_options) {
            const QString shown = isWord(o) ? QString::fromLatin1(o.name)
                                            : QString::fromLatin1(o.name) + (o.value ? QStringLiteral(" ") + QLatin1String(o.value) : QString());
            line += QStringLiteral(" [%1]%2").arg(shown, o.many ? QStringLiteral("...") : QString());
            lines += QStringLiteral("  %1  %2\n").arg(shown, -16).arg(QLatin1String(o.help));
        }
        return line + QStringLiteral(" [--help]\n") + QLatin1String(m_about) + QStringLiteral("\n") + lines
               + QStringLiteral("floor: ") + QLatin1String(m_floor) + QStringLiteral("\n");
    }

    [[noreturn]] void fail(const QString &why) const
    {
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(m_program), qPrintable(why), qPrintable(usage()));
        std::exit(2);
    }

private:
    static bool isWord(const Option &o) { return o.name[0] != '-'; }
    bool given(const QString &key) const
    {
        for (const auto &g : m_given)
            if (g.first == key)
                return true;
        return false;
    }
    const Option *find(const QString &name) const
    {
        for (const Option &o : m_options)
            if (!isWord(o) && name == QLatin1String(o.name))
                return &o;
        return nullptr;
    }
    const Option *word() const
    {
        for (const Option &o : m_options)
            if (isWord(o))
                return &o;
        return nullptr;
    }
    // Asking for an option the bench never declared is the bench's own mistake.
    void known(const char *name) const
    {
        for (const Option &o : m_options)
            if (qstrcmp(o.name, name) == 0)
                return;
        std::fprintf(stderr, "%s: asks for undeclared option %s\n", qPrintable(m_program), name);
        std::abort();
    }

    QString m_program;
    const char *m_about;
    const char *m_floor;
    QList<Option> m_options;
    QList<QPair<QString, QString>> m_given;
};

// The template beside the built programs, or the one named by --template PATH; empty (with a
// message) when it is missing.
inline QString TemplatePath(const Options &options)
{
    const QString path = options.value(kTemplateOption.name,
                                       QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/sys.1"));
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "template not found: %s (use --template PATH)\n", qPrintable(path));
        return {};
    }
    return path;
}

// A bench that publishes in its own process reads the album's templates where the build
// puts them beside the programs, not beside the bench.
inline void UseBuiltAlbumTemplates()
{
    if (qEnvironmentVariableIsEmpty("TESSALY_ALBUM_TEMPLATES"))
        qputenv("TESSALY_ALBUM_TEMPLATES", QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/album")));
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
