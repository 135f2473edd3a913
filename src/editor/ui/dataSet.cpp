#include "dataSet.h"

#include "EditorCommandBinder.h"
#include "Global.h"
#include "TitleGrid.h"
#include "Twips.h"
#include "WindowHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>

#include <limits>

namespace tessaly {

namespace {

// Client area in twips.
constexpr int kClientWidth = 10905;
constexpr int kClientHeight = 6435;
// The status line reaches below the client area of the design; the window is made
// tall enough to show it whole.
constexpr int kShownHeight = 6780;

const QColor kGrey(224, 224, 224);
const QColor kGreen(192, 255, 192);
const QColor kYellow(255, 255, 192);
const QColor kWhite(255, 255, 255);

void paint(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
    if (role == QPalette::Window)
        w->setAutoFillBackground(true);
}

QLabel *addLabel(QWidget *parent, const char *name, const char *caption, int l, int t, int w, int h)
{
    auto *label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromUtf8(name));
    // The layout places each caption at the top of its box; centred, the lower ones run
    // under the buttons below them.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(label, l, t, w, h);
    return label;
}

QLineEdit *addText(QWidget *parent, const char *name, const QColor &colour, bool displayOnly, int l, int t, int w,
                   int h)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setReadOnly(displayOnly);
    // A box that only shows is no stop for Tab; a click still lets its text be copied.
    if (displayOnly)
        edit->setFocusPolicy(Qt::ClickFocus);
    // The box holds whatever the library holds: Qt's default limit would cut a long text,
    // and saving the cut text would lose the rest.
    edit->setMaxLength(std::numeric_limits<int>::max());
    paint(edit, QPalette::Base, colour);
    placeTwips(edit, l, t, w, h);
    return edit;
}

// A one-line box takes no line breaks, typed, pasted or set: a link or a path with one
// would break the page it is written into.
class OneLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        int before = 0;
        for (int i = 0; i < pos && i < input.size(); ++i)
            if (input[i] == QLatin1Char('\r') || input[i] == QLatin1Char('\n'))
                ++before;
        input.remove(QLatin1Char('\r'));
        input.remove(QLatin1Char('\n'));
        pos -= before;
        return Acceptable;
    }
};

QComboBox *addList(QWidget *parent, const char *name, int l, int t, int w, int h)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromUtf8(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);  // typing never adds an entry
    paint(combo, QPalette::Base, kGrey);
    paint(combo, QPalette::Button, kGrey);
    placeTwips(combo, l, t, w, h);
    return combo;
}

QCheckBox *addCheck(QWidget *parent, const char *name, const char *caption, int l, int t, int w, int h)
{
    auto *box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setBackgroundRole(QPalette::Window);  // a button's background is its Button colour
    paint(box, QPalette::Window, kYellow);
    placeTwips(box, l, t, w, h);
    return box;
}

QAction *addItem(QMenu *menu, const char *name, const char *caption)
{
    QAction *a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromUtf8(name));
    return a;
}

void addLine(QMenu *menu, const char *name)
{
    // A plain divider line: a separator's caption would be drawn beside it.
    QAction *a = menu->addSeparator();
    a->setObjectName(QString::fromUtf8(name));
}

const char *const kTitleMenus[] = {"フォルダ更新", "linkButton", "openButton", "ファイルの指定", "写真の指定"};

}  // namespace

