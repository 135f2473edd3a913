// The base and output folder windows on a fake host and inside the real main window.
#include <QAction>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "DialogService.h"
#include "FolderWindows.h"
#include "MainWindow.h"
#include "PrinterSettings.h"
#include "TestSupport.h"
#include "Twips.h"
#include "WindowHost.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct FakeHost : WindowHost {
    Global g;
    ScriptedDialogService ds;
    NoPrinterSettings printerSettings;
    QStringList shown;
    int help = 0, about = 0, ended = 0, printed = 0;

    Global &global() override { return g; }
    DialogService &dialogs() override { return ds; }
    PrinterSettings &printer() override { return printerSettings; }
    QWidget *showWindow(const QString &name) override
    {
        shown << name;
        return nullptr;
    }
    QWidget *findWindow(const QString &) const override { return nullptr; }
    void showHelp() override { ++help; }
    void showAbout() override { ++about; }
    void endProgram() override { ++ended; }
    void printWindowImage(QWidget *) override { ++printed; }
};

// The real main window, started and shown, with scripted dialogs.
struct LiveFrame {
    Global g = [] {
        Global g = makeGlobal();
        g.printerUnavailable = false;
        return g;
    }();
    ScriptedDialogService ds;
    NoPrinterSettings printer;
    htmlCrtMain main{g, ds, printer};

    LiveFrame()
    {
        main.setEndHandler([] {});
        main.startUp();
        main.show();
    }
};

QStringList describe(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << a->objectName() + ' ' + a->text().replace("&&", "&") + (a->isEnabled() ? "" : " [off]");
    return out;
}

}  // namespace

class TestFolderWindows : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    int libs = 0;
    std::unique_ptr<FakeHost> host;
    QString lib;

    std::unique_ptr<FolderWindow> make(const QString &name)
    {
        if (name == QLatin1String("topFolderF"))
            return std::make_unique<topFolderF>(*host);
        return std::make_unique<htmlOut>(*host);
    }
    std::unique_ptr<FolderWindow> open(const QString &name)
    {
        auto w = make(name);
        w->show();
        return w;
    }
    static void trigger(FolderWindow *w, const QString &item)
    {
        QAction *a = w->action(item);
        QVERIFY2(a && a->isEnabled(), qPrintable(item));
        a->trigger();
    }
    static void clickSave(FolderWindow *w) { QTest::mouseClick(w->findChild<QPushButton *>("Command2"), Qt::LeftButton); }

