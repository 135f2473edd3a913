// The editor's commands in the real editor window: registering folders, title details,
// deleting, the keys and buttons, and closing, on folder trees made on disk.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "DialogService.h"
#include "EditorCommandBinder.h"
#include "Global.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "TitleGrid.h"
#include "WindowHost.h"
#include "dataSet.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

using List = EditorView::List;
using Field = EditorView::Field;
using Check = EditorView::Check;

const QString J = QStringLiteral("\n\r");

// A dialog service that lets a test act while a folder browser is up.
class ActingDialogs : public ScriptedDialogService {
public:
    std::function<void()> whileShown;
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
    QWidget *showWindow(const QString &name) override
    {
        log << QStringLiteral("show ") + name;
        return nullptr;
    }
    QWidget *findWindow(const QString &) const override { return nullptr; }
    void showHelp() override { log << QStringLiteral("help"); }
    void showAbout() override { log << QStringLiteral("about"); }
    void endProgram() override { log << QStringLiteral("end"); }
    void printWindowImage(QWidget *w) override { log << QStringLiteral("print ") + w->objectName(); }
};

// Records what the progress indicator shows each time it is painted.
class PaintSpy : public QObject {
public:
    QLabel *text = nullptr;
    QStringList shown;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            shown << text->text();
        return false;
    }
};

// Counts the key presses that reach a control.
class KeySpy : public QObject {
public:
    QList<int> keys;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent *>(e)->key();
        return false;
    }
};

}  // namespace

class TestEditorGui : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_lib, m_base;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<dataSet> m_w;
    QStringList m_status;  // every text MsgText showed

    ActingDialogs &ds() { return m_host->ds; }
    Global &g() { return m_host->g; }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageRequest &m : m_host->ds.messages())
            out << m.text;
        return out;
    }
    QString one(const QString &statement, const QVariantList &params = {})
    {
        const QStringList c = sqlColumn(m_lib, statement, params);
        return c.isEmpty() ? QStringLiteral("<none>") : c.first();
    }
    QString text(Field f) const { return m_w->fieldText(f); }
    QStringList entries(List l) const
    {
        QStringList out;
        for (int i = 0; i < m_w->listCount(l); ++i)
            out << m_w->listEntryText(l, i);
        return out;
    }
    QStringList gridNames() const
    {
        QStringList out;
        for (int r = 0; r < m_w->screen().grid().rowCount(); ++r)
            out << m_w->screen().grid().cell(r, TitleGrid::ColFolderName).toString();
        return out;
    }

    // The editor on the library, shown and activated (the auto-set answered No).
    void openEditor()
    {
        m_w = std::make_unique<dataSet>(*m_host);
        connect(m_w->statusBox(), &QLineEdit::textChanged, this, [this](const QString &t) { m_status << t; });
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QTRY_COMPARE(ds().messages().size(), 1);
        QCOMPARE(ds().messages().first().text, QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"));
        ds().clear();
        m_status.clear();
    }
    void key(Qt::Key k, QWidget *on = nullptr)
    {
        QWidget *target = on ? on : m_w->field(Field::TitleLink);
        target->setFocus();
        QTest::keyClick(target, k);
    }
    void click(const char *name)
    {
        auto *b = m_w->findChild<QPushButton *>(QString::fromLatin1(name));
        QVERIFY2(b, name);
        QTest::mouseClick(b, Qt::LeftButton);
        QCoreApplication::processEvents();  // the button's key is posted
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
        const int row = gridNames().indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QTableView *grid = m_w->grid();
        const QModelIndex index = grid->model()->index(row, TitleGrid::ColFolderName);
        grid->scrollTo(index);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualRect(index).center());
    }
    void answers(const QStringList &a)
    {
        for (const QString &x : a)
            x == QLatin1String("Y") ? ds().queueYes() : ds().queueNo();
    }
    // Category Family with genres 2020 (Beach with an HTML file, Park without) and 2021.
    QString makeFamilyTree()
    {
        const QString cat = m_base + QStringLiteral("/Family");
        writeFile(cat + QStringLiteral("/2020/Beach/index.html"));
        writeFile(cat + QStringLiteral("/2020/Beach/sea.jpg"));
        makeDir(cat + QStringLiteral("/2020/Park"));
        writeFile(cat + QStringLiteral("/2021/Snow/a.html"));
        writeFile(cat + QStringLiteral("/readme.txt"));
        return cat;
    }
    // Categories A (genre A1 with titles a1, a2) and B (genre B1 with b1), registered.
    void fillAB()
    {
        for (const char *p : {"A/A1/a1", "A/A1/a2", "B/B1/b1"})
            makeDir(m_base + QLatin1Char('/') + QLatin1String(p));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('A', ?), ('B', ?)"),
            {m_base + "/A", m_base + "/B"});
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'A1', ?), (2, 'B1', ?)"),
            {m_base + "/A/A1", m_base + "/B/B1"});
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsHTML, Ivents, iventsPhoto, "
                                  "IventsHtmlButton) values (1, 1, 'a1', ?, '/h/a1.html', '/h/a1.html', '/p/a1.jpg', -1), "
                                  "(1, 1, 'a2', ?, null, null, null, 0), (2, 2, 'b1', ?, null, null, null, 0)"),
            {m_base + "/A/A1/a1", m_base + "/A/A1/a2", m_base + "/B/B1/b1"});
    }