dataSet::dataSet(WindowHost &host, QWidget *parent)
    : QWidget(parent), m_host(host), m_screen(host.global(), host.dialogs(), *this)
{
    setObjectName(QStringLiteral("dataSet"));
    setWindowTitle(kEditorTitle);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    buildMenus(bar);
    layout->setMenuBar(bar);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setMinimumSize(twipsToPixels(kClientWidth, kClientHeight));
    paint(m_client, QPalette::Window, kGrey);
    layout->addWidget(m_client, 1);
    buildControls();
    resize(twipsToPixels(kClientWidth), twipsToPixels(kShownHeight) + bar->sizeHint().height());

    connect(m_topFolder, qOverload<int>(&QComboBox::activated), this, [this] { userChoice(List::Category); });
    connect(m_yearFolder, qOverload<int>(&QComboBox::activated), this, [this] { userChoice(List::Genre); });
    connect(m_grid, &QTableView::clicked, this, [this](const QModelIndex &i) { gridClicked(i.row()); });
    connect(m_grid->verticalHeader(), &QHeaderView::sectionClicked, this, [this](int row) { gridClicked(row); });
    // A typed name that is not the chosen entry's leaves no entry chosen.
    for (QComboBox *list : {m_topFolder, m_yearFolder})
        connect(list->lineEdit(), &QLineEdit::textEdited, this, [list](const QString &typed) {
            if (list->currentIndex() >= 0 && list->itemText(list->currentIndex()) != typed) {
                const QSignalBlocker block(list);
                const int cursor = list->lineEdit()->cursorPosition();
                list->setCurrentIndex(-1);
                list->setEditText(typed);
                list->lineEdit()->setCursorPosition(cursor);
            }
        });
    m_client->installEventFilter(this);
    // Right clicks that no control takes end here, not in the main window's pop-up.
    m_client->setContextMenuPolicy(Qt::PreventContextMenu);
    setContextMenuPolicy(Qt::PreventContextMenu);

    m_binder = new EditorCommandBinder(this, m_host, *this, [this] { autoSetCommand(); });

    // Window load.
    if (m_host.global().printerUnavailable) {
        action(QStringLiteral("用紙設定"))->setEnabled(false);
        action(QStringLiteral("印刷"))->setEnabled(false);
    }
    m_library = m_host.global().dbConnectString;
    m_screen.Load();
}

dataSet::~dataSet()
{
    // The binder watches every key of the program; it goes before the controls do.
    delete m_binder;
    m_binder = nullptr;
    m_grid->setModel(nullptr);
    // Our frame closes as we go, and the area then announces the next active child:
    // that must not reach this half-destroyed window.
    disconnect(m_activation);
}

