#pragma once
// Process-wide state of one run. main owns one; tests make their own.
#include <QString>
#include <cstdint>

namespace tessaly {

constexpr int16_t True16 = -1;
constexpr int16_t False16 = 0;

struct Global {
    // The open library.
    QString dbConnectString;   // empty while no library is open
    QString dbFilePath;        // last open/create dialog's file
    QString dbFileTitle;       // its file name, shown in the caption
    int16_t isNewLibrary = False16;
    int16_t folderSetupStage = 0;  // 0..2 while a new library is being set up

    // Picker results.
    QString pickedFilePath;
    QString pickedFileTitle;
    int16_t pickerDone = False16;

    // Editor state.
    int32_t currentCategoryId = 0;
    int32_t currentGenreId = 0;
    int32_t currentTitleId = 0;
    int16_t titleEditMode = 0;  // 0 = no title loaded, 2 = existing title loaded

    // Printer state recorded at start-up.
    int16_t savedPaperSize = -1;
    int16_t savedOrientation = -1;
    bool printerUnavailable = true;

    // Folder of the program: holds the template "sys.1" and the help document.
    QString programFolder;
};

}  // namespace tessaly
