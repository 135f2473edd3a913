#pragma once
// An edit of the title entry that the program could not ask about before it ended (a
// signal from a logout, a shutdown or kill): kept in a file beside the library and
// offered at the next start that opens the library. GUI-free.
#include "EditorRecords.h"

#include <QString>
#include <cstdint>

namespace tessaly {

struct KeptEdit {
    int32_t categoryId = 0;
    int32_t genreId = 0;
    int32_t titleId = 0;
    TitleEntry typed;   // the boxes as the user left them
    TitleEntry loaded;  // the row as it was read, for the check before a later save
};

// "<library>.tessaly-recovery"; empty for no library.
QString KeptEditPath(const QString &libraryPath);
// Written whole (a new file renamed over the name), never through a symbolic link.
bool WriteKeptEdit(const QString &libraryPath, const KeptEdit &edit);
// False when there is none, or it cannot be read as one.
bool ReadKeptEdit(const QString &libraryPath, KeptEdit &edit);
void RemoveKeptEdit(const QString &libraryPath);

}  // namespace tessaly