void dataSet::buildControls()
{
    QWidget *c = m_client;
    addLabel(c, "Label1", "基準ﾌｫﾙﾀﾞ", 120, 240, 1095, 255);
    m_allTop = addText(c, "AllTop", kGreen, true, 1200, 120, 6735, 375);
    addLabel(c, "Label2", "ｶﾃｺﾞﾘｰ", 120, 720, 975, 255);
    m_topFolder = addList(c, "topFolder", 1200, 720, 2055, 300);
    m_photoGFolder = addText(c, "photoGFolder", kGreen, true, 3240, 720, 5775, 495);
    addLabel(c, "Label3", "ｼﾞｬﾝﾙ", 120, 1080, 975, 255);
    m_yearFolder = addList(c, "yearFolder", 1200, 1080, 2055, 300);
    m_photoYFolder = addText(c, "photoYFolder", kGreen, true, 3240, 1080, 5775, 375);
    addLabel(c, "Label4", "ﾀｲﾄﾙ", 120, 1680, 975, 255);
    // The stored name stays the folder's own name, which the auto-set finds it by.
    m_folderName = addText(c, "fIventsFolderName", kGrey, true, 1200, 1680, 2415, 375);
    m_folder = addText(c, "fIventsFolder", kGreen, true, 3600, 1680, 5415, 375);
    addLabel(c, "Label6", "ﾌｧｲﾙ指定", 120, 2040, 975, 255);
    m_html = addText(c, "fIventsHTML", kWhite, false, 1200, 2040, 6855, 375);
    addLabel(c, "Label5", "ﾘﾝｸ先", 120, 2400, 975, 255);
    m_link = addText(c, "fIventsLink", kGrey, false, 1200, 2400, 6855, 375);
    addLabel(c, "Label7", "表示写真", 120, 2760, 975, 255);
    m_photo = addText(c, "fIventsPhoto", kWhite, false, 1200, 2760, 6855, 375);
    m_linkButton = addCheck(c, "fIventsLinkButton", "ﾘﾝｸﾎﾞﾀﾝ表示", 8040, 2520, 1335, 255);
    m_htmlButton = addCheck(c, "fIventsHtmlButton", "開くﾎﾞﾀﾝ表示", 8040, 2160, 1335, 255);
    m_ivents = addText(c, "fIventsF", kWhite, false, 4560, 0, 3615, 375);
    m_ivents->hide();
    // The boxes the user fills; the folder boxes show the folder's own name as it is.
    for (QLineEdit *box : {m_html, m_link, m_photo, m_ivents})
        box->setValidator(new OneLineValidator(box));

    auto *frame = new QGroupBox(QStringLiteral("削除"), c);
    frame->setObjectName(QStringLiteral("Frame1"));
    placeTwips(frame, 9480, 360, 1455, 1935);
    const char *const deletes[][2] = {{"del1", "カテゴリ"}, {"del2", "ｼﾞｬﾝﾙ"}, {"del3", "ﾌｧｲﾙ"}};
    for (int i = 0; i < 3; ++i) {
        auto *b = new QPushButton(QString::fromUtf8(deletes[i][1]), frame);
        b->setObjectName(QString::fromUtf8(deletes[i][0]));
        placeTwips(b, 120, 300 + i * 520, 1215, 435);
    }

    m_grid = new QTableView(c);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    placeTwips(m_grid, 120, 3240, 10575, 2175);
    m_grid->setModel(m_screen.gridModel());
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Paths keep their ends visible: the file's own name matters most.
    m_grid->setTextElideMode(Qt::ElideMiddle);
    m_grid->setWordWrap(false);  // a wrapped path would lose its end at a space
    m_grid->viewport()->installEventFilter(this);
    // Tab leaves the grid for the next control; Return and Space load the row (below).
    m_grid->setTabKeyNavigation(false);
    m_grid->installEventFilter(this);
    layoutGrid();

    addLabel(c, "Label11", "[ESC:閉じる]", 0, 5640, 1095, 375);
    addLabel(c, "Label8", "ﾌｫﾙﾀﾞ検索追加", 2520, 5640, 1215, 255);
    addLabel(c, "Label10", "ﾌｫﾙﾀﾞ参照選択", 5280, 5640, 1455, 255);
    addLabel(c, "Label9", "ﾀｲﾄﾙﾌｫﾙﾀﾞ参照設定", 7320, 5640, 1695, 255);

    static const char *const captions[12] = {"ﾍﾙﾌﾟ", "", "", "ｵｰﾄｾｯﾄ", "", "ｶﾃｺﾞﾘｰ",
                                             "ｼﾞｬﾝﾙ", "ﾀｲﾄﾙ", "ﾌｧｲﾙ指定", "写真", "", "HTML出力"};
    static const int lefts[12] = {120, 960, 1800, 2760, 3720, 4560, 5400, 6360, 7320, 8160, 9000, 9840};
    for (int i = 0; i < 12; ++i) {
        const int n = i + 1;
        const int width = (n == 3 || n == 7 || n == 12) ? 975 : 855;
        m_f[i] = new QPushButton(QString::fromUtf8(captions[i]), c);
        m_f[i]->setObjectName(QStringLiteral("f%1").arg(n));
        placeTwips(m_f[i], lefts[i], 5880, width, 495);
    }

    m_msgText = addText(c, "MsgText", kWhite, true, 120, 6360, 10335, 375);

    // Over the right end of the status box, which the short status texts leave free.
    m_progress = new QWidget(c);
    m_progress->setObjectName(QStringLiteral("Progress"));
    placeTwips(m_progress, 6720, 6390, 3705, 315);
    auto *row = new QHBoxLayout(m_progress);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_progressText = new QLabel(m_progress);
    m_progressText->setObjectName(QStringLiteral("ProgressText"));
    m_progressText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_progressBar = new QProgressBar(m_progress);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setTextVisible(false);
    row->addWidget(m_progressText, 1);
    row->addWidget(m_progressBar, 1);
    m_progress->hide();
}

void dataSet::buildMenus(QMenuBar *bar)
{
    QMenu *file = bar->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    file->setObjectName(QStringLiteral("ファイル"));
    addItem(file, "閉じる", "閉じる");
    addLine(file, "line0");
    addItem(file, "用紙設定", "用紙設定");
    addItem(file, "印刷", "印刷");
    addItem(file, "終了", "終了");

    m_editMenu = bar->addMenu(QStringLiteral("編集"));
    m_editMenu->setObjectName(QStringLiteral("編集"));
    addItem(m_editMenu, "オートセット", "ｵｰﾄｾｯﾄ");
    addItem(m_editMenu, "フォルダ更新", "ﾌｫﾙﾀﾞ選択");
    addItem(m_editMenu, "linkButton", "ﾘﾝｸﾎﾞﾀﾝの表示/非表示");
    addItem(m_editMenu, "openButton", "開くﾎﾞﾀﾝの表示/非表示");
    addItem(m_editMenu, "ファイルの指定", "ﾌｧｲﾙの指定");
    addItem(m_editMenu, "写真の指定", "写真の指定");
    addLine(m_editMenu, "line2");
    addItem(m_editMenu, "HTML出力", "HTML出力");
    addLine(m_editMenu, "line3");
    addItem(m_editMenu, "基準", "基準フォルダ設定");
    addItem(m_editMenu, "HTML出力先", "HTML出力先設定");

    QMenu *help = bar->addMenu(QStringLiteral("ヘルプ"));
    help->setObjectName(QStringLiteral("ヘルプ"));
    addItem(help, "ヘルプ1", "ヘルプ");
    addItem(help, "このソフトについて", "このソフトについて");
}

