#include "Cli.h"

#include <QDateTime>

#include <cstdio>
#include <unistd.h>

namespace tessaly::cli {

static bool g_silenced = false;

void TerminalProgress::silence()
{
    g_silenced = true;
}

TerminalProgress::TerminalProgress(const QString &label)
    : m_label(label), m_active(!g_silenced && ::isatty(STDERR_FILENO) == 1)
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::show(int done, int total)
{
    if (!m_active)
        return;
    // A few updates a second are enough for a person and cost nothing.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_shown && now - m_lastMs < 100 && (total < 0 || done < total))
        return;
    m_lastMs = now;
    const QString line = total >= 0 ? QStringLiteral("%1 %2/%3").arg(m_label).arg(done).arg(total)
                                    : QStringLiteral("%1 %2").arg(m_label).arg(done);
    std::fprintf(stderr, "\r%s\033[K", line.toLocal8Bit().constData());
    std::fflush(stderr);
    m_shown = true;
}

void TerminalProgress::finish()
{
    if (m_active && m_shown) {
        std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }
    m_shown = false;
}

}  // namespace tessaly::cli
