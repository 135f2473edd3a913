// The main window: start-up, menus, the start window, child windows, help and end.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <ctime>
#include <unistd.h>

#include "Database.h"
#include "DialogService.h"
#include "HelpWindow.h"
#include "Library.h"
#include "MainWindow.h"
#include "PrinterSettings.h"
#include "QtDialogService.h"
#include "Splash.h"
#include "TestSupport.h"
#include "Twips.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {
struct FakePrinter : PrinterSettings {
    int16_t paper = 9, orientation = 2;
    QStringList writes;
    int restored = 0;
    int16_t GetPrinterPaperSize() override { return paper; }
    int16_t GetPrinterOrientation() override { return orientation; }
    void SetPrinterPaperSize(int16_t c) override { writes << QStringLiteral("paper %1").arg(c); }
    void SetPrinterOrientation(int16_t c) override { writes << QStringLiteral("orientation %1").arg(c); }
    void RestoreSettings() override { ++restored; }
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    Global g;
    ScriptedDialogService ds;
    FakePrinter printer;
    std::unique_ptr<htmlCrtMain> w;
    int ended = 0;

    QAction *act(const char *name) { return w->action(QString::fromUtf8(name)); }
    // Which of the items that need a library are enabled, e.g. "101".
    QString libraryItems()
    {
        return QString::number(act("データ編集")->isEnabled()) + QString::number(act("基準")->isEnabled())
               + QString::number(act("出力先")->isEnabled());
    }

private slots:
    void init()
    {
        g = makeGlobal();
        g.dbConnectString = QStringLiteral("left over");
        ds.clear();
        printer = FakePrinter();
        ended = 0;
        w = std::make_unique<htmlCrtMain>(g, ds, printer);
        w->setEndHandler([this] { ++ended; });
        w->startUp();
        w->show();
        settle();
    }
    void cleanup()
    {
        w.reset();
        settle();
    }

