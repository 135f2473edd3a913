// The editor window: controls and menus, load and activation with the auto-set, the
// category and genre lists, the title grid and the title entry area.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "MainWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "TitleGrid.h"
#include "Twips.h"
#include "WindowHost.h"
#include "dataSet.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

using List = EditorView::List;
using Field = EditorView::Field;
using Check = EditorView::Check;

const QString kAsk = QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？");
const QString kDone = QStringLiteral("オートセットを終了しました。");

class FakeHost : public WindowHost {
public:
    Global g;
    ScriptedDialogService ds;
    NoPrinterSettings noPrinter;
    Global &global() override { return g; }
    DialogService &dialogs() override { return ds; }
    PrinterSettings &printer() override { return noPrinter; }
    QWidget *showWindow(const QString &) override { return nullptr; }
    QWidget *findWindow(const QString &) const override { return nullptr; }
    void showHelp() override {}
    void showAbout() override {}
    void endProgram() override {}
    void printWindowImage(QWidget *) override {}
};

// Categories A (genres A1, A2) and B (genre B1); titles t1..t3 in A1, t4 in A2, t5 in B1.
void fillLibrary(const QString &lib, const QString &base)
{
    sql(lib, QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {base});
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values (?, 'A')"), {base + QStringLiteral("/A")});
    sql(lib, QStringLiteral("insert into photoGraph (topFolder, topFolderName) values (?, 'B')"), {base + QStringLiteral("/B")});
    sql(lib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (1, ?, 'A1')"), {base + QStringLiteral("/A/A1")});
    sql(lib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (1, ?, 'A2')"), {base + QStringLiteral("/A/A2")});
    sql(lib, QStringLiteral("insert into photoYear (ID, yearFolder, yearFolderName) values (2, ?, 'B1')"), {base + QStringLiteral("/B/B1")});
    const char *rows[][8] = {
        // ID, ID1, name, link, LinkButton, html, HtmlButton, photo
        {"1", "1", "t1", "http://one", "-1", "one.html", "0", "one.jpg"},
        {"1", "1", "t2", nullptr, "1", "", "-1", nullptr},
        {"1", "1", "t3", "", "0", nullptr, "0", ""},
        {"1", "2", "t4", "four", "0", "four.html", "0", "four.jpg"},
        {"2", "3", "t5", "five", "0", "five.html", "0", "five.jpg"},
    };
    for (const auto &r : rows) {
        auto v = [](const char *s) { return s ? QVariant(QString::fromUtf8(s)) : QVariant(); };
        sql(lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, "
                                "IventsLinkButton, iventsHTML, IventsHtmlButton, Ivents, iventsPhoto) "
                                "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {QString::fromUtf8(r[0]).toInt(), QString::fromUtf8(r[1]).toInt(), v(r[2]),
             base + QStringLiteral("/x/") + QString::fromUtf8(r[2]), v(r[3]), QString::fromUtf8(r[4]).toInt(), v(r[5]),
             QString::fromUtf8(r[6]).toInt(), v(r[5]), v(r[7])});
    }
}

QStringList entries(dataSet &w, List l)
{
    QStringList out;
    for (int i = 0; i < w.listCount(l); ++i)
        out << w.listEntryText(l, i);
    return out;
}

QStringList gridNames(dataSet &w)
{
    QStringList out;
    for (int r = 0; r < w.screen().grid().rowCount(); ++r)
        out << w.screen().grid().cell(r, TitleGrid::ColFolderName).toString();
    return out;
}

int rowOf(dataSet &w, const QString &name)
{
    return gridNames(w).indexOf(name);
}

}  // namespace

class TestDataSet : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_dir, m_lib, m_base;
    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<dataSet> m_w;

    // A window on the fixture library; the load has run.
    dataSet &open(bool fill = true)
    {
        if (fill)
            fillLibrary(m_lib, m_base);
        m_w = std::make_unique<dataSet>(*m_host);
        return *m_w;
    }
    QList<MessageRequest> boxes() const { return m_host->ds.messages(); }
    // Shows the window on its own; being shown activates it once (answered No here).
    void showEditor()
    {
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QTRY_COMPARE(boxes().size(), 1);
        QCOMPARE(boxes().first().text, kAsk);
        m_host->ds.clear();
    }
    void chooseCategory(int pos)
    {
        m_w->list(List::Category)->setCurrentIndex(pos);
        emit m_w->list(List::Category)->activated(pos);
    }
    void chooseGenre(int pos)
    {
        m_w->list(List::Genre)->setCurrentIndex(pos);
        emit m_w->list(List::Genre)->activated(pos);
    }
    void clickRow(const QString &name)
    {
        const int row = rowOf(*m_w, name);
        QVERIFY2(row >= 0, qPrintable(name));
        QTableView *grid = m_w->grid();
        const QModelIndex index = grid->model()->index(row, TitleGrid::ColFolderName);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(index).center());
    }