private slots:
    void init()
    {
        const QString dir = m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('_')
                            + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        QDir(dir).removeRecursively();
        m_lib = makeLibrary(dir);
        m_base = makeDir(dir + QStringLiteral("/base"));
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

    // F6 on a category folder holding genres and titles registers all three levels;
    // the HTML-file pass gives a title its file; a title file already set stays.
    void registerCategoryWithTree()
    {
        const QString cat = makeFamilyTree();
        openEditor();
        ds().queuePick(cat);
        ds().queueYes();
        key(Qt::Key_F6);
        QCOMPARE(ds().calls.first().folder.startFolder, m_base);
        QCOMPARE(texts(), QStringList{QStringLiteral("カテゴリー名がデータベースに存在しません。") + J + QStringLiteral("登録しますか？")});
        QCOMPARE(ds().messages()[0].kind, MsgKind::Exclamation);
        QCOMPARE(ds().messages()[0].title, QStringLiteral("カテゴリー選択"));
        QCOMPARE(m_status, QStringList({"カテゴリー名ﾌｫﾙﾀﾞ選択画面起動中...", "テーブル切り離し処理...", "実行中...",
                                        "テーブルジョイント処理...", "処理を終了しました。", "カテゴリー名ﾌｫﾙﾀﾞ選択画面終了"}));
        // The window shows the new category with its genres and titles.
        QCOMPARE(m_w->listText(List::Category), QStringLiteral("Family"));
        QVERIFY(m_w->listPosition(List::Category) >= 0);
        QCOMPARE(text(Field::CategoryFolder), cat);
        QCOMPARE(entries(List::Genre), QStringList({"2020", "2021"}));
        QCOMPARE(gridNames(), QStringList({"Beach", "Park", "Snow"}));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select iventsFolderName||'|'||coalesce(iventsHTML,'-')||'|'||coalesce(Ivents,'-')||'|'||"
                                                 "IventsHtmlButton from photoIvents order by ID2")),
                 QStringList({QStringLiteral("Beach|%1/2020/Beach/index.html|%1/2020/Beach/index.html|-1").arg(cat),
                              QStringLiteral("Park|-|-|0"),
                              QStringLiteral("Snow|%1/2021/Snow/a.html|%1/2021/Snow/a.html|-1").arg(cat)}));

        // A new title in genre 2020: the pass over the genre keeps a file already set.
        sql(m_lib, QStringLiteral("update photoIvents set iventsHTML='/mine/park.html' where iventsFolderName='Park'"));
        writeFile(cat + QStringLiteral("/2020/Beach/other.html"));
        writeFile(cat + QStringLiteral("/2020/Zoo/zoo.html"));
        chooseGenre(0);
        ds().clear();
        m_status.clear();
        ds().queuePick(cat + QStringLiteral("/2020/Zoo"));
        ds().queueYes();
        key(Qt::Key_F8);
        QCOMPARE(texts(), QStringList{QStringLiteral("ﾀｲﾄﾙ名がデータベースに存在しません。") + J + QStringLiteral("登録しますか？")});
        QCOMPARE(m_status, QStringList({"ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面起動中...", "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面終了"}));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select iventsFolderName||'|'||coalesce(iventsHTML,'-') from photoIvents "
                                                 "where ID1=(select ID1 from photoYear where yearFolderName='2020') order by ID2")),
                 QStringList({QStringLiteral("Beach|%1/2020/Beach/index.html").arg(cat), QStringLiteral("Park|/mine/park.html"),
                              QStringLiteral("Zoo|%1/2020/Zoo/zoo.html").arg(cat)}));
        // The new title is loaded: update mode, f3 "更新", title menus on.
        QCOMPARE(text(Field::TitleName), QStringLiteral("Zoo"));
        QCOMPARE(g().titleEditMode, int16_t(2));
        QCOMPARE(m_w->functionButton(3)->text(), QStringLiteral("更新"));
        QVERIFY(m_w->action(QStringLiteral("写真の指定"))->isEnabled());
        QVERIFY(gridNames().contains(QStringLiteral("Zoo")));
        QVERIFY(m_w->field(Field::TitleLink)->hasFocus());
    }

    // A category of that name exists (in another folder): nothing is added, it is selected.
    void existingCategoryNameSelectsIt()
    {
        fillAB();
        openEditor();
        QCOMPARE(m_w->listText(List::Category), QStringLiteral("A"));
        ds().queuePick(makeDir(m_tmp.path() + QStringLiteral("/elsewhere/B")));
        key(Qt::Key_F6);
        QVERIFY(ds().messages().isEmpty());
        QCOMPARE(m_w->listPosition(List::Category), 1);
        QCOMPARE(m_w->listText(List::Category), QStringLiteral("B"));
        QCOMPARE(text(Field::CategoryFolder), m_base + QStringLiteral("/B"));
        QCOMPARE(g().currentCategoryId, 2);
        QCOMPARE(gridNames(), QStringList{"b1"});
        QCOMPARE(one(QStringLiteral("select count(*) from photoGraph")), QStringLiteral("2"));
    }

    // A genre is known by its full path in any category; under another category the
    // list walk ends on the last entry and nothing is added.
    void genreFoundByFullPath()
    {
        fillAB();
        openEditor();
        chooseCategory(1);
        ds().queuePick(m_base + QStringLiteral("/B/B1"));
        key(Qt::Key_F7);
        QVERIFY(ds().messages().isEmpty());
        QCOMPARE(m_w->listText(List::Genre), QStringLiteral("B1"));
        QCOMPARE(g().currentGenreId, 2);
        QCOMPARE(gridNames(), QStringList{"b1"});
        QCOMPARE(m_status.last(), QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択画面終了"));

        chooseCategory(0);
        ds().clear();
        ds().queuePick(m_base + QStringLiteral("/B/B1"));
        key(Qt::Key_F7);
        QVERIFY(ds().messages().isEmpty());
        QCOMPARE(m_w->listText(List::Genre), QStringLiteral("A1"));
        QCOMPARE(text(Field::GenreFolder), m_base + QStringLiteral("/A/A1"));
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear")), QStringLiteral("2"));
    }

    void registerGenre()
    {
        fillAB();
        writeFile(m_base + QStringLiteral("/A/A2/x/x.html"));
        openEditor();
        ds().queuePick(m_base + QStringLiteral("/A/A2"));
        ds().queueYes();
        click("f7");
        QCOMPARE(ds().calls.first().folder.startFolder, m_base + QStringLiteral("/A"));
        QCOMPARE(texts(), QStringList{QStringLiteral("ジャンル名がデータベースに存在しません。") + J + QStringLiteral("登録しますか？")});
        QCOMPARE(m_status, QStringList({"ジャンルﾌｫﾙﾀﾞ選択画面起動中...", "テーブル切り離し処理...", "実行中...",
                                        "テーブルジョイント処理...", "処理を終了しました。", "ジャンルﾌｫﾙﾀﾞ選択画面終了"}));
        QCOMPARE(entries(List::Genre), QStringList({"A1", "A2"}));
        QCOMPARE(m_w->listText(List::Genre), QStringLiteral("A2"));
        QCOMPARE(one(QStringLiteral("select iventsFolderName||'|'||IventsHtmlButton from photoIvents where ID1=3")),
                 QStringLiteral("x|-1"));
    }

    // A folder stored as category and as genre: both questions in turn for a new title.
    void titleFolderOfBothLevels_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("fieldsKept");
        QTest::newRow("no to the first") << QStringList({"Y", "N"}) << true;
        QTest::newRow("no to the second") << QStringList({"Y", "Y", "N"}) << false;
    }
    void titleFolderOfBothLevels()
    {
        QFETCH(QStringList, answers);
        QFETCH(bool, fieldsKept);
        fillAB();
        const QString both = makeDir(m_base + QStringLiteral("/Both"));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Both', ?)"), {both});
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (2, 'Both', ?)"), {both});
        openEditor();
        chooseGenre(0);
        this->answers(answers);
        ds().queuePick(both);
        key(Qt::Key_F8);
        const QString tail = J + QStringLiteral("このフォルダをジャンル名に追加してもよろしいですか？");
        QStringList expected{QStringLiteral("ﾀｲﾄﾙ名がデータベースに存在しません。") + J + QStringLiteral("登録しますか？"),
                             QStringLiteral("カテゴリー名に選択されたフォルダと同名のフォルダが登録されています。") + tail};
        if (!fieldsKept)
            expected << QStringLiteral("ジャンルに選択されたフォルダと同名のフォルダが登録されています。") + tail;
        QCOMPARE(texts(), expected);
        QCOMPARE(ds().messages().last().title, QStringLiteral("イベントフォルダ追加"));
        QCOMPARE(text(Field::TitleName), fieldsKept ? QStringLiteral("Both") : QString());
        QCOMPARE(text(Field::TitleFolder), fieldsKept ? both : QString());
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents")), QStringLiteral("3"));
        QCOMPARE(g().titleEditMode, int16_t(0));
    }

    // Cancelled folder browsers change no data. F6 reloads the category list, whose
    // choice clears a loaded title; F7 reloads the genre list; F8 changes nothing.
    void cancelledBrowsers_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<bool>("titleKept");
        QTest::newRow("F6") << int(Qt::Key_F6) << "カテゴリーﾌｫﾙﾀﾞ選択" << false;
        QTest::newRow("F7") << int(Qt::Key_F7) << "ジャンルﾌｫﾙﾀﾞ選択" << true;
        QTest::newRow("F8") << int(Qt::Key_F8) << "ﾀｲﾄﾙﾌｫﾙﾀﾞ選択" << true;
    }
    void cancelledBrowsers()
    {
        QFETCH(int, key);
        QFETCH(QString, prompt);
        QFETCH(bool, titleKept);
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a2"));
        const QString before = text(Field::TitleName) + text(Field::TitleFolder) + m_w->listText(List::Category)
                               + m_w->listText(List::Genre);
        this->key(Qt::Key(key));
        QCOMPARE(ds().calls.size(), 1);
        QCOMPARE(ds().calls[0].folder.prompt, prompt + QStringLiteral("\r\nフォルダを選択してください。"));
        QCOMPARE(text(Field::TitleName) + text(Field::TitleFolder) + m_w->listText(List::Category) + m_w->listText(List::Genre),
                 titleKept ? before : QStringLiteral("A"));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select count(*) from photoGraph union all select count(*) from photoYear "
                                                 "union all select count(*) from photoIvents")),
                 QStringList({"2", "2", "3"}));
    }

    // F3 with no title loaded does nothing, and the key does not reach the control.
    void f3WithoutTitle()
    {
        fillAB();
        openEditor();
        QLineEdit *link = m_w->field(Field::TitleLink);
        KeySpy spy;
        link->installEventFilter(&spy);
        key(Qt::Key_F3, link);
        key(Qt::Key_F3, m_w->list(List::Category));
        QCOMPARE(spy.keys, QList<int>());
        QVERIFY(ds().calls.isEmpty());
        QVERIFY(m_status.isEmpty());
        key(Qt::Key_X, link);
        QCOMPARE(spy.keys, QList<int>{Qt::Key_X});  // other keys do reach it
    }

    // Shift, Ctrl and Alt are not looked at; F1 goes on to the control (and the frame's help).
    void modifiersAndF1()
    {
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a2"));
        QLineEdit *link = m_w->field(Field::TitleLink);
        KeySpy spy;  // on the window: keys that go on reach it from any control
        m_w->installEventFilter(&spy);
        link->setFocus();
        ds().queueNo();
        QTest::keyClick(link, Qt::Key_F3, Qt::ShiftModifier);
        ds().queueNo();
        QTest::keyClick(link, Qt::Key_F3, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(texts(), QStringList({"タイトル情報を更新しますか？", "タイトル情報を更新しますか？"}));
        QTest::keyClick(link, Qt::Key_F1);
        click("f1");
        spy.keys.removeIf([](int k) { return k == Qt::Key_Shift || k == Qt::Key_Control || k == Qt::Key_Alt; });
        QCOMPARE(spy.keys, QList<int>({Qt::Key_F1, Qt::Key_F1}));
        QCOMPARE(ds().calls.size(), 2);
    }

    // While a command runs, keys and clicks on the window are dropped.
    void busyWindowTakesNoInput()
    {
        fillAB();
        openEditor();
        QLineEdit *link = m_w->field(Field::TitleLink);
        bool busy = false;
        ds().whileShown = [&] {
            busy = m_w->binder()->isBusy();
            QTest::keyClick(link, Qt::Key_X);
            QTest::keyClick(link, Qt::Key_F8);
            click("del1");
            click("f6");
            QCoreApplication::processEvents();
        };
        key(Qt::Key_F7);
        ds().whileShown = nullptr;
        QVERIFY(busy);
        QVERIFY(!m_w->binder()->isBusy());
        QCOMPARE(ds().calls.size(), 1);  // only the genre browser
        QVERIFY(link->text().isEmpty());
        QCOMPARE(m_status, QStringList({"ジャンルﾌｫﾙﾀﾞ選択画面起動中...", "ジャンルﾌｫﾙﾀﾞ選択画面終了"}));
        QTest::keyClick(link, Qt::Key_X);
        QCOMPARE(link->text(), QStringLiteral("x"));
    }

    // Save after a cancelled picker: an emptied file is not written, an emptied photo is.
    void saveAfterCancelledPicker_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("stored");  // iventsHTML|Ivents|iventsPhoto
        QTest::newRow("file picker") << int(Qt::Key_F9) << "/h/a1.html|/h/a1.html|/p/a1.jpg";
        QTest::newRow("photo picker") << int(Qt::Key_F10) << "/h/a1.html|/h/a1.html|<null>";
    }
    void saveAfterCancelledPicker()
    {
        QFETCH(int, key);
        QFETCH(QString, stored);
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a1"));
        QCOMPARE(text(Field::TitleHtml), QStringLiteral("/h/a1.html"));
        this->key(Qt::Key(key));
        const FilePickRequest r = ds().calls[0].file;
        QCOMPARE(r.dialogTitle, key == Qt::Key_F9 ? QStringLiteral("ファイル選択") : QStringLiteral("写真ファイル選択"));
        QCOMPARE(r.startFolder, m_base + QStringLiteral("/A/A1/a1"));
        QCOMPARE(r.initialName, key == Qt::Key_F9 ? QStringLiteral("a1.html") : QStringLiteral("a1.jpg"));
        QVERIFY(key == Qt::Key_F9 ? text(Field::TitleHtml).isEmpty() && text(Field::TitleIvents).isEmpty()
                                  : text(Field::TitlePhoto).isEmpty());
        ds().clear();
        m_status.clear();
        ds().queueYes();
        this->key(Qt::Key_F3);
        QCOMPARE(texts(), QStringList{"タイトル情報を更新しますか？"});
        QCOMPARE(one(QStringLiteral("select iventsHTML||'|'||Ivents||'|'||coalesce(iventsPhoto,'<null>') from photoIvents where iventsFolderName='a1'")),
                 stored);
        QCOMPARE(m_status, QStringList({"更新処理中...", "テーブル切り離し処理...", "実行中...", "更新処理終了",
                                        "テーブルジョイント処理...", "処理を終了しました。"}));
        QVERIFY(text(Field::TitleName).isEmpty());
        QCOMPARE(m_w->functionButton(3)->text(), QString());
        QVERIFY(!m_w->action(QStringLiteral("linkButton"))->isEnabled());
    }

    void linkAndOpenMenuItems()
    {
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a2"));
        QVERIFY(!m_w->check(Check::LinkButton)->isChecked());
        m_w->action(QStringLiteral("linkButton"))->trigger();
        m_w->action(QStringLiteral("linkButton"))->trigger();
        m_w->action(QStringLiteral("openButton"))->trigger();
        QVERIFY(m_w->check(Check::LinkButton)->isChecked());
        QVERIFY(m_w->check(Check::HtmlButton)->isChecked());
        QCOMPARE(one(QStringLiteral("select IventsLinkButton from photoIvents where iventsFolderName='a2'")), QStringLiteral("0"));
        ds().queueYes();
        key(Qt::Key_F3);
        QCOMPARE(one(QStringLiteral("select IventsLinkButton||IventsHtmlButton from photoIvents where iventsFolderName='a2'")),
                 QStringLiteral("-1-1"));
    }

    // --- deleting ---

    void deleteCategory()
    {
        fillAB();
        const QString folder = m_base + QStringLiteral("/A/A1/a1");
        openEditor();
        ds().queueYes();
        click("del1");
        QCOMPARE(texts(), QStringList{"カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？"});
        QCOMPARE(m_status, QStringList({"カテゴリーフォルダ以下のデータ削除中．．．", "テーブル切り離し処理...", "実行中...",
                                        "カテゴリーフォルダ以下のデータ削除終了"}));
        QCOMPARE(entries(List::Category), QStringList{"B"});
        QCOMPARE(gridNames(), QStringList{"b1"});
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select count(*) from photoYear where ID=1 union all "
                                                 "select count(*) from photoIvents where ID=1")),
                 QStringList({"0", "0"}));
        QVERIFY(QFileInfo(folder).isDir());
    }

    // Long commands show how far they are beside the status box, only while they run;
    // their status texts stay as they were.
    void progressIndicator_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("finalText");
        QTest::addColumn<QStringList>("status");
        QTest::newRow("auto-set") << int(Qt::Key_F4) << "フォルダ 5"
                                  << QStringList{"テーブル切り離し処理...", "オートセット実行中...", "オートセットを終了しました。"};
        QTest::newRow("delete category") << 1 << "行を削除 4"
                                         << QStringList{"カテゴリーフォルダ以下のデータ削除中．．．", "テーブル切り離し処理...",
                                                        "実行中...", "カテゴリーフォルダ以下のデータ削除終了"};
        QTest::newRow("site") << int(Qt::Key_F12) << "ページ 8/8"
                              << QStringList{"ＨＴＭＬファイル出力中...", "ＨＴＭＬファイル出力終了"};
    }
    void progressIndicator()
    {
        QFETCH(int, command);
        QFETCH(QString, finalText);
        QFETCH(QStringList, status);
        fillAB();
        const QString out = makeDir(m_base + QStringLiteral("/../site"));
        sql(m_lib, QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {QDir::cleanPath(out)});
        openEditor();
        QWidget *indicator = m_w->progressIndicator();
        QVERIFY(!indicator->isVisible());
        PaintSpy spy;
        spy.text = indicator->findChild<QLabel *>(QStringLiteral("ProgressText"));
        QVERIFY(spy.text);
        indicator->installEventFilter(&spy);
        ds().queueYes();
        if (command == 1) {
            chooseCategory(0);
            m_status.clear();
            click("del1");
        } else {
            key(Qt::Key(command));
        }
        QCOMPARE(m_status, status);
        QVERIFY(!spy.shown.isEmpty());  // painted while the command ran
        QVERIFY(!indicator->isVisible());
        QCOMPARE(spy.text->text(), finalText);
        auto *bar = indicator->findChild<QProgressBar *>(QStringLiteral("ProgressBar"));
        if (command == Qt::Key_F12) {
            QCOMPARE(spy.shown.last(), finalText);  // the end is always shown
            QCOMPARE(bar->value(), bar->maximum());
        }
    }

    void deleteNotices_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("arrange");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("category without titles") << "del1" << "delete from photoIvents where ID=1"
                                                 << QStringList({"カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？",
                                                                 "タイトルデータがありませんでした！"});
        QTest::newRow("genre without titles") << "del2" << "delete from photoIvents where ID1=1"
                                              << QStringList({"ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？",
                                                              "タイトルデータがありませんでした！"});
        QTest::newRow("genre already gone") << "del2" << "delete from photoYear where ID1=1"
                                            << QStringList({"ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？",
                                                            "ジャンルデータがありませんでした！"});
        QTest::newRow("title already gone") << "del3" << "delete from photoIvents where iventsFolderName='a1'"
                                            << QStringList({"タイトルフォルダ情報を削除しますか？",
                                                            "データがありませんでした！\n\r実際にはデータが存在する場合、「カテゴリー名」と"
                                                            "「ジャンル」を選択しなおしてから実行出てみてください。"});
        QTest::newRow("title") << "del3" << "" << QStringList{"タイトルフォルダ情報を削除しますか？"};
    }
    void deleteNotices()
    {
        QFETCH(QString, button);
        QFETCH(QString, arrange);
        QFETCH(QStringList, texts);
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a1"));
        if (!arrange.isEmpty())
            sql(m_lib, arrange);
        ds().queueYes();
        click(button.toLatin1().constData());
        QCOMPARE(this->texts(), texts);
        for (const MessageRequest &m : ds().messages())
            QCOMPARE(m.kind, MsgKind::Exclamation);
        if (button == QLatin1String("del3")) {
            QCOMPARE(m_status.last(), QStringLiteral("タイトルフォルダのデータ削除終了"));
            QVERIFY(!gridNames().contains(QStringLiteral("a1")));
            QCOMPARE(g().currentTitleId, 0);
            QVERIFY(!m_w->action(QStringLiteral("フォルダ更新"))->isEnabled());
            if (texts.size() == 1)
                QVERIFY(text(Field::TitleName).isEmpty() && text(Field::TitleHtml).isEmpty());
            else
                QCOMPARE(text(Field::TitleName), QStringLiteral("a1"));
        }
        if (button == QLatin1String("del2")) {
            const bool gone = texts.last().startsWith(QStringLiteral("ジャンルデータ"));
            QCOMPARE(m_status.last(), QStringLiteral("ジャンルフォルダ以下のデータ削除終了"));
            QCOMPARE(g().currentGenreId, gone ? 1 : 0);
            QVERIFY(text(Field::TitleName).isEmpty() != gone);
        }
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where ID=2")), QStringLiteral("1"));
    }

    // --- keys, buttons and closing ---

    // A click on a button runs exactly what its key runs.
    void buttonAndKeyRunTheSame_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {2, 3, 5, 6, 7, 8, 9, 10, 11, 12})
            QTest::newRow(qPrintable(QStringLiteral("f%1").arg(n))) << n;
    }
    void buttonAndKeyRunTheSame()
    {
        QFETCH(int, n);
        fillAB();
        openEditor();
        chooseGenre(0);
        clickRow(QStringLiteral("a2"));
        auto run = [&](bool byClick) {
            ds().clear();
            m_status.clear();
            ds().queueNo();
            if (byClick)
                click(qPrintable(QStringLiteral("f%1").arg(n)));
            else
                key(Qt::Key(Qt::Key_F1 + n - 1));
            QStringList trace = m_status;
            for (const auto &c : ds().calls)
                trace << c.message.text + c.file.dialogTitle + c.folder.prompt;
            trace << text(Field::TitleName) << QString::number(g().titleEditMode);
            return trace;
        };
        const QStringList byKey = run(false);
        const QStringList byClick = run(true);
        QCOMPARE(byClick, byKey);
        QCOMPARE(byKey.size() > 2, !(n == 2 || n == 5 || n == 11));
    }

    void escape_data()
    {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("closed");
        const QString save = QStringLiteral("データの更新を行いますか？"), end = QStringLiteral("データ編集を終了しますか？");
        QTest::newRow("nothing loaded, close") << false << QStringList{"Y"} << QStringList{end} << true;
        QTest::newRow("loaded, no, no") << true << QStringList({"N", "N"}) << QStringList({save, end}) << false;
        QTest::newRow("loaded, save, close") << true << QStringList({"Y", "Y", "Y"})
                                             << QStringList({save, "タイトル情報を更新しますか？", end}) << true;
    }
    void escape()
    {
        QFETCH(bool, loaded);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, texts);
        QFETCH(bool, closed);
        fillAB();
        openEditor();
        chooseGenre(0);
        if (loaded) {
            clickRow(QStringLiteral("a2"));
            m_w->field(Field::TitleLink)->setText(QStringLiteral("http://new"));
        }
        this->answers(answers);
        key(Qt::Key_Escape);
        QCOMPARE(this->texts(), texts);
        QCOMPARE(ds().messages().last().title, QStringLiteral("データ編集"));
        QCOMPARE(m_w->isVisible(), !closed);
        if (loaded && !closed)
            QCOMPARE(text(Field::TitleLink), QStringLiteral("http://new"));
        QCOMPARE(one(QStringLiteral("select coalesce(iventsLink,'-') from photoIvents where iventsFolderName='a2'")),
                 texts.size() == 3 ? QStringLiteral("http://new") : QStringLiteral("-"));
    }

    void windowItems()
    {
        fillAB();
        openEditor();
        for (const char *name : {"用紙設定", "基準", "HTML出力先", "ヘルプ1", "このソフトについて"})
            m_w->action(QString::fromUtf8(name))->trigger();
        ds().queueYes();
        m_w->action(QStringLiteral("印刷"))->trigger();
        ds().queueYes();
        m_w->action(QStringLiteral("終了"))->trigger();
        QCOMPARE(m_host->log, QStringList({"show prtPaperF", "show topFolderF", "show htmlOut", "help", "about",
                                           "print dataSet", "end"}));
        QCOMPARE(texts(), QStringList({"この画面を印刷しますか？", "終了しますか？"}));
        QCOMPARE(ds().messages()[0].title, QStringLiteral("データ編集"));
        QCOMPARE(ds().messages()[1].title, QString());
    }

};

QTEST_MAIN(TestEditorGui)
#include "test_editor_gui.moc"
