// The editor window on real libraries and folder trees: controls, load and activation,
// the lists, grid and title entry, and every command with its texts, kinds and titles.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include "DialogService.h"
#include "EditorCommandBinder.h"
#include "Global.h"
#include "Library.h"
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

const QString J = QStringLiteral("\n\r");
const QString kAsk = QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？");
const QString kDone = QStringLiteral("オートセットを終了しました。");

// Lets a test act while a folder browser or a message box is up.
class ActingDialogs : public ScriptedDialogService {
public:
    std::function<void()> whileShown;
    std::function<void(const MessageRequest &)> whileAsking;
    MsgAnswer message(const MessageRequest &r, QObject *o) override
    {
        const MsgAnswer a = ScriptedDialogService::message(r, o);
        if (whileAsking)
            whileAsking(r);
        return a;
    }
    using DialogService::message;
    QString pickFolder(const FolderPickRequest &r, QObject *o) override
    {
        if (whileShown)
            whileShown();
        return ScriptedDialogService::pickFolder(r, o);
    }
};

class Host : public WindowHost {
public:
    Global g;
    ActingDialogs ds;
    NoPrinterSettings noPrinter;
    QStringList log;
    Global &global() override { return g; }
    DialogService &dialogs() override { return ds; }
    PrinterSettings &printer() override { return noPrinter; }
    QWidget *showWindow(const QString &name) override { return log << "show " + name, nullptr; }
    QWidget *findWindow(const QString &) const override { return nullptr; }
    void showHelp() override { log << "help"; }
    void showAbout() override { log << "about"; }
    void endProgram() override { log << "end"; }
    void printWindowImage(QWidget *w) override { log << "print " + w->objectName(); }
};

// Records the key presses, or the indicator text at each paint, of the watched widget.
class Spy : public QObject {
public:
    QLabel *text = nullptr;
    QLineEdit *line = nullptr;
    QList<int> keys;
    QStringList shown;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent *>(e)->key();
        if (e->type() == QEvent::Paint && (text || line))
            shown << (text ? text->text() : line->text());
        return false;
    }
};

}  // namespace

class TestEditorGui : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_dir, m_lib, m_base;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<dataSet> m_w;
    QStringList m_status;  // every text MsgText showed

    ActingDialogs &ds() { return m_host->ds; }
    Global &g() { return m_host->g; }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageRequest &m : m_host->ds.messages()) out << windowText(m);  // as the box shows it
        return out;
    }
    QString one(const QString &statement) { return sqlColumn(m_lib, statement).value(0, QStringLiteral("<none>")); }
    QString counts()
    {
        return sqlColumn(m_lib, QStringLiteral("select count(*) from photoGraph union all select count(*) from photoYear "
                                               "union all select count(*) from photoIvents")).join(QLatin1Char('|'));
    }
    QString text(Field f) const { return m_w->fieldText(f); }
    QStringList entries(List l) const
    {
        QStringList out;
        for (int i = 0; i < m_w->listCount(l); ++i) out << m_w->listEntryText(l, i);
        return out;
    }
    QStringList gridNames() const
    {
        QStringList out;
        for (int r = 0; r < m_w->screen().grid().rowCount(); ++r) out << m_w->screen().grid().cell(r, TitleGrid::ColFolderName).toString();
        return out;
    }

    // The window after its load, not shown, by default on the library fill() makes.
    void load(bool filled = true)
    {
        if (filled)
            fill();
        m_w = std::make_unique<dataSet>(*m_host);
        connect(m_w->statusBox(), &QLineEdit::textChanged, this, [this](const QString &t) { m_status << t; });
    }
    // The window shown; being shown activates it once (the auto-set answered No).
    void openEditor(bool filled = true)
    {
        load(filled);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QTRY_COMPARE(ds().messages().size(), 1);
        QCOMPARE(ds().messages().first().text, kAsk);
        ds().clear();
        m_status.clear();
    }
    // A key pressed where the focus is (the link box unless said).
    void key(Qt::Key k, QWidget *at = nullptr)
    {
        at = at ? at : m_w->field(Field::TitleLink);
        at->setFocus();
        QTest::keyClick(at, k);
    }
    void click(const QString &name)
    {
        auto *b = m_w->findChild<QPushButton *>(name);
        QVERIFY2(b, qPrintable(name));
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();  // the button's key is posted
    }
    void choose(List l, int pos)
    {
        m_w->list(l)->setCurrentIndex(pos);
        emit m_w->list(l)->activated(pos);
    }
    void clickRow(const QString &name)
    {
        const int row = gridNames().indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QTableView *grid = m_w->grid();
        const QModelIndex index = grid->model()->index(row, TitleGrid::ColFolderName);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(index).center());
    }
    // The focus from the photo box on by Tab to the grid, to the row by arrows, then the key.
    void keyRow(const QString &name, Qt::Key k)
    {
        const int row = gridNames().indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QTableView *grid = m_w->grid();
        m_w->field(Field::TitlePhoto)->setFocus();
        for (int i = 0; i < 12 && QApplication::focusWidget() != grid; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->currentIndex().row(), row);
        QTest::keyClick(grid, k);
    }
    void answers(const QStringList &a)
    {
        for (const QString &x : a) x == QLatin1String("Y") ? ds().queueYes() : ds().queueNo();
    }
    // A title of genre A1 loaded into the entry area.
    void loadTitle(const QString &name)
    {
        choose(List::Genre, 0);
        clickRow(name);
        QCOMPARE(g().titleEditMode, int16_t(2));
    }
    // Categories A (genres A1: a1 a2 a3, A2: a4) and B (B1: b1), on disk and registered.
    // a1 is fully set; a2 is bare; a3 has Null and empty texts and the flags 1 and -1.
    void fill()
    {
        for (const char *p : {"A/A1/a1", "A/A1/a2", "A/A1/a3", "A/A2/a4", "B/B1/b1"})
            makeDir(m_base + QLatin1Char('/') + QLatin1String(p));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('A', ?), ('B', ?)"),
            {m_base + "/A", m_base + "/B"});
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'A1', ?), (1, 'A2', ?), (2, 'B1', ?)"),
            {m_base + "/A/A1", m_base + "/A/A2", m_base + "/B/B1"});
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton, "
                                  "iventsHTML, IventsHtmlButton, Ivents, iventsPhoto) values "
                                  "(1, 1, 'a1', ?, 'http://one', -1, '/h/a1.html', 0, '/h/a1.html', '/p/a1.jpg'), "
                                  "(1, 1, 'a2', ?, null, 0, null, 0, null, null), (1, 1, 'a3', ?, null, 1, '', -1, null, ''), "
                                  "(1, 2, 'a4', ?, null, 0, null, 0, null, null), (2, 3, 'b1', ?, null, 0, null, 0, null, null)"),
            {m_base + "/A/A1/a1", m_base + "/A/A1/a2", m_base + "/A/A1/a3", m_base + "/A/A2/a4", m_base + "/B/B1/b1"});
    }