private slots:
    void init()
    {
        m_dir = m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('_')
                + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        QDir(m_dir).removeRecursively();
        m_lib = makeLibrary(m_dir);
        m_base = makeDir(m_dir + QStringLiteral("/base"));
        m_host = std::make_unique<FakeHost>();
        m_host->g = makeGlobal(m_lib);
        m_host->g.printerUnavailable = false;
    }
    void cleanup()
    {
        m_w.reset();
        m_host.reset();
    }

    void controlsHaveTheirPlaceCaptionAndColour_data();
    void controlsHaveTheirPlaceCaptionAndColour();
    void functionKeyButtons();
    void menus();
    void printerMenusOffWithoutPrinter();
    void gridColumns();

    void loadSelectsFirstCategoryAndShowsItsTitles();
    void emptyLibrary();
    void everyActivationAsksAndReloads_data();
    void everyActivationAsksAndReloads();
    void autoSetCommandKeepsTheSetupStage();
    void f4KeyButtonAndMenuRunTheAutoSet_data();
    void f4KeyButtonAndMenuRunTheAutoSet();
    void rememberedCategory_data();
    void rememberedCategory();
    void rememberedGenre_data();
    void rememberedGenre();
    void categoryAndGenreChoices();
    void gridClickNeedsCategoryAndGenre();
    void gridClickCopiesTheRow();
    void storedFlagsTickTheBoxes_data();
    void storedFlagsTickTheBoxes();
    void choiceClearsALoadedTitle();
    void gridDoesNotBlockWrites();
    void unreadableLibraryIsReportedOnce_data();
    void unreadableLibraryIsReportedOnce();
    void rightButtonOnTheSurfaceOpensEditMenu();
    void activationInTheMainWindow();
};

void TestDataSet::controlsHaveTheirPlaceCaptionAndColour_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QColor>("colour");  // invalid: not checked

    const QColor grey(224, 224, 224), green(192, 255, 192), yellow(255, 255, 192), none;
    auto row = [](const char *n, const char *c, QRect r, QColor col) {
        QTest::newRow(n) << QString::fromUtf8(n) << QString::fromUtf8(c) << r << col;
    };
    row("Label1", "基準ﾌｫﾙﾀﾞ", QRect(120, 240, 1095, 255), none);
    row("AllTop", "", QRect(1200, 120, 6735, 375), green);
    row("Label2", "ｶﾃｺﾞﾘｰ", QRect(120, 720, 975, 255), none);
    row("topFolder", "", QRect(1200, 720, 2055, 300), grey);
    row("photoGFolder", "", QRect(3240, 720, 5775, 495), green);
    row("Label3", "ｼﾞｬﾝﾙ", QRect(120, 1080, 975, 255), none);
    row("yearFolder", "", QRect(1200, 1080, 2055, 300), grey);
    row("photoYFolder", "", QRect(3240, 1080, 5775, 375), green);
    row("Label4", "ﾀｲﾄﾙ", QRect(120, 1680, 975, 255), none);
    row("fIventsFolderName", "", QRect(1200, 1680, 2415, 375), grey);
    row("fIventsFolder", "", QRect(3600, 1680, 5415, 375), green);
    row("Label6", "ﾌｧｲﾙ指定", QRect(120, 2040, 975, 255), none);
    row("fIventsHTML", "", QRect(1200, 2040, 6855, 375), QColor(255, 255, 255));
    row("Label5", "ﾘﾝｸ先", QRect(120, 2400, 975, 255), none);
    row("fIventsLink", "", QRect(1200, 2400, 6855, 375), grey);
    row("Label7", "表示写真", QRect(120, 2760, 975, 255), none);
    row("fIventsPhoto", "", QRect(1200, 2760, 6855, 375), none);
    row("fIventsLinkButton", "ﾘﾝｸﾎﾞﾀﾝ表示", QRect(8040, 2520, 1335, 255), yellow);
    row("fIventsHtmlButton", "開くﾎﾞﾀﾝ表示", QRect(8040, 2160, 1335, 255), yellow);
    row("fIventsF", "", QRect(4560, 0, 3615, 375), none);
    row("Frame1", "削除", QRect(9480, 360, 1455, 1935), none);
    row("DataGrid1", "", QRect(120, 3240, 10575, 2175), none);
    row("Label11", "[ESC:閉じる]", QRect(0, 5640, 1095, 375), none);
    row("Label8", "ﾌｫﾙﾀﾞ検索追加", QRect(2520, 5640, 1215, 255), none);
    row("Label10", "ﾌｫﾙﾀﾞ参照選択", QRect(5280, 5640, 1455, 255), none);
    row("Label9", "ﾀｲﾄﾙﾌｫﾙﾀﾞ参照設定", QRect(7320, 5640, 1695, 255), none);
    row("MsgText", "", QRect(120, 6360, 10335, 375), none);
}

