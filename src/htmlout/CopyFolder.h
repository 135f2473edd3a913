#pragma once
// The folder of a published copy. Whatever lies in it may have been planted there
// (a folder replaced by a symbolic link, a crafted list of files), so every write,
// rename and removal goes through the descriptor of the copy, one name at a time, and
// never follows a link: a link met on the way to a file of the copy is replaced by a
// folder or file of the copy's own. Files come in only from the folders the copy may
// take from, judged by the real path of the very file that was opened, and always as
// a file of their own (a reflink or a copy), never as a hard link to the original.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QList>
#include <QPair>

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <vector>


namespace tessaly::htmlout {

// The real path of a folder that may not exist yet: its nearest existing folder, every
// link resolved, and the rest as written.
QString realPathOf(const QString &path);

enum class PlaceResult {
    Placed,
    Unchanged,  // already there with the same size and time
    Missing,    // not a readable file
    Outside,    // its real path lies outside every folder the copy takes from
};

class CopyFolder {
public:
    // Opens folder, which must exist and be no link; sources is the list of folders (real paths) that
    // files may come from, made the folders (real paths) that what this system made
    // comes from. Throws WriteError.
    CopyFolder(const QString &folder, const QStringList &sources, const QStringList &made = {});
    ~CopyFolder();
    CopyFolder(const CopyFolder &) = delete;
    CopyFolder &operator=(const CopyFolder &) = delete;

    const QString &path() const { return m_path; }
    // The folder opened, as it is now: its real path, and its device and inode.
    QString realPath() const;
    bool stat(struct stat *st) const;
    // Whether path (every link resolved) is this folder or lies in it: by the real path,
    // and by device and inode of path and each folder above it (a bind mount shows one
    // folder at two paths).
    bool holds(const QString &path) const;
    // The path on this system of rel, for messages.
    QString pathOf(const QString &rel) const;

    // An exclusive lock on the folder itself, held while this object lives: a second
    // run waits here for the first. Leaves no file behind.
    void lock();
    // Puts the folder's modification time back to what it was when lock() was called,
    // if it holds the same entries (names and inodes) as then.
    void keepTimeIfUnchanged();

    // rel is plain names joined by "/"; anything else throws WriteError.
    // Makes the folders of rel.
    void makeFolder(const QString &rel);
    // Writes bytes as the file rel, whole: beside it, then renamed over it.
    void write(const QString &rel, const QByteArray &bytes);
    // The same with the bytes that fill hands its sink piece by piece, so that a long
    // list needs no room in memory.
    using Sink = std::function<void(const QByteArray &)>;
    void write(const QString &rel, const std::function<void(const Sink &)> &fill);
    // Puts the file source at rel, unless rel already is a file of its own with the
    // source's size and modification time; *size gets the source's size. Either way
    // the name is recorded.
    // made: source is a file this system made, taken only from the made folders.
    PlaceResult place(const QString &rel, const QString &source, qint64 *size = nullptr, bool made = false);
    // The file rel (at most maxBytes), or empty when it is not a plain file of the copy.
    QByteArray read(const QString &rel, qint64 maxBytes) const;
    // The file rel handed to chunk piece by piece, until chunk returns false; false when
    // it is not a plain file of the copy.
    bool read(const QString &rel, const std::function<bool(const char *, qsizetype)> &chunk) const;
    bool exists(const QString &rel) const;
    // Whether rel is what place() leaves for a source of this size and time.
    bool holdsCopyOf(const QString &rel, const struct stat &source) const;
    // Whether rel is a plain file of the copy (no link, no second name); if so its name is
    // recorded as this run's, as a file placed again would be.
    bool keep(const QString &rel);
    // The same, for a file that also holds exactly bytes.
    bool keepIfSame(const QString &rel, const QByteArray &bytes);
    // The file rel opened for reading (the caller closes it), or -1 when it is no plain
    // file of the copy; st, when given, gets what fstat said of it. Needs no lock against
    // the other calls, on any thread.
    int openRead(const QString &rel, struct stat *st = nullptr) const;
    // Removes the file (or link) rel and the folders it leaves empty; false when rel is
    // no such thing in the copy.
    bool remove(const QString &rel);
    // Removes the file rel that an earlier run placed, unless it is no plain file of the
    // copy: a link, or a file with another name (a hard link) or whose real path lies in
    // a folder the copy takes from, which is a file of the album.
    enum class Stale { Removed, Gone, Kept };
    Stale removeStale(const QString &rel);
    // Where the link rel points (as written in it); null when rel is no link of the copy.
    QString linkAt(const QString &rel) const;
    // Every symbolic link in the copy, "rel -> target", found without following one. After
    // removeTemporaries(), the links its walk found that are still there.
    QStringList links() const;
    // Removes the temporaries that a stopped run left anywhere in the copy; returns how many.
    int removeTemporaries();

    // From here on the name of every file written, placed or found unchanged is added
    // to the file rel (made anew), each ended by a NUL, before the file appears: a run
    // stopped half-way leaves the list of what it placed, and a whole run the list of
    // everything that belongs to it.
    void recordTo(const QString &rel);
    // Names of files that were already there reach the list's file in batches: after
    // this, every name recorded is in it. Throws WriteError.
    void flushRecord();
    // Ends the list and removes its file.
    void stopRecording();

    // Links inside the copy that stood where a folder or file of the copy goes, and
    // were replaced (relative paths).
    const QStringList &replacedLinks() const { return m_replaced; }

private:
    // Descriptors of the folders of parts[0..n), the copy itself first; made when create.
    // Empty when a folder is missing (and not made) or is not a folder of the copy.
    std::vector<int> openFolders(const QStringList &parts, qsizetype n, bool create);
    void closeFolders(std::vector<int> &fds) const;
    // Closes the open folders at rel and below it; all of them when rel is null.
    void forgetFolders(const QString &rel = QString()) const;
    bool inSources(int fd, const QString &source, const QStringList &roots) const;
    // The descriptor of folder when its real path is one of the made ones, else -1.
    int madeFolder(const QString &folder) const;
    void removeEmptyFolders(const QStringList &parts, const std::vector<int> &fds) const;
    // false with errno set when the list cannot take it; now: the file is about to appear
    bool recorded(const QString &rel, bool now = false);
    bool writePending();
    // Records the name, renames the finished temporary over it (err == 0) or removes it,
    // closes the folders, and throws on a failure.
    void putInPlace(const QString &rel, std::vector<int> &fds, const QByteArray &temp,
                    const QByteArray &name, int err);

    QString m_path;
    QStringList m_sources;
    QStringList m_made;
    mutable QHash<QString, int> m_madeFolders;  // by the path given, -1 for none of them
    int m_fd = -1;
    static constexpr int kOpenFolders = 256;
    mutable QHash<QString, int> m_open;  // descriptors of the copy's folders, by their rel
    mutable int m_holding = 0;           // calls between openFolders and closeFolders
    int m_record = -1;
    QString m_recordName;
    QByteArray m_pending;  // recorded names not yet in the list's file
    QStringList m_replaced;
    std::optional<QList<QPair<QString, QString>>> m_linksSeen;  // rel, target
    QList<QPair<QByteArray, quint64>> entries() const;
    timespec m_startTime{0, UTIME_OMIT};
    QList<QPair<QByteArray, quint64>> m_startEntries;
};

}  // namespace tessaly::htmlout
