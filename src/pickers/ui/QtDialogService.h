#pragma once
#include "DialogService.h"

namespace tessaly {

// Loads Qt's own Japanese texts (はい/いいえ, the file dialog) once; false when the
// translation file is not installed.
bool InstallQtJapaneseTranslations();

// Message boxes and pickers as Qt dialogs.
class QtDialogService : public DialogService {
public:
    MsgAnswer message(const MessageRequest &req, QObject *owner = nullptr) override;
    QString pickFile(const FilePickRequest &req, QObject *owner = nullptr) override;
    QString pickFolder(const FolderPickRequest &req, QObject *owner = nullptr) override;
    using DialogService::message;
};

}  // namespace tessaly