private slots:
    void init()
    {
        m_dir = m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('_')
                + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        m_lib = makeLibrary(m_dir);
        m_base = makeDir(m_dir + QStringLiteral("/base"));
        m_host = std::make_unique<Host>();
        m_host->g = makeGlobal(m_lib);
        m_host->g.printerUnavailable = false;
        sql(m_lib, QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {m_base});
        m_status.clear();
    }
    void cleanup()
    {
        m_w.reset();
        m_host.reset();
    }

    // --- the window ---

    void gridColumns()
    {
        load();
        QTableView *grid = m_w->grid();
        QStringList shown;  // column: header width
        for (int col = 0; col < grid->model()->columnCount(); ++col)
            if (!grid->isColumnHidden(col))
                shown << QStringLiteral("%1:%2 %3").arg(col).arg(grid->model()->headerData(col, Qt::Horizontal).toString()).arg(grid->columnWidth(col));
        QCOMPARE(shown, QStringList({QStringLiteral("3:タイトル %1").arg(twipsToPixels(2000)), QStringLiteral("5:リンク先 %1").arg(twipsToPixels(4200)),
                                     QStringLiteral("7:ファイル名 %1").arg(twipsToPixels(4000))}));
        QHelpEvent tip(QEvent::ToolTip, grid->visualRect(grid->model()->index(0, 5)).center(), QPoint());
        QCoreApplication::sendEvent(grid->viewport(), &tip);  // a cell's tip is its whole text, fields in stored order
        QCOMPARE(QToolTip::text(), QStringLiteral("http://one"));
        // Text only: no check box, icon or colour of the cell's value.
        for (const int role : {Qt::CheckStateRole, Qt::DecorationRole, Qt::ForegroundRole, Qt::BackgroundRole, Qt::FontRole})
            QVERIFY(!grid->model()->index(0, 5).data(role).isValid());
    }

    // --- load, activation and the auto-set ---

    void emptyLibrary()
    {
        g().currentCategoryId = 77;
        openEditor(false);
        QCOMPARE(text(Field::BaseFolder), m_base);
        QCOMPARE(m_w->listCount(List::Category) + m_w->listCount(List::Genre) + m_w->grid()->model()->rowCount(), 0);
        QCOMPARE(g().currentCategoryId, 77);
        sql(m_lib, QStringLiteral("delete from allTop"));
        m_w->activate();
        QCOMPARE(text(Field::BaseFolder), QStringLiteral("未設定です。"));
    }

    // Every activation asks; either answer empties the list texts, reloads the lists, resets
    // the set-up stage and ends with the closing text, after Yes with what was added. The
    // running texts wait for the answer. The menu command keeps the stage.
    void activationAsksAndReloads_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("menu");
        QTest::newRow("No") << false << false;
        QTest::newRow("Yes") << true << false;
        QTest::newRow("menu") << true << true;
    }
    void activationAsksAndReloads()
    {
        QFETCH(bool, yes);
        QFETCH(bool, menu);
        load();
        makeDir(m_base + QStringLiteral("/C/C1/c1"));
        g().folderSetupStage = 2;
        choose(List::Category, 1);
        choose(List::Genre, 0);
        yes ? ds().queueYes() : ds().queueNo();
        m_status.clear();
        ds().whileAsking = [this](const MessageRequest &) { m_status << "(asked)"; };
        menu ? m_w->action(QStringLiteral("オートセット"))->trigger() : m_w->activate();
        ds().whileAsking = nullptr;
        QCOMPARE(texts(), QStringList{kAsk});
        QVERIFY(ds().messages()[0].title == QStringLiteral("オートセット") && ds().messages()[0].kind == MsgKind::Question);
        const QStringList after = yes ? QStringList{"テーブル切り離し処理...", "オートセット実行中...",
                                                    kDone + "追加: カテゴリー 1、ジャンル 1、タイトル 1"}
                                      : QStringList{kDone};
        QCOMPARE(m_status.mid(m_status.indexOf("(asked)") + 1), after);
        QVERIFY(!m_status.mid(0, m_status.indexOf("(asked)")).join('|').contains("実行中"));
        QCOMPARE(text(Field::BaseFolder), menu ? QString() : m_base);  // only an activation shows it
        QCOMPARE(g().folderSetupStage, int16_t(menu ? 2 : 0));
        QCOMPARE(m_w->listText(List::Category), QStringLiteral("A"));
        QCOMPARE(m_w->listPosition(List::Genre), -1);
        QCOMPARE(entries(List::Category), yes ? QStringList({"A", "B", "C"}) : QStringList({"A", "B"}));
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where iventsFolderName='c1'")), yes ? "1" : "0");
    }

    void unreadableLibraryIsReportedOnce()
    {
        writeFile(m_lib, QByteArray("this is no database at all, just text\n").repeated(50));
        load(false);
        QVERIFY(ds().messages().size() == 1 && ds().messages()[0].kind == MsgKind::Critical && ds().messages()[0].title == QStringLiteral("データ編集"));
        QVERIFY2(texts()[0].contains(m_lib), qPrintable(texts()[0]));
        m_w->activate();
        m_w->autoSetCommand();
        m_w->selectCategory(0);
        QCOMPARE(ds().messages().size(), 1);
        QCOMPARE(m_w->listCount(List::Category), 0);
    }

    // --- lists, grid and title entry ---

    // A remembered category is chosen again, else the first; a remembered genre only
    // when it is not the first (then the grid shows the whole category).
    void rememberedEntry_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("grid");
        QTest::newRow("category still there") << int(List::Category) << "B" << 1 << "b1";
        QTest::newRow("category deleted") << int(List::Category) << "Z" << 0 << "a1,a2,a3,a4";
        QTest::newRow("first genre") << int(List::Genre) << "A1" << -1 << "a1,a2,a3,a4";
        QTest::newRow("second genre") << int(List::Genre) << "A2" << 1 << "a4";
        QTest::newRow("genre gone") << int(List::Genre) << "Zz" << -1 << "a1,a2,a3,a4";
    }
    void rememberedEntry()
    {
        QFETCH(int, list);
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(QString, grid);
        load();
        g().currentGenreId = 99;
        m_w->setListText(List(list), text);
        List(list) == List::Category ? m_w->FillCategoryList() : m_w->FillGenreList();
        QCOMPARE(m_w->listPosition(List(list)), position);
        QCOMPARE(List(list) == List::Category ? g().currentCategoryId : g().currentGenreId,
                 List(list) == List::Category ? position + 1 : position == 1 ? 2 : 99);
        QCOMPARE(gridNames().join(','), grid);
    }

    // A choice by the user or from code runs the handler, also on the entry already chosen.
    // It clears a loaded title (but not Ivents); with none loaded typed texts stay.
    void categoryAndGenreChoices()
    {
        openEditor();
        m_w->setFieldText(Field::TitleLink, QStringLiteral("typed"));
        choose(List::Category, 1);
        QCOMPARE(g().currentCategoryId, 2);
        QCOMPARE(text(Field::CategoryFolder), m_base + QStringLiteral("/B"));
        QCOMPARE(text(Field::TitleLink), QStringLiteral("typed"));
        choose(List::Genre, 0);
        QCOMPARE(g().currentGenreId, 3);
        QCOMPARE(text(Field::GenreFolder), m_base + QStringLiteral("/B/B1"));
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (2, 3, 'b2')"));
        choose(List::Genre, 0);
        QCOMPARE(gridNames(), QStringList({"b1", "b2"}));
        m_w->selectCategory(0);
        QCOMPARE(g().currentCategoryId, 1);
        loadTitle(QStringLiteral("a1"));
        m_w->selectGenre(1);
        QCOMPARE(gridNames(), QStringList{"a4"});
        QCOMPARE(g().titleEditMode, int16_t(0));
        QCOMPARE(g().currentTitleId, 0);
        QCOMPARE(m_w->f3Caption(), QString());
        QCOMPARE(text(Field::TitleName) + text(Field::TitleLink) + text(Field::TitlePhoto), QString());
        QCOMPARE(text(Field::TitleIvents), QStringLiteral("/h/a1.html"));
        QCOMPARE(m_w->checkValue(Check::LinkButton), 0);
        // A category choice clears a loaded title the same way, both boxes too.
        loadTitle(QStringLiteral("a3"));
        QVERIFY(m_w->checkValue(Check::LinkButton) != 0 && m_w->checkValue(Check::HtmlButton) != 0);
        choose(List::Category, 1);
        QCOMPARE(QList<int>({m_w->checkValue(Check::LinkButton), m_w->checkValue(Check::HtmlButton), g().titleEditMode}),
                 QList<int>({0, 0, 0}));
        QCOMPARE(text(Field::TitleName), QString());
    }

    // The grid knows how many titles the genre has and reads the pages where the view
    // looks (Ctrl+End reaches the last title at once), holding only a few; another program
    // writes between pages, holds the library for a while (the read gives up soon, the rows
    // come once it lets go) or deletes a row (no title shows twice, the loaded title stays
    // highlighted); a save or a deletion far down keeps the view there.
    void gridUnderOtherWriters_data()
    {
        QTest::addColumn<QString>("other");  // what another connection does once the title at row 3000 is loaded
        QTest::addColumn<QString>("then");   // the editor's step afterwards: a key or a button
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("count");      // rows of the genre afterwards
        QTest::newRow("writes between pages") << "update photoIvents set iventsLink='written' where ID2=6" << "" << QStringList() << 5003;
        QTest::newRow("holds the library") << "begin exclusive" << "" << QStringList() << 5003;
        QTest::newRow("deletes a row above") << "delete from photoIvents where iventsFolderName='10'" << "" << QStringList() << 5002;
        QTest::newRow("F3 far down") << "" << "F3" << QStringList{"Y"} << 5003;
        QTest::newRow("del3 far down") << "" << "del3" << QStringList{"Y"} << 5002;
    }
    void gridUnderOtherWriters()
    {
        QFETCH(QString, other);
        QFETCH(QString, then);
        QFETCH(QStringList, answers);
        QFETCH(int, count);
        fill();
        sql(m_lib, QStringLiteral("with recursive n(i) as (select 0 union all select i + 1 from n where i < 4999) "
                                  "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) select 1, 1, cast(i as text), '/t/' || i from n"));
        openEditor(false);
        choose(List::Genre, 0);
        TitleGrid &rows = m_w->screen().grid();
        QTableView *view = m_w->grid();
        QCOMPARE(rows.rowCount(), 5003);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->currentIndex().row(), 5002);
        QCOMPARE(view->currentIndex().siblingAtColumn(TitleGrid::ColFolderName).data().toString(), QStringLiteral("4999"));
        clickRow(QStringLiteral("2997"));  // row 3000
        const int top = view->rowAt(0);
        QVERIFY(top > 2900);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(m_lib);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        if (!other.isEmpty())
            QVERIFY2(q.exec(other), qPrintable(q.lastError().text()));
        // The view moves through the genre: every page it shows is read again.
        QElapsedTimer waited;
        waited.start();
        for (int row : {0, 150, 1500, 2500, 2900, 5002}) {
            view->scrollTo(view->model()->index(row, TitleGrid::ColFolderName));
            QTest::qWait(5);
            QVERIFY(rows.heldRows() <= TitleGrid::kHeldPages * TitleGrid::kPageRows);
        }
        // Six reads that each waited the whole busy time (5 s) would take 30 s: even one is too many.
        QVERIFY2(waited.elapsed() < 5000, "a page read waited for the library the whole busy time");
        if (other.startsWith(QLatin1String("begin"))) {
            view->scrollTo(view->model()->index(1500, TitleGrid::ColFolderName));  // and stays there
            QVERIFY(!view->model()->index(1500, TitleGrid::ColFolderName).data().isValid());  // not read yet
            QTRY_VERIFY(m_status.join('\n').contains(QStringLiteral("一覧を読み取れません")));  // it kept failing
            QVERIFY(q.exec(QStringLiteral("rollback")));
            view->scrollTo(view->model()->index(1500, TitleGrid::ColFolderName));
            QTRY_COMPARE(view->model()->index(1500, TitleGrid::ColFolderName).data().toString(), QStringLiteral("1497"));
        }
        view->scrollTo(view->model()->index(2990, TitleGrid::ColFolderName), QAbstractItemView::PositionAtTop);
        if (!then.isEmpty()) {
            this->answers(answers);
            then.startsWith('F') ? key(Qt::Key_F3) : click(then);
        }
        QTest::qWait(20);  // a stale page is noticed while the view paints, and read again
        QCoreApplication::processEvents();
        QCOMPARE(rows.rowCount(), count);
        QVERIFY2(qAbs(view->rowAt(0) - 2990) <= 1, qPrintable(QString::number(view->rowAt(0))));
        QStringList names;
        for (int r = 2900; r < 3100; ++r)
            names << view->model()->index(r, TitleGrid::ColFolderName).data().toString();
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());  // no title twice
        const QModelIndexList highlighted = view->selectionModel()->selectedRows(TitleGrid::ColFolderName);
        QVERIFY2(highlighted.size() == (then.isEmpty() ? 1 : 0), qPrintable(highlighted.value(0).data().toString()));
        if (then.isEmpty())
            QCOMPARE(highlighted.first().data().toString(), QStringLiteral("2997"));
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where ID1=1")), QString::number(count));
        QCOMPARE(one(QStringLiteral("select coalesce(iventsLink, '-') from photoIvents where ID2=6")),
                 other.contains(QLatin1String("written")) ? "written" : "-");
        // Another choice starts at its top.
        choose(List::Category, 0);
        QCOMPARE(view->rowAt(0), 0);
        q = QSqlQuery();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }

    // Sequences of steps on the window (rows give them as data) that once lost an edit,
    // wrote one title's data into another, wrote over another program's changes or
    // deleted what the screen did not show; the rows afterwards tell, with the screen
    // and the last message.
    // Steps: load T (genre A1, click T), row T, genre N, category N, pick DIR (below the
    // base folder; "." the base itself; none queued cancels), answer Y|N|C..., key Fn,
    // click BUTTON, link TEXT (typed over the link), sql STATEMENT (another connection),
    // cli ARGS (tessaly-cli on the library; ~ stands for the temporary folder), activate.
    void sequencesKeepData_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("shown");  // category text|title name|link|file
        QTest::addColumn<QString>("said");   // the last message ('-': none)
        const QString names = QStringLiteral("select group_concat(iventsFolderName, ',') from photoIvents");
        const QString all = QStringLiteral("a1,a2,a3,a4,b1");
        const QString fields = QStringLiteral("select coalesce(iventsLink,'-')||'|'||coalesce(iventsHTML,'-')||'|'||coalesce(Ivents,'-')||'|'||"
                                              "coalesce(iventsPhoto,'-')||'|'||IventsLinkButton||'|'||IventsHtmlButton from photoIvents where iventsFolderName=");
        const QString link = QStringLiteral("select group_concat(iventsFolderName||':'||iventsFolder||':'||coalesce(iventsLink,'-'), ',') "
                                            "from photoIvents where iventsFolderName in ('a1','a2')");
        const QString save = QStringLiteral("データの更新を行いますか？"), update = QStringLiteral("タイトル情報を更新しますか？");
        const QString changed = QStringLiteral("このタイトルは読み込んだ後に他で変更されています。") + J;
        const QString elsewhere = changed + QStringLiteral("書き込みは行いませんでした。入力した内容はそのまま残し、"
                                                           "ほかの項目は保存されている内容にしました。")
                                  + J + QStringLiteral("もう一度F3を押すと、この内容で更新します。");
        const QString before = QStringLiteral("a1:~/A/A1/a1:http://one,a2:~/A/A1/a2:-");
        const QString saved = QStringLiteral("a1:~/A/A1/a1:http://one,a2:~/A/A1/a2:http://new");
        // Registering and loading by folder.
        QTest::newRow("F8 refused, F3") << QStringList{"load a1", "pick /A/A1/n", "answer N", "key F8", "answer Y", "key F3"}
                                        << names << all << "A|||" << update;
        QTest::newRow("F8 refused at the category question, F3")
            << QStringList{"load a1", "pick /B", "answer Y N", "key F8", "answer Y", "key F3"} << names << all << "A|||" << update;
        QTest::newRow("F8 refused at the genre question") << QStringList{"load a1", "pick /A/A2", "answer Y N", "key F8"}
                                                          << names << all << "A||http://one|/h/a1.html"
                                                          << "ジャンルに選択されたフォルダと同名のフォルダが登録されています。" + J
                                                                 + "このフォルダをジャンル名に追加してもよろしいですか？";
        QTest::newRow("F8 registers, F3") << QStringList{"load a1", "pick /A/A1/n", "answer Y", "key F8", "answer Y", "key F3"}
                                          << fields + "'n'" << "-|~/A/A1/n/n.html|~/A/A1/n/n.html|-|0|-1" << "A|||" << update;
        QTest::newRow("F8 loads a2, F3") << QStringList{"load a1", "pick /A/A1/a2", "key F8", "answer Y", "key F3"}
                                         << fields + "'a2'" << "-|-|-|-|0|0" << "A|||" << update;
        QTest::newRow("F8 keeps the genre's files")
            << QStringList{"sql update photoIvents set IventsHtmlButton=-1 where iventsFolderName='a1'", "load a1", "pick /A/A1/n",
                           "answer Y", "key F8"}
            << fields + "'a1'" << "http://one|/h/a1.html|/h/a1.html|/p/a1.jpg|-1|-1" << "A|n||~/A/A1/n/n.html"
            << "ﾀｲﾄﾙ名がデータベースに存在しません。" + J + "登録しますか？";
        QTest::newRow("F8 loads a stored title with none loaded, F3")
            << QStringList{"genre 0", "pick /A/A1/a2", "key F8", "link http://new", "answer Y", "key F3"} << link << saved << "A|||" << update;
        QTest::newRow("button ticks by menu, F3") << QStringList{"load a2", "menu linkButton", "menu openButton", "answer Y", "key F3"}
                                                  << fields + "'a2'" << "-|-|-|-|-1|-1" << "A|||" << update;
        QTest::newRow("grid a1 then a2, F3") << QStringList{"load a1", "row a2", "answer Y", "key F3"}
                                             << fields + "'a2'" << "-|-|-|-|0|0" << "A|||" << update;
        // From the keyboard alone: Tab to the grid, arrows to the row, Return or Space.
        QTest::newRow("Return on a2, F3") << QStringList{"load a1", "keyrow a2 Return", "answer Y", "key F3"}
                                          << fields + "'a2'" << "-|-|-|-|0|0" << "A|||" << update;
        QTest::newRow("Space on a1 after an edit, saved")
            << QStringList{"load a2", "link http://new", "answer Y Y", "keyrow a1 Space"} << link << saved
            << "A|a1|http://one|/h/a1.html" << update;
        QTest::newRow("genre shown none, del2") << QStringList{"genre 1", "category 1", "category 0", "click del2"}
                                                << "select count(*) from photoYear" << "3" << "A|||" << "ジャンルを選択してください！";
        // An edit is offered for saving before anything replaces or empties it.
        QTest::newRow("F4, saved") << QStringList{"load a2", "link http://new", "answer Y Y N", "key F4"} << link << saved << "A|||"
                                   << QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？");
        QTest::newRow("F4, cancelled") << QStringList{"load a2", "link http://new", "answer C", "key F4"} << link << before
                                       << "A|a2|http://new|" << save;
        QTest::newRow("activation, auto-set refused") << QStringList{"load a2", "link http://new", "answer Y Y N", "activate"}
                                                      << link << saved << "A|||" << QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？");
        QTest::newRow("F8 another title") << QStringList{"load a2", "link http://new", "pick /A/A1/a1", "answer Y Y", "key F8"}
                                          << link << saved << "A|a1|http://one|/h/a1.html" << update;
        QTest::newRow("F8 another title, cancelled") << QStringList{"load a2", "link http://new", "pick /A/A1/a1", "answer C", "key F8"}
                                                     << link << before << "A|a2|http://new|" << save;
        QTest::newRow("F6 cancelled") << QStringList{"load a2", "link http://new", "answer Y Y", "key F6"} << link << saved << "A|||" << update;
        QTest::newRow("grid click, cancelled") << QStringList{"load a2", "link http://new", "answer C", "row a1"} << link << before
                                               << "A|a2|http://new|" << save;
        QTest::newRow("grid click, saved") << QStringList{"load a2", "link http://new", "answer Y Y", "row a1"} << link << saved
                                           << "A|a1|http://one|/h/a1.html" << update;
        QTest::newRow("Return, cancelled") << QStringList{"load a2", "link http://new", "answer C", "keyrow a1 Return"} << link
                                           << before << "A|a2|http://new|" << save;
        QTest::newRow("genre choice, not saved") << QStringList{"load a2", "link http://new", "answer N", "genre 1"} << link << before
                                                 << "A|||" << save;
        QTest::newRow("category choice, saved") << QStringList{"load a2", "link http://new", "answer Y Y", "category 1"} << link
                                                << saved << "B|||" << update;
        // Another program rewrote the loaded title: nothing is written over it.
        QTest::newRow("F3 after set-base elsewhere") << QStringList{"load a2", "link http://new", "cli set-base ~/moved", "answer Y", "key F3"}
                                                     << link << "a1:~/moved/A/A1/a1:http://one,a2:~/moved/A/A1/a2:-"
                                                     << "A|a2|http://new|" << elsewhere;
        QTest::newRow("del3 after a change elsewhere")
            << QStringList{"load a1", "sql update photoIvents set iventsLink='http://two' where iventsFolderName='a1'", "answer Y", "click del3"}
            << link << "a1:~/A/A1/a1:http://two,a2:~/A/A1/a2:-" << "A|a1|http://two|/h/a1.html"
            << changed + "削除は行いませんでした。変更された内容を確かめてから、もう一度削除してください。";
        // After that refusal the typing stays over the stored row: a second F3 writes it with
        // the fields the user left as stored now, closing without saving drops it.
        const QStringList typedOver{"load a2", "link http://new",
                                    "sql update photoIvents set iventsLink='http://other', iventsPhoto='/p/o.jpg' where iventsFolderName='a2'",
                                    "answer Y", "key F3"};
        QTest::newRow("F3 after a change elsewhere") << typedOver << fields + "'a2'" << "http://other|-|-|/p/o.jpg|0|0"
                                                     << "A|a2|http://new|" << elsewhere;
        QTest::newRow("F3 after a change elsewhere, F3") << typedOver + QStringList{"answer Y", "key F3"} << fields + "'a2'"
                                                         << "http://new|-|-|/p/o.jpg|0|0" << "A|||" << update;
        QTest::newRow("F3 after a change elsewhere, Esc") << typedOver + QStringList{"answer N N", "key Esc"} << fields + "'a2'"
                                                          << "http://other|-|-|/p/o.jpg|0|0" << "A|a2|http://other|"
                                                          << QStringLiteral("データ編集を終了しますか？");
        // F6 starts inside the base folder and never makes the base folder a category.
        QTest::newRow("F6 on the base folder") << QStringList{"category 1", "pick .", "key F6"}
                                               << "select group_concat(topFolderName, ',') from photoGraph" << "A,B" << "B|||"
                                               << "基準フォルダそのものはカテゴリーにできません。" + J + "基準フォルダの中のフォルダを選択してください。";
        QTest::newRow("F6 new folder refused") << QStringList{"category 1", "pick /A/A3", "answer N", "key F6"}
                                               << "select group_concat(topFolderName, ',') from photoGraph" << "A,B" << "B|||"
                                               << "カテゴリー名がデータベースに存在しません。" + J + "登録しますか？";
    }
    void sequencesKeepData()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, query);
        QFETCH(QString, rows);
        QFETCH(QString, shown);
        QFETCH(QString, said);
        makeDir(m_base + QStringLiteral("/A/A3/x"));
        makeDir(m_tmp.path() + QStringLiteral("/moved"));
        writeFile(m_base + QStringLiteral("/A/A1/n/n.html"));
        openEditor();
        for (const QString &step : steps) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0), arg = step.section(QLatin1Char(' '), 1);
            if (verb == QLatin1String("load")) {
                loadTitle(arg);
            } else if (verb == QLatin1String("row")) {
                clickRow(arg);
            } else if (verb == QLatin1String("keyrow")) {
                keyRow(arg.section(QLatin1Char(' '), 0, 0),
                       arg.section(QLatin1Char(' '), 1) == QLatin1String("Space") ? Qt::Key_Space : Qt::Key_Return);
            } else if (verb == QLatin1String("menu")) {
                m_w->action(arg)->trigger();
            } else if (verb == QLatin1String("genre") || verb == QLatin1String("category")) {
                choose(verb == QLatin1String("genre") ? List::Genre : List::Category, arg.toInt());
            } else if (verb == QLatin1String("pick")) {
                ds().queuePick(m_base + (arg == QLatin1String(".") ? QString() : arg));
            } else if (verb == QLatin1String("answer")) {
                for (const QString &a : arg.split(QLatin1Char(' ')))
                    a == QLatin1String("C") ? ds().queueCancel() : answers({a});
            } else if (verb == QLatin1String("key")) {
                key(arg == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key(Qt::Key_F1 - 1 + arg.mid(1).toInt()));
            } else if (verb == QLatin1String("click")) {
                click(arg);
            } else if (verb == QLatin1String("link")) {
                QLineEdit *box = m_w->field(Field::TitleLink);
                box->setFocus();
                box->selectAll();
                QTest::keyClicks(box, arg);
            } else if (verb == QLatin1String("sql")) {
                sql(m_lib, arg);
            } else if (verb == QLatin1String("cli")) {
                QProcess p;
                QStringList args = arg.split(QLatin1Char(' '));
                args.insert(1, m_lib);
                args.replaceInStrings(QStringLiteral("~"), m_tmp.path());
                p.start(binDir() + QStringLiteral("/tessaly-cli"), args);
                QVERIFY(p.waitForFinished(60000));
                QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
            } else if (verb == QLatin1String("activate")) {
                m_w->activate();
            } else {
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            }
            // After a click on the grid or a save, the grid marks the loaded title, if any:
            // also when the click did not replace it, or the save read the grid again.
            if (verb == QLatin1String("row") || verb == QLatin1String("keyrow") || step == QLatin1String("key F3")) {
                const QModelIndexList marked = m_w->grid()->selectionModel()->selectedRows();
                QCOMPARE(marked.size() == 1 ? gridNames().value(marked[0].row()) : QString(), text(Field::TitleName));
            }
        }
        QCOMPARE(one(query).replace(m_base, QStringLiteral("~")).replace(m_tmp.path(), QStringLiteral("~")), rows);
        QCOMPARE(QStringList({m_w->listText(List::Category), text(Field::TitleName), text(Field::TitleLink), text(Field::TitleHtml)})
                     .join(QLatin1Char('|')).replace(m_base, QStringLiteral("~")),
                 shown);
        QCOMPARE(texts().value(texts().size() - 1, QStringLiteral("-")), said);
        QCOMPARE(ds().pendingAnswers() + ds().pendingPicks(), 0);  // every step ran as written
    }

    // --- registering folders ---

    // F6 on a category folder with genres and titles registers all three levels with the
    // HTML-file pass; F8 then adds a title, and the pass over the genre keeps a set file.
    void registerCategoryWithTree()
    {
        const QString cat = m_base + QStringLiteral("/Family");
        writeFile(cat + QStringLiteral("/2020/Beach/index.html"));
        makeDir(cat + QStringLiteral("/2020/Park"));
        writeFile(cat + QStringLiteral("/2021/Snow/a.html"));
        openEditor(false);
        ds().queuePick(cat);
        ds().queueYes();
        key(Qt::Key_F6);
        QCOMPARE(ds().calls.first().folder.startFolder + ds().calls.first().folder.prompt, m_base + "カテゴリーﾌｫﾙﾀﾞ選択\r\nフォルダを選択してください。");
        QVERIFY(ds().calls.first().folder.openInside);  // the folders inside the base folder, none chosen
        QCOMPARE(texts(), QStringList{"カテゴリー名がデータベースに存在しません。" + J + "登録しますか？"});
        QVERIFY(ds().messages()[0].kind == MsgKind::Exclamation && ds().messages()[0].title == QStringLiteral("カテゴリー選択"));
        QCOMPARE(m_status, QStringList({"カテゴリー名ﾌｫﾙﾀﾞ選択画面起動中...", "テーブル切り離し処理...", "実行中...",
                                        "テーブルジョイント処理...", "処理を終了しました。", "カテゴリー名ﾌｫﾙﾀﾞ選択画面終了"}));
        QCOMPARE(m_w->listText(List::Category), QStringLiteral("Family"));
        QCOMPARE(entries(List::Genre), QStringList({"2020", "2021"}));
        QCOMPARE(gridNames(), QStringList({"Beach", "Park", "Snow"}));
        // Both passes counted, the genres' folders too.
        QCOMPARE(m_w->progressIndicator()->findChild<QLabel *>(QStringLiteral("ProgressText"))->text(), QStringLiteral("フォルダ 5"));
        const QString rows = QStringLiteral("select group_concat(iventsFolderName||':'||coalesce(iventsHTML,'-')||IventsHtmlButton, ',') from photoIvents");
        QCOMPARE(one(rows).remove(cat), QStringLiteral("Beach:/2020/Beach/index.html-1,Park:-0,Snow:/2021/Snow/a.html-1"));

        sql(m_lib, QStringLiteral("update photoIvents set iventsHTML='/mine/park.html' where iventsFolderName='Park'"));
        writeFile(cat + QStringLiteral("/2020/Park/p.html"));
        writeFile(cat + QStringLiteral("/2020/Zoo/zoo.html"));
        choose(List::Genre, 0);
        ds().clear();
        m_status.clear();
        ds().queuePick(cat + QStringLiteral("/2020/Zoo"));
        ds().queueYes();
        key(Qt::Key_F8, m_w->list(List::Genre));
        QCOMPARE(texts(), QStringList{"ﾀｲﾄﾙ名がデータベースに存在しません。" + J + "登録しますか？"});
        QCOMPARE(ds().calls.first().folder.prompt, QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択\r\nフォルダを選択してください。"));
        QCOMPARE(m_status, QStringList({"ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面起動中...", "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面終了"}));
        QCOMPARE(one(rows).remove(cat), QStringLiteral("Beach:/2020/Beach/index.html-1,Park:/mine/park.html0,Snow:/2021/Snow/a.html-1,"
                                                       "Zoo:/2020/Zoo/zoo.html-1"));
        // The new title is loaded for editing.
        QCOMPARE(text(Field::TitleName), QStringLiteral("Zoo"));
        QCOMPARE(g().titleEditMode, int16_t(2));
        QCOMPARE(m_w->f3Caption(), QStringLiteral("更新"));
        QVERIFY(m_w->action(QStringLiteral("写真の指定"))->isEnabled());
        QVERIFY(m_w->field(Field::TitleLink)->hasFocus());
    }

    // F6 and F7 on a known folder select its entry and add nothing: a category by its name (in any
    // folder), a genre by its full path in any category; under another category the walk over
    // the genre list ends on its last entry. A new genre is asked for, with its titles and HTML pass.
    void registerOrSelectFolder_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("folder");  // below the base folder; '!': below the temporary folder
        QTest::addColumn<QStringList>("answers");  // one per question asked
        QTest::addColumn<QString>("shown");   // the key's list entry ('-': none)|grid
        QTest::addColumn<QString>("counts");  // categories|genres|titles|open buttons
        QTest::newRow("F6 known name elsewhere") << int(Qt::Key_F6) << "!elsewhere/B" << QStringList() << "B|b1" << "2|3|5|1";
        QTest::newRow("F6 new, no") << int(Qt::Key_F6) << "C" << QStringList{"N"} << "A|a1,a2,a3,a4" << "2|3|5|1";
        QTest::newRow("F7 known") << int(Qt::Key_F7) << "A/A2" << QStringList() << "A2|a4" << "2|3|5|1";
        QTest::newRow("F7 other category's") << int(Qt::Key_F7) << "B/B1" << QStringList() << "A2|a4" << "2|3|5|1";
        QTest::newRow("F7 new") << int(Qt::Key_F7) << "A/A3" << QStringList{"Y"} << "A3|x" << "2|4|6|2";
        QTest::newRow("F7 a category's folder, yes") << int(Qt::Key_F7) << "B" << QStringList({"Y", "Y"}) << "B|B1" << "2|4|6|1";
        QTest::newRow("F7 a category's folder, no") << int(Qt::Key_F7) << "B" << QStringList({"Y", "N"}) << "-|a1,a2,a3,a4" << "2|3|5|1";
    }
    void registerOrSelectFolder()
    {
        QFETCH(int, key);
        QFETCH(QString, folder);
        QFETCH(QStringList, answers);
        QFETCH(QString, shown);
        const int questions = answers.size();
        QFETCH(QString, counts);
        writeFile(m_base + QStringLiteral("/A/A3/x/x.html"));
        openEditor();
        ds().queuePick(folder.startsWith('!') ? makeDir(m_tmp.path() + '/' + folder.mid(1)) : m_base + '/' + folder);
        this->answers(answers);
        key == Qt::Key_F7 ? click(QStringLiteral("f7")) : this->key(Qt::Key(key));
        if (key == Qt::Key_F7)
            QCOMPARE(ds().calls.first().folder.startFolder + ds().calls.first().folder.prompt, m_base + "/Aジャンルﾌｫﾙﾀﾞ選択\r\nフォルダを選択してください。");
        const QStringList asked = key == Qt::Key_F6
                                      ? QStringList{"カテゴリー名がデータベースに存在しません。" + J + "登録しますか？"}
                                      : QStringList{"ジャンル名がデータベースに存在しません。" + J + "登録しますか？",
                                                    "カテゴリー名に選択されたフォルダと同名のフォルダが登録されています。" + J
                                                        + "このフォルダをジャンル名に追加してもよろしいですか？"};
        QCOMPARE(texts(), asked.mid(0, questions));
        if (questions)
            QCOMPARE(ds().messages().last().title, key == Qt::Key_F6 ? QStringLiteral("カテゴリー選択")
                                                   : questions == 1  ? QString()
                                                                     : QStringLiteral("ジャンル追加"));
        if (key == Qt::Key_F6 && questions) {
            // Not registered: the category chosen before is back, its folder too, and the list has the focus.
            QCOMPARE(text(Field::CategoryFolder), m_base + QStringLiteral("/A"));
            QCOMPARE(QApplication::focusWidget(), m_w->list(List::Category));
        }
        const List l = key == Qt::Key_F6 ? List::Category : List::Genre;
        QCOMPARE((m_w->listPosition(l) < 0 ? QStringLiteral("-") : m_w->listText(l)) + '|' + gridNames().join(','), shown);
        if (shown.startsWith(folder.section('/', -1) + '|') && questions)
            QCOMPARE(m_status, QStringList({"ジャンルﾌｫﾙﾀﾞ選択画面起動中...", "テーブル切り離し処理...", "実行中...",
                                            "テーブルジョイント処理...", "処理を終了しました。", "ジャンルﾌｫﾙﾀﾞ選択画面終了"}));
        QCOMPARE(this->counts() + '|' + one(QStringLiteral("select count(*) from photoIvents where IventsHtmlButton=-1")), counts);
    }

    // F7 and F8 open on the folder of the level above: taken as it comes, it is refused, not
    // registered below itself. A refused folder leaves the genre chosen before as it was.
    void ownFolderIsNoChild_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("answers");  // Return on every question that comes
        QTest::addColumn<QString>("said");
        QTest::newRow("F7 the category's folder") << int(Qt::Key_F7) << "A" << QStringList({"Y", "Y", "Y"})
                                                  << "カテゴリーフォルダそのものはジャンルにできません。" + J
                                                         + "カテゴリーフォルダの中のフォルダを選択してください。";
        QTest::newRow("F8 the genre's folder") << int(Qt::Key_F8) << "A/A2" << QStringList({"Y", "Y", "Y"})
                                               << "ジャンルフォルダそのものはタイトルにできません。" + J
                                                      + "ジャンルフォルダの中のフォルダを選択してください。";
        QTest::newRow("F7 new, no") << int(Qt::Key_F7) << "A/A3" << QStringList{"N"}
                                    << "ジャンル名がデータベースに存在しません。" + J + "登録しますか？";
    }
    void ownFolderIsNoChild()
    {
        QFETCH(int, key);
        QFETCH(QString, folder);
        QFETCH(QStringList, answers);
        QFETCH(QString, said);
        openEditor();
        choose(List::Genre, 1);
        ds().queuePick(m_base + '/' + folder);
        this->answers(answers);
        this->key(Qt::Key(key));
        QCOMPARE(texts(), QStringList{said});
        QCOMPARE(counts(), QStringLiteral("2|3|5"));
        QCOMPARE(m_w->listPosition(List::Genre), 1);
        QCOMPARE(m_w->listText(List::Genre) + '|' + text(Field::GenreFolder) + '|' + gridNames().join(',') + '|' + text(Field::TitleName),
                 "A2|" + m_base + "/A/A2|a4|");
        QCOMPARE(g().currentGenreId, 2);
    }

    // A chosen entry whose key is unknown (its read failed) takes no new folder below it:
    // the user is told to choose it again.
    void unreadEntryTakesNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("unread");  // 1 the category, 2 the genre
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("title");
        const QString category = QStringLiteral("エラー：カテゴリーを選択しなおしてください。");
        QTest::newRow("F7, category") << int(Qt::Key_F7) << "A/A3" << 1 << category << "";
        QTest::newRow("F8, category") << int(Qt::Key_F8) << "A/A1/n" << 1 << category << "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択";
        QTest::newRow("F8, genre") << int(Qt::Key_F8) << "A/A1/n" << 2 << "エラー：ジャンルを選択しなおしてください。" << "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択";
    }
    void unreadEntryTakesNothing()
    {
        QFETCH(int, key);
        QFETCH(QString, folder);
        QFETCH(int, unread);
        QFETCH(QString, said);
        QFETCH(QString, title);
        makeDir(m_base + '/' + folder);
        openEditor();
        choose(List::Genre, 0);
        (unread == 1 ? g().currentCategoryId : g().currentGenreId) = 0;
        ds().queuePick(m_base + '/' + folder);
        answers({"Y"});
        this->key(Qt::Key(key));
        QCOMPARE(texts().size(), 2);
        QCOMPARE(texts().last(), said);
        QCOMPARE(ds().messages().last().title, title);
        QCOMPARE(ds().messages().last().kind, MsgKind::Critical);
        QCOMPARE(QApplication::focusWidget(), m_w->list(List::Category));
        QCOMPARE(counts(), QStringLiteral("2|3|5"));
        QCOMPARE(text(Field::TitleName), QString());
    }

    // A pass over a new entry's folders that fails is shown as every pass shows it, with
    // the program's name and no icon; the entry registered before it stays.
    void failedPassIsShown_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("refused");  // the writes that fail
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QStringList>("then");  // what is said after the failure
        QTest::newRow("F6, its genres") << int(Qt::Key_F6) << "C" << "insert on photoYear" << "3|3|5" << QStringList();
        QTest::newRow("F7, its titles") << int(Qt::Key_F7) << "A/A3" << "insert on photoIvents" << "2|4|5"
                                        << QStringList{"タイトルフォルダを追加できませんでした。"};
        QTest::newRow("F8, its page") << int(Qt::Key_F8) << "A/A1/n" << "update on photoIvents" << "2|3|6" << QStringList();
    }
    void failedPassIsShown()
    {
        QFETCH(int, key);
        QFETCH(QString, folder);
        QFETCH(QString, refused);
        QFETCH(QString, counts);
        QFETCH(QStringList, then);
        makeDir(m_base + QStringLiteral("/C/c1"));
        writeFile(m_base + QStringLiteral("/A/A3/x/x.html"));
        writeFile(m_base + QStringLiteral("/A/A1/n/n.html"));
        openEditor();
        choose(List::Genre, 0);
        sql(m_lib, "create trigger t before " + refused + " begin select raise(abort, 'disk gone'); end");
        ds().queuePick(m_base + '/' + folder);
        answers({"Y"});
        this->key(Qt::Key(key));
        QCOMPARE(ds().messages().size(), 2 + then.size());
        QCOMPARE(texts().mid(2), then);
        const MessageRequest &m = ds().messages().at(1);
        QVERIFY2(m.text.contains(QStringLiteral("disk gone")), qPrintable(m.text));
        QCOMPARE(m.kind, MsgKind::None);
        QCOMPARE(m.title, QStringLiteral("Tessaly"));
        QCOMPARE(this->counts(), counts);
    }

    // Commands that need a selection say so, with their own title, and do nothing else.
    void commandsNeedASelection_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("chosen");  // 0 nothing, 1 a category, 2 a genre too
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("focus");  // list focused afterwards, -1 not looked at
        const QString cat = QStringLiteral("カテゴリーを入力してください！"), gen = QStringLiteral("ジャンルを入力してください！");
        QTest::newRow("F7") << "F7" << 0 << cat << "" << 0;
        QTest::newRow("F8, no category") << "F8" << 0 << cat << "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択" << 0;
        QTest::newRow("F8, no genre") << "F8" << 1 << gen << "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択" << 1;
        QTest::newRow("F9, no genre") << "F9" << 1 << gen << "ﾌｧｲﾙ選択" << 1;
        QTest::newRow("F10, no title") << "F10" << 2 << "タイトルフォルダを選択してください！" << "写真選択" << 1;
        QTest::newRow("grid, no category") << "grid" << 0 << "カテゴリー名を選択してください！" << "タイトル選択" << 0;
        QTest::newRow("grid, no genre") << "grid" << 1 << "ジャンルを選択してください！" << "タイトル選択" << 1;
        QTest::newRow("del1") << "del1" << 0 << "カテゴリーを選択してください！" << "カテゴリー、ジャンル、タイトル情報削除" << -1;
        QTest::newRow("del2") << "del2" << 1 << "ジャンルを選択してください！" << "ジャンル、タイトル情報削除" << -1;
        QTest::newRow("del3") << "del3" << 2 << "タイトルを選択してください！" << "タイトル情報削除" << -1;
    }
    void commandsNeedASelection()
    {
        QFETCH(QString, how);
        QFETCH(int, chosen);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(int, focus);
        openEditor();
        if (chosen == 0) {
            m_w->setListPosition(List::Category, -1);
            g().currentCategoryId = 0;
        }
        if (chosen == 2)
            choose(List::Genre, 0);
        if (how.startsWith('F'))
            key(Qt::Key(Qt::Key_F1 - 1 + how.mid(1).toInt()));
        else if (how == QLatin1String("grid"))
            clickRow(QStringLiteral("a2"));
        else
            click(how);
        QCOMPARE(texts(), QStringList{text});
        QCOMPARE(ds().messages()[0].title, title);
        QCOMPARE(ds().messages()[0].kind, how == QLatin1String("F7") ? MsgKind::None : MsgKind::Exclamation);
        if (focus >= 0)
            QCOMPARE(QApplication::focusWidget(), m_w->list(List(focus)));
        QCOMPARE(g().titleEditMode, int16_t(0));
        QCOMPARE(counts(), QStringLiteral("2|3|5"));
    }

    // --- keys ---

    // A click on a button runs exactly what its key runs, Shift or not; keys with nothing
    // to do never reach the control.
    void buttonAndKeyRunTheSame_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
            QTest::newRow(qPrintable(QStringLiteral("f%1").arg(n))) << n;
    }
    void buttonAndKeyRunTheSame()
    {
        QFETCH(int, n);
        openEditor();
        loadTitle(QStringLiteral("a2"));
        Spy spy;
        m_w->field(Field::TitleLink)->installEventFilter(&spy);
        auto run = [&](bool byClick) {
            ds().clear();
            m_status.clear();
            ds().queueNo();
            QWidget *link = m_w->field(Field::TitleLink);
            link->setFocus();
            byClick ? click(QStringLiteral("f%1").arg(n)) : QTest::keyClick(link, Qt::Key(Qt::Key_F1 + n - 1), Qt::ShiftModifier);
            QStringList trace = m_status;
            for (const auto &c : ds().calls)
                trace << c.message.text + c.file.dialogTitle + c.folder.prompt;
            return trace << text(Field::TitleName) << QString::number(g().titleEditMode);
        };
        const QStringList byKey = run(false);
        QCOMPARE(run(true), byKey);
        QCOMPARE(byKey.size() > 2, !(n == 2 || n == 5 || n == 11));
        QVERIFY(!spy.keys.contains(Qt::Key_F1 + n - 1));
    }

    // While a command runs, keys and clicks on the window are dropped.
    void busyWindowTakesNoInput()
    {
        openEditor();
        QLineEdit *link = m_w->field(Field::TitleLink);
        bool busy = false;
        ds().whileShown = [&] {
            busy = m_w->binder()->isBusy();
            QTest::keyClick(link, Qt::Key_X);
            QTest::keyClick(link, Qt::Key_F8);
            click(QStringLiteral("del1"));
            QCoreApplication::processEvents();
        };
        key(Qt::Key_F7);
        ds().whileShown = nullptr;
        QVERIFY(busy);
        QCOMPARE(ds().calls.size(), 1);
        QVERIFY(link->text().isEmpty());
        QTest::keyClick(link, Qt::Key_X);
        QCOMPARE(link->text(), QStringLiteral("x"));
    }

    // --- title details ---

    // Without a title folder the pickers start in the genre folder with a pattern; with a
    // title loaded in its folder with the current name, where a cancelled file picker
    // changes nothing and a cancelled photo picker removes the photo (Null when saved).
    void pickers_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("menu");    // ticked before the save (a1 has only the link box ticked)
        QTest::addColumn<QString>("stored");  // iventsHTML|Ivents|iventsPhoto|IventsLinkButton IventsHtmlButton
        QTest::newRow("file") << int(Qt::Key_F9) << "openButton" << "/h/a1.html|/h/a1.html|/p/a1.jpg|-1-1";
        QTest::newRow("photo") << int(Qt::Key_F10) << "linkButton" << "/h/a1.html|/h/a1.html|<null>|-10";
    }
    void pickers()
    {
        QFETCH(int, key);
        QFETCH(QString, menu);
        QFETCH(QString, stored);
        openEditor();
        choose(List::Genre, 0);
        const bool photo = key == Qt::Key_F10;
        m_w->setFieldText(Field::TitleName, QStringLiteral("T"));
        m_w->setFieldText(Field::TitleIvents, QStringLiteral("old"));
        ds().queuePick(QStringLiteral("/picked"));
        this->key(Qt::Key(key));
        FilePickRequest r = ds().calls.value(0).file;
        QCOMPARE(r.dialogTitle, photo ? QStringLiteral("写真ファイル選択") : QStringLiteral("ファイル選択"));
        QCOMPARE(r.startFolder + r.initialName, m_base + (photo ? QStringLiteral("/A/A1*.jpg") : QStringLiteral("/A/A1*.html")));
        QCOMPARE(r.filters.first().pattern, photo ? QStringLiteral("*.jpg") : QStringLiteral("*"));
        // All files, also those without a dot in their name.
        QCOMPARE(r.filters.at(photo ? 2 : 0).name + r.filters.at(photo ? 2 : 0).pattern, QStringLiteral("All Files*"));
        QCOMPARE(text(photo ? Field::TitlePhoto : Field::TitleHtml), QStringLiteral("/picked"));
        QCOMPARE(text(Field::TitleIvents), photo ? QStringLiteral("old") : QStringLiteral("/picked"));
        QCOMPARE(m_status, photo ? QStringList({"写真選択画面起動中...", "写真選択画面終了"})
                                 : QStringList({"ﾌｧｲﾙ選択画面起動中...", "ﾌｧｲﾙ選択画面終了"}));
        ds().clear();
        clickRow(QStringLiteral("a1"));
        this->key(Qt::Key(key));
        r = ds().calls.value(0).file;
        QCOMPARE(r.startFolder + '|' + r.initialName, m_base + (photo ? QStringLiteral("/A/A1/a1|a1.jpg") : QStringLiteral("/A/A1/a1|a1.html")));
        QCOMPARE(text(Field::TitleHtml) + text(Field::TitlePhoto), photo ? "/h/a1.html" : "/h/a1.html/p/a1.jpg");
        QVERIFY(m_w->findChild<QCheckBox *>("fIventsLinkButton")->isChecked() && !m_w->findChild<QCheckBox *>("fIventsHtmlButton")->isChecked());
        // A menu item ticks only its own box (ticking twice keeps it); the save writes each box to its own flag.
        m_w->action(menu)->trigger();
        m_w->action(menu)->trigger();
        ds().clear();
        m_status.clear();
        ds().queueYes();
        this->key(Qt::Key_F3);
        QCOMPARE(texts(), QStringList{"タイトル情報を更新しますか？"});
        QCOMPARE(one("select iventsHTML||'|'||Ivents||'|'||coalesce(iventsPhoto,'<null>')||'|'||IventsLinkButton||IventsHtmlButton "
                     "from photoIvents where iventsFolderName='a1'"), stored);
        QCOMPARE(m_status, QStringList({"更新処理中...", "テーブル切り離し処理...", "実行中...", "更新処理終了",
                                        "テーブルジョイント処理...", "処理を終了しました。"}));
        QVERIFY(text(Field::TitleName).isEmpty() && m_w->f3Caption().isEmpty() && !m_w->action(QStringLiteral("linkButton"))->isEnabled());
    }

    // A save that cannot go ahead says why and writes nothing.
    void saveRefused_data()
    {
        QTest::addColumn<QString>("arrange");
        QTest::addColumn<QString>("last");  // last box text; '*': contains
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("entryKept");
        QTest::addColumn<QString>("status");  // the status box's texts, '/' between them
        // Around a save that got past its first check; a missing row is told and the tables joined again.
        const QString saving = "更新処理中...", saved = "更新処理終了", detached = "テーブル切り離し処理.../実行中...",
                      joined = "テーブルジョイント処理.../処理を終了しました。";
        QTest::newRow("no folder") << "folder" << "タイトルフォルダを選択してください！" << "" << true << QString();
        QTest::newRow("no name") << "name" << "タイトルフォルダ名を入力してください！" << "タイトル入力" << false
                                 << QStringList{saving, saved, joined}.join('/');
        QTest::newRow("row gone") << "delete from photoIvents where iventsFolderName='a2'" << "タイトルデータが存在しません！"
                                  << "タイトルデータ更新" << false << QStringList{saving, detached, joined, saved, joined}.join('/');
        QTest::newRow("database error") << "create trigger t before update on photoIvents begin select raise(abort,'disk gone'); end"
                                        << "*disk gone" << "タイトルデータ更新" << true << QStringList{saving, detached, saved}.join('/');
    }
    void saveRefused()
    {
        QFETCH(QString, arrange);
        QFETCH(QString, last);
        QFETCH(QString, title);
        QFETCH(bool, entryKept);
        QFETCH(QString, status);
        openEditor();
        loadTitle(QStringLiteral("a2"));
        m_status.clear();
        m_w->setFieldText(Field::TitleLink, QStringLiteral("http://new"));
        if (arrange == QLatin1String("folder"))
            m_w->setFieldText(Field::TitleFolder, QString());
        else if (arrange == QLatin1String("name"))
            m_w->setFieldText(Field::TitleName, QString());
        else
            sql(m_lib, arrange);
        ds().queueYes();
        key(Qt::Key_F3);
        const QString got = texts().value(texts().size() - 1);
        QVERIFY2(last.startsWith('*') ? got.contains(last.mid(1)) : got == last, qPrintable(got));
        QCOMPARE(ds().messages().last().title, title);
        QCOMPARE(text(Field::TitleLink).isEmpty(), !entryKept);
        QCOMPARE(m_status.join('/'), status);
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where iventsLink is not null")), QStringLiteral("1"));
    }

    // The title boxes hold what the library holds: a stored text longer than a line box
    // takes by default is shown, saved and deleted whole, with no conflict seen.
    void longStoredText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("left");  // the link's length|link button
        QTest::newRow("F3") << "F3" << "タイトル情報を更新しますか？" << "40000|-1";
        QTest::newRow("del3") << "del3" << "タイトルフォルダ情報を削除しますか？" + J + "「a2」" << "<none>";
    }
    void longStoredText()
    {
        QFETCH(QString, how);
        QFETCH(QString, asked);
        QFETCH(QString, left);
        const QString stored = QStringLiteral("http://") + QString(40000 - 7, QLatin1Char('x'));
        openEditor();
        sql(m_lib, QStringLiteral("update photoIvents set iventsLink=? where iventsFolderName='a2'"), {stored});
        loadTitle(QStringLiteral("a2"));
        QCOMPARE(text(Field::TitleLink), stored);
        m_w->check(Check::LinkButton)->setChecked(true);
        ds().queueYes();
        how == QLatin1String("F3") ? key(Qt::Key_F3) : click(how);
        QCOMPARE(texts(), QStringList{asked});
        QCOMPARE(one(QStringLiteral("select length(iventsLink)||'|'||IventsLinkButton from photoIvents where iventsFolderName='a2'")),
                 left);
        QVERIFY(m_w->f3Caption().isEmpty());
    }

    // A line break never gets into a title's one-line box, pasted, inserted or loaded, so
    // a save stores none.
    void oneLineBoxes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("pasted") << "pasted";
        QTest::newRow("inserted") << "inserted";
        QTest::newRow("stored") << "stored";
    }
    void oneLineBoxes()
    {
        QFETCH(QString, how);
        const QString broken = QStringLiteral("https://a/\r\nb");
        openEditor();
        if (how == QLatin1String("stored"))
            sql(m_lib, QStringLiteral("update photoIvents set iventsLink=? where iventsFolderName='a2'"), {broken});
        loadTitle(QStringLiteral("a2"));
        QLineEdit *box = m_w->field(Field::TitleLink);
        box->setFocus();
        box->selectAll();
        if (how == QLatin1String("pasted")) {
            QGuiApplication::clipboard()->setText(broken);
            QTest::keySequence(box, QKeySequence::Paste);
        } else if (how == QLatin1String("inserted")) {
            box->insert(broken);
        }
        QCOMPARE(box->text(), QStringLiteral("https://a/b"));
        ds().queueYes();
        key(Qt::Key_F3);
        QCOMPARE(texts(), QStringList{QStringLiteral("タイトル情報を更新しますか？")});
        QCOMPARE(one(QStringLiteral("select iventsLink from photoIvents where iventsFolderName='a2'")), QStringLiteral("https://a/b"));
    }

    // A run that stops on a fault ends with a text that says so, never the closing one.
    void stoppedAutoSetSaysSo()
    {
        load();
        makeDir(m_base + QStringLiteral("/C/C1/c1"));
        sql(m_lib, QStringLiteral("create trigger boom before insert on photoIvents begin select raise(abort, 'boom'); end"));
        ds().queueYes();
        m_status.clear();
        m_w->activate();
        QCOMPARE(m_status.last(), QStringLiteral("オートセットは途中で止まりました。追加: カテゴリー 1、ジャンル 1、タイトル 0"));
        QVERIFY(!m_status.join('|').contains(kDone));
        const QString said = ds().messages().last().text;
        QVERIFY2(said.contains("boom") && said.endsWith("タイトルの登録は途中で止まりました。新しいタイトルは登録していません。"),
                 qPrintable(said));
    }

    // --- deleting, the site, closing ---

    // Long commands show how far they are beside the status box, only while they run;
    // their status texts stay as they were. The window repaints while they run.
    void progressIndicator_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("finalText");
        QTest::addColumn<QStringList>("status");
        QTest::newRow("auto-set") << int(Qt::Key_F4) << kAsk << "フォルダ 6"
                                  << QStringList{"テーブル切り離し処理...", "オートセット実行中...",
                                                 kDone + "追加: カテゴリー 0、ジャンル 0、タイトル 0"};
        QTest::newRow("delete category") << 1 << "カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？" + J + "「A」" << "行を削除 7"
                                         << QStringList{"カテゴリーフォルダ以下のデータ削除中．．．", "テーブル切り離し処理...",
                                                        "実行中...", "カテゴリーフォルダ以下のデータ削除終了"};
        QTest::newRow("site") << int(Qt::Key_F12) << "ＨＴＭＬファイル作成を実行しますか？" << "ページ 9/9"
                              << QStringList{"ＨＴＭＬファイル出力中...", "ＨＴＭＬファイル出力終了"};
    }
    void progressIndicator()
    {
        QFETCH(int, command);
        QFETCH(QString, question);
        QFETCH(QString, finalText);
        QFETCH(QStringList, status);
        fill();
        const QString out = makeDir(m_dir + QStringLiteral("/site"));
        sql(m_lib, QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {out});
        sql(m_lib, QStringLiteral("update photoIvents set iventsPhoto=null"));  // a missing photo would be listed
        openEditor(false);
        QWidget *indicator = m_w->progressIndicator();
        QVERIFY(!indicator->isVisible());
        Spy spy;
        spy.text = indicator->findChild<QLabel *>(QStringLiteral("ProgressText"));
        QVERIFY(spy.text);
        indicator->installEventFilter(&spy);
        Spy grid;
        grid.line = m_w->statusBox();
        m_w->grid()->viewport()->installEventFilter(&grid);
        QTimer outside;  // stands for the window system asking for a repaint
        connect(&outside, &QTimer::timeout, m_w->grid()->viewport(), qOverload<>(&QWidget::update));
        outside.start(0);
        ds().queueYes();
        command == 1 ? click(QStringLiteral("del1")) : key(Qt::Key(command));
        outside.stop();
        QVERIFY(!grid.shown.isEmpty() && grid.shown.first() != status.last());
        QCOMPARE(texts(), QStringList{question});
        QCOMPARE(m_status, status);
        QVERIFY(!spy.shown.isEmpty());  // painted while the command ran
        QVERIFY(!indicator->isVisible());
        QCOMPARE(spy.text->text(), finalText);
        auto *bar = indicator->findChild<QProgressBar *>(QStringLiteral("ProgressBar"));
        QCOMPARE(bar->maximum() == 0, !finalText.contains('/'));  // a count without its total: a busy bar
        QCOMPARE(bar->geometry().right(), indicator->rect().right());  // at the status box's right end
        if (command == Qt::Key_F12) {
            QCOMPARE(spy.shown.last(), finalText);  // the end is always shown
            QCOMPARE(bar->value(), bar->maximum());
            QVERIFY(QFileInfo::exists(out + QStringLiteral("/アルバム.html")));
        }
    }

    // F12 into an output folder that is gone: one report, the genre pages written in their
    // own folders all the same, and the status line says that the site was not completed.
    void siteWithoutItsOutputFolder()
    {
        sql(m_lib, QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {m_dir + "/gone"});
        openEditor();
        ds().queueYes();
        key(Qt::Key_F12);
        // The frame pages' failure once; then what the genre pages found (a1's photo is not there).
        QCOMPARE(texts().size(), 3);
        QVERIFY2(texts().at(1).startsWith(QStringLiteral("76:")), qPrintable(texts().at(1)));
        QVERIFY2(texts().at(2).startsWith(QStringLiteral("次のタイトルは写真を表示できないため")) && texts().at(2).contains("/p/a1.jpg"),
                 qPrintable(texts().at(2)));
        QCOMPARE(m_status, QStringList({"ＨＴＭＬファイル出力中...", "ＨＴＭＬファイル出力は完了していません。"}));
        QVERIFY(!QFileInfo::exists(m_dir + "/gone"));
        for (const char *genre : {"/A/A1", "/A/A2", "/B/B1"})
            QVERIFY2(readFile(m_base + genre + "/nIndex.html").contains("<table border=1"), genre);
    }

    // Each deletion with its notices, naming what it deletes; every matching row goes in
    // one transaction (a failure deletes nothing), folders on disk stay, and nothing of
    // the deleted entry stays on screen.
    void deletions_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("arrange");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("texts");  // '*': contains
        QTest::addColumn<QString>("left");       // categories|genres|titles
        QTest::addColumn<bool>("cleared");       // no title loaded afterwards
        const QString q1 = QStringLiteral("カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？") + J + "「A」";
        const QString q2 = QStringLiteral("ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？") + J + "「A1」";
        const QString q3 = QStringLiteral("タイトルフォルダ情報を削除しますか？") + J + "「a1」";
        const QString noTitles = QStringLiteral("タイトルデータがありませんでした！");
        QTest::newRow("category") << "del1" << "" << "Y" << QStringList{q1} << "1|1|1" << true;
        QTest::newRow("the last category") << "del1" << "delete from photoGraph where ID<>1" << "Y" << QStringList{q1} << "0|1|1" << true;
        QTest::newRow("category, no") << "del1" << "" << "N" << QStringList{q1} << "2|3|5" << false;
        QTest::newRow("category without titles") << "del1" << "delete from photoIvents where ID=1" << "Y"
                                                 << QStringList({q1, noTitles}) << "1|1|1" << true;
        QTest::newRow("category, database error")
            << "del1" << "create trigger t before delete on photoIvents when old.iventsFolderName='a2' begin select raise(abort,'row locked'); end"
            << "Y" << QStringList({q1, "*削除は行われませんでした"}) << "2|3|5" << false;
        QTest::newRow("genre") << "del2" << "" << "Y" << QStringList{q2} << "2|2|2" << true;
        QTest::newRow("genre without titles") << "del2" << "delete from photoIvents where ID1=1" << "Y"
                                              << QStringList({q2, noTitles}) << "2|2|2" << true;
        QTest::newRow("genre already gone") << "del2" << "delete from photoYear where ID1=1" << "Y"
                                            << QStringList({q2, "ジャンルデータがありませんでした！"}) << "2|2|5" << false;
        QTest::newRow("title") << "del3" << "" << "Y" << QStringList{q3} << "2|3|4" << true;
        QTest::newRow("title already gone") << "del3" << "delete from photoIvents where iventsFolderName='a1'" << "Y"
                                            << QStringList({q3, "データがありませんでした！" + J + "実際にはデータが存在する場合、"
                                                                "「カテゴリー名」と「ジャンル」を選択しなおしてから実行出てみてください。"})
                                            << "2|3|4" << true;
    }
    void deletions()
    {
        QFETCH(QString, button);
        QFETCH(QString, arrange);
        QFETCH(QString, answer);
        QFETCH(QStringList, texts);
        QFETCH(QString, left);
        QFETCH(bool, cleared);
        openEditor();
        loadTitle(QStringLiteral("a1"));
        if (!arrange.isEmpty())
            sql(m_lib, arrange);
        answers({answer});
        click(button);
        const QStringList got = this->texts();
        QCOMPARE(got.size(), texts.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(texts[i].startsWith('*') ? got[i].contains(texts[i].mid(1)) : got[i] == texts[i], qPrintable(got[i]));
        const QString title = button == QLatin1String("del1")   ? QStringLiteral("カテゴリー、ジャンル、タイトル情報削除")
                              : button == QLatin1String("del2") ? QStringLiteral("ジャンル、タイトル情報削除")
                                                                : QStringLiteral("タイトル情報削除");
        for (const MessageRequest &m : ds().messages()) {
            QCOMPARE(m.title, title);
            QCOMPARE(m.kind, m.text.contains(QLatin1String("row locked")) ? MsgKind::Critical : MsgKind::Exclamation);
        }
        QCOMPARE(counts(), left);
        QVERIFY(QFileInfo(m_base + QStringLiteral("/A/A1/a1")).isDir());
        QCOMPARE(m_w->f3Caption().isEmpty(), cleared);
        QCOMPARE(text(Field::TitleFolder).isEmpty(), cleared);
        if (cleared && button != QLatin1String("del3")) {  // no folder shown of what is gone
            QCOMPARE(text(Field::GenreFolder), QString());
            const QString category = m_w->listText(List::Category);
            QCOMPARE(text(Field::CategoryFolder), category.isEmpty() ? QString() : m_base + '/' + category);
        }
    }

    // Esc, 閉じる and the title bar's close: the save question only while a title is loaded,
    // then the end question.
    void closing_data()
    {
        QTest::addColumn<QString>("way");  // the key, the menu item or the title bar
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("closed");
        const QString save = QStringLiteral("データの更新を行いますか？"), end = QStringLiteral("データ編集を終了しますか？");
        QTest::newRow("Esc, nothing loaded, close") << "Esc" << false << QStringList{"Y"} << QStringList{end} << true;
        QTest::newRow("Esc, loaded, no, no") << "Esc" << true << QStringList({"N", "N"}) << QStringList({save, end}) << false;
        QTest::newRow("Esc, loaded, save, close") << "Esc" << true << QStringList({"Y", "Y", "Y"})
                                                  << QStringList({save, "タイトル情報を更新しますか？", end}) << true;
        QTest::newRow("title bar, loaded, save, close") << "title bar" << true << QStringList({"Y", "Y", "Y"})
                                                        << QStringList({save, "タイトル情報を更新しますか？", end}) << true;
        QTest::newRow("閉じる, nothing loaded, close") << "閉じる" << false << QStringList{"Y"} << QStringList{end} << true;
        QTest::newRow("閉じる, loaded, no, no") << "閉じる" << true << QStringList({"N", "N"}) << QStringList({save, end}) << false;
    }
    void closing()
    {
        QFETCH(QString, way);
        QFETCH(bool, loaded);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, texts);
        QFETCH(bool, closed);
        openEditor();
        if (loaded) {
            loadTitle(QStringLiteral("a2"));
            m_w->field(Field::TitleLink)->setText(QStringLiteral("http://new"));
        }
        this->answers(answers);
        if (way == QLatin1String("Esc"))
            key(Qt::Key_Escape);
        else if (way == QLatin1String("title bar"))
            m_w->close();
        else
            m_w->action(way)->trigger();
        QCOMPARE(this->texts(), texts);
        QCOMPARE(ds().messages().last().title, QStringLiteral("データ編集"));
        QCOMPARE(m_w->isVisible(), !closed);
        QCOMPARE(one(QStringLiteral("select coalesce(iventsLink,'-') from photoIvents where iventsFolderName='a2'")),
                 texts.size() == 3 ? QStringLiteral("http://new") : QStringLiteral("-"));
    }

    // In the main window: opening the editor activates it once, coming back from another
    // child again, bringing it to the front while active does not. The frame's close asks
    // the editor's questions and stops when they keep the editor; opening another library
    // offers the edit for saving in the old one and shows the new one.
    void inTheMainWindow()
    {
        fill();
        const QString other = makeLibrary(m_dir + QStringLiteral("/other"));
        sql(other, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Z', '/z')"));
        sql(other, QStringLiteral("insert into allTop (ID, allTop) values (1, '/')"));
        NoPrinterSettings printer;
        htmlCrtMain main(g(), ds(), printer);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto asks = [this] {
            const QList<MessageRequest> m = ds().messages();
            return int(std::count_if(m.cbegin(), m.cend(), [](const MessageRequest &r) { return r.text == kAsk; }));
        };
        g().folderSetupStage = 2;
        QPointer<dataSet> editor = qobject_cast<dataSet *>(main.showWindow(QStringLiteral("dataSet")));
        QTRY_COMPARE(asks(), 1);
        QCOMPARE(g().folderSetupStage, int16_t(0));
        main.showWindow(QStringLiteral("dataSet"));
        QWidget *folders = main.showWindow(QStringLiteral("htmlOut"));
        QTRY_COMPARE(main.mdiArea()->activeSubWindow()->widget(), folders);
        main.mdiArea()->setActiveSubWindow(main.subWindowOf(editor));
        QTRY_COMPARE(asks(), 2);
        QTest::qWait(50);
        QCOMPARE(asks(), 2);

        editor->list(List::Genre)->setCurrentIndex(0);
        emit editor->list(List::Genre)->activated(0);
        editor->screen().GridRowClicked(1);
        editor->field(Field::TitleLink)->setText(QStringLiteral("http://new"));
        ds().clear();
        answers({"N", "N"});
        main.close();
        QVERIFY(main.isVisible() && editor);
        QCOMPARE(ds().messages().size(), 2);
        // The edit not to be saved is gone: the title shows as stored.
        QCOMPARE(editor->field(Field::TitleLink)->text(), QString());
        editor->field(Field::TitleLink)->setText(QStringLiteral("http://new"));
        answers({"Y", "Y"});
        QVERIFY(OpenLibraryFile(g(), ds(), main, other, true, &main));
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where iventsLink='http://new'")), "1");
        QCOMPARE(editor->listCount(List::Category), 1);
        QCOMPARE(editor->listEntryText(List::Category, 0) + editor->field(Field::BaseFolder)->text(), QStringLiteral("Z/"));
        QCOMPARE(editor->f3Caption(), QString());
        // A library without categories leaves no folder of the last one in the boxes.
        answers({"N"});
        QVERIFY(OpenLibraryFile(g(), ds(), main, m_lib, true, &main));
        editor->list(List::Genre)->setCurrentIndex(0);
        emit editor->list(List::Genre)->activated(0);
        QVERIFY(!editor->field(Field::GenreFolder)->text().isEmpty());
        answers({"N"});
        QVERIFY(OpenLibraryFile(g(), ds(), main, makeLibrary(m_dir + QStringLiteral("/empty")), true, &main));
        for (const Field f : {Field::CategoryFolder, Field::GenreFolder, Field::TitleIvents})
            QCOMPARE(editor->field(f)->text(), QString());
    }

    // The frame's close while a long command runs waits for the command's end, then asks
    // the editor's questions: an edit is saved or kept, never lost unasked.
    void closeDuringARun_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("during");  // the question of the run at which the close comes
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("link");    // stored afterwards
        QTest::newRow("F12, saved and ended") << int(Qt::Key_F12) << "ＨＴＭＬファイル作成を実行しますか？"
                                              << QStringList({"N", "Y", "Y", "Y"}) << true << "http://new";
        QTest::newRow("F4, kept open") << int(Qt::Key_F4) << "データの更新を行いますか？" << QStringList({"C", "N", "N"}) << false
                                       << "-";
    }
    void closeDuringARun()
    {
        QFETCH(int, key);
        QFETCH(QString, during);
        QFETCH(QStringList, answers);
        QFETCH(bool, closed);
        QFETCH(QString, link);
        fill();
        NoPrinterSettings printer;
        htmlCrtMain main(g(), ds(), printer);
        main.setEndHandler([] {});
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QPointer<dataSet> editor = qobject_cast<dataSet *>(main.showWindow(QStringLiteral("dataSet")));
        QTRY_VERIFY(texts().contains(kAsk));
        editor->list(List::Genre)->setCurrentIndex(0);
        emit editor->list(List::Genre)->activated(0);
        editor->screen().GridRowClicked(1);
        QLineEdit *box = editor->field(Field::TitleLink);
        QTest::keyClicks(box, QStringLiteral("http://new"));
        ds().clear();
        for (const QString &a : answers)
            a == QLatin1String("C") ? ds().queueCancel() : this->answers({a});
        ds().whileAsking = [&](const MessageRequest &r) {
            if (r.text != during)
                return;
            ds().whileAsking = nullptr;
            main.close();  // the frame's close box, while the command runs
        };
        box->setFocus();
        QTest::keyClick(box, Qt::Key(key));
        QTRY_VERIFY(texts().contains(QStringLiteral("データ編集を終了しますか？")));
        QTest::qWait(20);
        QCOMPARE(main.isVisible(), !closed);
        QCOMPARE(bool(editor), !closed);
        QCOMPARE(one(QStringLiteral("select coalesce(iventsLink,'-') from photoIvents where iventsFolderName='a2'")), link);
        QCOMPARE(ds().pendingAnswers(), 0);
    }

    // 終了, of the main window or of the editor, with an edit not yet saved asks the save
    // question first: はい saves as F3 does, いいえ drops the edit, and a cancel or a save
    // that did not go through keeps the program running with the edit.
    void exitWithAnEdit_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("link");  // stored afterwards
        const QString save = QStringLiteral("データの更新を行いますか？"), update = QStringLiteral("タイトル情報を更新しますか？"),
                      end = QStringLiteral("終了しますか？");
        QTest::newRow("main, saved") << "main" << QStringList({"Y", "Y", "Y"}) << QStringList({save, update, end}) << true
                                     << "http://new";
        QTest::newRow("editor, dropped") << "editor" << QStringList({"N", "Y"}) << QStringList({save, end}) << true << "-";
        QTest::newRow("main, cancelled") << "main" << QStringList{"C"} << QStringList{save} << false << "-";
        QTest::newRow("editor, save refused") << "editor" << QStringList({"Y", "N"}) << QStringList({save, update}) << false
                                              << "-";
        QTest::newRow("main, saved, not ended") << "main" << QStringList({"Y", "Y", "N"}) << QStringList({save, update, end})
                                                << false << "http://new";
    }
    void exitWithAnEdit()
    {
        QFETCH(QString, from);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, texts);
        QFETCH(bool, ended);
        QFETCH(QString, link);
        fill();
        NoPrinterSettings printer;
        htmlCrtMain main(g(), ds(), printer);
        int ends = 0;
        main.setEndHandler([&ends] { ++ends; });
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QPointer<dataSet> editor = qobject_cast<dataSet *>(main.showWindow(QStringLiteral("dataSet")));
        QTRY_VERIFY(this->texts().contains(kAsk));
        editor->list(List::Genre)->setCurrentIndex(0);
        emit editor->list(List::Genre)->activated(0);
        editor->screen().GridRowClicked(1);
        QTest::keyClicks(editor->field(Field::TitleLink), QStringLiteral("http://new"));
        ds().clear();
        for (const QString &a : answers)
            a == QLatin1String("C") ? ds().queueCancel() : this->answers({a});
        (from == QLatin1String("main") ? main.action(QStringLiteral("終了")) : editor->action(QStringLiteral("終了")))->trigger();
        QCOMPARE(this->texts(), texts);
        QCOMPARE(ends, ended ? 1 : 0);
        QCOMPARE(one(QStringLiteral("select coalesce(iventsLink,'-') from photoIvents where iventsFolderName='a2'")), link);
        if (!ended && link == QLatin1String("-"))
            QCOMPARE(editor->field(Field::TitleLink)->text(), QStringLiteral("http://new"));
    }

    // Every caption in reading order, each ending left of its box on the box's row; the 削除
    // frame right of the boxes with its buttons one under another, the grid under the
    // boxes and the keys' row under the grid.
    void formLayout()
    {
        openEditor();
        const auto at = [this](const QString &name) {
            QWidget *w = m_w->findChild<QWidget *>(name);
            return w ? w->geometry() : QRect();
        };
        QList<QLabel *> labels = m_w->findChild<QWidget *>(QStringLiteral("client"))->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
        std::sort(labels.begin(), labels.end(), [](QLabel *a, QLabel *b) { return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x()); });
        QStringList captions;
        for (QLabel *l : labels)
            captions << l->text();
        QCOMPARE(captions, QStringList({"基準ﾌｫﾙﾀﾞ", "ｶﾃｺﾞﾘｰ", "ｼﾞｬﾝﾙ", "ﾀｲﾄﾙ", "ﾌｧｲﾙ指定", "ﾘﾝｸ先", "表示写真",
                                         "[ESC:閉じる]", "ﾌｫﾙﾀﾞ検索追加", "ﾌｫﾙﾀﾞ参照選択", "ﾀｲﾄﾙﾌｫﾙﾀﾞ参照設定"}));
        const QStringList boxes = {"AllTop", "topFolder", "yearFolder", "fIventsFolderName", "fIventsHTML", "fIventsLink", "fIventsPhoto"};
        for (int i = 0; i < boxes.size(); ++i) {
            const QRect caption = labels[i]->geometry(), box = at(boxes[i]);
            const int textEnd = caption.left() + labels[i]->fontMetrics().horizontalAdvance(labels[i]->text());
            QVERIFY2(textEnd < box.left() && caption.top() >= box.top() && caption.top() < box.bottom(), qPrintable(boxes[i]));
        }
        for (const QString &box : boxes + QStringList{"photoGFolder", "photoYFolder", "fIventsFolder", "fIventsLinkButton"})
            QVERIFY2(at("Frame1").left() > at(box).right() && at("DataGrid1").top() > at(box).bottom(), qPrintable(box));
        for (const QString &button : {"del1", "del2", "del3"})
            QVERIFY(m_w->findChild<QWidget *>(button)->parentWidget()->objectName() == "Frame1");
        QVERIFY(at("del1").bottom() < at("del2").top() && at("del2").bottom() < at("del3").top()
                && at("del3").bottom() < at("Frame1").height());
        for (int n = 1; n <= 12; ++n)
            QVERIFY2(at(QString("f%1").arg(n)).top() > at("DataGrid1").bottom(), qPrintable(QString::number(n)));
        // The key buttons in groups of four, as on the keyboard: in a group each ends where
        // the next begins, a gap between groups; f3, f7 and f12 a little wider.
        for (int n = 1; n < 12; ++n) {
            const int gap = at(QString("f%1").arg(n + 1)).left() - at(QString("f%1").arg(n)).right() - 1;
            QVERIFY2(n % 4 ? qAbs(gap) <= 1 : gap > 4, qPrintable(QString::number(n)));
        }
        QVERIFY(at("f3").width() > at("f2").width() && at("f7").width() > at("f6").width() && at("f12").width() > at("f11").width());
        // What the program fills is green or grey and takes no typing; the user's own boxes are white, the link grey.
        const QColor green(192, 255, 192), grey(224, 224, 224), white(Qt::white);
        for (const auto &[box, colour, typed] : {std::tuple{"AllTop", green, false}, {"photoGFolder", green, false},
                                                 {"fIventsFolderName", grey, false}, {"fIventsFolder", green, false},
                                                 {"fIventsHTML", white, true}, {"fIventsLink", grey, true},
                                                 {"fIventsPhoto", white, true}, {"MsgText", white, false}}) {
            const auto *edit = m_w->findChild<QLineEdit *>(box);
            QVERIFY2(edit->palette().color(QPalette::Base) == colour && edit->isReadOnly() != typed, box);
        }
        for (QComboBox *list : {m_w->list(List::Category), m_w->list(List::Genre)})  // grey, their buttons too
            QVERIFY(list->palette().color(QPalette::Base) == grey && list->palette().color(QPalette::Button) == grey);
        // Tab goes round the window through what the user types into or presses, out of the
        // grid again, and never stops at a box that only shows.
        m_w->list(List::Category)->setFocus();
        QWidget *const first = QApplication::focusWidget();
        QStringList stops;
        for (int i = 0; i < 40 && (i == 0 || QApplication::focusWidget() != first); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QWidget *f = QApplication::focusWidget();
            stops << (f->objectName().isEmpty() ? f->parentWidget()->objectName() : f->objectName());
        }
        QCOMPARE(stops.last(), QStringLiteral("topFolder"));
        QCOMPARE(stops.count("DataGrid1"), 1);
        QVERIFY2(stops.contains("f12") && stops.contains("fIventsLink"), qPrintable(stops.join(' ')));
        for (const char *box : {"AllTop", "photoGFolder", "photoYFolder", "fIventsFolderName", "fIventsFolder", "MsgText"})
            QVERIFY2(!stops.contains(box), box);
    }

    // The menus in their order, the title items off until a title is loaded; each item of
    // another window's runs there.
    void windowItems()
    {
        openEditor();
        QStringList menus;
        for (QAction *m : m_w->findChild<QMenuBar *>()->actions()) {
            QStringList items;
            for (QAction *a : m->menu()->actions())
                items << a->objectName() + (a->isSeparator() ? QString() : ' ' + a->text()) + (a->isEnabled() ? "" : " [off]");
            menus << m->menu()->objectName() + ' ' + m->text() + ": " + items.join(", ");
        }
        QCOMPARE(menus, QStringList({"ファイル ﾌｧｲﾙ: 閉じる 閉じる, line0, 用紙設定 用紙設定, 印刷 印刷, 終了 終了",
                                     "編集 編集: オートセット ｵｰﾄｾｯﾄ, フォルダ更新 ﾌｫﾙﾀﾞ選択 [off], linkButton ﾘﾝｸﾎﾞﾀﾝの表示/非表示 [off], "
                                     "openButton 開くﾎﾞﾀﾝの表示/非表示 [off], ファイルの指定 ﾌｧｲﾙの指定 [off], 写真の指定 写真の指定 [off], "
                                     "line2, HTML出力 HTML出力, line3, 基準 基準フォルダ設定, HTML出力先 HTML出力先設定",
                                     "ヘルプ ヘルプ: ヘルプ1 ヘルプ, このソフトについて このソフトについて"}));
        QCOMPARE(m_w->editMenu(), m_w->findChild<QMenu *>(QStringLiteral("編集")));
        for (const char *name : {"用紙設定", "基準", "HTML出力先", "ヘルプ1", "このソフトについて"})
            m_w->action(QString::fromUtf8(name))->trigger();
        answers({"Y", "Y"});
        m_w->action(QStringLiteral("印刷"))->trigger();
        m_w->action(QStringLiteral("終了"))->trigger();
        QCOMPARE(m_host->log, QStringList({"show prtPaperF", "show topFolderF", "show htmlOut", "help", "about",
                                           "print dataSet", "end"}));
        QCOMPARE(texts(), QStringList({"この画面を印刷しますか？", "終了しますか？"}));
        QVERIFY(ds().messages()[0].title == QStringLiteral("データ編集") && ds().messages()[1].title.isEmpty());
    }
};

QTEST_MAIN(TestEditorGui)
#include "test_editor_gui.moc"