void TestDataSet::controlsHaveTheirPlaceCaptionAndColour()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QColor, colour);
    dataSet &w = open(false);
    QCOMPARE(w.windowTitle(), QStringLiteral("データ編集"));
    QWidget *c = w.findChild<QWidget *>(name);
    QVERIFY2(c, qPrintable(name));
    QCOMPARE(c->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    QString text;
    if (auto *l = qobject_cast<QLabel *>(c))
        text = l->text();
    else if (auto *b = qobject_cast<QAbstractButton *>(c))
        text = b->text();
    else if (auto *g = qobject_cast<QGroupBox *>(c))
        text = g->title();
    QCOMPARE(text, caption);
    if (colour.isValid()) {
        const QPalette::ColorRole role = qobject_cast<QCheckBox *>(c) ? QPalette::Window : QPalette::Base;
        QCOMPARE(c->palette().color(role), colour);
    }
    if (name == QLatin1String("fIventsF"))
        QVERIFY(c->isHidden());
    if (name == QLatin1String("AllTop") || (name.endsWith(QLatin1String("Folder")) && name.startsWith(QLatin1String("photo"))))
        QVERIFY(static_cast<QLineEdit *>(c)->isReadOnly());
    if (auto *combo = qobject_cast<QComboBox *>(c))
        QVERIFY(combo->isEditable());
}

void TestDataSet::functionKeyButtons()
{
    dataSet &w = open(false);
    const QStringList captions = {QStringLiteral("ﾍﾙﾌﾟ"), QString(), QString(), QStringLiteral("ｵｰﾄｾｯﾄ"), QString(),
                                  QStringLiteral("ｶﾃｺﾞﾘｰ"), QStringLiteral("ｼﾞｬﾝﾙ"), QStringLiteral("ﾀｲﾄﾙ"),
                                  QStringLiteral("ﾌｧｲﾙ指定"), QStringLiteral("写真"), QString(), QStringLiteral("HTML出力")};
    const int lefts[] = {120, 960, 1800, 2760, 3720, 4560, 5400, 6360, 7320, 8160, 9000, 9840};
    for (int n = 1; n <= 12; ++n) {
        auto *b = w.findChild<QPushButton *>(QStringLiteral("f%1").arg(n));
        QVERIFY(b);
        QCOMPARE(b->text(), captions.at(n - 1));
        const int width = (n == 3 || n == 7 || n == 12) ? 975 : 855;
        QCOMPARE(b->geometry(), twipsRect(lefts[n - 1], 5880, width, 495));
    }
    const char *const deletes[][2] = {{"del1", "カテゴリ"}, {"del2", "ｼﾞｬﾝﾙ"}, {"del3", "ﾌｧｲﾙ"}};
    for (const auto &d : deletes) {
        auto *b = w.findChild<QPushButton *>(QString::fromUtf8(d[0]));
        QVERIFY(b);
        QCOMPARE(b->text(), QString::fromUtf8(d[1]));
        QCOMPARE(b->parentWidget()->objectName(), QStringLiteral("Frame1"));
    }
}

