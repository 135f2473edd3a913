#include "QtDialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

namespace tessaly {

static QWidget *ownerWidget(QObject *owner)
{
    if (auto *w = qobject_cast<QWidget *>(owner))
        return w->window();
    return QApplication::activeWindow();
}

MsgAnswer QtDialogService::message(const MessageRequest &req, QObject *owner)
{
    QMessageBox box(ownerWidget(owner));
    box.setWindowTitle(req.title.isEmpty() ? QStringLiteral(" ") : req.title);
    box.setText(displayText(req.text));
    switch (req.kind) {
    case MsgKind::Question: box.setIcon(QMessageBox::Question); break;
    case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
    case MsgKind::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgKind::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgKind::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    if (req.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int r = box.exec();
    if (req.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return r == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

QString QtDialogService::pickFile(const FilePickRequest &req, QObject *owner)
{
    QFileDialog dlg(ownerWidget(owner), req.dialogTitle, req.startFolder);
    QStringList filters;
    for (const FileFilter &f : req.filters)
        filters << QStringLiteral("%1 (%2)").arg(f.name, f.pattern);
    dlg.setNameFilters(filters);
    if (!filters.isEmpty())
        dlg.selectNameFilter(filters.first());
    dlg.setFileMode(req.allowNewName ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::DontResolveSymlinks);
    if (!req.defaultSuffix.isEmpty())
        dlg.setDefaultSuffix(req.defaultSuffix);
    // A wildcard initial name ("*.html") only narrows the listing, as the filter does.
    if (!req.initialName.isEmpty() && !req.initialName.contains(QLatin1Char('*')))
        dlg.selectFile(req.initialName);
    if (dlg.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
}

QString QtDialogService::pickFolder(const FolderPickRequest &req, QObject *owner)
{
    QFileDialog dlg(ownerWidget(owner), displayText(req.prompt));
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    dlg.setLabelText(QFileDialog::LookIn, displayText(req.prompt));
    const QFileInfo start(req.startFolder.trimmed());
    if (!req.startFolder.trimmed().isEmpty() && start.isDir()) {
        dlg.setDirectory(start.absolutePath());
        dlg.selectFile(start.absoluteFilePath());
    }
    if (dlg.exec() != QDialog::Accepted)
        return QString();
    const QStringList dirs = dlg.selectedFiles();
    if (dirs.isEmpty())
        return QString();
    QString path = QFileInfo(dirs.first()).absoluteFilePath();
    if (!QFileInfo(path).isDir())
        return QString();
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

}  // namespace tessaly
