#pragma once
#include "DialogService.h"

namespace tessaly {

// Message boxes and pickers as Qt dialogs.
class QtDialogService : public DialogService {
public:
    MsgAnswer message(const MessageRequest &req, QObject *owner = nullptr) override;
    QString pickFile(const FilePickRequest &req, QObject *owner = nullptr) override;
    QString pickFolder(const FolderPickRequest &req, QObject *owner = nullptr) override;
    using DialogService::message;
};

}  // namespace tessaly
