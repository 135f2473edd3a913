// Preloaded into a run to count its file syncs (BENCH_SYNC=count, passed on to the
// system) or to make them do nothing (BENCH_SYNC=off). The count goes to the file
// named by BENCH_SYNC_COUNT when the process ends.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<long> g_syncs{0};

bool off()
{
    static const bool value = [] {
        const char *mode = std::getenv("BENCH_SYNC");
        return mode && std::strcmp(mode, "off") == 0;
    }();
    return value;
}

template <typename Fn>
Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

struct Report {
    ~Report()
    {
        if (const char *path = std::getenv("BENCH_SYNC_COUNT")) {
            if (FILE *f = std::fopen(path, "w")) {
                std::fprintf(f, "%ld\n", g_syncs.load());
                std::fclose(f);
            }
        }
    }
} g_report;

}  // namespace

extern "C" {

int fsync(int fd)
{
    ++g_syncs;
    static const auto real = next<int (*)(int)>("fsync");
    return off() ? 0 : real(fd);
}

int fdatasync(int fd)
{
    ++g_syncs;
    static const auto real = next<int (*)(int)>("fdatasync");
    return off() ? 0 : real(fd);
}

}
