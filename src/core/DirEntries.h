#pragma once
// A folder's entries straight from the kernel: one read per few hundred names, with no
// stream of its own to open, check and close around each folder.
#include <QByteArray>

#include <functional>

#include <dirent.h>

namespace tessaly {

// Called with each entry and the descriptor of its folder (for a *at call); d_type is
// DT_UNKNOWN where the file system does not say. It may remove the entry it is given.
using EntryVisit = std::function<void(const dirent64 &entry, int folder)>;

// Every entry of the folder open as fd but "." and "..", from its start, wherever an
// earlier reading left the descriptor. False when the folder cannot be read.
bool ForEachEntry(int fd, const EntryVisit &take);
// The same for the folder at path (a link there is followed); false when it cannot be
// opened or read.
bool ForEachEntry(const QByteArray &path, const EntryVisit &take);

}  // namespace tessaly