    // Start-up: caption, size, the start window, the printer's settings saved, the menus in
    // order; without a printer the printer items are off.
    void startUp()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("Tessaly"));
        QCOMPARE(w->frameGeometry().size(), twipsToPixels(12480, 9500));
        QVERIFY(g.dbConnectString.isEmpty());
        QCOMPARE(libraryItems(), "000");
        QVERIFY(w->findWindow(QStringLiteral("frmOpen")));
        QCOMPARE(w->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(QList<int>({g.savedPaperSize, g.savedOrientation, g.printerUnavailable}), QList<int>({9, 2, 0}));
        QVERIFY(act("用紙設定")->isEnabled() && act("印刷")->isEnabled());
        const QList<QAction *> bar = w->menuBar()->actions();
        QStringList seen;
        for (QAction *m : bar) {
            seen << m->menu()->objectName() + QLatin1Char('=') + m->text();
            for (QAction *a : m->menu()->actions())
                seen << QStringLiteral("  ") + a->objectName() + QLatin1Char('=') + a->text();
        }
        QCOMPARE(seen, (QStringList{
                           "ファイル=ﾌｧｲﾙ", "  新規作成=新規作成", "  開く=開く", "  line0=----------------",
                           "  用紙設定=用紙設定", "  印刷=印刷", "  終了=終了", "編集=編集", "  データ編集=データ編集",
                           "  基準=基準フォルダ設定", "  出力先=HTML出力先", "ヘルプ=ヘルプ", "  ヘルプ1=ヘルプ",
                           "  このソフトについて=このソフトについて"}));
        QVERIFY(!act("line0")->isEnabled());
        printer.paper = -1;
        htmlCrtMain other(g, ds, printer);
        other.startUp();
        QCOMPARE(other.size(), twipsToPixels(12480, 9500));  // before any frame of the window manager is known
        QVERIFY(g.printerUnavailable);
        QVERIFY(!other.action(QStringLiteral("用紙設定"))->isEnabled() && !other.action(QStringLiteral("印刷"))->isEnabled());
    }

    void namedLibraryClosesTheStartWindowOnlyOnceOpen()
    {
        QVERIFY(!w->openNamedLibrary(tmp.filePath(QStringLiteral("missing.mdb"))));
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(libraryItems(), "000");
        // A file that is no library is told and leaves everything as it was.
        QVERIFY(!w->openNamedLibrary(writeFile(tmp.filePath(QStringLiteral("junk.mdb")), "no library")));
        QCOMPARE(ds.messages().size(), 2);
        QVERIFY(ds.messages().last().text.contains(QStringLiteral("junk.mdb")));
        QVERIFY(w->findWindow(QStringLiteral("frmOpen")) && !w->findWindow(QStringLiteral("dataSet")));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tessaly"));
        QVERIFY(g.dbConnectString.isEmpty());
        QCOMPARE(libraryItems(), "000");
        // A Windows library whose conversion is refused or fails opens nothing either. The
        // converting child, though run under an English locale, reports in the window's Japanese.
        const QByteArray locale = qgetenv("LC_ALL");
        qputenv("LC_ALL", "C.UTF-8");
        const auto restoreLocale = qScopeGuard([&] { locale.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", locale); });
        for (const auto &[file, yes] : {std::pair{"library-jet4.mdb", false}, std::pair{"not-a-library.mdb", true}}) {
            const QString jet = tmp.filePath(QStringLiteral("jet-") + file);
            QVERIFY(QFile::copy(QStringLiteral(TESSALY_SOURCE_DIR "/tests/data/jet/") + file, jet));
            ds.queueAnswer(yes ? MsgAnswer::Yes : MsgAnswer::No);
            QVERIFY(!w->openNamedLibrary(jet));
        }
        QCOMPARE(ds.messages().size(), 5);
        QVERIFY2(ds.messages().last().text.contains(QStringLiteral("はライブラリではありません (テーブル allTop がありません)")),
                 qPrintable(ds.messages().last().text));
        QVERIFY(w->findWindow(QStringLiteral("frmOpen")) && g.dbConnectString.isEmpty());
        QVERIFY(w->openNamedLibrary(makeLibrary(tmp.path(), QStringLiteral("lib.mdb"))));
        settle();
        QCOMPARE(ds.calls.size(), ds.messages().size());  // no picker
        QVERIFY(!w->findWindow(QStringLiteral("frmOpen")));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tessaly <lib.mdb>"));
        QCOMPARE(libraryItems(), "111");
        // A cancelled dialog keeps the open library and its caption.
        act("開く")->trigger();
        QCOMPARE(w->windowTitle(), QStringLiteral("Tessaly <lib.mdb>"));
        QVERIFY(!g.dbConnectString.isEmpty() && g.dbFilePath.isEmpty());
        QCOMPARE(libraryItems(), "111");
        // 新規作成 from the menu needs no folder window open.
        ds.queuePick(tmp.filePath(QStringLiteral("made.mdb")));
        act("新規作成")->trigger();
        QCOMPARE(w->windowTitle(), QStringLiteral("Tessaly <made.mdb>"));
        QCOMPARE(libraryItems(), "111");
    }

    // 新規作成 over one name of a library kept under two (as a backup made with cp -al
    // leaves it) gives that name a new library and leaves the other's rows byte for byte;
    // over the open library under another name, or through a linked folder, it is refused.
    void newLibraryOverASecondName_data()
    {
        QTest::addColumn<QString>("open");  // opened first with 開く; empty: none
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QString>("kept");  // the other name, its bytes as they were
        QTest::addColumn<bool>("refused");
        QTest::newRow("the second name") << "" << "h.mdb" << "lib1.mdb" << false;
        QTest::newRow("the first name") << "" << "lib1.mdb" << "h.mdb" << false;
        QTest::newRow("open library's first name") << "h.mdb" << "lib1.mdb" << "h.mdb" << true;
        QTest::newRow("open library through a linked folder") << "h.mdb" << "via/h.mdb" << "lib1.mdb" << true;
    }
    void newLibraryOverASecondName()
    {
        QFETCH(QString, open);
        QFETCH(QString, pick);
        QFETCH(QString, kept);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        const QString lib1 = makeLibrary(dir.path(), QStringLiteral("lib1.mdb"));
        sql(lib1, QStringLiteral("insert into allTop (ID, allTop) values (1, ?)"), {dir.filePath(QStringLiteral("photos"))});
        sql(lib1, QStringLiteral("insert into photoGraph (topFolderName) values ('c')"));
        sql(lib1, QStringLiteral("insert into photoYear (ID, yearFolderName) values (1, 'g')"));
        sql(lib1, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (1, 1, 't')"));
        QCOMPARE(::link(QFile::encodeName(lib1).constData(), QFile::encodeName(dir.filePath(QStringLiteral("h.mdb"))).constData()), 0);
        QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("via"))));
        const QByteArray before = readFile(lib1);
        if (!open.isEmpty()) {
            ds.queuePick(dir.filePath(open));
            act("開く")->trigger();
            settle();
        }
        const QString caption = w->windowTitle(), connection = g.dbConnectString;
        ds.clear();
        ds.queuePick(dir.filePath(pick));
        ds.queueYes();
        act("新規作成")->trigger();
        settle();

        QStringList shown;
        for (const MessageRequest &m : ds.messages())
            shown << m.title + '|' + m.text;
        QStringList expected{QStringLiteral("新規作成|データベースファイルが存在します！上書きで作成しますか？")};
        if (refused)
            expected << QStringLiteral("新規作成|現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、"
                                       "再度新規作成処理を行ってください。");
        QCOMPARE(shown, expected);
        QCOMPARE(readFile(dir.filePath(kept)), before);
        if (refused) {
            QCOMPARE(readFile(dir.filePath(pick)), before);
            QVERIFY(w->windowTitle() == caption && g.dbConnectString == connection);
            return;
        }
        QCOMPARE(w->windowTitle(), LibraryCaption(QFileInfo(pick).fileName()));
        QCOMPARE(g.dbConnectString, MakeConnectString(dir.filePath(pick)));
        QCOMPARE(sqlColumn(dir.filePath(pick), QStringLiteral("select (select count(allTop) from allTop) + (select count(*) "
                                                              "from photoGraph) + (select count(*) from photoIvents)")),
                 QStringList{QStringLiteral("0")});
    }

    // 開く on a file that is no library leaves the start window for another try; on a
    // library it goes, and the library's items are on.
    void openItemOnNoLibrary()
    {
        ds.queuePick(writeFile(tmp.filePath(QStringLiteral("junk.mdb")), "no library"));
        act("開く")->trigger();
        settle();
        QVERIFY(w->findWindow(QStringLiteral("frmOpen")));
        ds.queuePick(makeLibrary(tmp.path(), QStringLiteral("lib.mdb")));
        act("開く")->trigger();
        settle();
        QVERIFY(!w->findWindow(QStringLiteral("frmOpen")));
        QCOMPARE(libraryItems(), "111");
    }

    void startWindowButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("create") << "Command1" << false;
        QTest::newRow("open") << "Command2" << false;
        QTest::newRow("create cancelled") << "Command1" << true;
        QTest::newRow("open cancelled") << "Command2" << true;
    }
    void startWindowButtons()
    {
        QFETCH(QString, button);
        QFETCH(bool, cancel);
        QWidget *start = w->findWindow(QStringLiteral("frmOpen"));
        QVERIFY(start);
        QCOMPARE(start->size(), twipsToPixels(4260, 1500));
        auto *b = start->findChild<QPushButton *>(button);
        QVERIFY(b);
        QCOMPARE(b->text(), button == QLatin1String("Command1") ? QStringLiteral("新規作成") : QStringLiteral("開　く"));
        QCOMPARE(b->geometry(), twipsRect(button == QLatin1String("Command1") ? 480 : 2280, 480, 1455, 495));
        if (!cancel) {
            const QString lib = button == QLatin1String("Command1") ? tmp.filePath(QStringLiteral("new.mdb"))
                                                                    : makeLibrary(tmp.path(), QStringLiteral("s.mdb"));
            QFile::remove(tmp.filePath(QStringLiteral("new.mdb")));
            ds.queuePick(lib);
        }
        b->click();
        settle();
        QVERIFY(!w->findWindow(QStringLiteral("frmOpen")));  // closed whatever the outcome
        QCOMPARE(g.dbConnectString.isEmpty(), cancel);
        QCOMPARE(libraryItems(), "000");  // only the menus enable them
        if (!cancel && button == QLatin1String("Command1"))
            QCOMPARE(g.isNewLibrary, True16);
        if (!cancel)  // the first window it opened stands at the corner
            QCOMPARE(w->findChild<QMdiArea *>()->subWindowList().first()->pos(), QPoint(0, 0));
    }

    // 印刷 with no child window prints nothing; 終了 asks first and restores the printer before the end.
    void fileItems()
    {
        int printed = 0;
        htmlCrtMain::setPrintHandler([&](QWidget *, PrinterSettings &) { ++printed; });
        act("印刷")->trigger();
        htmlCrtMain::setPrintHandler(nullptr);
        QCOMPARE(printed, 0);
        QVERIFY(ds.calls.isEmpty());
        act("終了")->trigger();
        QCOMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().title + '|' + ds.messages().first().text, QStringLiteral("Quillmere|終了しますか？"));
        QCOMPARE(ds.messages().first().kind, MsgKind::Information);
        QVERIFY(ended == 0 && w->isVisible() && printer.restored == 0);
        ds.queueYes();
        act("終了")->trigger();
        QCOMPARE(ended, 1);
        QCOMPARE(printer.restored, 1);
        QVERIFY(printer.writes.isEmpty());
    }

    void showChildWindowSizesAndKeepsOneInstance()
    {
        auto *child = new QLabel(QStringLiteral("child"));
        w->ShowChildWindow(child, 6990, 3645);
        QMdiSubWindow *sub = w->subWindowOf(child);
        QVERIFY(sub);
        QCOMPARE(sub->size(), twipsToPixels(6990, 3645));
        QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));  // laid out at fixed places
        const int count = w->mdiArea()->subWindowList().size();
        sub->resize(100, 100);
        sub->showMinimized();
        w->ShowChildWindow(child, 6990, 3645);
        QCOMPARE(w->mdiArea()->subWindowList().size(), count);
        QCOMPARE(w->mdiArea()->activeSubWindow(), sub);
        QVERIFY(!sub->isMinimized());
        QCOMPARE(sub->size(), twipsToPixels(6990, 3645));
        // A window that closes itself takes its frame along.
        child->close();
        settle();
        QCOMPARE(w->mdiArea()->subWindowList().size(), count - 1);
        // Names that have no window do nothing.
        QVERIFY(!w->showWindow(QStringLiteral("noSuchWindow")));
    }

    // The editor in the frame: the frame's one bar shows its menus while it is current.
    // The help is a window of its own, on its first page each time; closing it does not
    // activate the editor again, which would offer the auto-set once more.
    void editorMenusAndHelp()
    {
        g = makeGlobal(makeLibrary(tmp.path(), QStringLiteral("menus.mdb")));
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QList<QAction *> frameMenus = w->menuBar()->actions();
        QWidget *editor = w->showWindow(QStringLiteral("dataSet"));
        QTRY_COMPARE(ds.messages().size(), 1);
        QCOMPARE(ds.messages().first().text, QStringLiteral("ｵｰﾄｾｯﾄを実行しますか？"));
        auto *own = editor->findChild<QMenuBar *>(QStringLiteral("menuBar"));
        QVERIFY(own && !own->isVisible());
        QCOMPARE(w->menuBar()->actions(), own->actions());

        QTest::keyClick(editor, Qt::Key_F1);
        auto *help = qobject_cast<HelpWork *>(w->findWindow(QStringLiteral("HelpWork")));
        QVERIFY(help && help->isWindow() && help->isVisible() && !w->subWindowOf(help));
        QVERIFY((help->frameGeometry().center() - w->frameGeometry().center()).manhattanLength() <= 4);  // over the frame
        help->browser()->scrollToAnchor(QStringLiteral("print"));
        QTest::keyClick(help->browser(), Qt::Key_F1);  // only the frame's own windows answer F1: the page stays
        QVERIFY(help->browser()->verticalScrollBar()->value() > 0);
        editor->findChild<QAction *>(QStringLiteral("ヘルプ1"))->trigger();
        QCOMPARE(w->findWindow(QStringLiteral("HelpWork")), help);
        QCOMPARE(help->browser()->verticalScrollBar()->value(), 0);
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("Tessaly ヘルプ")));
        // Its contents lead to every section, and nothing else.
        const QString page = QString::fromUtf8(readFile(HelpWork::helpFilePath(g)));
        QStringList sections, listed;
        for (const auto &m : QRegularExpression("<h[23] id=\"([^\"]+)\"").globalMatch(page))
            sections << m.captured(1);
        const QString contents = page.section("<ul id=\"contents\">", 1).section("<h2", 0, 0);
        for (const auto &m : QRegularExpression("href=\"#([^\"]+)\"").globalMatch(contents))
            listed << m.captured(1);
        QVERIFY(sections.size() >= 12);
        QCOMPARE(listed, sections);
        QPointer<HelpWork> gone = help;
        QTest::keyClick(help->browser(), Qt::Key_Escape);
        QVERIFY(!help->isVisible());
        settle();
        QVERIFY(!gone);
        QTest::qWait(100);
        QCOMPARE(ds.messages().size(), 1);

        ds.queueYes();  // データ編集を終了しますか？
        editor->close();
        settle();
        QCOMPARE(w->menuBar()->actions(), frameMenus);
        // 編集 pops up on the frame's free area only, not over another widget.
        QContextMenuEvent onBar(QContextMenuEvent::Mouse, QPoint(2, 2), w->menuBar()->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(w->menuBar(), &onBar);
        QVERIFY(!w->editMenu()->isVisible());
        QWidget *viewport = w->mdiArea()->viewport();
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(400, 400), viewport->mapToGlobal(QPoint(400, 400)));
        QCoreApplication::sendEvent(viewport, &ev);
        QVERIFY(w->editMenu()->isVisible());
        w->editMenu()->hide();
        // F1 on the frame's own widgets with no child window open: the help too.
        QTest::keyClick(w->menuBar(), Qt::Key_F1);
        help = qobject_cast<HelpWork *>(w->findWindow(QStringLiteral("HelpWork")));
        QVERIFY(help && help->isVisible());
        help->close();
    }

    // The real dialogs: Japanese buttons, texts shown as they are (a file name may hold
    // markup), a long list in the details, a one-line title over the whole prompt.
    void qtDialogs()
    {
        QVERIFY(InstallQtJapaneseTranslations());
        QtDialogService qt;
        QStringList seen;
        const auto whileShown = [&seen](const QString &click) {
            QTimer::singleShot(0, [&seen, click] {
                QWidget *top = QApplication::activeModalWidget();
                if (auto *box = qobject_cast<QMessageBox *>(top)) {
                    QStringList buttons;
                    for (QAbstractButton *b : box->buttons())
                        buttons << b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
                    buttons.sort();
                    const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                    seen << buttons.join(QLatin1Char('/')) << label->text()
                         << QString::number(label->textFormat()) << box->detailedText();
                    for (QAbstractButton *b : box->buttons())
                        if (b->text().startsWith(click))
                            b->click();
                } else if (auto *dlg = qobject_cast<QFileDialog *>(top)) {
                    seen << dlg->windowTitle();
                    if (auto *prompt = dlg->findChild<QLabel *>(QStringLiteral("prompt"))) {
                        const auto *look = dlg->findChild<QWidget *>(QStringLiteral("lookInCombo"));
                        seen << prompt->text() + (prompt->geometry().bottom() < look->geometry().top() ? "" : " (not above)");
                    } else {  // a file picker: what it offers, then a name typed as a user would
                        auto *edit = dlg->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                        seen << dlg->nameFilters().join(QLatin1Char('|')) << dlg->selectedNameFilter()
                             << (dlg->acceptMode() == QFileDialog::AcceptSave ? "save" : "open")
                             << dlg->labelText(QFileDialog::Accept) << edit->text();
                        if (click.startsWith(QLatin1String("name:"))) {
                            edit->setText(click.mid(5));
                            QMetaObject::invokeMethod(dlg, &QDialog::accept);
                        }
                    }
                    // OK on the folder chosen at the start; a dialog that went into it instead is left.
                    if (click == QLatin1String("OK"))
                        QMetaObject::invokeMethod(dlg, &QDialog::accept);
                    QTimer::singleShot(0, dlg, &QDialog::reject);
                }
            });
        };
        const QString name = QStringLiteral("x<b>y&amp;z.mdb");
        whileShown(QStringLiteral("いいえ"));
        QCOMPARE(qt.message(name, MsgKind::Question, QStringLiteral("開く"), MsgButtons::YesNo), MsgAnswer::No);
        whileShown(QStringLiteral("OK"));
        QCOMPARE(qt.message(MessageRequest{name + QStringLiteral("\n\r2"), MsgKind::Exclamation, QString(),
                                           MsgButtons::Ok, QStringLiteral("a\nb")}),
                 MsgAnswer::Ok);
        const FolderPickRequest folder{QStringLiteral("基準フォルダ選択\r\nフォルダを選択してください。"), tmp.path()};
        whileShown(QString());
        QCOMPARE(qt.pickFolder(folder), QString());
        whileShown(QStringLiteral("OK"));
        QCOMPARE(qt.pickFolder(folder), tmp.path());
        whileShown(QStringLiteral("OK"));  // the root keeps its slash
        QCOMPARE(qt.pickFolder({folder.prompt, QStringLiteral("/")}), QStringLiteral("/"));
        // Save: a typed name gets the suffix; an existing one is the caller's to question.
        QFile(tmp.filePath("既存.mdb")).open(QIODevice::WriteOnly);
        const FilePickRequest save{QStringLiteral("名前を付けて保存"),
                                   {{QStringLiteral("mdb"), QStringLiteral("*.mdb")}, {QStringLiteral("すべて"), QStringLiteral("*")}},
                                   tmp.path(), QStringLiteral("新規.mdb"), QStringLiteral("mdb"), true, true, QStringLiteral("作成")};
        whileShown(QStringLiteral("name:写真"));
        QCOMPARE(qt.pickFile(save), tmp.filePath("写真.mdb"));
        whileShown(QStringLiteral("name:既存.mdb"));
        QCOMPARE(qt.pickFile(save), tmp.filePath("既存.mdb"));
        // Open: only existing files; a wildcard name only narrows the list.
        const FilePickRequest open{QStringLiteral("開く"), {{QStringLiteral("mdb"), QStringLiteral("*.mdb")}}, tmp.path(),
                                   QStringLiteral("*.mdb"), QString(), false, false, QString()};
        whileShown(QStringLiteral("name:既存.mdb"));
        QCOMPARE(qt.pickFile(open), tmp.filePath("既存.mdb"));
        QCOMPARE(seen, (QStringList{"いいえ/はい", name, QString::number(Qt::PlainText), QString(),
                                    "OK/詳細を表示...", name + "\n2", QString::number(Qt::PlainText), "a\nb",
                                    "基準フォルダ選択", "基準フォルダ選択\nフォルダを選択してください。",
                                    "基準フォルダ選択", "基準フォルダ選択\nフォルダを選択してください。",
                                    "基準フォルダ選択", "基準フォルダ選択\nフォルダを選択してください。",
                                    "名前を付けて保存", "mdb (*.mdb)|すべて (*)", "mdb (*.mdb)", "save", "作成", "新規.mdb",
                                    "名前を付けて保存", "mdb (*.mdb)|すべて (*)", "mdb (*.mdb)", "save", "作成", "新規.mdb",
                                    "開く", "mdb (*.mdb)", "mdb (*.mdb)", "open", "開く(&O)", ""}));
    }

    // Real input on the splash while the start-up wait runs, and on the one the about item shows.
    void splashClosesOnAClickOrAKey_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addColumn<QString>("input");
        QTest::newRow("start-up, left alone") << false << "";
        QTest::newRow("start-up, click") << false << "click";
        QTest::newRow("start-up, key") << false << "key";
        QTest::newRow("about, key") << true << "key";
    }
    void splashClosesOnAClickOrAKey()
    {
        QFETCH(bool, about);
        QFETCH(QString, input);
        QCOMPARE(frmSplash::versionText(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QStringLiteral(TESSALY_VERSION));
        const auto splash = [] {  // a closed one is gone, not hidden
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *s = qobject_cast<frmSplash *>(top))
                    return s;
            return static_cast<frmSplash *>(nullptr);
        };
        bool delivered = false;
        const auto poke = [&] {
            frmSplash *s = splash();
            if (!s)
                return;
            // A key goes where the keyboard focus is, as a real one does.
            if (input == QLatin1String("click"))
                QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(20, 20));
            else if (QWindow *focus = QGuiApplication::focusWindow())
                QTest::keyClick(focus, Qt::Key_Space);
            delivered = true;
        };
        if (about) {
            act("このソフトについて")->trigger();
            QVERIFY(splash());
            poke();
        } else {
            if (!input.isEmpty())
                QTimer::singleShot(150, this, poke);
            const std::clock_t cpu = std::clock();
            const qint64 stayed = ShowStartupSplash(1000);
            QVERIFY(input.isEmpty() ? stayed > 1000 : stayed < 1000);
            // Waiting on events, not spinning.
            QVERIFY(double(std::clock() - cpu) / CLOCKS_PER_SEC < 0.5 * stayed / 1000.0);
        }
        QCOMPARE(delivered, !input.isEmpty());
        settle();
        QVERIFY(!splash());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