void TestDataSet::menus()
{
    dataSet &w = open(false);
    const struct {
        const char *menu, *menuCaption;
        QStringList items;  // name=caption
    } menus[] = {
        {"ファイル", "ﾌｧｲﾙ", {"閉じる=閉じる", "line0=--------------------", "用紙設定=用紙設定", "印刷=印刷", "終了=終了"}},
        {"編集", "編集",
         {"オートセット=ｵｰﾄｾｯﾄ", "フォルダ更新=ﾌｫﾙﾀﾞ選択", "linkButton=ﾘﾝｸﾎﾞﾀﾝの表示/非表示",
          "openButton=開くﾎﾞﾀﾝの表示/非表示", "ファイルの指定=ﾌｧｲﾙの指定", "写真の指定=写真の指定",
          "line2=--------------------", "HTML出力=HTML出力", "line3=--------------------", "基準=基準フォルダ設定",
          "HTML出力先=HTML出力先設定"}},
        {"ヘルプ", "ヘルプ", {"ヘルプ1=ヘルプ", "このソフトについて=このソフトについて"}},
    };
    for (const auto &m : menus) {
        auto *menu = w.findChild<QMenu *>(QString::fromUtf8(m.menu));
        QVERIFY2(menu, m.menu);
        QCOMPARE(menu->title(), QString::fromUtf8(m.menuCaption));
        QStringList got;
        for (QAction *a : menu->actions())
            got << a->objectName() + QLatin1Char('=') + a->text();
        QCOMPARE(got, m.items);
    }
    // The title items are off after the load; the others are on.
    for (const char *name : {"フォルダ更新", "linkButton", "openButton", "ファイルの指定", "写真の指定"})
        QVERIFY2(!w.action(QString::fromUtf8(name))->isEnabled(), name);
    for (const char *name : {"オートセット", "HTML出力", "用紙設定", "印刷", "閉じる"})
        QVERIFY2(w.action(QString::fromUtf8(name))->isEnabled(), name);
    QVERIFY(w.action(QStringLiteral("line2"))->isSeparator());
}

void TestDataSet::printerMenusOffWithoutPrinter()
{
    m_host->g.printerUnavailable = true;
    dataSet &w = open(false);
    QVERIFY(!w.action(QStringLiteral("用紙設定"))->isEnabled());
    QVERIFY(!w.action(QStringLiteral("印刷"))->isEnabled());
    QVERIFY(w.action(QStringLiteral("終了"))->isEnabled());
}

void TestDataSet::gridColumns()
{
    dataSet &w = open();
    QTableView *grid = w.grid();
    QCOMPARE(grid->model()->columnCount(), 11);
    for (int col = 0; col < 11; ++col) {
        const bool shown = col == 3 || col == 5 || col == 7;
        QCOMPARE(grid->isColumnHidden(col), !shown);
    }
    QCOMPARE(grid->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("タイトル"));
    QCOMPARE(grid->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("リンク先"));
    QCOMPARE(grid->model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("ファイル名"));
    QCOMPARE(grid->columnWidth(3), twipsToPixels(2000));
    QCOMPARE(grid->columnWidth(5), twipsToPixels(4200));
    QCOMPARE(grid->columnWidth(7), twipsToPixels(4000));
    QCOMPARE(grid->font().pointSize(), 11);
    // The columns are the table's fields in their stored order.
    const QString link = grid->model()->index(0, 5).data().toString();
    QCOMPARE(link, QStringLiteral("http://one"));
}

