#include "EditorScreen.h"

#include "AutoSet.h"
#include "Database.h"
#include "DialogService.h"
#include "EditorRecords.h"
#include "EditorView.h"
#include "Global.h"
#include "TitleGrid.h"

namespace tessaly {

const QString kEditorTitle = QStringLiteral("データ編集");
const QString kBaseFolderNotSet = QStringLiteral("未設定です。");

namespace {

using List = EditorView::List;
using Field = EditorView::Field;
using Check = EditorView::Check;

const QString kTitleSelection = QStringLiteral("タイトル選択");

}  // namespace

EditorScreen::EditorScreen(Global &g, DialogService &ds, EditorView &view)
    : m_g(g), m_ds(ds), m_v(view), m_grid(std::make_unique<TitleGrid>())
{
    m_v.m_screen = this;
    m_grid->setStaleHandler([this] { gridStale(); });
    // Shown in the status line: a message box would come up while the view paints.
    m_grid->setFaultHandler([this](const QString &message) {
        m_v.showStatus(QStringLiteral("一覧を読み取れません (スクロールすると読み直します): ") + message);
    });
}

EditorScreen::~EditorScreen()
{
    if (m_v.m_screen == this)
        m_v.m_screen = nullptr;
}

QAbstractItemModel *EditorScreen::gridModel() const
{
    return m_grid->model();
}

template <typename F>
bool EditorScreen::guarded(F f)
{
    if (m_depth++ == 0)
        m_faulted = false;
    bool ok = true;
    try {
        f();
    } catch (const DbError &e) {
        ok = false;
        m_faulted = true;
        reportFault(e.message());
    }
    if (--m_depth == 0 && !m_faulted)
        m_lastFault.clear();
    return ok;
}

// The same fault is shown once, not at every load, activation and list fill.
void EditorScreen::reportFault(const QString &message)
{
    if (message == m_lastFault)
        return;
    m_lastFault = message;
    m_ds.message(message, MsgKind::Critical, kEditorTitle, MsgButtons::Ok, m_v.dialogOwner());
}

// --- shared operations -------------------------------------------------------------

void EditorScreen::ShowBaseFolder()
{
    guarded([this] { showBaseFolder(); });
}

void EditorScreen::showBaseFolder()
{
    QString text;
    {
        Connection conn(m_g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from allTop where ID=1"));
        if (!rs.eof())
            text = rs.text(QStringLiteral("allTop"));
    }
    m_v.setFieldText(Field::BaseFolder, text.isEmpty() ? kBaseFolderNotSet : text);
}

void EditorScreen::FillCategoryList()
{
    guarded([this] { fillCategoryList(); });
}

void EditorScreen::fillCategoryList()
{
    const QString remembered = m_v.listText(List::Category);
    int wanted = 0;
    int count = 0;
    {
        Connection conn(m_g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from photoGraph order by ID"));
        m_v.clearList(List::Category);
        for (; !rs.eof(); rs.moveNext(), ++count) {
            const QString name = rs.text(QStringLiteral("topFolderName"));
            m_v.addListEntry(List::Category, name, rs.number(QStringLiteral("ID")));
            if (!remembered.isEmpty() && name == remembered)
                wanted = count;  // a later equal name wins
        }
    }
    const QString text = count > 0 ? m_v.listEntryText(List::Category, wanted) : QString();
    m_v.setListText(List::Category, text);
    if (!text.isEmpty()) {
        m_v.setListPosition(List::Category, wanted);
        categoryChosen();
        m_g.currentCategoryId = m_v.listEntryKey(List::Category, wanted);
    }
}

void EditorScreen::FillGenreList()
{
    guarded([this] { fillGenreList(); });
}

void EditorScreen::fillGenreList()
{
    const QString remembered = m_v.listText(List::Genre);
    const int categoryPos = m_v.listPosition(List::Category);
    if (categoryPos < 0) {
        // No category chosen: it has no genres to show.
        m_v.clearList(List::Genre);
        return;
    }
    const int32_t categoryKey = m_v.listEntryKey(List::Category, categoryPos);
    int wanted = 0;
    int count = 0;
    {
        Connection conn(m_g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from photoYear where ID=? order by ID1"), {categoryKey});
        m_v.clearList(List::Genre);
        for (; !rs.eof(); rs.moveNext(), ++count) {
            const QString name = rs.text(QStringLiteral("yearFolderName"));
            m_v.addListEntry(List::Genre, name, rs.number(QStringLiteral("ID1")));
            if (!remembered.isEmpty() && name == remembered)
                wanted = count;
        }
    }
    m_v.setListText(List::Genre, count > 0 ? m_v.listEntryText(List::Genre, wanted) : QString());
    // The first genre is only shown, not selected.
    if (wanted != 0) {
        m_v.setListPosition(List::Genre, wanted);
        genreChosen();
        m_g.currentGenreId = m_v.listEntryKey(List::Genre, wanted);
    }
}

void EditorScreen::RefreshTitleGrid()
{
    guarded([this] { refreshTitleGrid(); });
}

void EditorScreen::refreshTitleGrid()
{
    const int categoryPos = m_v.listPosition(List::Category);
    const int genrePos = m_v.listPosition(List::Genre);
    // The genre's titles come by the genre index ("+ID" keeps the category's from being
    // chosen), a category's by the category index, both already in ID2 order.
    QString filter;
    QVariantList params;
    if (categoryPos < 0 && genrePos >= 0) {
        filter = QStringLiteral("ID1=?");
        params << m_v.listEntryKey(List::Genre, genrePos);
    } else if (categoryPos >= 0 && genrePos < 0) {
        filter = QStringLiteral("ID=?");
        params << m_v.listEntryKey(List::Category, categoryPos);
    } else if (categoryPos >= 0 && genrePos >= 0) {
        filter = QStringLiteral("+ID=? And ID1=?");
        params << m_v.listEntryKey(List::Category, categoryPos) << m_v.listEntryKey(List::Genre, genrePos);
    }
    // The same selection read again (after a save, a deletion, another program's
    // writes) keeps the view where it was; another one starts at its top.
    const bool same = m_grid->isOpen() && m_grid->filter() == filter && m_grid->params() == params;
    const int top = same ? m_v.gridTopRow() : 0;
    try {
        m_grid->refresh(m_g.dbConnectString, filter, params);
    } catch (...) {
        m_v.layoutGrid();
        throw;
    }
    m_v.layoutGrid();
    if (top > 0 && m_grid->rowCount() > 0)
        m_v.scrollGridTo(qMin(top, m_grid->rowCount() - 1));
    showLoadedTitleRow();
}

void EditorScreen::gridStale()
{
    guarded([this] { refreshTitleGrid(); });
}

void EditorScreen::showLoadedTitleRow()
{
    int row = -1;
    if (m_g.titleEditMode != 0 && m_g.currentTitleId != 0) {
        try {
            row = m_grid->rowOfKey(m_g.currentTitleId);
        } catch (const DbError &) {
            row = -1;  // read again with the next rows
        }
    }
    m_v.highlightGridRow(row);
}

void EditorScreen::ClearTitleEntry()
{
    clearTitleEntry();
}

void EditorScreen::clearTitleEntry()
{
    m_v.setF3Caption(QString());
    m_g.titleEditMode = 0;
    for (Field f : {Field::TitleName, Field::TitleFolder, Field::TitleLink, Field::TitleHtml, Field::TitlePhoto})
        m_v.setFieldText(f, QString());
    m_v.setCheckValue(Check::LinkButton, 0);
    m_v.setCheckValue(Check::HtmlButton, 0);
    m_g.currentTitleId = 0;
}

void EditorScreen::DisableTitleMenus()
{
    m_v.setTitleMenusEnabled(false);
}

void EditorScreen::EnableTitleMenus()
{
    m_v.setTitleMenusEnabled(true);
}

// --- handlers --------------------------------------------------------------------

void EditorScreen::Load()
{
    DisableTitleMenus();
    m_g.titleEditMode = 0;
    guarded([this] {
        refreshTitleGrid();
        fillCategoryList();
    });
}

void EditorScreen::Activate()
{
    const bool readable = guarded([this] { showBaseFolder(); });
    runAutoSet(true, readable);
}

void EditorScreen::RunAutoSet(bool resetSetupStage)
{
    const bool readable = guarded([this] { Connection check(m_g.dbConnectString); });
    runAutoSet(resetSetupStage, readable);
}

// A library that cannot be read has been reported already: no question then, the
// lists are still emptied and the status line tells why.
void EditorScreen::runAutoSet(bool resetSetupStage, bool libraryReadable)
{
    AutoSetCounts counts;
    bool ran = false, stopped = false;
    if (libraryReadable) {
        AutoSetOptions options;
        options.owner = m_v.dialogOwner();
        options.progress = [this](const AutoSetCounts &c) {
            m_v.showProgress(QStringLiteral("フォルダ"), c.foldersListed, -1);
        };
        // Nothing runs while the question is open.
        options.started = [this] {
            m_v.showStatus(QStringLiteral("テーブル切り離し処理..."));
            m_v.showStatus(QStringLiteral("オートセット実行中..."));
        };
        const AutoSetResult r = AutoSetMain(m_g, m_ds, &counts, options);
        ran = r.confirmed;
        stopped = r.stopped;
        m_v.hideProgress();
    }
    m_v.setListText(List::Category, QString());
    m_v.setListText(List::Genre, QString());
    FillCategoryList();
    const QString done = QStringLiteral("オートセットを終了しました。");
    if (!libraryReadable)
        m_v.showStatus(m_lastFault);
    else if (stopped)
        m_v.showStatus(QStringLiteral("オートセットは途中で止まりました。") + AutoSetAddedText(counts));
    else
        m_v.showStatus(ran ? done + AutoSetAddedText(counts) : done);
    if (resetSetupStage)
        m_g.folderSetupStage = 0;
}

void EditorScreen::CategoryChosen()
{
    guarded([this] { categoryChosen(); });
}

void EditorScreen::categoryChosen()
{
    const int pos = m_v.listPosition(List::Category);
    if (pos < 0)
        return;
    m_g.currentCategoryId = 0;
    const int32_t key = m_v.listEntryKey(List::Category, pos);
    {
        Connection conn(m_g.dbConnectString);
        {
            RowSet rs(conn, QStringLiteral("select * from photoGraph where ID=?"), {key});
            m_v.setFieldText(Field::CategoryFolder, rs.eof() ? QString() : rs.text(QStringLiteral("topFolder")));
            m_v.setFieldText(Field::GenreFolder, QString());
        }
        m_g.currentCategoryId = key;
        RowSet rs(conn, QStringLiteral("select * from photoYear where ID=? order by ID1"), {key});
        m_v.clearList(List::Genre);
        for (; !rs.eof(); rs.moveNext())
            m_v.addListEntry(List::Genre, rs.text(QStringLiteral("yearFolderName")), rs.number(QStringLiteral("ID1")));
    }
    refreshTitleGrid();
    if (m_g.titleEditMode != 0)
        clearTitleEntry();
}

void EditorScreen::GenreChosen()
{
    guarded([this] { genreChosen(); });
}

void EditorScreen::genreChosen()
{
    const int pos = m_v.listPosition(List::Genre);
    if (pos < 0)
        return;
    const int32_t key = m_v.listEntryKey(List::Genre, pos);
    {
        Connection conn(m_g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from photoYear where ID1=?"), {key});
        m_v.setFieldText(Field::GenreFolder, rs.eof() ? QString() : rs.text(QStringLiteral("yearFolder")));
    }
    refreshTitleGrid();
    if (m_g.titleEditMode != 0)
        clearTitleEntry();
    m_g.currentGenreId = key;
}

void EditorScreen::SelectCategory(int position)
{
    guarded([this, position] {
        m_v.setListPosition(List::Category, position);
        categoryChosen();
    });
}

void EditorScreen::SelectGenre(int position)
{
    guarded([this, position] {
        m_v.setListPosition(List::Genre, position);
        genreChosen();
    });
}

void EditorScreen::GridRowClicked(int row)
{
    if (m_v.listPosition(List::Category) < 0) {
        m_ds.message(QStringLiteral("カテゴリー名を選択してください！"), MsgKind::Exclamation, kTitleSelection,
                     MsgButtons::Ok, m_v.dialogOwner());
        m_v.focusControl(EditorCommandView::Control::TopFolder);
        return;
    }
    if (m_v.listPosition(List::Genre) < 0) {
        m_ds.message(QStringLiteral("ジャンルを選択してください！"), MsgKind::Exclamation, kTitleSelection,
                     MsgButtons::Ok, m_v.dialogOwner());
        m_v.focusControl(EditorCommandView::Control::YearFolder);
        return;
    }
    if (row < 0 || row >= m_grid->rowCount())
        return;
    const QVariant key = m_grid->cell(row, TitleGrid::ColID2);
    if (!key.isValid())
        return;  // the row could not be read just now
    // Every field comes from the row as it is stored now (the grid's copy may be older),
    // so nothing of the title shown before stays.
    TitleEntry entry = TitleEntryOf([this, row](const QString &field) { return m_grid->value(row, field); });
    guarded([&] { LoadTitleById(m_g, key.toInt(), entry); });
    m_g.currentTitleId = key.toInt();
    m_v.showLoadedTitle(m_g, entry);
}

}  // namespace tessaly
