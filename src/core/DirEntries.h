#pragma once
// A folder's entries straight from the kernel: one read per few hundred names, with no
// stream of its own to open, check and close around each folder.
#include <functional>

#include <dirent.h>

namespace tessaly {

// Calls take for every entry of the folder open as fd but "." and "..", from its start;
// its d_type is DT_UNKNOWN where the file system does not say. take may remove the
// entry it is given. False when the folder cannot be read.
bool ForEachEntry(int fd, const std::function<void(const dirent64 &)> &take);

}  // namespace tessaly