void TestDataSet::loadSelectsFirstCategoryAndShowsItsTitles()
{
    dataSet &w = open();
    QCOMPARE(entries(w, List::Category), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(w.listPosition(List::Category), 0);
    QCOMPARE(w.listText(List::Category), QStringLiteral("A"));
    QCOMPARE(m_host->g.currentCategoryId, 1);
    QCOMPARE(w.fieldText(Field::CategoryFolder), m_base + QStringLiteral("/A"));
    // Genres listed, none selected: the grid shows every title of the category.
    QCOMPARE(entries(w, List::Genre), (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
    QCOMPARE(w.listPosition(List::Genre), -1);
    QCOMPARE(gridNames(w), (QStringList{QStringLiteral("t1"), QStringLiteral("t2"), QStringLiteral("t3"), QStringLiteral("t4")}));
    QCOMPARE(m_host->g.titleEditMode, int16_t(0));
    QVERIFY(boxes().isEmpty());  // the load asks nothing; the activation does
}

void TestDataSet::emptyLibrary()
{
    m_host->g.currentCategoryId = 77;
    m_host->g.currentGenreId = 88;
    dataSet &w = open(false);
    QCOMPARE(w.listCount(List::Category), 0);
    QCOMPARE(w.listCount(List::Genre), 0);
    QCOMPARE(w.listPosition(List::Category), -1);
    QCOMPARE(w.listPosition(List::Genre), -1);
    QCOMPARE(w.grid()->model()->rowCount(), 0);
    QCOMPARE(m_host->g.currentCategoryId, 77);
    QCOMPARE(m_host->g.currentGenreId, 88);
    m_host->ds.queueNo();
    w.activate();
    QCOMPARE(w.fieldText(Field::BaseFolder), QStringLiteral("未設定です。"));
    QCOMPARE(w.listCount(List::Category), 0);
    QCOMPARE(m_host->g.currentCategoryId, 77);
}

void TestDataSet::everyActivationAsksAndReloads_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No") << false;
    QTest::newRow("Yes") << true;
}

void TestDataSet::everyActivationAsksAndReloads()
{
    QFETCH(bool, yes);
    dataSet &w = open();
    makeDir(m_base + QStringLiteral("/A/A1"));
    makeDir(m_base + QStringLiteral("/C/C1/c-title"));  // new on disk
    m_host->g.folderSetupStage = 2;
    // Leave a genre chosen so that the reload has something to clear.
    w.selectGenre(1);
    QCOMPARE(w.listText(List::Genre), QStringLiteral("A2"));

    QStringList statuses;
    connect(w.statusBox(), &QLineEdit::textChanged, this, [&statuses](const QString &t) { statuses << t; });
    for (int round = 0; round < 2; ++round) {
        statuses.clear();
        m_host->ds.clear();
        m_host->ds.queueAnswer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        w.activate();
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(boxes().first().text, kAsk);
        QCOMPARE(boxes().first().title, QStringLiteral("オートセット"));
        QCOMPARE(boxes().first().kind, MsgKind::Question);
        QCOMPARE(statuses, (QStringList{QStringLiteral("テーブル切り離し処理..."), QStringLiteral("オートセット実行中..."), kDone}));
        QCOMPARE(w.fieldText(Field::BaseFolder), m_base);
        QCOMPARE(m_host->g.folderSetupStage, int16_t(0));
        // The list texts were emptied, so the reload picks the first category again.
        QCOMPARE(w.listPosition(List::Category), 0);
        QCOMPARE(w.listText(List::Category), QStringLiteral("A"));
        QCOMPARE(w.listPosition(List::Genre), -1);
        QCOMPARE(entries(w, List::Category), yes ? (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")})
                                                 : (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        m_host->g.folderSetupStage = 1;
    }
    QCOMPARE(sqlColumn(m_lib, QStringLiteral("select count(*) from photoIvents where iventsFolderName='c-title'")).first(),
             yes ? QStringLiteral("1") : QStringLiteral("0"));
}

void TestDataSet::autoSetCommandKeepsTheSetupStage()
{
    dataSet &w = open();
    m_host->g.folderSetupStage = 2;
    m_host->ds.queueNo();
    w.autoSetCommand();
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes().first().text, kAsk);
    QCOMPARE(w.statusBox()->text(), kDone);
    QCOMPARE(m_host->g.folderSetupStage, int16_t(2));
    QCOMPARE(w.fieldText(Field::BaseFolder), QString());  // only the activation refreshes it
}

void TestDataSet::f4KeyButtonAndMenuRunTheAutoSet_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("key F4") << "key";
    QTest::newRow("button f4") << "button";
    QTest::newRow("menu") << "menu";
}

void TestDataSet::f4KeyButtonAndMenuRunTheAutoSet()
{
    QFETCH(QString, how);
    dataSet &w = open();
    showEditor();
    makeDir(m_base + QStringLiteral("/N/N1"));
    m_host->g.folderSetupStage = 2;
    m_host->ds.queueYes();
    w.list(List::Genre)->setFocus();
    if (how == QLatin1String("key"))
        QTest::keyClick(w.list(List::Genre), Qt::Key_F4);
    else if (how == QLatin1String("button"))
        QTest::mouseClick(w.functionButton(4), Qt::LeftButton);
    else
        w.action(QStringLiteral("オートセット"))->trigger();
    QTRY_COMPARE(boxes().size(), 1);
    QCOMPARE(boxes().first().text, kAsk);
    QTRY_COMPARE(w.statusBox()->text(), kDone);
    QCOMPARE(entries(w, List::Category), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("N")}));
    QCOMPARE(m_host->g.folderSetupStage, int16_t(2));
}

void TestDataSet::rememberedCategory_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::newRow("still there") << "B" << 1;
    QTest::newRow("deleted") << "Z" << 0;
    QTest::newRow("no text") << "" << 0;
}

void TestDataSet::rememberedCategory()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    dataSet &w = open();
    w.setListText(List::Category, text);
    w.FillCategoryList();
    QCOMPARE(w.listPosition(List::Category), position);
    QCOMPARE(w.listText(List::Category), position == 1 ? QStringLiteral("B") : QStringLiteral("A"));
    QCOMPARE(m_host->g.currentCategoryId, position + 1);
    QCOMPARE(entries(w, List::Genre), position == 1 ? QStringList{QStringLiteral("B1")}
                                                    : (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
    QCOMPARE(gridNames(w).size(), position == 1 ? 1 : 4);
}

void TestDataSet::rememberedGenre_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::newRow("first genre") << "A1" << -1;
    QTest::newRow("second genre") << "A2" << 1;
    QTest::newRow("gone") << "Zz" << -1;
}

