#include "EditorCommands.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "HtmlOut.h"
#include "KeptEdit.h"
#include "Paths.h"
#include "Pickers.h"

#include <QDir>
#include <QFile>
#include <Qt>

#include <memory>

namespace tessaly {

const QString kUpdateCaption = QStringLiteral("更新");

namespace {

const QString kLineJoin = QStringLiteral("\n\r");
const QString kNotInDatabaseAsk = QStringLiteral("登録しますか？");
const QString kAddAsGenreAnyway = QStringLiteral("このフォルダをジャンル名に追加してもよろしいですか？");
const QString kSameAsCategory = QStringLiteral("カテゴリー名に選択されたフォルダと同名のフォルダが登録されています。");
const QString kSameAsGenre = QStringLiteral("ジャンルに選択されたフォルダと同名のフォルダが登録されています。");
const QString kEnterCategory = QStringLiteral("カテゴリーを入力してください！");
const QString kEnterGenre = QStringLiteral("ジャンルを入力してください！");
const QString kChooseCategory = QStringLiteral("カテゴリーを選択してください！");
const QString kChooseGenre = QStringLiteral("ジャンルを選択してください！");
const QString kChooseCategoryName = QStringLiteral("カテゴリー名を選択してください！");
const QString kChooseTitleFolder = QStringLiteral("タイトルフォルダを選択してください！");
const QString kReselectCategory = QStringLiteral("エラー：カテゴリーを選択しなおしてください。");
const QString kReselectGenre = QStringLiteral("エラー：ジャンルを選択しなおしてください。");
const QString kNoTitleData = QStringLiteral("タイトルデータがありませんでした！");
const QString kRunning = QStringLiteral("実行中...");

const QString kTitleFolderSelect = QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択");
const QString kEventFolderAdd = QStringLiteral("イベントフォルダ追加");
const QString kTitleSelect = QStringLiteral("タイトル選択");
const QString kTitleInput = QStringLiteral("タイトル入力");
const QString kTitleUpdate = QStringLiteral("タイトルデータ更新");
const QString kDeleteCategoryTitle = QStringLiteral("カテゴリー、ジャンル、タイトル情報削除");
const QString kDeleteGenreTitle = QStringLiteral("ジャンル、タイトル情報削除");
const QString kDeleteTitleTitle = QStringLiteral("タイトル情報削除");

}  // namespace

EditorKeyDecision DecideEditorKey(int qtKey, int16_t titleEditMode)
{
    using A = EditorKeyAction;
    switch (qtKey) {
    case Qt::Key_Escape: return {A::Close, false};
    case Qt::Key_F1: return {A::Help, false};
    case Qt::Key_F2:
    case Qt::Key_F5:
    case Qt::Key_F11: return {A::Nothing, true};
    case Qt::Key_F3: return {titleEditMode != 0 ? A::SaveTitle : A::Nothing, true};
    case Qt::Key_F4: return {A::AutoSet, true};
    case Qt::Key_F6: return {A::RegisterCategory, true};
    case Qt::Key_F7: return {A::RegisterGenre, true};
    case Qt::Key_F8: return {A::RegisterTitle, true};
    case Qt::Key_F9: return {A::SelectFile, true};
    case Qt::Key_F10: return {A::SelectPhoto, true};
    case Qt::Key_F12: return {A::HtmlOutput, true};
    default: return {A::None, false};
    }
}

void EditorCommands::ShowDetachStatus()
{
    m_v.showStatus(QStringLiteral("テーブル切り離し処理..."));
    m_v.showStatus(kRunning);
}

void EditorCommands::ShowJoinStatus()
{
    m_v.showStatus(QStringLiteral("テーブルジョイント処理..."));
    m_v.showStatus(QStringLiteral("処理を終了しました。"));
}

void EditorCommands::reportDbError(const QString &title, const QString &message)
{
    m_ds.message(message, MsgKind::Critical, title, MsgButtons::Ok, m_v.dialogOwner());
}

// Selects the entries from the first until one carries the name, then that one once
// more. Without such an entry the walk ends on the last one.
void EditorCommands::selectCategoryByName(const QString &name)
{
    const int n = m_v.categoryCount();
    if (n == 0)
        return;
    int i = 0;
    for (; i < n; ++i) {
        m_v.selectCategory(i);
        if (m_v.categoryItemText(i) == name)
            break;
    }
    m_v.selectCategory(i < n ? i : n - 1);
}

void EditorCommands::selectGenreByName(const QString &name)
{
    const int n = m_v.genreCount();
    if (n == 0)
        return;
    int i = 0;
    for (; i < n; ++i) {
        m_v.selectGenre(i);
        if (m_v.genreItemText(i) == name)
            break;
    }
    m_v.selectGenre(i < n ? i : n - 1);
}

// --- registering folders --------------------------------------------------------

// A folder is never registered below itself: the browser opens on the parent level's
// folder, and taking it as it comes would make it its own child.
bool EditorCommands::refuseOwnFolder(const QString &chosen, const QString &parent, const QString &parentLevel,
                                     const QString &level, const QString &title)
{
    if (chosen.isEmpty() || parent.isEmpty() || QDir::cleanPath(chosen) != QDir::cleanPath(parent))
        return false;
    m_ds.message(QStringLiteral("%1フォルダそのものは%2にできません。").arg(parentLevel, level) + kLineJoin
                     + QStringLiteral("%1フォルダの中のフォルダを選択してください。").arg(parentLevel),
                 MsgKind::Exclamation, title, MsgButtons::Ok, m_v.dialogOwner());
    return true;
}

void EditorCommands::RegisterCategoryFolder()
{
    QObject *owner = m_v.dialogOwner();
    m_g.pickerDone = False16;
    // The browser shows the folders inside the base folder: a category is one of them.
    const QString base = m_v.baseFolderText();
    const QString chosen = BrowseFolder(m_g, m_ds, owner, QStringLiteral("カテゴリーﾌｫﾙﾀﾞ選択"), base, true);
    if (!chosen.isEmpty() && QDir::cleanPath(chosen) == QDir::cleanPath(base)) {
        m_ds.message(QStringLiteral("基準フォルダそのものはカテゴリーにできません。") + kLineJoin
                         + QStringLiteral("基準フォルダの中のフォルダを選択してください。"),
                     MsgKind::Exclamation, QStringLiteral("カテゴリー選択"), MsgButtons::Ok, owner);
        return;
    }
    if (!OfferSaveBeforeReplacing(true))
        return;
    if (chosen.isEmpty()) {
        m_v.FillCategoryList();
        return;
    }
    const int32_t previousId = m_g.currentCategoryId;
    const int previousIndex = m_v.categoryIndex();
    const QString previousText = m_v.categoryItemText(previousIndex);
    const QString previousFolder = m_v.categoryFolderText();
    const QString name = LastPathPart(chosen);
    m_v.setCategoryText(name);
    m_v.setCategoryFolderText(chosen);

    bool missing;
    try {
        missing = CategoryNameMissing(m_g, name);
    } catch (const DbError &e) {
        reportDbError(QStringLiteral("カテゴリー選択"), e.message());
        return;
    }
    if (!missing) {
        selectCategoryByName(name);
        m_v.FillCategoryList();
        return;
    }
    if (!m_ds.ask(QStringLiteral("カテゴリー名がデータベースに存在しません。") + kLineJoin + kNotInDatabaseAsk,
                  MsgKind::Exclamation, QStringLiteral("カテゴリー選択"), owner)) {
        // Not registered: the category chosen before is shown again, and stays chosen.
        m_g.currentCategoryId = previousId;
        m_v.setCategoryIndex(previousIndex);
        m_v.setCategoryText(previousText);
        m_v.setCategoryFolderText(previousFolder);
        m_v.focusControl(EditorCommandView::Control::TopFolder);
        return;
    }
    ShowDetachStatus();
    bool added = false;
    try {
        AddCategoryRow(m_g, name, chosen);
        added = true;
    } catch (const DbError &e) {
        reportDbError(QStringLiteral("カテゴリー選択"), e.message());
    }
    if (added) {
        const int32_t id = m_g.currentCategoryId;
        const CountProgress folders = counter(QStringLiteral("フォルダ"));
        if (RegisterGenresOfCategory(m_g, m_ds, id, owner, folders) == 0
            && RegisterTitlesOfGenres(m_g, m_ds, EntrySelector::category(id), owner, folders) == 0)
            FindTitleHtmlFiles(m_g, m_ds, EntrySelector::category(id), owner);
    }
    ShowJoinStatus();
    m_v.FillCategoryList();
}

void EditorCommands::RegisterGenreFolder()
{
    QObject *owner = m_v.dialogOwner();
    if (m_v.categoryIndex() < 0) {
        m_ds.message(kEnterCategory, MsgKind::None, QString(), MsgButtons::Ok, owner);
        m_v.focusControl(EditorCommandView::Control::TopFolder);
        return;
    }
    m_g.pickerDone = False16;
    // The browser shows the folders inside the category's: a genre is one of them.
    const QString parent = m_v.categoryFolderText();
    const QString chosen = BrowseFolder(m_g, m_ds, owner, QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択"), parent, true);
    if (refuseOwnFolder(chosen, parent, QStringLiteral("カテゴリー"), QStringLiteral("ジャンル"),
                        QStringLiteral("ジャンル追加")))
        return;
    if (!OfferSaveBeforeReplacing(true))
        return;
    if (chosen.isEmpty()) {
        m_v.FillGenreList();
        return;
    }
    const int32_t previousId = m_g.currentGenreId;
    const int previousIndex = m_v.genreIndex();
    const QString previousText = m_v.genreText();
    const QString previousFolder = m_v.genreFolderText();
    const QString name = LastPathPart(chosen);
    m_v.setGenreText(name);
    m_v.setGenreFolderText(chosen);

    try {
        if (!GenreFolderMissing(m_g, chosen)) {
            selectGenreByName(name);
            m_v.FillGenreList();
            return;
        }
        if (!m_ds.ask(QStringLiteral("ジャンル名がデータベースに存在しません。") + kLineJoin + kNotInDatabaseAsk,
                      MsgKind::Exclamation, QString(), owner)) {
            // Not registered: the genre shown before is back, and stays chosen.
            m_g.currentGenreId = previousId;
            m_v.setGenreIndex(previousIndex);
            m_v.setGenreText(previousText);
            m_v.setGenreFolderText(previousFolder);
            m_v.focusControl(EditorCommandView::Control::YearFolder);
            return;
        }
        if (m_g.currentCategoryId == 0) {
            m_ds.message(kReselectCategory, MsgKind::Critical, QString(), MsgButtons::Ok, owner);
            m_v.focusControl(EditorCommandView::Control::TopFolder);
            return;
        }
        if (IsCategoryFolder(m_g, chosen)
            && !m_ds.ask(kSameAsCategory + kLineJoin + kAddAsGenreAnyway, MsgKind::Exclamation,
                         QStringLiteral("ジャンル追加"), owner)) {
            m_v.processEvents();
            m_v.FillGenreList();
            return;
        }
        AddGenreRow(m_g, name, chosen);
    } catch (const DbError &e) {
        reportDbError(QStringLiteral("ジャンル追加"), e.message());
        m_v.FillGenreList();
        return;
    }
    ShowDetachStatus();
    const int32_t id1 = m_g.currentGenreId;
    if (RegisterTitlesOfGenres(m_g, m_ds, EntrySelector::genre(id1), owner) != 0) {
        m_ds.message(QStringLiteral("タイトルフォルダを追加できませんでした。"), MsgKind::Critical, QString(),
                     MsgButtons::Ok, owner);
        m_v.FillGenreList();
        return;
    }
    FindTitleHtmlFiles(m_g, m_ds, EntrySelector::genre(id1), owner);
    ShowJoinStatus();
    m_v.FillGenreList();
}

void EditorCommands::RegisterTitleFolder()
{
    QObject *owner = m_v.dialogOwner();
    if (m_v.categoryIndex() < 0) {
        m_ds.message(kEnterCategory, MsgKind::Exclamation, kTitleFolderSelect, MsgButtons::Ok, owner);
        m_v.focusControl(EditorCommandView::Control::TopFolder);
        return;
    }
    if (m_v.genreIndex() < 0) {
        m_ds.message(kEnterGenre, MsgKind::Exclamation, kTitleFolderSelect, MsgButtons::Ok, owner);
        m_v.focusControl(EditorCommandView::Control::YearFolder);
        return;
    }
    m_g.pickerDone = False16;
    const QString parent = m_v.genreFolderText();
    const QString chosen = BrowseFolder(m_g, m_ds, owner, kTitleFolderSelect, parent, true);
    if (refuseOwnFolder(chosen, parent, QStringLiteral("ジャンル"), QStringLiteral("タイトル"), kTitleFolderSelect))
        return;
    if (chosen.isEmpty() || !OfferSaveBeforeReplacing(true))
        return;
    // A refused registration puts the entry back as it was: a loaded title must not be
    // saved under the refused folder's name and path.
    const TitleEntry before = m_v.titleEntry();
    TitleEntry entry = before;
    entry.folderName = LastPathPart(chosen);
    entry.folder = chosen;
    m_v.setTitleEntry(entry);
    auto refuse = [&] { m_v.setTitleEntry(before); };

    try {
        if (!TitleFolderMissing(m_g, chosen)) {
            // A stored title: loaded for editing like a grid click, so F3 saves it.
            LoadTitleByFolder(m_g, chosen, entry);
            m_v.showLoadedTitle(m_g, entry);
            return;
        }
        if (!m_ds.ask(QStringLiteral("ﾀｲﾄﾙ名がデータベースに存在しません。") + kLineJoin + kNotInDatabaseAsk,
                      MsgKind::Exclamation, kTitleFolderSelect, owner)) {
            refuse();
            m_v.focusControl(EditorCommandView::Control::YearFolder);
            return;
        }
        int asked = 0;
        if (IsCategoryFolder(m_g, chosen)) {
            ++asked;
            if (!m_ds.ask(kSameAsCategory + kLineJoin + kAddAsGenreAnyway, MsgKind::Exclamation, kEventFolderAdd,
                          owner)) {
                refuse();
                return;
            }
        }
        if (IsGenreFolder(m_g, chosen)) {
            ++asked;
            if (!m_ds.ask(kSameAsGenre + kLineJoin + kAddAsGenreAnyway, MsgKind::Exclamation, kEventFolderAdd,
                          owner)) {
                entry.folderName.clear();
                entry.folder.clear();
                m_v.setTitleEntry(entry);
                return;
            }
        }
        if (m_g.currentCategoryId == 0) {
            refuse();
            m_ds.message(kReselectCategory, MsgKind::Critical, kTitleFolderSelect, MsgButtons::Ok, owner);
            m_v.focusControl(EditorCommandView::Control::TopFolder);
            return;
        }
        if (m_g.currentGenreId == 0) {
            refuse();
            m_ds.message(kReselectGenre, MsgKind::Critical, kTitleFolderSelect, MsgButtons::Ok, owner);
            m_v.focusControl(EditorCommandView::Control::TopFolder);
            return;
        }
        if (asked == 1)
            ShowDetachStatus();
        AddTitleRow(m_g, entry.folderName, entry.folder);
    } catch (const DbError &e) {
        refuse();
        reportDbError(kTitleFolderSelect, e.message());
        return;
    }
    // Only the new title is looked at for its HTML file; the genre's other titles keep
    // their chosen files and flags. The entry then shows the new row, nothing of the
    // title shown before.
    const int32_t id2 = m_g.currentTitleId;
    FindTitleHtmlFiles(m_g, m_ds, EntrySelector::title(id2), owner);
    TitleEntry fresh;
    fresh.folderName = entry.folderName;
    fresh.folder = entry.folder;
    entry = fresh;
    try {
        LoadTitleById(m_g, id2, entry);
    } catch (const DbError &e) {
        reportDbError(kTitleFolderSelect, e.message());
    }
    m_v.showLoadedTitle(m_g, entry);
    m_v.RefreshTitleGrid();
    m_v.focusControl(EditorCommandView::Control::IventsLink);
}

// --- title details ----------------------------------------------------------------

bool EditorCommands::requireSelection(const QString &title, const QString &categoryText,
                                      const QString &genreText)
{
    QObject *owner = m_v.dialogOwner();
    if (m_v.categoryIndex() < 0) {
        m_ds.message(categoryText, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        m_v.focusControl(EditorCommandView::Control::TopFolder);
        return false;
    }
    if (m_v.genreIndex() < 0) {
        m_ds.message(genreText, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        m_v.focusControl(EditorCommandView::Control::YearFolder);
        return false;
    }
    return true;
}

// The selection and title checks before a picker; on success entry holds the title
// area and start the picker's start folder.
bool EditorCommands::prepareTitlePicker(const QString &title, TitleEntry &entry, QString &start)
{
    if (!requireSelection(title, kEnterCategory, kEnterGenre))
        return false;
    entry = m_v.titleEntry();
    if (entry.folderName.isEmpty()) {
        m_ds.message(kChooseTitleFolder, MsgKind::Exclamation, title, MsgButtons::Ok, m_v.dialogOwner());
        m_v.focusControl(EditorCommandView::Control::YearFolder);
        return false;
    }
    start = entry.folder.isEmpty() ? m_v.genreFolderText() : entry.folder;
    m_g.pickerDone = False16;
    return true;
}

void EditorCommands::SelectTitleFile()
{
    TitleEntry entry;
    QString start;
    if (!prepareTitlePicker(QStringLiteral("ﾌｧｲﾙ選択"), entry, start))
        return;
    const QString initial = entry.folder.isEmpty() ? QStringLiteral("*.html") : LastPathPart(entry.html);
    PickTitleFile(m_g, m_ds, m_v.dialogOwner(), QStringLiteral("ファイル選択"), start, initial);
    if (m_g.pickedFilePath.isEmpty())
        return;  // a cancelled picker changes nothing
    entry.html = m_g.pickedFilePath;
    entry.ivents = m_g.pickedFilePath;
    m_v.setTitleEntry(entry);
    m_g.titleEditMode = 2;
}

void EditorCommands::SelectTitlePhoto()
{
    TitleEntry entry;
    QString start;
    if (!prepareTitlePicker(QStringLiteral("写真選択"), entry, start))
        return;
    const QString initial = entry.folder.isEmpty() ? QStringLiteral("*.jpg") : LastPathPart(entry.photo);
    PickTitlePhoto(m_g, m_ds, m_v.dialogOwner(), QStringLiteral("写真ファイル選択"), start, initial);
    entry.photo = m_g.pickedFilePath;
    m_v.setTitleEntry(entry);
    m_g.titleEditMode = 2;
}

void EditorCommands::TickLinkButton()
{
    if (!requireSelection(kTitleSelect, kChooseCategoryName, kChooseGenre))
        return;
    TitleEntry entry = m_v.titleEntry();
    entry.linkButton = 1;
    m_v.setTitleEntry(entry);
}

void EditorCommands::TickOpenButton()
{
    if (!requireSelection(kTitleSelect, kChooseCategoryName, kChooseGenre))
        return;
    TitleEntry entry = m_v.titleEntry();
    entry.htmlButton = 1;
    m_v.setTitleEntry(entry);
}

int16_t EditorCommands::CheckTitleInput()
{
    const TitleEntry entry = m_v.titleEntry();
    QString problem;
    if (entry.folderName.isEmpty())
        problem = QStringLiteral("タイトルフォルダ名を入力してください！");
    else if (entry.folder.isEmpty())
        problem = QStringLiteral("タイトルフォルダを入力してください！");
    if (problem.isEmpty())
        return False16;
    m_ds.message(problem, MsgKind::Exclamation, kTitleInput, MsgButtons::Ok, m_v.dialogOwner());
    return True16;
}

int16_t EditorCommands::UpdateTitle()
{
    QObject *owner = m_v.dialogOwner();
    if (!m_ds.ask(QStringLiteral("タイトル情報を更新しますか？"), MsgKind::Exclamation, kTitleUpdate, owner))
        return True16;
    ShowDetachStatus();
    TitleWrite result;
    try {
        result = UpdateTitleRow(m_g, m_v.titleEntry(), m_v.loadedEntry());
    } catch (const DbError &e) {
        // Nothing was written; the entry stays on screen so the user can try again.
        reportDbError(kTitleUpdate, e.message());
        return True16;
    }
    if (result == TitleWrite::Missing) {
        m_ds.message(QStringLiteral("タイトルデータが存在しません！"), MsgKind::Critical, kTitleUpdate,
                     MsgButtons::Ok, owner);
        ShowJoinStatus();
        return False16;
    }
    if (result == TitleWrite::ChangedElsewhere) {
        showChangedElsewhere(kTitleUpdate, QStringLiteral("書き込みは行いませんでした。入力した内容はそのまま残し、"
                                                          "ほかの項目は保存されている内容にしました。")
                                               + kLineJoin + QStringLiteral("もう一度F3を押すと、この内容で更新します。"));
        return True16;
    }
    m_v.DisableTitleMenus();
    return False16;
}

// Another program or window rewrote the title after it was loaded: nothing was written.
// The row as stored now becomes the loaded title, and the user's edits stay over it, so
// that a second F3 writes them knowingly and closing without saving drops them.
void EditorCommands::showChangedElsewhere(const QString &title, const QString &outcome)
{
    m_ds.message(QStringLiteral("このタイトルは読み込んだ後に他で変更されています。") + kLineJoin + outcome,
                 MsgKind::Exclamation, title, MsgButtons::Ok, m_v.dialogOwner());
    const TitleEntry edited = m_v.titleEntry();
    const TitleEntry loaded = m_v.loadedEntry();
    TitleEntry stored;
    try {
        if (!LoadTitleById(m_g, m_g.currentTitleId, stored))
            return;
    } catch (const DbError &e) {
        reportDbError(title, e.message());
        return;
    }
    m_v.showLoadedTitle(m_g, stored);
    m_v.setTitleEntry(EditsOver(edited, loaded, stored));
}

void EditorCommands::SaveTitleEntry()
{
    if (m_v.titleEntry().folder.isEmpty()) {
        m_ds.message(kChooseTitleFolder, MsgKind::None, QString(), MsgButtons::Ok, m_v.dialogOwner());
        m_v.focusControl(EditorCommandView::Control::YearFolder);
        return;
    }
    int16_t failed = False16;
    if (m_g.titleEditMode == 2) {
        m_v.showStatus(QStringLiteral("更新処理中..."));
        if (CheckTitleInput() == False16)
            failed = UpdateTitle();
        m_v.showStatus(QStringLiteral("更新処理終了"));
    }
    if (failed == False16) {
        m_v.ClearTitleEntry();
        ShowJoinStatus();
    }
    m_v.RefreshTitleGrid();
}

// --- deleting ---------------------------------------------------------------------

bool EditorCommands::askDelete(const QString &question, const QString &name, const QString &title)
{
    const QString text = name.isEmpty() ? question : question + kLineJoin + QStringLiteral("「%1」").arg(name);
    return m_ds.ask(text, MsgKind::Exclamation, title, m_v.dialogOwner());
}

void EditorCommands::reportDeleteFailed(const QString &title, const DbError &e)
{
    reportDbError(title, e.message() + kLineJoin + QStringLiteral("削除は行われませんでした。データは元のままです。"));
}

// Deletions act on the entries the lists show selected, never on a key left over from
// an earlier choice.
void EditorCommands::DeleteCategoryCascade()
{
    QObject *owner = m_v.dialogOwner();
    const QString &title = kDeleteCategoryTitle;
    const int pos = m_v.categoryIndex();
    if (pos < 0) {
        m_ds.message(kChooseCategory, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    if (!askDelete(QStringLiteral("カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？"),
                   m_v.categoryItemText(pos), title))
        return;
    DeletedRows d;
    try {
        d = DeleteCategoryTree(m_g, m_v.categoryItemKey(pos), counter(QStringLiteral("行を削除")),
                               [this] { ShowDetachStatus(); });
    } catch (const DbError &e) {
        reportDeleteFailed(title, e);
        return;
    }
    if (d.genres > 0 && d.titles == 0)
        m_ds.message(kNoTitleData, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
    m_g.currentCategoryId = 0;
    m_g.currentGenreId = 0;
    m_v.ClearTitleEntry();
    m_v.processEvents();
    m_v.setCategoryText(QString());
    m_v.setCategoryFolderText(QString());
    m_v.setGenreFolderText(QString());
    m_v.clearGenreList();
    m_v.FillCategoryList();
    m_v.RefreshTitleGrid();
}

void EditorCommands::DeleteGenreCascade()
{
    QObject *owner = m_v.dialogOwner();
    const QString &title = kDeleteGenreTitle;
    const int categoryPos = m_v.categoryIndex();
    if (categoryPos < 0) {
        m_ds.message(kChooseCategory, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    const int genrePos = m_v.genreIndex();
    if (genrePos < 0) {
        m_ds.message(kChooseGenre, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    if (!askDelete(QStringLiteral("ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？"), m_v.genreItemText(genrePos),
                   title))
        return;
    DeletedRows d;
    try {
        d = DeleteGenreTree(m_g, m_v.categoryItemKey(categoryPos), m_v.genreItemKey(genrePos),
                            counter(QStringLiteral("行を削除")), [this] { ShowDetachStatus(); });
    } catch (const DbError &e) {
        reportDeleteFailed(title, e);
        return;
    }
    if (d.genres == 0) {
        m_ds.message(QStringLiteral("ジャンルデータがありませんでした！"), MsgKind::Exclamation, title, MsgButtons::Ok,
                     owner);
        return;
    }
    if (d.titles == 0)
        m_ds.message(kNoTitleData, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
    m_g.currentGenreId = 0;
    m_v.ClearTitleEntry();
    m_v.setGenreText(QString());
    m_v.setGenreFolderText(QString());
    for (int i = 0; i < 3; ++i)
        m_v.processEvents();
    m_v.RefreshTitleGrid();
    m_v.FillGenreList();
    m_v.RefreshTitleGrid();
}

void EditorCommands::DeleteTitle()
{
    QObject *owner = m_v.dialogOwner();
    const QString &title = kDeleteTitleTitle;
    const int categoryPos = m_v.categoryIndex();
    if (categoryPos < 0) {
        m_ds.message(kChooseCategory, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    const int genrePos = m_v.genreIndex();
    if (genrePos < 0) {
        m_ds.message(kChooseGenre, MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    if (m_g.currentTitleId == 0) {
        m_ds.message(QStringLiteral("タイトルを選択してください！"), MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    if (!askDelete(QStringLiteral("タイトルフォルダ情報を削除しますか？"), m_v.titleEntry().folderName, title))
        return;
    ShowDetachStatus();
    TitleWrite result;
    try {
        result = DeleteTitleRows(m_g, m_v.categoryItemKey(categoryPos), m_v.genreItemKey(genrePos), m_g.currentTitleId,
                                 m_v.loadedEntry());
    } catch (const DbError &e) {
        reportDeleteFailed(title, e);
        return;
    }
    if (result == TitleWrite::ChangedElsewhere) {
        showChangedElsewhere(title, QStringLiteral("削除は行いませんでした。変更された内容を確かめてから、"
                                                   "もう一度削除してください。"));
        ShowJoinStatus();
        return;
    }
    if (result == TitleWrite::Missing)
        m_ds.message(QStringLiteral("データがありませんでした！") + kLineJoin
                         + QStringLiteral("実際にはデータが存在する場合、「カテゴリー名」と「ジャンル」を"
                                          "選択しなおしてから実行出てみてください。"),
                     MsgKind::Exclamation, title, MsgButtons::Ok, owner);
    // Nothing of the deleted title stays on screen, and F3 has nothing to save.
    m_v.ClearTitleEntry();
    ShowJoinStatus();
    m_g.currentTitleId = 0;
    m_v.DisableTitleMenus();
}

// --- commands with their status texts ----------------------------------------------

void EditorCommands::withStatus(const QString &before, const QString &after, bool letMessagesRun,
                                void (EditorCommands::*command)())
{
    m_v.showStatus(before);
    if (letMessagesRun)
        m_v.processEvents();
    (this->*command)();
    m_v.hideProgress();
    m_v.showStatus(after);
}

void EditorCommands::RunCategoryFolderCommand()
{
    withStatus(QStringLiteral("カテゴリー名ﾌｫﾙﾀﾞ選択画面起動中..."), QStringLiteral("カテゴリー名ﾌｫﾙﾀﾞ選択画面終了"), true,
               &EditorCommands::RegisterCategoryFolder);
}

void EditorCommands::RunGenreFolderCommand()
{
    withStatus(QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択画面起動中..."), QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択画面終了"), true,
               &EditorCommands::RegisterGenreFolder);
}

void EditorCommands::RunTitleFolderCommand(bool fromMenu)
{
    withStatus(QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面起動中..."), QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面終了"), !fromMenu,
               &EditorCommands::RegisterTitleFolder);
}

void EditorCommands::RunSelectFileCommand(bool fromMenu)
{
    withStatus(QStringLiteral("ﾌｧｲﾙ選択画面起動中..."), QStringLiteral("ﾌｧｲﾙ選択画面終了"), !fromMenu,
               &EditorCommands::SelectTitleFile);
}

void EditorCommands::RunSelectPhotoCommand(bool fromMenu)
{
    withStatus(QStringLiteral("写真選択画面起動中..."), QStringLiteral("写真選択画面終了"), !fromMenu,
               &EditorCommands::SelectTitlePhoto);
}

// The delete buttons show both texts without letting messages run in between.
void EditorCommands::RunDeleteCategory()
{
    withStatus(QStringLiteral("カテゴリーフォルダ以下のデータ削除中．．．"), QStringLiteral("カテゴリーフォルダ以下のデータ削除終了"),
               false, &EditorCommands::DeleteCategoryCascade);
}

void EditorCommands::RunDeleteGenre()
{
    withStatus(QStringLiteral("ジャンルフォルダ以下のデータ削除中．．．"), QStringLiteral("ジャンルフォルダ以下のデータ削除終了"),
               false, &EditorCommands::DeleteGenreCascade);
}

void EditorCommands::RunDeleteTitle()
{
    withStatus(QStringLiteral("タイトルフォルダのデータ削除中．．．"), QStringLiteral("タイトルフォルダのデータ削除終了"), false,
               &EditorCommands::deleteTitleAndRefresh);
}

void EditorCommands::deleteTitleAndRefresh()
{
    DeleteTitle();
    m_v.RefreshTitleGrid();
}

void EditorCommands::RunHtmlOutput()
{
    QObject *owner = m_v.dialogOwner();
    if (!m_ds.ask(QStringLiteral("ＨＴＭＬファイル作成を実行しますか？"), MsgKind::Question, QStringLiteral("ＨＴＭＬ出力"),
                  owner))
        return;
    m_v.showStatus(QStringLiteral("ＨＴＭＬファイル出力中..."));
    bool finished = false;
    HtmlFileCreate(
        m_g, m_ds, owner, [this](int done, int total) { m_v.showProgress(QStringLiteral("ページ"), done, total); },
        &finished);
    m_v.hideProgress();
    m_v.showStatus(finished ? QStringLiteral("ＨＴＭＬファイル出力終了")
                            : QStringLiteral("ＨＴＭＬファイル出力は完了していません。"));
}

CountProgress EditorCommands::counter(const QString &unit)
{
    auto done = std::make_shared<int>(0);
    return [this, unit, done](int n) { m_v.showProgress(unit, *done += n, -1); };
}

bool EditorCommands::askSave()
{
    return m_v.f3Caption() == kUpdateCaption
           && m_ds.ask(QStringLiteral("データの更新を行いますか？"), MsgKind::Question, QString(), m_v.dialogOwner());
}

void EditorCommands::OfferSaveInto(const QString &connectString)
{
    if (connectString.isEmpty() || !askSave())
        return;
    struct Restore {
        QString &target;
        QString value;
        ~Restore() { target = value; }
    } restore{m_g.dbConnectString, m_g.dbConnectString};
    m_g.dbConnectString = connectString;
    SaveTitleEntry();
}

bool EditorCommands::OfferSaveBeforeReplacing(bool canCancel)
{
    if (!m_v.entryChanged())
        return true;
    const MsgAnswer a = m_ds.message(MessageRequest{QStringLiteral("データの更新を行いますか？"), MsgKind::Question, QString(),
                                                    canCancel ? MsgButtons::YesNoCancel : MsgButtons::YesNo},
                                     m_v.dialogOwner());
    if (a == MsgAnswer::Cancel)
        return false;
    if (a == MsgAnswer::Yes) {
        SaveTitleEntry();
        // Not saved (refused, failed or changed elsewhere): the entry is still there to see.
        if (canCancel && m_v.f3Caption() == kUpdateCaption)
            return false;
    }
    return true;
}

void EditorCommandView::showLoadedTitle(Global &g, const TitleEntry &entry)
{
    setTitleEntry(entry);
    // The row's own values, not the boxes': a box may show a value otherwise (line
    // breaks dropped), and the row is checked against what was read.
    setLoadedEntry(entry);
    EnableTitleMenus();
    g.titleEditMode = 2;
    setF3Caption(kUpdateCaption);
}

bool EditorCommands::ConfirmClose()
{
    QObject *owner = m_v.dialogOwner();
    if (askSave())
        SaveTitleEntry();
    else if (m_v.f3Caption() == kUpdateCaption)
        m_v.setTitleEntry(m_v.loadedEntry());  // not to be saved: the stored title again
    return m_ds.ask(QStringLiteral("データ編集を終了しますか？"), MsgKind::Question, QStringLiteral("データ編集"), owner);
}

bool EditorCommands::KeepPendingEdit()
{
    if (m_g.dbConnectString.isEmpty() || !m_v.entryChanged())
        return false;
    KeptEdit kept;
    const int category = m_v.categoryIndex(), genre = m_v.genreIndex();
    kept.categoryId = category >= 0 ? m_v.categoryItemKey(category) : m_g.currentCategoryId;
    kept.genreId = genre >= 0 ? m_v.genreItemKey(genre) : m_g.currentGenreId;
    kept.titleId = m_g.currentTitleId;
    kept.typed = m_v.titleEntry();
    kept.loaded = m_v.loadedEntry();
    return WriteKeptEdit(ConnectStringPath(m_g.dbConnectString), kept);
}

void EditorCommands::OfferKeptEdit()
{
    if (m_g.dbConnectString.isEmpty())
        return;
    const QString library = ConnectStringPath(m_g.dbConnectString);
    KeptEdit kept;
    if (!ReadKeptEdit(library, kept))
        return;
    QObject *owner = m_v.dialogOwner();
    const QString title = QStringLiteral("データ編集");
    if (!m_ds.ask(QStringLiteral("前回、保存されずに終了した入力があります。") + kLineJoin
                      + QStringLiteral("「%1」").arg(kept.typed.folderName) + kLineJoin + QStringLiteral("表示しますか？"),
                  MsgKind::Question, title, owner)) {
        RemoveKeptEdit(library);
        return;
    }
    // Asked again at the next activation when the entry's own edit is kept.
    if (!OfferSaveBeforeReplacing(true))
        return;
    bool shown = false;
    try {
        for (int i = 0; i < m_v.categoryCount() && !shown; ++i)
            if (m_v.categoryItemKey(i) == kept.categoryId) {
                m_v.selectCategory(i);
                shown = true;
            }
        bool genre = false;
        for (int i = 0; shown && i < m_v.genreCount() && !genre; ++i)
            if (m_v.genreItemKey(i) == kept.genreId) {
                m_v.selectGenre(i);
                genre = true;
            }
        TitleEntry stored;
        shown = shown && genre && LoadTitleById(m_g, kept.titleId, stored);
    } catch (const DbError &e) {
        reportDbError(title, e.message());
        return;  // kept for a later try
    }
    RemoveKeptEdit(library);
    if (!shown) {
        m_ds.message(QStringLiteral("前回の入力のタイトルは、もう登録されていません。") + kLineJoin
                         + QStringLiteral("入力は表示できませんでした。"),
                     MsgKind::Exclamation, title, MsgButtons::Ok, owner);
        return;
    }
    // Loaded as it was read back then: F3 checks the row against that before it writes.
    m_g.currentTitleId = kept.titleId;
    m_v.showLoadedTitle(m_g, kept.loaded);
    m_v.setTitleEntry(kept.typed);
    m_v.RefreshTitleGrid();
}

}  // namespace tessaly
