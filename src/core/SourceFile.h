#pragma once
// A photo or a video from elsewhere, opened once. What is judged (a regular file, where
// it really lies), keyed for a cache and decoded is this one open file: a name swapped
// for a link, a FIFO or another file after the check leads nowhere, because nothing
// opens the name again.
#include <QString>

#include <sys/stat.h>

namespace tessaly {

class SourceFile {
public:
    enum class State {
        Open,
        Missing,     // no such file
        NotAFile,    // a folder, a FIFO, a device...
        Outside,     // its real path lies outside the folder it must lie in
        Unreadable,  // there, but it cannot be opened
    };

    // Opens path without blocking and without following a link at its last step (a link
    // there is resolved first, so that a link inside the album still counts, but the file
    // opened is what is judged). root: the real path of the folder the file must really
    // lie in; empty: anywhere.
    explicit SourceFile(const QString &path, const QString &root = QString());
    ~SourceFile();
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;

    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    // The descriptor (readable, blocking, at offset 0 when opened); -1 unless open.
    int fd() const { return m_fd; }
    // What fstat said of it when it was opened.
    const struct stat &stat() const { return m_st; }
    // The name under which a cache keeps what it made from this file: "<hash of device,
    // inode, size, modification and change times in nanoseconds>-<size>-<mtime ms>".
    // A file changed in place (its time set back, its size the same) still gets a new
    // key, since its change time moved; empty unless open.
    QString cacheKey() const;

private:
    State m_state = State::Missing;
    int m_fd = -1;
    struct stat m_st {};
};

}  // namespace tessaly