void TestDataSet::rememberedGenre()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    dataSet &w = open();
    m_host->g.currentGenreId = 99;
    w.setListText(List::Genre, text);
    w.FillGenreList();
    QCOMPARE(w.listPosition(List::Genre), position);
    // The list shows the wanted genre's name (the first when none matched) either way.
    QCOMPARE(w.listText(List::Genre), position == 1 ? QStringLiteral("A2") : QStringLiteral("A1"));
    QCOMPARE(m_host->g.currentGenreId, position == 1 ? 2 : 99);
    QCOMPARE(gridNames(w), position == 1 ? QStringList{QStringLiteral("t4")}
                                         : (QStringList{QStringLiteral("t1"), QStringLiteral("t2"), QStringLiteral("t3"),
                                                        QStringLiteral("t4")}));
}

void TestDataSet::categoryAndGenreChoices()
{
    dataSet &w = open();
    chooseCategory(1);
    QCOMPARE(m_host->g.currentCategoryId, 2);
    QCOMPARE(w.fieldText(Field::CategoryFolder), m_base + QStringLiteral("/B"));
    QCOMPARE(w.fieldText(Field::GenreFolder), QString());
    QCOMPARE(entries(w, List::Genre), QStringList{QStringLiteral("B1")});
    QCOMPARE(gridNames(w), QStringList{QStringLiteral("t5")});
    chooseGenre(0);
    QCOMPARE(m_host->g.currentGenreId, 3);
    QCOMPARE(w.fieldText(Field::GenreFolder), m_base + QStringLiteral("/B/B1"));
    QCOMPARE(gridNames(w), QStringList{QStringLiteral("t5")});
    // Choosing the same entry again runs the choice again.
    sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (2, 3, 't6')"));
    chooseGenre(0);
    QCOMPARE(gridNames(w), (QStringList{QStringLiteral("t5"), QStringLiteral("t6")}));
    // From code, through the command view: the same handler.
    w.selectCategory(0);
    QCOMPARE(m_host->g.currentCategoryId, 1);
    QCOMPARE(w.listPosition(List::Genre), -1);
    QCOMPARE(gridNames(w).size(), 4);
    w.selectGenre(0);
    QCOMPARE(gridNames(w), (QStringList{QStringLiteral("t1"), QStringLiteral("t2"), QStringLiteral("t3")}));
    QVERIFY(boxes().isEmpty());
}

void TestDataSet::gridClickNeedsCategoryAndGenre()
{
    dataSet &w = open();
    showEditor();
    // A category but no genre: the grid lists the category's titles, a click asks for a genre.
    clickRow(QStringLiteral("t2"));
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes().at(0).text, QStringLiteral("ジャンルを選択してください！"));
    QCOMPARE(boxes().at(0).title, QStringLiteral("タイトル選択"));
    QCOMPARE(boxes().at(0).kind, MsgKind::Exclamation);
    QCOMPARE(QApplication::focusWidget(), w.list(List::Genre));
    QCOMPARE(m_host->g.titleEditMode, int16_t(0));
    QCOMPARE(w.fieldText(Field::TitleName), QString());

    // No category selected.
    w.setListPosition(List::Category, -1);
    m_host->ds.clear();
    clickRow(QStringLiteral("t2"));
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes().at(0).text, QStringLiteral("カテゴリー名を選択してください！"));
    QCOMPARE(QApplication::focusWidget(), w.list(List::Category));
    QVERIFY(!w.action(QStringLiteral("linkButton"))->isEnabled());
    QCOMPARE(m_host->g.currentTitleId, 0);
}