QAction *dataSet::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

QLineEdit *dataSet::field(Field which) const
{
    switch (which) {
    case Field::BaseFolder: return m_allTop;
    case Field::CategoryFolder: return m_photoGFolder;
    case Field::GenreFolder: return m_photoYFolder;
    case Field::TitleName: return m_folderName;
    case Field::TitleFolder: return m_folder;
    case Field::TitleHtml: return m_html;
    case Field::TitleLink: return m_link;
    case Field::TitlePhoto: return m_photo;
    case Field::TitleIvents: return m_ivents;
    }
    return nullptr;
}

QCheckBox *dataSet::check(Check which) const
{
    return which == Check::LinkButton ? m_linkButton : m_htmlButton;
}

// --- EditorView ----------------------------------------------------------------

void dataSet::clearList(List which)
{
    QComboBox *c = list(which);
    const QSignalBlocker block(c);
    c->clear();
    c->setEditText(QString());
    m_chosen[int(which)] = -1;
}

// A choice by the user empties a loaded title: one with edits is offered for saving
// first, and a cancel puts the list back on the entry chosen before.
void dataSet::userChoice(List which)
{
    QComboBox *c = list(which);
    const int before = m_chosen[int(which)];
    if (!m_binder->commands().OfferSaveBeforeReplacing(true)) {
        const QSignalBlocker block(c);
        c->setCurrentIndex(before);
        if (before < 0)
            c->setEditText(m_chosenText[int(which)]);
        return;
    }
    m_chosen[int(which)] = c->currentIndex();
    m_chosenText[int(which)] = c->currentText();
    which == List::Category ? m_screen.CategoryChosen() : m_screen.GenreChosen();
}

void dataSet::gridClicked(int row)
{
    if (!m_binder->commands().OfferSaveBeforeReplacing(true)) {
        m_screen.showLoadedTitleRow();
        return;
    }
    m_screen.GridRowClicked(row);
    // A save before it read the grid again, and the row marked by the click went with it.
    m_screen.showLoadedTitleRow();
}

void dataSet::addListEntry(List which, const QString &text, int32_t key)
{
    QComboBox *c = list(which);
    const QSignalBlocker block(c);
    const int position = c->currentIndex();
    const QString shown = c->currentText();
    c->addItem(text, key);
    // The first entry of an empty combo box would become selected on its own.
    if (c->currentIndex() != position) {
        c->setCurrentIndex(position);
        c->setEditText(shown);
    }
}

int dataSet::listCount(List which) const
{
    return list(which)->count();
}

QString dataSet::listEntryText(List which, int position) const
{
    return list(which)->itemText(position);
}

int32_t dataSet::listEntryKey(List which, int position) const
{
    return list(which)->itemData(position).toInt();
}

int dataSet::listPosition(List which) const
{
    return list(which)->currentIndex();
}

void dataSet::setListPosition(List which, int position)
{
    QComboBox *c = list(which);
    const QSignalBlocker block(c);
    c->setCurrentIndex(position);
    m_chosen[int(which)] = c->currentIndex();
    m_chosenText[int(which)] = c->currentText();
}

QString dataSet::listText(List which) const
{
    return list(which)->currentText();
}

// A text that is not the selected entry's leaves no entry selected, so that nothing
// goes on under an entry the list no longer shows.
void dataSet::setListText(List which, const QString &text)
{
    QComboBox *c = list(which);
    const QSignalBlocker block(c);
    if (c->currentIndex() >= 0 && c->itemText(c->currentIndex()) != text)
        c->setCurrentIndex(-1);
    c->setEditText(text);
    m_chosen[int(which)] = c->currentIndex();
    m_chosenText[int(which)] = text;
}

