// The editor's key preview, function-key buttons, delete buttons, menu items and input
// lock, on a window with the editor's control names.
#include "DialogService.h"
#include "EditorCommandBinder.h"
#include "Global.h"
#include "PrinterSettings.h"
#include "RecordingEditorView.h"
#include "TestSupport.h"
#include "WindowHost.h"

#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

using namespace tessaly;
using namespace tessaly::test;

namespace {

class Host : public WindowHost {
public:
    Global g;
    ScriptedDialogService *ds = nullptr;
    QStringList log;
    Global &global() override { return g; }
    DialogService &dialogs() override { return *ds; }
    PrinterSettings &printer() override { qFatal("the editor does not use the printer settings"); }
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

// Counts the keys that reach it.
class KeyEdit : public QLineEdit {
public:
    QList<int> keys;
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        keys << e->key();
        QLineEdit::keyPressEvent(e);
    }
};

// A dialog service that lets the test act while a dialog is up.
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

const char *kMenuItems[] = {"閉じる", "用紙設定", "印刷", "終了", "オートセット", "フォルダ更新", "linkButton",
                            "openButton", "ファイルの指定", "写真の指定", "HTML出力", "基準", "HTML出力先",
                            "ヘルプ1", "このソフトについて"};

}  // namespace

class TestEditorBinder : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    Host m_host;
    ActingDialogs m_ds;
    RecordingEditorView m_view;
    QWidget *m_w = nullptr;
    KeyEdit *m_edit = nullptr;
    EditorCommandBinder *m_binder = nullptr;
    int m_autoSets = 0;

    QAction *item(const char *name) { return m_w->findChild<QAction *>(QString::fromUtf8(name)); }
    QPushButton *button(const QString &name) { return m_w->findChild<QPushButton *>(name); }