void TestDataSet::gridClickCopiesTheRow()
{
    dataSet &w = open();
    showEditor();
    w.selectGenre(0);
    clickRow(QStringLiteral("t1"));
    QVERIFY(boxes().isEmpty());
    QCOMPARE(w.fieldText(Field::TitleName), QStringLiteral("t1"));
    QCOMPARE(w.fieldText(Field::TitleFolder), m_base + QStringLiteral("/x/t1"));
    QCOMPARE(w.fieldText(Field::TitleLink), QStringLiteral("http://one"));
    QCOMPARE(w.fieldText(Field::TitleHtml), QStringLiteral("one.html"));
    QCOMPARE(w.fieldText(Field::TitleIvents), QStringLiteral("one.html"));
    QCOMPARE(w.fieldText(Field::TitlePhoto), QStringLiteral("one.jpg"));
    QCOMPARE(w.checkValue(Check::LinkButton), 1);
    QCOMPARE(w.checkValue(Check::HtmlButton), 0);
    const int t1 = sqlColumn(m_lib, QStringLiteral("select ID2 from photoIvents where iventsFolderName='t1'")).first().toInt();
    QCOMPARE(m_host->g.currentTitleId, t1);
    QCOMPARE(m_host->g.titleEditMode, int16_t(2));
    QCOMPARE(w.f3Caption(), QStringLiteral("更新"));
    for (const char *name : {"フォルダ更新", "linkButton", "openButton", "ファイルの指定", "写真の指定"})
        QVERIFY2(w.action(QString::fromUtf8(name))->isEnabled(), name);

    // t2 has no link (Null), no file (empty) and no photo: the previous texts stay;
    // the boxes and the key are always taken.
    clickRow(QStringLiteral("t2"));
    QCOMPARE(w.fieldText(Field::TitleName), QStringLiteral("t2"));
    QCOMPARE(w.fieldText(Field::TitleLink), QStringLiteral("http://one"));
    QCOMPARE(w.fieldText(Field::TitleHtml), QStringLiteral("one.html"));
    QCOMPARE(w.fieldText(Field::TitlePhoto), QStringLiteral("one.jpg"));
    QCOMPARE(w.checkValue(Check::LinkButton), 1);
    QCOMPARE(w.checkValue(Check::HtmlButton), 1);
    QCOMPARE(m_host->g.currentTitleId, t1 + 1);
}

void TestDataSet::storedFlagsTickTheBoxes_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("box");
    QTest::newRow("true (-1)") << -1 << 1;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("0") << 0 << 0;
}

void TestDataSet::storedFlagsTickTheBoxes()
{
    QFETCH(int, stored);
    QFETCH(int, box);
    fillLibrary(m_lib, m_base);
    sql(m_lib, QStringLiteral("update photoIvents set IventsLinkButton=?, IventsHtmlButton=? where iventsFolderName='t3'"),
        {stored, stored});
    dataSet &w = open(false);
    showEditor();
    w.selectGenre(0);
    w.setCheckValue(Check::LinkButton, 1 - box);
    w.setCheckValue(Check::HtmlButton, 1 - box);
    clickRow(QStringLiteral("t3"));
    QCOMPARE(w.checkValue(Check::LinkButton), box);
    QCOMPARE(w.checkValue(Check::HtmlButton), box);
}

void TestDataSet::choiceClearsALoadedTitle()
{
    dataSet &w = open();
    showEditor();
    // Nothing loaded: a choice leaves the typed fields alone.
    w.setFieldText(Field::TitleLink, QStringLiteral("typed"));
    chooseCategory(1);
    QCOMPARE(w.fieldText(Field::TitleLink), QStringLiteral("typed"));

    chooseCategory(0);
    w.selectGenre(0);
    clickRow(QStringLiteral("t1"));
    w.setFieldText(Field::TitleIvents, QStringLiteral("kept"));
    chooseCategory(1);
    QCOMPARE(m_host->g.titleEditMode, int16_t(0));
    QCOMPARE(w.f3Caption(), QString());
    QCOMPARE(m_host->g.currentTitleId, 0);
    for (Field f : {Field::TitleName, Field::TitleFolder, Field::TitleLink, Field::TitleHtml, Field::TitlePhoto})
        QCOMPARE(w.fieldText(f), QString());
    QCOMPARE(w.fieldText(Field::TitleIvents), QStringLiteral("kept"));
    QCOMPARE(w.checkValue(Check::LinkButton), 0);

    // A genre choice does the same.
    w.selectGenre(0);
    clickRow(QStringLiteral("t5"));
    QCOMPARE(m_host->g.titleEditMode, int16_t(2));
    chooseGenre(0);
    QCOMPARE(m_host->g.titleEditMode, int16_t(0));
    QCOMPARE(w.fieldText(Field::TitleName), QString());
}

// Another connection writes while the grid shows more rows than one fetch brings.
void TestDataSet::gridDoesNotBlockWrites()
{
    fillLibrary(m_lib, m_base);
    {
        Connection c(MakeConnectString(m_lib));
        c.begin();
        for (int i = 0; i < 600; ++i)
            c.exec(QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (1, 1, ?)"),
                   {QStringLiteral("bulk%1").arg(i)});
        c.commit();
    }
    dataSet &w = open(false);
    QCOMPARE(w.grid()->model()->rowCount(), 604);
    QVERIFY(w.screen().grid().isOpen());

    // No waiting: a lock would show at once as "database is locked".
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        db.setDatabaseName(m_lib);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY2(q.exec(QStringLiteral("update photoIvents set iventsLink='written' where iventsFolderName='t1'")),
                 qPrintable(q.lastError().text()));
        QVERIFY2(q.exec(QStringLiteral("insert into photoGraph (topFolderName) values ('new')")),
                 qPrintable(q.lastError().text()));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    // The grid still shows its rows, the last one too.
    QCOMPARE(w.grid()->model()->rowCount(), 604);
    QCOMPARE(w.grid()->model()->index(603, TitleGrid::ColFolderName).data().toString(), QStringLiteral("bulk599"));
    w.RefreshTitleGrid();
    QCOMPARE(w.grid()->model()->index(0, TitleGrid::ColLink).data().toString(), QStringLiteral("written"));
}