QString dataSet::fieldText(Field which) const
{
    return field(which)->text();
}

void dataSet::setFieldText(Field which, const QString &text)
{
    field(which)->setText(text);
}

int dataSet::checkValue(Check which) const
{
    return check(which)->isChecked() ? 1 : 0;
}

void dataSet::setCheckValue(Check which, int value)
{
    check(which)->setChecked(value != 0);
}

void dataSet::setTitleMenusEnabled(bool enabled)
{
    for (const char *name : kTitleMenus)
        action(QString::fromUtf8(name))->setEnabled(enabled);
}

void dataSet::layoutGrid()
{
    QFont f = m_grid->font();
    f.setPointSize(11);
    m_grid->setFont(f);
    const int columns = m_grid->model() ? m_grid->model()->columnCount() : 0;
    for (int col = 0; col < columns; ++col) {
        int width = 0;
        switch (col) {
        case TitleGrid::ColFolderName: width = 2000; break;
        case TitleGrid::ColLink: width = 4200; break;
        case TitleGrid::ColHtml: width = 4000; break;
        default: break;
        }
        m_grid->setColumnHidden(col, width == 0);
        if (width > 0)
            m_grid->setColumnWidth(col, twipsToPixels(width));
    }
}

int dataSet::gridTopRow() const
{
    return qMax(0, m_grid->rowAt(0));
}

void dataSet::scrollGridTo(int row)
{
    m_grid->scrollTo(m_grid->model()->index(row, TitleGrid::ColFolderName), QAbstractItemView::PositionAtTop);
}

