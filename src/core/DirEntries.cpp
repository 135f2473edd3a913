#include "DirEntries.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace tessaly {

bool ForEachEntry(int fd, const std::function<void(const dirent64 &)> &take)
{
    // The descriptor may have been read before, or share its position with another.
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
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
            take(*e);
        }
    }
}

}  // namespace tessaly