void TestDataSet::unreadableLibraryIsReportedOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("not a library") << "garbage";
}

void TestDataSet::unreadableLibraryIsReportedOnce()
{
    QFETCH(QString, kind);
    QFile::remove(m_lib);
    if (kind == QLatin1String("garbage"))
        writeFile(m_lib, QByteArray("this is no database at all, just text\n").repeated(50));
    dataSet &w = open(false);
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(boxes().first().kind, MsgKind::Critical);
    QCOMPARE(boxes().first().title, QStringLiteral("データ編集"));
    QVERIFY2(boxes().first().text.contains(m_lib), qPrintable(boxes().first().text));

    // Activations report nothing new and ask nothing; the window stays usable.
    w.activate();
    w.autoSetCommand();
    w.FillGenreList();
    w.selectCategory(0);
    QCOMPARE(boxes().size(), 1);
    QCOMPARE(w.statusBox()->text(), boxes().first().text);
    QCOMPARE(w.listCount(List::Category), 0);
    QCOMPARE(w.grid()->model()->rowCount(), 0);

    // Once the library is back, everything works again.
    makeLibrary(m_dir);
    fillLibrary(m_lib, m_base);
    m_host->ds.queueNo();
    w.activate();
    QCOMPARE(boxes().size(), 2);
    QCOMPARE(boxes().last().text, kAsk);
    QCOMPARE(entries(w, List::Category), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(w.statusBox()->text(), kDone);
}

void TestDataSet::rightButtonOnTheSurfaceOpensEditMenu()
{
    dataSet &w = open(false);
    showEditor();
    QWidget *client = w.findChild<QWidget *>(QStringLiteral("client"));
    QVERIFY(client);
    // On a control (a label): no menu.
    QWidget *label = w.findChild<QLabel *>(QStringLiteral("Label8"));
    QTest::mousePress(label, Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    QVERIFY(!w.editMenu()->isVisible());
    // On the bare surface, right of the labels.
    const QPoint free = twipsRect(10000, 2500, 10, 10).topLeft();
    QVERIFY(!client->childAt(free));
    QTest::mousePress(client, Qt::RightButton, Qt::NoModifier, free);
    QTRY_VERIFY(w.editMenu()->isVisible());
    w.editMenu()->hide();
    QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, free);
    QVERIFY(!w.editMenu()->isVisible());
}

// In the main window: opening the editor activates it once; switching to another child
// and back activates it again; message boxes do not.
void TestDataSet::activationInTheMainWindow()
{
    fillLibrary(m_lib, m_base);
    Global g = makeGlobal(m_lib);
    g.printerUnavailable = false;
    ScriptedDialogService ds;
    NoPrinterSettings printer;
    htmlCrtMain main(g, ds, printer);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    auto asks = [&ds] {
        int n = 0;
        for (const MessageRequest &m : ds.messages())
            n += m.text == kAsk;
        return n;
    };

    g.folderSetupStage = 2;
    auto *editor = qobject_cast<dataSet *>(main.showWindow(QStringLiteral("dataSet")));
    QVERIFY(editor);
    QTRY_COMPARE(asks(), 1);
    QCOMPARE(g.folderSetupStage, int16_t(0));
    QCOMPARE(editor->fieldText(Field::BaseFolder), m_base);
    QTest::qWait(50);
    QCOMPARE(asks(), 1);

    // Bringing the shown editor to the front again is no new activation.
    main.showWindow(QStringLiteral("dataSet"));
    QTest::qWait(50);
    QCOMPARE(asks(), 1);

    QWidget *other = main.showWindow(QStringLiteral("htmlOut"));
    QVERIFY(other);
    QTRY_COMPARE(main.mdiArea()->activeSubWindow()->widget(), other);
    main.mdiArea()->setActiveSubWindow(main.subWindowOf(editor));
    QTRY_COMPARE(asks(), 2);
    QTest::qWait(50);
    QCOMPARE(asks(), 2);
}

QTEST_MAIN(TestDataSet)
#include "test_dataSet.moc"