private slots:
    void init()
    {
        host = std::make_unique<FakeHost>();
        lib = makeLibrary(tmp.path(), QStringLiteral("lib%1.mdb").arg(++libs));
        host->g = makeGlobal(lib);
        host->g.printerUnavailable = false;
    }
    void cleanup() { host.reset(), settle(); }

    // Controls, menus (the two 編集 menus differ), the browse button and an empty save.
    void perWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("captions");  // window, Label1, Label2
        QTest::addColumn<QStringList>("edit");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("emptyTitle");
        QTest::newRow("topFolderF") << "topFolderF"
                                    << QStringList{"基準フォルダ設定", "基準フォルダ", "データの保存されているフォルダを指定ください"}
                                    << QStringList{"データ編集 データ編集", "HTML出力先 HTML出力先"} << "基準フォルダ選択"
                                    << "allTop from allTop" << "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
        QTest::newRow("htmlOut") << "htmlOut" << QStringList{"HTML出力先", "HTML保存先", "HTMLファイルの保存先を指定ください"}
                                 << QStringList{"データ編集 データ編集", "基準フォルダ設定 基準ﾌｫﾙﾀ設定"} << "HTML保存先フォルダ選択"
                                 << "htmlDir from systemdir" << "HTMLﾌｫﾙﾀﾞ設定";
    }
    void perWindow()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, edit);
        QFETCH(QString, prompt);
        QFETCH(QString, column);
        QFETCH(QString, emptyTitle);
        host->g.isNewLibrary = True16;
        auto w = open(name);
        QCOMPARE((QStringList{w->objectName(), w->windowTitle(), w->findChild<QLabel *>("Label1")->text(),
                              w->findChild<QLabel *>("Label2")->text(),
                              w->findChild<QPushButton *>("Command1")->text() + w->findChild<QPushButton *>("Command2")->text()}),
                 QStringList{name} + captions + QStringList{"参照設定"});
        QStringList menus;
        for (QAction *a : w->findChild<QMenuBar *>()->actions())
            menus << a->menu()->objectName() + ' ' + a->text() + ": " + describe(a->menu()).join(", ");
        QCOMPARE(menus, QStringList({"ファイル ﾌｧｲﾙ: 設定 設定(Save & Quit), line ---------------- [off], 用紙設定 用紙設定, 印刷 印刷, "
                                     "line0 ---------------- [off], 閉じる 閉じる(Quit)"
                                         + QString(name == "htmlOut" ? ", 公開用にコピー 公開用にコピー" : "") + ", 終了 終了(End)",
                                     "編集 編集: " + edit.join(", "), "ヘルプ ヘルプ: ヘルプ1 ヘルプ, このソフトについて このソフトについて"}));
        QCOMPARE(w->editMenu(), w->findChild<QMenu *>("編集"));
        // The form fills the window under its menus, and every control is in sight.
        const QWidget *client = w->findChild<QWidget *>("client");
        const QMenuBar *bar = w->findChild<QMenuBar *>();  // above it, with nothing between
        QVERIFY(bar && bar->geometry().top() == 0);
        QCOMPARE(client->geometry(), w->rect().adjusted(0, bar->height(), 0, 0));
        for (QWidget *c : client->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(client->rect().contains(c->geometry()), qPrintable(c->objectName()));
        for (const char *texts : {"Label1", "AllTop", "Label2"}) {  // in the gothic face
            const QFont f = client->findChild<QWidget *>(texts)->font();
            QVERIFY2(f.family() == "ＭＳ Ｐゴシック" && f.pointSize() == 12, texts);
        }
        QCOMPARE(w->pathBox()->text(), QString());  // an empty library: nothing to type around
        w->pathBox()->setText("/srv/old");
        auto *command1 = w->findChild<QPushButton *>("Command1");
        QTest::mouseClick(command1, Qt::LeftButton);  // cancelled: box unchanged
        host->ds.queuePick("/srv/new");
        QTest::mouseClick(command1, Qt::LeftButton);
        QCOMPARE(w->pathBox()->text(), QString("/srv/new"));
        QCOMPARE(host->ds.calls.size(), 2);
        QCOMPARE(host->ds.calls.at(0).folder.prompt, prompt + "\r\nフォルダを選択してください。");
        QCOMPARE(host->ds.calls.at(1).folder.startFolder, QString("/srv/old"));

        // An empty or a relative box: a message, nothing stored, the window stays, the
        // counter does not move.
        for (const QString &typed : {QString(), QString("photo")}) {
            w->pathBox()->clear();
            QTest::keyClicks(w->pathBox(), typed);
            clickSave(w.get());
        }
        QVERIFY(w->isVisible());
        QCOMPARE(host->g.folderSetupStage, int16_t(0));
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << m.text.section("\n", 0, 0) + '|' + m.title;
        QCOMPARE(said, QStringList({"ﾌｫﾙﾀﾞが選択されていません！|" + emptyTitle,
                                    "「photo」はフォルダの場所を「/」から示していません。|" + emptyTitle}));
        QCOMPARE(host->ds.messages().at(0).kind, MsgKind::Exclamation);
        QCOMPARE(sqlColumn(lib, "select " + column), QStringList({"<null>"}));
    }

    void folderQuestions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");    // %1: a fresh folder holding the folder "there" and "file.txt"
        QTest::addColumn<QString>("answer");   // y or n to the question, empty: no question
        QTest::addColumn<QString>("stored");   // empty: nothing stored, the window stays open
        QTest::addColumn<QString>("refusal");  // the message instead of a question
        for (const char *name : {"topFolderF", "htmlOut"}) {
            const QString title = name == QLatin1String("htmlOut") ? "HTMLﾌｫﾙﾀﾞ設定" : "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
            QTest::addRow("%s: missing, yes", name) << name << "%1/new/deep" << "y" << "%1/new/deep" << "";
            QTest::addRow("%s: missing, no", name) << name << "%1/none" << "n" << "" << "";
            QTest::addRow("%s: a file", name) << name << "%1/file.txt" << "" << ""
                                              << "「%1/file.txt」はフォルダではなくファイルです。フォルダを指定してください。|" + title;
            QTest::addRow("%s: blanks around", name) << name << "  %1/there " << "" << "%1/there" << "";
        }
    }
    // Typed into the real window and saved with the button.
    void folderQuestions()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(QString, stored);
        QFETCH(QString, refusal);
        const QString root = makeDir(tmp.path() + QStringLiteral("/q%1").arg(libs));
        makeDir(root + "/there");
        writeFile(root + "/file.txt", "text");
        auto w = open(name);
        QVERIFY(w->pathBox()->text().isEmpty());
        QTest::keyClicks(w->pathBox(), typed.arg(root));
        if (!answer.isEmpty())
            host->ds.queueAnswer(answer == "y" ? MsgAnswer::Yes : MsgAnswer::No);
        clickSave(w.get());
        settle();
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << m.text + '|' + m.title;
        const QString title = name == "htmlOut" ? "HTMLﾌｫﾙﾀﾞ設定" : "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
        QCOMPARE(said, answer.isEmpty() ? QStringList(refusal.isEmpty() ? QStringList() : QStringList{refusal.arg(root)})
                                        : QStringList{"フォルダ「" + typed.arg(root) + "」がありません。作成しますか？|" + title});
        QCOMPARE(sqlColumn(lib, name == "htmlOut" ? "select htmlDir from systemdir" : "select allTop from allTop"),
                 QStringList{stored.isEmpty() ? "<null>" : stored.arg(root)});
        QCOMPARE(w->isVisible(), stored.isEmpty());
        QCOMPARE(QFileInfo(typed.arg(root)).isDir(), answer == "y");
    }

    // question: "text|title" of the yes/no question asked, or empty; effect: "shown|printed|help|about|ended|open".
    void items_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("item");  // or "Esc", typed into the box
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("effect");
        const QString print = "この画面を印刷しますか？|";
        QTest::newRow("topFolderF Esc no") << "topFolderF" << "Esc" << false << "基準フォルダ設定画面を終了しますか？|基準ﾌｫﾙﾀﾞ設定" << "|0|0|0|0|open";
        QTest::newRow("htmlOut Esc yes") << "htmlOut" << "Esc" << true << "HTML出力先設定画面を終了しますか？|出力先" << "|0|0|0|0|closed";
        QTest::newRow("topFolderF close yes") << "topFolderF" << "閉じる" << true << "基準ﾌｫﾙﾀﾞ設定設定画面を終了しますか？|" << "|0|0|0|0|closed";
        QTest::newRow("htmlOut close no") << "htmlOut" << "閉じる" << false << "HTML出力先設定画面を終了しますか？|" << "|0|0|0|0|open";
        QTest::newRow("topFolderF end yes") << "topFolderF" << "終了" << true << "終了しますか？|" << "|0|0|0|1|open";
        QTest::newRow("topFolderF print yes") << "topFolderF" << "印刷" << true << print + "基準フォルダ設定" << "|1|0|0|0|open";
        QTest::newRow("htmlOut print no") << "htmlOut" << "印刷" << false << print + "HTML出力先" << "|0|0|0|0|open";
        QTest::newRow("paper") << "topFolderF" << "用紙設定" << false << "" << "prtPaperF|0|0|0|0|open";
        QTest::newRow("help") << "htmlOut" << "ヘルプ1" << false << "" << "|0|1|0|0|open";
        QTest::newRow("about") << "topFolderF" << "このソフトについて" << false << "" << "|0|0|1|0|open";
        QTest::newRow("topFolderF editor") << "topFolderF" << "データ編集" << false << "" << "dataSet|0|0|0|0|closed";
        QTest::newRow("topFolderF output") << "topFolderF" << "HTML出力先" << false << "" << "htmlOut|0|0|0|0|closed";
        QTest::newRow("htmlOut base") << "htmlOut" << "基準フォルダ設定" << false << "" << "topFolderF|0|0|0|0|closed";
    }
    void items()
    {
        QFETCH(QString, name);
        QFETCH(QString, item);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QString, effect);
        auto w = open(name);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        yes ? host->ds.queueYes() : host->ds.queueNo();
        if (item == "Esc")
            QTest::keyClick(w->pathBox(), Qt::Key_Escape);
        else
            trigger(w.get(), item);
        QCOMPARE(QStringList({host->shown.join(','), QString::number(host->printed), QString::number(host->help),
                              QString::number(host->about), QString::number(host->ended), w->isVisible() ? "open" : "closed"})
                     .join('|'),
                 effect);
        QStringList asked;
        for (const MessageRequest &m : host->ds.messages()) {
            QVERIFY(m.kind == MsgKind::Question && m.buttons == MsgButtons::YesNo);
            asked << m.text + '|' + m.title;
        }
        QCOMPARE(asked, question.isEmpty() ? QStringList() : QStringList{question});
        if (!yes && item == "Esc") {  // other keys stay with the box
            QTest::keyClick(w->pathBox(), Qt::Key_A);
            QCOMPARE(w->pathBox()->text(), QString("a"));
        }
    }

    // 公開用にコピー asks for a folder, at home the first time (cancelled:
    // nothing more; a folder holding other files: refused), then writes the copy there and
    // tells what it did; the next time it starts at that folder.
    void publishItem()
    {
        const QString title = makeDir(tmp.path() + "/pub/写真/旅/2024/海"), copy = tmp.path() + "/pub/公開";
        QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(title + "/a.png"));
        sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {tmp.path() + "/pub/写真"});
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values ('/x/旅', '旅')");
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, ?, '2024' from photoGraph", {title + "/.."});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) select ID, ID1, '海', ? from photoYear", {title});
        auto w = open("htmlOut");
        for (const QString &pick : {QString(), tmp.path() + "/pub", copy, QString()}) {
            host->ds.queuePick(pick);
            trigger(w.get(), "公開用にコピー");
        }
        QCOMPARE(host->ds.calls.first().folder.startFolder, QDir::homePath());
        QCOMPARE(host->ds.calls.last().folder.startFolder, copy);
        QCOMPARE(host->ds.calls.at(0).folder.prompt, QString("公開用のコピーを作るフォルダを指定ください\r\nフォルダを選択してください。"));
        QStringList said;
        for (const MessageRequest &m : host->ds.messages())
            said << QString::number(int(m.kind)) + m.text.split("\n\r").mid(0, 3).join('|');
        QCOMPARE(said, QStringList({"3フォルダ「" + tmp.path() + "/pub」は空ではなく、公開用にコピーしたフォルダでもありません。|"
                                    "空のフォルダか、以前に公開用にコピーしたフォルダを指定してください。",
                                    "2公開用のコピーを「" + copy + "」に作りました。|ページ: 7|コピーしたファイル: 1 (変更のないもの 0)"}));
        QVERIFY(host->ds.messages().last().text.contains("\n\r作った縮小画像: 1\n\r"));
        QDirIterator thumbs(copy + "/thumbs", {"*.jpg"}, QDir::Files);
        QCOMPARE(QImage(thumbs.next()).size(), QSize(40, 30));
        // More missing photos than the box lists: all of them in its details, none outside.
        for (int i = 0; i < 11; ++i)
            sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsPhoto) "
                     "select ID, ID1, ?, ?, 'gone.jpg' from photoYear", {QString::number(i), makeDir(title + "/../" + QString::number(i))});
        host->ds.queuePick(copy);
        trigger(w.get(), "公開用にコピー");
        const QStringList details = host->ds.messages().last().details.split('\n');
        QVERIFY2(details.size() == 11 && details.filter("/gone.jpg").size() == 11, qPrintable(details.join('\n')));
        // A library broken since by another program: told, and nothing said done.
        sql(lib, "drop table photoYear");
        const qsizetype told = host->ds.messages().size();
        host->ds.queuePick(copy);
        trigger(w.get(), "公開用にコピー");
        QCOMPARE(host->ds.messages().size(), told + 1);
        QVERIFY2(host->ds.messages().last().text.contains("テーブル photoYear がありません"), qPrintable(host->ds.messages().last().text));
    }

    void popupMenu()
    {
        auto w = open("htmlOut");
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto *label = w->findChild<QLabel *>("Label1");  // on a label: nothing
        QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(label, &onLabel);
        QVERIFY(!w->editMenu()->isVisible());
        auto *client = w->findChild<QWidget *>("client");  // on the free area: 編集 at the pointer
        const QPoint at(3, 3);
        QContextMenuEvent onFree(QContextMenuEvent::Mouse, at, client->mapToGlobal(at));
        QCoreApplication::sendEvent(client, &onFree);
        QTRY_VERIFY(w->editMenu()->isVisible());
        QCOMPARE(w->editMenu()->pos(), client->mapToGlobal(at));
        w->editMenu()->hide();
    }

    // Until the auto-set resets the counter, every closing (close box too) opens the editor.
    void setupSequence()
    {
        host->g.isNewLibrary = True16;
        host->g.folderSetupStage = 2;
        auto base = open("topFolderF");
        base->pathBox()->setText(tmp.path());
        trigger(base.get(), "設定");
        QCOMPARE(host->g.folderSetupStage, int16_t(2));
        open("htmlOut")->close();
        QCOMPARE(host->shown, QStringList({"dataSet", "dataSet"}));

        host->g.folderSetupStage = 0;  // reset by the auto-set: later saves advance it again
        auto out = open("htmlOut");
        out->pathBox()->setText(tmp.path());
        trigger(out.get(), "設定");
        QCOMPARE(host->g.folderSetupStage, int16_t(1));
        QCOMPARE(host->shown.size(), 2);
        QVERIFY(host->ds.calls.isEmpty());
    }

    // A folder window open while 開く opens another library shows that library's folder and
    // saves into it only what it read from it: the first library keeps its folder, the
    // second its paths. The start window has gone with the first open, so closing the
    // folder window leaves the editor in front.
    void libraryChangesUnderTheWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("stored");  // the folder each library keeps
        QTest::newRow("base folder") << "topFolderF" << "select allTop from allTop";
        QTest::newRow("output folder") << "htmlOut" << "select htmlDir from systemdir";
    }
    void libraryChangesUnderTheWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, stored);
        QStringList libraries, bases;
        for (const QString &name : {QStringLiteral("one"), QStringLiteral("two")}) {
            const QString base = makeDir(tmp.path() + '/' + window + '/' + name);
            const QString library = makeLibrary(tmp.path() + '/' + window, name + ".mdb");
            sql(library, "insert into allTop (ID, allTop) values (1, ?)", {base});
            sql(library, "insert into systemdir (ID, htmlDir) values (1, ?)", {makeDir(base + "/site")});
            sql(library, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 't', ?)", {base + "/t"});
            libraries << library;
            bases << base;
        }
        LiveFrame frame;
        htmlCrtMain &main = frame.main;
        ScriptedDialogService &ds = frame.ds;
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ds.queuePick(libraries[0]);
        main.action("開く")->trigger();
        settle();
        QVERIFY(!main.findWindow("frmOpen"));
        auto *w = static_cast<FolderWindow *>(main.showWindow(window));
        QPointer<QWidget> guard = w;
        const QString first = w->pathBox()->text();
        ds.queuePick(libraries[1]);
        main.action("開く")->trigger();
        settle();
        QVERIFY(guard);
        QVERIFY(w->pathBox()->text() != first);
        main.setFocus();
        clickSave(w);
        settle();
        QVERIFY(!guard);
        for (int i = 0; i < 2; ++i) {
            const QString base = bases[i];
            QCOMPARE(sqlColumn(libraries[i], stored).value(0).remove(base), stored.contains("allTop") ? "" : "/site");
            QCOMPARE(sqlColumn(libraries[i], "select iventsFolder from photoIvents"), QStringList{base + "/t"});
        }
        QTRY_VERIFY(main.mdiArea()->activeSubWindow());
        QCOMPARE(main.mdiArea()->activeSubWindow()->widget(), main.findWindow("dataSet"));
    }

    // A new library in the real main window: both windows, base in front, two saves, editor;
    // then the frame closes.
    void mainWindow()
    {
        LiveFrame frame;
        Global &g = frame.g;
        htmlCrtMain &main = frame.main;
        ScriptedDialogService &ds = frame.ds;
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.findWindow("frmOpen")->close();
        settle();
        const QString path = tmp.path() + "/created.mdb";
        ds.queuePick(path);
        main.action("新規作成")->trigger();
        settle();
        QCOMPARE(g.isNewLibrary, True16);
        QPointer<QWidget> base = main.findWindow("topFolderF");
        QPointer<QWidget> out = main.findWindow("htmlOut");
        QVERIFY(base && out);
        QCOMPARE(main.mdiArea()->activeSubWindow(), main.subWindowOf(base));
        QCOMPARE(main.subWindowOf(out)->size(), twipsToPixels(6990, 3645));
        // The first save only counts; the second opens the editor, whose activation (with the
        // auto-set question) ends the set-up.
        ds.queueYes();  // make the missing output folder
        for (auto [w, text] : {std::pair{base, tmp.path()}, std::pair{out, tmp.path() + "/site"}}) {
            const bool last = w == out;
            static_cast<FolderWindow *>(w.data())->pathBox()->setText(text);
            clickSave(static_cast<FolderWindow *>(w.data()));
            settle();
            QVERIFY(!w);
            QCOMPARE(g.folderSetupStage, int16_t(last ? 0 : 1));
            QCOMPARE(bool(main.findWindow("dataSet")), last);
        }
        QCOMPARE(sqlColumn(path, "select allTop from allTop"), QStringList({tmp.path()}));
        QVERIFY(QFileInfo(tmp.path() + "/site").isDir());
        QCOMPARE(ds.messages().size(), 2);
        QCOMPARE(ds.messages().at(0).text, "フォルダ「" + tmp.path() + "/site」がありません。作成しますか？");
        QCOMPARE(ds.messages().at(1).text, QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"));

        // A window that opens another one while the frame closes must not keep the program open.
        g.folderSetupStage = 2;
        struct Reopen : QObject {
            htmlCrtMain *main;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Close)
                    main->showWindow(QStringLiteral("htmlOut"));
                return false;
            }
        } reopen;
        reopen.main = &main;
        main.showWindow("topFolderF")->installEventFilter(&reopen);
        ds.queueYes();  // to end the editor
        QVERIFY(main.close());
        settle();
        QVERIFY(main.mdiArea()->subWindowList().isEmpty());
    }

};

QTEST_MAIN(TestFolderWindows)
#include "test_folder_windows.moc"
