#pragma once
// The four file pickers and the folder browser. The file pickers write their result
// into Global (emptied first) and all five set pickerDone when they return.
#include "DialogService.h"

namespace tessaly {

struct Global;

// Library file pickers: results in dbFilePath / dbFileTitle.
void PickOpenDatabase(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                      const QString &startFolder, const QString &initialName = QString());
void PickCreateDatabase(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                        const QString &startFolder, const QString &initialName = QString());
// Title file and photo pickers: results in pickedFilePath / pickedFileTitle.
void PickTitleFile(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                   const QString &startFolder, const QString &initialName);
void PickTitlePhoto(Global &g, DialogService &ds, QObject *owner, const QString &dialogTitle,
                    const QString &startFolder, const QString &initialName);

// The folder browser: the chosen folder, or empty text when cancelled or refused (a
// Windows-form path is told and refused). openInside: shows the folders inside
// startFolder, none of them chosen. allowNewName: a folder that does not exist yet may be
// named; the caller asks before making it.
QString BrowseFolder(Global &g, DialogService &ds, QObject *owner, const QString &prompt,
                     const QString &startFolder, bool openInside = false, bool allowNewName = false);

// The requests the pickers show, for tests and the Qt implementation.
FilePickRequest OpenDatabaseRequest(const QString &title, const QString &start, const QString &initialName);
FilePickRequest CreateDatabaseRequest(const QString &title, const QString &start, const QString &initialName);
FilePickRequest TitleFileRequest(const QString &title, const QString &start, const QString &initialName);
FilePickRequest TitlePhotoRequest(const QString &title, const QString &start, const QString &initialName);

}  // namespace tessaly
