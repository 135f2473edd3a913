#include "OptionsKeeper.h"

#include "UserOptions.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaly {

namespace {

int openFile(const QString &path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600);
}

bool lock(int fd, int how)
{
    int rc;
    while ((rc = ::flock(fd, how)) < 0 && errno == EINTR) {
    }
    return rc == 0;
}

// Held while a run reads or writes the state or the user's options file.
class StateLock {
public:
    StateLock()
    {
        QDir().mkpath(OptionsKeeper::stateFolder());
        m_fd = openFile(OptionsKeeper::stateFolder() + QStringLiteral("/lock"), O_RDWR | O_CREAT);
        if (m_fd >= 0)
            lock(m_fd, LOCK_EX);
    }
    ~StateLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StateLock(const StateLock &) = delete;
    StateLock &operator=(const StateLock &) = delete;

private:
    int m_fd = -1;
};

struct Kept {
    QList<QByteArray> before, after;  // the destination's lines
};

struct State {
    bool fileExisted = true;
    QMap<QByteArray, Kept> dests;
};

QString stateFile() { return OptionsKeeper::stateFolder() + QStringLiteral("/options.json"); }

QJsonArray toJson(const QList<QByteArray> &lines)
{
    QJsonArray a;
    for (const QByteArray &line : lines)
        a.append(QString::fromLatin1(line.toBase64()));
    return a;
}

QList<QByteArray> fromJson(const QJsonValue &v)
{
    QList<QByteArray> lines;
    for (const QJsonValue &line : v.toArray())
        lines.append(QByteArray::fromBase64(line.toString().toLatin1()));
    return lines;
}

State load()
{
    State s;
    QFile f(stateFile());
    if (!f.open(QIODevice::ReadOnly))
        return s;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    s.fileExisted = o.value(QStringLiteral("fileExisted")).toBool(true);
    for (const QJsonValue &d : o.value(QStringLiteral("dests")).toArray()) {
        const QJsonObject e = d.toObject();
        s.dests.insert(QByteArray::fromBase64(e.value(QStringLiteral("name")).toString().toLatin1()),
                       {fromJson(e.value(QStringLiteral("before"))), fromJson(e.value(QStringLiteral("after")))});
    }
    return s;
}

bool save(const State &s)
{
    QJsonArray dests;
    for (auto it = s.dests.cbegin(); it != s.dests.cend(); ++it)
        dests.append(QJsonObject{{QStringLiteral("name"), QString::fromLatin1(it.key().toBase64())},
                                 {QStringLiteral("before"), toJson(it->before)},
                                 {QStringLiteral("after"), toJson(it->after)}});
    QSaveFile f(stateFile());
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(QJsonObject{{QStringLiteral("fileExisted"), s.fileExisted},
                                      {QStringLiteral("dests"), dests}})
                .toJson());
    return f.commit();
}

// Each entry goes back where it is still what a run left; the state is done with.
void putBack()
{
    const State s = load();
    for (auto it = s.dests.cbegin(); it != s.dests.cend(); ++it)
        if (UserOptions::entry(it.key()) == it->after)
            UserOptions::restoreEntry(it.key(), it->before, s.fileExisted);
    QFile::remove(stateFile());
}

// Runs that hold their lock, other than the one whose file is own. The file of a run that
// died is removed.
int otherLiveRuns(const QString &own)
{
    const QDir dir(OptionsKeeper::stateFolder());
    int live = 0;
    for (const QString &name : dir.entryList({QStringLiteral("run-*")}, QDir::Files)) {
        const QString path = dir.filePath(name);
        if (path == own)
            continue;
        const int fd = openFile(path, O_RDWR);
        if (fd < 0)
            continue;
        if (lock(fd, LOCK_EX | LOCK_NB))
            QFile::remove(path);
        else
            ++live;
        ::close(fd);
    }
    return live;
}

}  // namespace

QString OptionsKeeper::stateFolder()
{
    QString base = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (!QDir::isAbsolutePath(base)) {
        const QByteArray home = qgetenv("HOME");
        base = (home.isEmpty() ? QDir::homePath() : QFile::decodeName(home)) + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/tessaly");
}

OptionsKeeper::~OptionsKeeper()
{
    if (m_runLock < 0)
        return;
    StateLock l;
    QFile::remove(m_runFile);
    ::close(m_runLock);
}

void OptionsKeeper::enter()
{
    if (m_runLock >= 0)
        return;
    // What runs that died left behind, when no run is live to put it back.
    if (otherLiveRuns(QString()) == 0)
        putBack();
    m_runFile = OptionsKeeper::stateFolder()
                + QStringLiteral("/run-%1-%2").arg(::getpid()).arg(QRandomGenerator::global()->generate64(), 0, 16);
    m_runLock = openFile(m_runFile, O_RDWR | O_CREAT | O_EXCL);
    if (m_runLock >= 0 && !lock(m_runLock, LOCK_EX | LOCK_NB)) {
        ::close(m_runLock);
        m_runLock = -1;
    }
}

void OptionsKeeper::begin()
{
    StateLock l;
    enter();
}

bool OptionsKeeper::write(const QByteArray &dest, const std::function<bool()> &change)
{
    StateLock l;
    enter();
    if (m_runLock < 0)  // not counted as live: the last run could put back under it
        return false;
    State s = load();
    if (!s.dests.contains(dest)) {
        if (s.dests.isEmpty())
            s.fileExisted = UserOptions::fileExists();
        const QList<QByteArray> entry = UserOptions::entry(dest);
        s.dests.insert(dest, {entry, entry});
        // A change that could not be undone is not made.
        if (!save(s))
            return false;
    }
    const bool changed = change();
    s.dests[dest].after = UserOptions::entry(dest);
    save(s);
    return changed;
}

void OptionsKeeper::end()
{
    if (m_runLock < 0)
        return;
    StateLock l;
    QFile::remove(m_runFile);
    ::close(m_runLock);
    m_runLock = -1;
    if (otherLiveRuns(QString()) == 0)
        putBack();
}

}  // namespace tessaly