private slots:
    void init()
    {
        const QString lib = makeLibrary(m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction()));
        m_host.g = makeGlobal(lib);
        m_host.log.clear();
        m_host.ds = &m_ds;
        m_ds.clear();
        m_ds.whileShown = nullptr;
        m_view = RecordingEditorView();
        m_autoSets = 0;
        m_w = new QWidget;
        m_w->setObjectName(QStringLiteral("dataSet"));
        m_w->setWindowTitle(QStringLiteral("データ編集"));
        auto *lay = new QVBoxLayout(m_w);
        auto *bar = new QMenuBar(m_w);
        QMenu *menu = bar->addMenu(QStringLiteral("編集"));
        for (const char *n : kMenuItems)
            menu->addAction(QString::fromUtf8(n))->setObjectName(QString::fromUtf8(n));
        lay->setMenuBar(bar);
        m_edit = new KeyEdit(m_w);
        m_edit->setObjectName(QStringLiteral("fIventsLink"));
        lay->addWidget(m_edit);
        QStringList names{"del1", "del2", "del3"};
        for (int i = 1; i <= 12; ++i)
            names << QStringLiteral("f%1").arg(i);
        for (const QString &n : names) {
            auto *b = new QPushButton(n, m_w);
            b->setObjectName(n);
            b->setFocusPolicy(Qt::NoFocus);
            lay->addWidget(b);
        }
        m_binder = new EditorCommandBinder(m_w, m_host, m_view, [this] { ++m_autoSets; });
        m_w->show();
        m_w->activateWindow();
        m_edit->setFocus();
        QVERIFY(QTest::qWaitForWindowExposed(m_w));
    }
    void cleanup()
    {
        delete m_w;
        m_w = nullptr;
    }

    // Keys that are consumed never reach the focused control; the others do.
    void keyPreview_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("reaches");
        QTest::addColumn<int>("pickers");  // dialogs opened
        QTest::newRow("F2") << int(Qt::Key_F2) << 0 << 0 << false << 0;
        QTest::newRow("F3 mode 0") << int(Qt::Key_F3) << 0 << 0 << false << 0;
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << 0 << false << 0;
        QTest::newRow("F11") << int(Qt::Key_F11) << 0 << 0 << false << 0;
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << 0 << true << 0;
        QTest::newRow("F6") << int(Qt::Key_F6) << 0 << 0 << false << 1;
        QTest::newRow("Ctrl+F6") << int(Qt::Key_F6) << int(Qt::ControlModifier) << 0 << false << 1;
        QTest::newRow("Shift+Alt+F7") << int(Qt::Key_F7) << int(Qt::ShiftModifier | Qt::AltModifier) << 0 << false << 1;
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << 2 << true << 0;
    }
    void keyPreview()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, mode);
        QFETCH(bool, reaches);
        QFETCH(int, pickers);
        m_host.g.titleEditMode = int16_t(mode);
        m_view.catIndex = 0;
        QTest::keyClick(m_edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_edit->keys.contains(key), reaches);
        QCOMPARE(m_ds.calls.size(), pickers);
        if (key == Qt::Key_F3)
            QVERIFY(m_view.log.isEmpty() && m_view.status.isEmpty());
    }

    // A click posts the button's key: it runs exactly what the key runs.
    void buttonRunsItsKey_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("mode");
        QTest::newRow("f3 mode 0") << 3 << 0;
        QTest::newRow("f3 mode 2") << 3 << 2;
        QTest::newRow("f4") << 4 << 0;
        QTest::newRow("f6") << 6 << 0;
        QTest::newRow("f7") << 7 << 0;
        QTest::newRow("f8") << 8 << 0;
        QTest::newRow("f9") << 9 << 0;
        QTest::newRow("f10") << 10 << 0;
        QTest::newRow("f12") << 12 << 0;
        QTest::newRow("f2") << 2 << 2;
        QTest::newRow("f5") << 5 << 2;
        QTest::newRow("f11") << 11 << 2;
    }
    void buttonRunsItsKey()
    {
        QFETCH(int, n);
        QFETCH(int, mode);
        auto run = [&](bool click) {
            m_ds.clear();
            m_view = RecordingEditorView();
            m_view.catIndex = m_view.genIndex = 0;
            m_view.entry.folderName = QStringLiteral("T");
            m_view.entry.folder = QStringLiteral("/t");
            m_host.g.titleEditMode = int16_t(mode);
            m_autoSets = 0;
            if (click) {
                QTest::mouseClick(button(QStringLiteral("f%1").arg(n)), Qt::LeftButton);
                QCoreApplication::processEvents();
            } else {
                QTest::keyClick(m_edit, Qt::Key(Qt::Key_F1 + n - 1));
            }
            QStringList trace = m_view.log + m_view.status;
            for (const auto &c : m_ds.calls)
                trace << c.message.text + c.file.dialogTitle + c.folder.prompt;
            trace << QString::number(m_autoSets);
            return trace;
        };
        const QStringList byKey = run(false);
        const QStringList byClick = run(true);
        QCOMPARE(byClick, byKey);
        const bool acts = !(n == 2 || n == 5 || n == 11 || (n == 3 && mode == 0));
        QCOMPARE(byKey != QStringList{"0"}, acts);
        QVERIFY(m_edit->keys.isEmpty());
    }

    void f1PassesOn()
    {
        QTest::mouseClick(button(QStringLiteral("f1")), Qt::LeftButton);
        QList<int> seen;
        struct Spy : QObject {
            QList<int> *seen;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::KeyPress)
                    *seen << static_cast<QKeyEvent *>(e)->key();
                return false;
            }
        } spy;
        spy.seen = &seen;
        m_w->installEventFilter(&spy);
        QCoreApplication::processEvents();
        QCOMPARE(seen, QList<int>{Qt::Key_F1});
        QVERIFY(m_ds.calls.isEmpty());
    }

    void deleteButtons()
    {
        m_host.g.currentCategoryId = 0;
        for (const char *n : {"del1", "del2", "del3"})
            QTest::mouseClick(button(QString::fromLatin1(n)), Qt::LeftButton);
        QCOMPARE(m_ds.messages().size(), 3);
        QCOMPARE(m_view.status, QStringList({"カテゴリーフォルダ以下のデータ削除中．．．", "カテゴリーフォルダ以下のデータ削除終了",
                                             "ジャンルフォルダ以下のデータ削除中．．．", "ジャンルフォルダ以下のデータ削除終了",
                                             "タイトルフォルダのデータ削除中．．．", "タイトルフォルダのデータ削除終了"}));
    }

    // While a command runs, keys and clicks on the window are dropped.
    void busyWindowTakesNoInput()
    {
        m_view.catIndex = 0;
        bool sawBusy = false;
        m_ds.whileShown = [&] {
            sawBusy = m_binder->isBusy();
            QTest::keyClick(m_edit, Qt::Key_X);
            QTest::keyClick(m_edit, Qt::Key_F8);
            QTest::mouseClick(button(QStringLiteral("del1")), Qt::LeftButton);
            QTest::mouseClick(button(QStringLiteral("f4")), Qt::LeftButton);
            QCoreApplication::processEvents();
        };
        QTest::keyClick(m_edit, Qt::Key_F7);
        QVERIFY(sawBusy);
        QVERIFY(!m_binder->isBusy());
        QCOMPARE(m_ds.calls.size(), 1);  // only the genre browser
        QVERIFY(m_edit->text().isEmpty());
        QCOMPARE(m_autoSets, 0);
        QCOMPARE(m_view.status.first(), QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択画面起動中..."));
        // Afterwards the window takes input again.
        QTest::keyClick(m_edit, Qt::Key_X);
        QCOMPARE(m_edit->text(), QStringLiteral("x"));
    }

    void menuItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("question");  // text|kind|title
        QTest::addColumn<QStringList>("hostLog");
        QTest::newRow("用紙設定") << "用紙設定" << "" << "" << QStringList{"show prtPaperF"};
        QTest::newRow("基準") << "基準" << "" << "" << QStringList{"show topFolderF"};
        QTest::newRow("HTML出力先") << "HTML出力先" << "" << "" << QStringList{"show htmlOut"};
        QTest::newRow("ヘルプ1") << "ヘルプ1" << "" << "" << QStringList{"help"};
        QTest::newRow("about") << "このソフトについて" << "" << "" << QStringList{"about"};
        QTest::newRow("終了 yes") << "終了" << "Y" << "終了しますか？|1|" << QStringList{"end"};
        QTest::newRow("終了 no") << "終了" << "N" << "終了しますか？|1|" << QStringList();
        QTest::newRow("印刷 yes") << "印刷" << "Y" << "この画面を印刷しますか？|1|データ編集" << QStringList{"print dataSet"};
        QTest::newRow("印刷 no") << "印刷" << "N" << "この画面を印刷しますか？|1|データ編集" << QStringList();
        QTest::newRow("HTML出力 no") << "HTML出力" << "N" << "ＨＴＭＬファイル作成を実行しますか？|1|ＨＴＭＬ出力" << QStringList();
    }
    void menuItems()
    {
        QFETCH(QString, name);
        QFETCH(QString, answer);
        QFETCH(QString, question);
        QFETCH(QStringList, hostLog);
        if (!answer.isEmpty())
            answer == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        QAction *a = item(name.toUtf8().constData());
        QVERIFY(a);
        a->trigger();
        QCOMPARE(m_host.log, hostLog);
        if (question.isEmpty()) {
            QVERIFY(m_ds.calls.isEmpty());
        } else {
            QCOMPARE(m_ds.messages().size(), 1);
            const MessageRequest m = m_ds.messages()[0];
            QCOMPARE(QStringList({m.text, QString::number(int(m.kind)), m.title}).join(QLatin1Char('|')), question);
            QCOMPARE(m.buttons, MsgButtons::YesNo);
        }
        QVERIFY(m_view.status.isEmpty());
    }

    // The menu variants of F8 to F10 run the same command without letting messages run
    // between the first status text and the command.
    void menuCommands()
    {
        m_view.catIndex = m_view.genIndex = 0;
        m_view.entry.folderName = QStringLiteral("T");
        item("フォルダ更新")->trigger();
        item("ファイルの指定")->trigger();
        item("写真の指定")->trigger();
        QCOMPARE(m_ds.calls.size(), 3);
        QCOMPARE(m_ds.calls[0].folder.prompt.section(QLatin1Char('\r'), 0, 0), QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択"));
        QCOMPARE(m_ds.calls[1].file.dialogTitle, QStringLiteral("ファイル選択"));
        QCOMPARE(m_ds.calls[2].file.dialogTitle, QStringLiteral("写真ファイル選択"));
        QVERIFY(!m_view.log.contains(QStringLiteral("events")));
        item("linkButton")->trigger();
        item("openButton")->trigger();
        QCOMPARE(m_view.entry.linkButton + m_view.entry.htmlButton, 2);
        item("オートセット")->trigger();
        QCOMPARE(m_autoSets, 1);
        QCOMPARE(m_host.g.folderSetupStage, int16_t(0));
    }

    void f12AnsweredYesShowsBothTexts()
    {
        m_ds.queueYes();
        bool busy = false;
        m_view.onStatus = [&] { busy = busy || m_binder->isBusy(); };
        QTest::keyClick(m_edit, Qt::Key_F12);
        QCOMPARE(m_ds.messages().first().text, QStringLiteral("ＨＴＭＬファイル作成を実行しますか？"));
        QCOMPARE(m_view.status, QStringList({"ＨＴＭＬファイル出力中...", "ＨＴＭＬファイル出力終了"}));
        QVERIFY(busy);
    }

    void escClose_data()
    {
        QTest::addColumn<QString>("f3");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("closed");
        QTest::newRow("no title, yes") << "" << QStringList{"Y"} << 1 << true;
        QTest::newRow("no title, no") << "" << QStringList{"N"} << 1 << false;
        QTest::newRow("title, no, no") << "更新" << QStringList({"N", "N"}) << 2 << false;
        QTest::newRow("title, no, yes") << "更新" << QStringList({"N", "Y"}) << 2 << true;
    }
    void escClose()
    {
        QFETCH(QString, f3);
        QFETCH(QStringList, answers);
        QFETCH(int, questions);
        QFETCH(bool, closed);
        m_view.f3 = f3;
        for (const QString &a : answers)
            a == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        QTest::keyClick(m_edit, Qt::Key_Escape);
        QCOMPARE(m_ds.messages().size(), questions);
        QCOMPARE(m_ds.messages().last().text, QStringLiteral("データ編集を終了しますか？"));
        QCOMPARE(m_w->isVisible(), !closed);
        QVERIFY(m_edit->keys.contains(Qt::Key_Escape));  // Esc goes on
        m_ds.clear();
        m_ds.queueNo();
        item("閉じる")->trigger();
        QCOMPARE(m_ds.messages().size(), f3.isEmpty() ? 1 : 2);
    }
};

QTEST_MAIN(TestEditorBinder)
#include "test_editor_binder.moc"
