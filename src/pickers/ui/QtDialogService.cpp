#include "QtDialogService.h"

#include "Paths.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QWidget>

#include <functional>

namespace tessaly {

bool InstallQtJapaneseTranslations()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *t = new QTranslator(qApp);
    // The interface is Japanese whatever the locale, so the standard buttons and
    // dialogs must not fall back to English.
    if (!t->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    installed = t;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));  // dates in the file dialogs
    return true;
}

namespace {

// The folder browser. A name typed for a folder not there is Qt's own dialog's to refuse
// with a box of its own, which no caller sees: here it comes back as typed where a folder
// still to be made may be named (the caller asks before making it), and is refused with
// the program's own message elsewhere.
class FolderDialog : public QFileDialog {
public:
    FolderDialog(QWidget *parent, const QString &title) : QFileDialog(parent, title) {}

    // Called once the widgets exist (the non-native dialog).
    void takeTypedNames(bool allowNew, std::function<void(const QString &)> refuse)
    {
        m_allowNew = allowNew;
        m_refuse = std::move(refuse);
        m_edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (auto *box = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox")); box && allowNew)
            for (QAbstractButton *b : box->buttons())
                if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) {
                    m_accept = b;
                    b->installEventFilter(this);
                }
    }
    QString typed;  // the name typed for a folder not there, blanks around it dropped

    void accept() override
    {
        const QString text = m_edit ? m_edit->text().trimmed() : QString();
        if (!text.isEmpty()) {
            const bool absolute = text.startsWith(QLatin1Char('/')) || IsWindowsFormPath(text);
            const QString path = absolute ? text : ChildPath(directory().absolutePath(), text);
            if (IsWindowsFormPath(text) || !QFileInfo::exists(path)) {
                if (m_allowNew) {
                    typed = path;
                    QDialog::accept();
                } else {
                    m_refuse(path);  // the browser stays open
                }
                return;
            }
        }
        QFileDialog::accept();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The dialog disables its button for a name it cannot find.
        if (watched == m_accept && event->type() == QEvent::EnabledChange && !m_accept->isEnabled() && m_edit
            && !m_edit->text().trimmed().isEmpty())
            m_accept->setEnabled(true);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    bool m_allowNew = false;
    std::function<void(const QString &)> m_refuse;
    QLineEdit *m_edit = nullptr;
    QAbstractButton *m_accept = nullptr;
};

}  // namespace

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
    // A file name may hold "<b>" or "&amp;": every text is shown as it is.
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(windowText(req)));
    if (!req.details.isEmpty())
        box.setDetailedText(req.details);
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
    } else if (req.buttons == MsgButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    QPushButton *action = req.buttons == MsgButtons::Ok && !req.actionButton.isEmpty()
                              ? box.addButton(req.actionButton, QMessageBox::ActionRole)
                              : nullptr;
    if (action)
        action->setObjectName(req.actionButton);
    const int r = box.exec();
    if (action && box.clickedButton() == action)
        return MsgAnswer::Yes;
    if (req.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (r == QMessageBox::Cancel)
        return MsgAnswer::Cancel;
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
    dlg.setAcceptMode(req.makesFile ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // An existing name is the caller's to handle, with its own message.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (!req.acceptLabel.isEmpty())
        dlg.setLabelText(QFileDialog::Accept, req.acceptLabel);
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
    // A window title holds one line: the first line of the prompt; the whole prompt
    // stands above the folder list, as the shell's folder browser shows it.
    const QString prompt = displayText(req.prompt);
    FolderDialog dlg(ownerWidget(owner), prompt.section(QLatin1Char('\n'), 0, 0));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    dlg.takeTypedNames(req.allowNewName, [&](const QString &path) {
        message(MessageRequest{QStringLiteral("フォルダ「%1」がありません。").arg(path), MsgKind::Exclamation,
                               dlg.windowTitle()},
                &dlg);
    });
    if (auto *grid = qobject_cast<QGridLayout *>(dlg.layout())) {
        QList<std::pair<QLayoutItem *, QList<int>>> items;
        while (grid->count() > 0) {
            int row, column, rows, columns;
            grid->getItemPosition(0, &row, &column, &rows, &columns);
            items.append({grid->takeAt(0), {row, column, rows, columns}});
        }
        for (const auto &[item, at] : items)
            grid->addItem(item, at[0] + 1, at[1], at[2], at[3]);
        auto *label = new QLabel(prompt, &dlg);
        label->setObjectName(QStringLiteral("prompt"));
        label->setTextFormat(Qt::PlainText);
        grid->addWidget(label, 0, 0, 1, grid->columnCount());
    }
    const QFileInfo start(req.startFolder.trimmed());
    if (!req.startFolder.trimmed().isEmpty() && start.isDir() && req.openInside) {
        dlg.setDirectory(start.absoluteFilePath());
    } else if (!req.startFolder.trimmed().isEmpty() && start.isDir()) {
        dlg.setDirectory(start.absolutePath());
        dlg.selectFile(start.absoluteFilePath());
    }
    if (dlg.exec() != QDialog::Accepted)
        return QString();
    if (!dlg.typed.isEmpty())
        return dlg.typed;
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
