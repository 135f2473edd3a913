// The base folder and output folder windows: controls, menus, questions, saving and
// the set-up of a new library, on a fake host and inside the real main window.
#include <QAction>
#include <QContextMenuEvent>
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
    QStringList shown;  // showWindow calls, in order
    int help = 0, about = 0, ended = 0;
    QList<QWidget *> printed;

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
    void printWindowImage(QWidget *w) override { printed << w; }
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A menu as "objectName caption [disabled]" lines, in order.
QStringList describe(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        QString caption = a->text();
        caption.replace(QLatin1String("&&"), QLatin1String("&"));
        out << a->objectName() + QLatin1Char(' ') + caption + (a->isEnabled() ? QString() : QStringLiteral(" [disabled]"));
    }
    return out;
}

struct Rect {
    const char *name;
    int l, t, w, h;
};

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
    static void addWindows()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("topFolderF") << "topFolderF";
        QTest::newRow("htmlOut") << "htmlOut";
    }
    static void trigger(FolderWindow *w, const char *item)
    {
        QAction *a = w->action(QString::fromUtf8(item));
        QVERIFY2(a, item);
        QVERIFY2(a->isEnabled(), item);
        a->trigger();
    }

private slots:
    void init()
    {
        host = std::make_unique<FakeHost>();
        lib = makeLibrary(tmp.path(), QStringLiteral("lib%1.mdb").arg(++libs));
        host->g = makeGlobal(lib);
        host->g.printerUnavailable = false;
    }
    void cleanup()
    {
        host.reset();
        settle();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("label1");
        QTest::addColumn<QString>("label2");
        QTest::addColumn<QList<QRect>>("rects");  // Label1, AllTop, Command1, Label2, Command2 in twips
        QTest::newRow("topFolderF") << "topFolderF" << "基準フォルダ設定" << "基準フォルダ"
                                    << "データの保存されているフォルダを指定ください"
                                    << QList<QRect>{{240, 600, 1455, 375}, {240, 1080, 5415, 495},
                                                    {5760, 1200, 735, 375}, {240, 2040, 5055, 375},
                                                    {5640, 2400, 975, 495}};
        QTest::newRow("htmlOut") << "htmlOut" << "HTML出力先" << "HTML保存先" << "HTMLファイルの保存先を指定ください"
                                 << QList<QRect>{{120, 480, 1455, 375}, {120, 960, 5415, 495},
                                                 {5640, 1080, 735, 375}, {120, 2280, 4935, 495},
                                                 {5520, 2280, 975, 495}};
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, label1);
        QFETCH(QString, label2);
        QFETCH(QList<QRect>, rects);
        auto w = make(name);
        QCOMPARE(w->objectName(), name);
        QCOMPARE(w->windowTitle(), caption);
        const QStringList names{"Label1", "AllTop", "Command1", "Label2", "Command2"};
        for (int i = 0; i < names.size(); ++i) {
            auto *c = w->findChild<QWidget *>(names.at(i));
            QVERIFY2(c, qPrintable(names.at(i)));
            const QRect r = rects.at(i);
            QCOMPARE(c->geometry(), twipsRect(r.x(), r.y(), r.width(), r.height()));
            const bool gothic = !qobject_cast<QPushButton *>(c);
            QCOMPARE(c->font().family() == QStringLiteral("ＭＳ Ｐゴシック"), gothic);
            if (gothic)
                QCOMPARE(c->font().pointSize(), 12);
        }
        QCOMPARE(w->findChild<QLabel *>("Label1")->text(), label1);
        QCOMPARE(w->findChild<QLabel *>("Label2")->text(), label2);
        QCOMPARE(w->findChild<QPushButton *>("Command1")->text(), QString("参照"));
        QCOMPARE(w->findChild<QPushButton *>("Command2")->text(), QString("設定"));
        // An empty library shows a single blank.
        QCOMPARE(w->pathBox()->text(), QString(" "));
    }

    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("edit");
        QTest::newRow("topFolderF") << "topFolderF" << QStringList{"データ編集 データ編集", "HTML出力先 HTML出力先"};
        QTest::newRow("htmlOut") << "htmlOut" << QStringList{"データ編集 データ編集", "基準フォルダ設定 基準ﾌｫﾙﾀ設定"};
    }
    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, edit);
        auto w = make(name);
        auto *bar = w->findChild<QMenuBar *>();
        QVERIFY(bar);
        QStringList menus;
        for (QAction *a : bar->actions())
            menus << a->menu()->objectName() + QLatin1Char(' ') + a->text();
        QCOMPARE(menus, QStringList({"ファイル ﾌｧｲﾙ", "編集 編集", "ヘルプ ヘルプ"}));
        QCOMPARE(describe(w->findChild<QMenu *>("ファイル")),
                 QStringList({"設定 設定(Save & Quit)", "line ---------------- [disabled]", "用紙設定 用紙設定",
                              "印刷 印刷", "line0 ---------------- [disabled]", "閉じる 閉じる(Quit)",
                              "終了 終了(End)"}));
        QCOMPARE(describe(w->editMenu()), edit);
        QCOMPARE(describe(w->findChild<QMenu *>("ヘルプ")),
                 QStringList({"ヘルプ1 ヘルプ", "このソフトについて このソフトについて"}));
    }

    void printerItems_data()
    {
        addWindows();
    }
    void printerItems()
    {
        QFETCH(QString, name);
        host->g.printerUnavailable = true;
        auto w = make(name);
        QVERIFY(!w->action("用紙設定")->isEnabled());
        QVERIFY(!w->action("印刷")->isEnabled());
        QVERIFY(w->action("設定")->isEnabled());
        host->g.printerUnavailable = false;
        auto w2 = make(name);
        trigger(w2.get(), "用紙設定");
        QCOMPARE(host->shown, QStringList({"prtPaperF"}));
    }

    void escQuestion_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::newRow("topFolderF yes") << "topFolderF" << true << "基準フォルダ設定画面を終了しますか？"
                                        << "基準ﾌｫﾙﾀﾞ設定";
        QTest::newRow("topFolderF no") << "topFolderF" << false << "基準フォルダ設定画面を終了しますか？"
                                       << "基準ﾌｫﾙﾀﾞ設定";
        QTest::newRow("htmlOut yes") << "htmlOut" << true << "HTML出力先設定画面を終了しますか？" << "出力先";
        QTest::newRow("htmlOut no") << "htmlOut" << false << "HTML出力先設定画面を終了しますか？" << "出力先";
    }
    void escQuestion()
    {
        QFETCH(QString, name);
        QFETCH(bool, yes);
        QFETCH(QString, text);
        QFETCH(QString, title);
        auto w = make(name);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        yes ? host->ds.queueYes() : host->ds.queueNo();
        // Esc typed into the path box reaches the window first.
        QTest::keyClick(w->pathBox(), Qt::Key_Escape);
        const QList<MessageRequest> m = host->ds.messages();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0).text, text);
        QCOMPARE(m.at(0).kind, MsgKind::Question);
        QCOMPARE(m.at(0).title, title);
        QCOMPARE(m.at(0).buttons, MsgButtons::YesNo);
        QCOMPARE(w->isVisible(), !yes);
        // Other keys stay with the box.
        QTest::keyClick(w->pathBox(), Qt::Key_A);
        QCOMPARE(w->pathBox()->text(), QString(" a"));
        QCOMPARE(host->ds.messages().size(), 1);
    }

    void closeAndEndQuestions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("closeText");
        QTest::newRow("topFolderF") << "topFolderF" << "基準ﾌｫﾙﾀﾞ設定設定画面を終了しますか？";
        QTest::newRow("htmlOut") << "htmlOut" << "HTML出力先設定画面を終了しますか？";
    }
    void closeAndEndQuestions()
    {
        QFETCH(QString, name);
        QFETCH(QString, closeText);
        auto w = make(name);
        w->show();
        host->ds.queueNo();
        trigger(w.get(), "閉じる");
        QVERIFY(w->isVisible());
        host->ds.queueNo();
        trigger(w.get(), "終了");
        QCOMPARE(host->ended, 0);
        host->ds.queueYes();
        trigger(w.get(), "終了");
        QCOMPARE(host->ended, 1);
        host->ds.queueYes();
        trigger(w.get(), "閉じる");
        QVERIFY(!w->isVisible());
        const QList<MessageRequest> m = host->ds.messages();
        QCOMPARE(m.size(), 4);
        for (int i : {0, 3})
            QCOMPARE(m.at(i).text, closeText);
        for (int i : {1, 2})
            QCOMPARE(m.at(i).text, QString("終了しますか？"));
        for (const MessageRequest &r : m) {
            QCOMPARE(r.kind, MsgKind::Question);
            QCOMPARE(r.title, QString());
            QCOMPARE(r.buttons, MsgButtons::YesNo);
        }
    }

    void printQuestion_data()
    {
        addWindows();
    }
    void printQuestion()
    {
        QFETCH(QString, name);
        auto w = make(name);
        host->ds.queueNo();
        trigger(w.get(), "印刷");
        QVERIFY(host->printed.isEmpty());
        host->ds.queueYes();
        trigger(w.get(), "印刷");
        QCOMPARE(host->printed, QList<QWidget *>({w.get()}));
        const QList<MessageRequest> m = host->ds.messages();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.at(0).text, QString("この画面を印刷しますか？"));
        QCOMPARE(m.at(0).kind, MsgKind::Question);
        QCOMPARE(m.at(0).title, w->windowTitle());
    }

    void editAndHelpItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("opens");
        QTest::newRow("topFolderF editor") << "topFolderF" << "データ編集" << "dataSet";
        QTest::newRow("topFolderF output") << "topFolderF" << "HTML出力先" << "htmlOut";
        QTest::newRow("htmlOut editor") << "htmlOut" << "データ編集" << "dataSet";
        QTest::newRow("htmlOut base") << "htmlOut" << "基準フォルダ設定" << "topFolderF";
    }
    void editAndHelpItems()
    {
        QFETCH(QString, name);
        QFETCH(QString, item);
        QFETCH(QString, opens);
        auto w = make(name);
        w->show();
        trigger(w.get(), "ヘルプ1");
        trigger(w.get(), "このソフトについて");
        QCOMPARE(host->help, 1);
        QCOMPARE(host->about, 1);
        QVERIFY(w->isVisible());
        trigger(w.get(), item.toUtf8().constData());
        QCOMPARE(host->shown, QStringList({opens}));
        QVERIFY(!w->isVisible());
        QVERIFY(host->ds.calls.isEmpty());
    }

    void popupMenu_data()
    {
        addWindows();
    }
    void popupMenu()
    {
        QFETCH(QString, name);
        auto w = make(name);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // On a label: nothing.
        auto *label = w->findChild<QLabel *>("Label1");
        QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(label, &onLabel);
        QVERIFY(!w->editMenu()->isVisible());
        // On the free area: the 編集 menu at the pointer.
        auto *client = w->findChild<QWidget *>("client");
        const QPoint at(3, 3);
        QContextMenuEvent onFree(QContextMenuEvent::Mouse, at, client->mapToGlobal(at));
        QCoreApplication::sendEvent(client, &onFree);
        QTRY_VERIFY(w->editMenu()->isVisible());
        QCOMPARE(w->editMenu()->pos(), client->mapToGlobal(at));
        w->editMenu()->hide();
    }

    void browseButton_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("topFolderF") << "topFolderF" << "基準フォルダ選択";
        QTest::newRow("htmlOut") << "htmlOut" << "HTML保存先フォルダ選択";
    }
    void browseButton()
    {
        QFETCH(QString, name);
        QFETCH(QString, prompt);
        auto w = make(name);
        w->pathBox()->setText("/srv/old");
        auto *command1 = w->findChild<QPushButton *>("Command1");
        QTest::mouseClick(command1, Qt::LeftButton);  // cancelled
        QCOMPARE(w->pathBox()->text(), QString("/srv/old"));
        host->ds.queuePick("/srv/new");
        QTest::mouseClick(command1, Qt::LeftButton);
        QCOMPARE(w->pathBox()->text(), QString("/srv/new"));
        QCOMPARE(host->ds.calls.size(), 2);
        QCOMPARE(host->ds.calls.at(0).folder.prompt, prompt + "\r\nフォルダを選択してください。");
        QCOMPARE(host->ds.calls.at(0).folder.startFolder, QString("/srv/old"));
    }

    void saveButton_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("emptyTitle");
        QTest::newRow("topFolderF") << "topFolderF" << "select allTop from allTop" << "総ﾄｯﾌﾟﾌｫﾙﾀﾞ設定";
        QTest::newRow("htmlOut") << "htmlOut" << "select htmlDir from systemdir" << "HTMLﾌｫﾙﾀﾞ設定";
    }
    void saveButton()
    {
        QFETCH(QString, name);
        QFETCH(QString, column);
        QFETCH(QString, emptyTitle);
        // Empty box: the message, nothing stored, the window stays.
        auto w = make(name);
        w->show();
        w->pathBox()->clear();
        QTest::mouseClick(w->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        QVERIFY(w->isVisible());
        QCOMPARE(host->ds.messages().size(), 1);
        QCOMPARE(host->ds.messages().at(0).text, QString("ﾌｫﾙﾀﾞが選択されていません！"));
        QCOMPARE(host->ds.messages().at(0).title, emptyTitle);
        QCOMPARE(sqlColumn(lib, column), QStringList({"<null>"}));
        // The single blank an empty library shows is saved as it is, from the menu.
        auto w2 = make(name);
        w2->show();
        trigger(w2.get(), "設定");
        QVERIFY(!w2->isVisible());
        QCOMPARE(sqlColumn(lib, column), QStringList({" "}));
        // Opening again shows what was saved.
        sql(lib, column.contains("allTop") ? "update allTop set allTop='/srv/x'" : "update systemdir set htmlDir='/srv/x'");
        QCOMPARE(make(name)->pathBox()->text(), QString("/srv/x"));
        QCOMPARE(host->ds.messages().size(), 1);
    }

    void baseSaveRewrites()
    {
        sql(lib, "insert into allTop(ID, allTop) values(1, '/media/diskA/photo')");
        sql(lib, "insert into photoGraph(topFolder, topFolderName) values('/media/diskA/photo/cat', 'cat')");
        auto w = make("topFolderF");
        QCOMPARE(w->pathBox()->text(), QString("/media/diskA/photo"));
        w->pathBox()->setText("/media/diskB/photo");
        QTest::mouseClick(w->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        QCOMPARE(sqlColumn(lib, "select topFolder from photoGraph"), QStringList({"/media/diskB/photo/cat"}));
    }

    void setupSequence()
    {
        host->g.isNewLibrary = True16;
        // CreateLibrary opens the output folder window, then the base folder window.
        auto out = make("htmlOut");
        auto base = make("topFolderF");
        out->show();
        base->show();
        base->pathBox()->setText("/srv/photo");
        QTest::mouseClick(base->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        QVERIFY(!base->isVisible());
        QCOMPARE(host->g.folderSetupStage, int16_t(1));
        QVERIFY(host->shown.isEmpty());

        out->pathBox()->setText("/srv/site");
        QTest::mouseClick(out->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        QVERIFY(!out->isVisible());
        QCOMPARE(host->g.folderSetupStage, int16_t(2));
        QCOMPARE(host->shown, QStringList({"dataSet"}));

        // Until the auto-set resets the counter, every closing opens the editor again,
        // also by the window's close box.
        auto again = make("topFolderF");
        again->show();
        again->close();
        QCOMPARE(host->shown, QStringList({"dataSet", "dataSet"}));

        host->g.folderSetupStage = 0;
        auto later = make("htmlOut");
        later->show();
        trigger(later.get(), "設定");
        QCOMPARE(host->g.folderSetupStage, int16_t(1));
        QCOMPARE(host->shown.size(), 2);
        QCOMPARE(host->ds.calls.size(), 0);
    }

    // Inside the real main window.
    void mainWindowCreatesBoth()
    {
        Global g = makeGlobal();
        g.printerUnavailable = false;
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain main(g, ds, printer);
        main.setEndHandler([] {});
        main.startUp();
        main.show();
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
        QCOMPARE(main.subWindowOf(base)->size(), twipsToPixels(6990, 3645));
        QCOMPARE(main.subWindowOf(out)->size(), twipsToPixels(6990, 3645));
        // The main window's own items stay its own while these windows are open.
        QCOMPARE(main.action("データ編集")->parent(), main.editMenu());
        QVERIFY(main.action("データ編集")->isEnabled());

        auto *baseWindow = static_cast<FolderWindow *>(base.data());
        baseWindow->pathBox()->setText(tmp.path());
        QTest::mouseClick(baseWindow->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        settle();
        QVERIFY(!base);
        QCOMPARE(main.mdiArea()->subWindowList().size(), 1);
        QCOMPARE(sqlColumn(path, "select allTop from allTop"), QStringList({tmp.path()}));

        // Opening it again from the main window's menu reads the saved folder.
        main.action("基準")->trigger();
        auto *again = static_cast<FolderWindow *>(main.findWindow("topFolderF"));
        QVERIFY(again);
        QCOMPARE(again->pathBox()->text(), tmp.path());

        // The close box of the frame runs the window's closing handling too.
        static_cast<FolderWindow *>(out.data())->pathBox()->setText("/srv/site");
        QTest::mouseClick(out->findChild<QPushButton *>("Command2"), Qt::LeftButton);
        settle();
        // Both saved: closing the output window opened the editor, whose activation
        // (with its auto-set question) ended the set-up.
        QVERIFY(main.findWindow("dataSet"));
        QCOMPARE(g.folderSetupStage, int16_t(0));
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().text, QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"));
        ds.clear();
        QPointer<QWidget> againPtr = again;
        main.subWindowOf(again)->close();
        settle();
        QVERIFY(!againPtr);
        QVERIFY(!main.findWindow("topFolderF") && !main.findWindow("htmlOut"));
        QVERIFY(ds.messages().isEmpty());
    }

    void mainWindowClosesWithWindowsOpen()
    {
        Global g = makeGlobal(lib);
        g.isNewLibrary = True16;
        g.folderSetupStage = 2;
        ScriptedDialogService ds;
        NoPrinterSettings printer;
        htmlCrtMain main(g, ds, printer);
        main.setEndHandler([] {});
        main.startUp();
        g.dbConnectString = MakeConnectString(lib);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QWidget *base = main.showWindow("topFolderF");
        QVERIFY(base);
        // A window that opens another one while the frame closes must not keep the
        // program from closing.
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
        base->installEventFilter(&reopen);
        QVERIFY(main.close());
        settle();
        QVERIFY(main.mdiArea()->subWindowList().isEmpty());
    }
};

QTEST_MAIN(TestFolderWindows)
#include "test_folder_windows.moc"