void dataSet::highlightGridRow(int row)
{
    QItemSelectionModel *selection = m_grid->selectionModel();
    if (row < 0) {
        selection->clearSelection();
        return;
    }
    const QModelIndex at = m_grid->model()->index(row, TitleGrid::ColFolderName);
    selection->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// --- EditorCommandView -----------------------------------------------------------

void dataSet::showStatus(const QString &text)
{
    m_msgText->setText(text);
    m_msgText->setCursorPosition(0);  // a long text shows from its start
    m_msgText->repaint();
}

void dataSet::showProgress(const QString &unit, int done, int total)
{
    if (total >= 0) {
        m_progressBar->setRange(0, qMax(total, 1));
        m_progressBar->setValue(qMin(done, qMax(total, 1)));
        m_progressText->setText(QStringLiteral("%1 %2/%3").arg(unit).arg(done).arg(total));
    } else {
        m_progressBar->setRange(0, 0);  // no total known: a busy bar beside the count
        m_progressText->setText(QStringLiteral("%1 %2").arg(unit).arg(done));
    }
    // Repaint only, up to 25 times a second (the site run calls at most every 50 ms): the
    // window takes no input while a command runs.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const bool last = total >= 0 && done >= total;
    if (m_progress->isVisible() && !last && now - m_progressShownMs < 40)
        return;
    m_progressShownMs = now;
    m_progress->show();
    m_progress->raise();
    m_progress->repaint();
    // The rest of the window repaints too (areas uncovered meanwhile, the indicator's
    // motion); the command binder drops every input to the window until the run ends.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);  // asked for just now
}

void dataSet::hideProgress()
{
    m_progress->hide();
    m_progressShownMs = 0;
}

void dataSet::processEvents()
{
    QCoreApplication::processEvents();
}

void dataSet::focusControl(Control c)
{
    switch (c) {
    case Control::TopFolder: m_topFolder->setFocus(); break;
    case Control::YearFolder: m_yearFolder->setFocus(); break;
    case Control::IventsLink: m_link->setFocus(); break;
    }
}

QString dataSet::f3Caption() const
{
    return m_f[2]->text();
}

void dataSet::setF3Caption(const QString &text)
{
    m_f[2]->setText(text);
}

// --- activation ----------------------------------------------------------------

void dataSet::activate()
{
    if (m_binder->isBusy()) {
        // Activated while a command runs (it let window messages run): offered after it.
        QTimer::singleShot(50, this, &dataSet::activate);
        return;
    }
    m_activating = true;
    libraryChanged();
    m_activating = false;
    // The activation's auto-set is a long command like F4: no input meanwhile. It ends
    // by reloading the lists, which empties the entry: edits are offered for saving
    // first, and a cancel keeps them and skips the run this time.
    m_binder->runBusy([this] {
        if (m_binder->commands().OfferSaveBeforeReplacing(true))
            m_screen.Activate();
        // After the auto-set, whose reload would empty the entry again.
        m_binder->commands().OfferKeptEdit();
    });
}

bool dataSet::offerSaveBeforeEnd()
{
    bool end = true;
    m_binder->runBusy([this, &end] { end = m_binder->commands().OfferSaveBeforeReplacing(true); });
    return end;
}

bool dataSet::keepPendingEdit()
{
    return m_binder->commands().KeepPendingEdit();
}

void dataSet::libraryChanged()
{
    const QString now = m_host.global().dbConnectString;
    if (m_library == now)
        return;
    if (m_binder->isBusy()) {
        QTimer::singleShot(50, this, &dataSet::libraryChanged);
        return;
    }
    m_binder->runBusy([this, now] {
        m_binder->commands().OfferSaveInto(m_library);
        m_library = now;
        Global &g = m_host.global();
        g.currentCategoryId = g.currentGenreId = g.currentTitleId = 0;
        m_screen.ClearTitleEntry();
        m_screen.DisableTitleMenus();
        setListText(List::Category, QString());
        setListText(List::Genre, QString());
        clearList(List::Genre);
        for (Field f : {Field::CategoryFolder, Field::GenreFolder, Field::TitleIvents})
            setFieldText(f, QString());
        m_screen.Load();
        m_screen.ShowBaseFolder();
    });
    // Shown while active, the window gets no activation that would offer it.
    if (!m_activating)
        m_binder->runBusy([this] { m_binder->commands().OfferKeptEdit(); });
}

void dataSet::closeEvent(QCloseEvent *e)
{
    if (m_binder && !m_binder->confirmClose()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

void dataSet::autoSetCommand()
{
    if (m_binder->commands().OfferSaveBeforeReplacing(true))
        m_screen.AutoSetCommand();
}

// The editor is activated when it becomes the active child of the main window: not
// when the main window gets the focus back from a message box or another program.
void dataSet::watchActivation()
{
    m_sub = qobject_cast<QMdiSubWindow *>(parentWidget());
    QMdiArea *area = m_sub ? m_sub->mdiArea() : nullptr;
    if (!area) {
        // Shown on its own: activated once, when shown.
        QMetaObject::invokeMethod(this, &dataSet::activate, Qt::QueuedConnection);
        return;
    }
    m_activation = connect(area, &QMdiArea::subWindowActivated, this, &dataSet::subWindowActivated);
    if (area->activeSubWindow() == m_sub)
        subWindowActivated(m_sub);
}

void dataSet::subWindowActivated(QMdiSubWindow *sub)
{
    if (!sub)
        return;  // the main window lost the focus; its active child stays the same
    if (sub != m_sub) {
        m_active = false;
        return;
    }
    if (m_active)
        return;
    m_active = true;
    // Runs after the window has come to the front, outside the activation signal.
    QMetaObject::invokeMethod(this, &dataSet::activate, Qt::QueuedConnection);
}

bool dataSet::event(QEvent *e)
{
    if (e->type() == QEvent::Show && !m_shownOnce) {
        m_shownOnce = true;
        const bool result = QWidget::event(e);
        watchActivation();
        return result;
    }
    return QWidget::event(e);
}

// The right mouse button on the window's own surface opens 編集 as a pop-up menu.
bool dataSet::eventFilter(QObject *watched, QEvent *event)
{
    // A shortened path shows whole as the cell's tip.
    if (watched == m_grid->viewport() && event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex at = m_grid->indexAt(help->pos());
        const QString text = at.data().toString();
        if (at.isValid() && at.column() != TitleGrid::ColFolderName && !text.isEmpty())
            QToolTip::showText(help->globalPos(), text, m_grid->viewport(), m_grid->visualRect(at));
        else
            QToolTip::hideText();
        return true;
    }
    // From the keyboard a row is loaded as a click loads it, with the same questions.
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_grid->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && current.isValid()) {
            gridClicked(current.row());
            return true;
        }
    }
    if (watched == m_client && event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::RightButton && !m_client->childAt(me->position().toPoint())) {
            m_editMenu->popup(me->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tessaly
