#include "DirEntries.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

bool readEntries(int fd, const EntryVisit &take)
{
    alignas(dirent64) char buf[32768];
    for (;;) {
        const ssize_t n = ::getdents64(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const dirent64 *>(buf + at);
            at += e->d_reclen;
            const char *name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            take(*e, fd);
        }
    }
}

}  // namespace

bool ForEachEntry(int fd, const EntryVisit &take)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && readEntries(fd, take);
}

bool ForEachEntry(const QByteArray &path, const EntryVisit &take)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = readEntries(fd, take);
    ::close(fd);
    return ok;
}

}  // namespace tessaly
