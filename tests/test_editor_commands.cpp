// The editor's command flows against a recording view: exact texts, kinds and titles of
// every box, the status texts in order, what is written, and which window operations run.
#include "DialogService.h"
#include "EditorCommands.h"
#include "Global.h"
#include "RecordingEditorView.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct Box {
    QString text;
    MsgKind kind;
    QString title;
    MsgButtons buttons;
};

const QString J = QStringLiteral("\n\r");
const QStringList kDetach = {QStringLiteral("テーブル切り離し処理..."), QStringLiteral("実行中...")};
const QStringList kJoin = {QStringLiteral("テーブルジョイント処理..."), QStringLiteral("処理を終了しました。")};

}  // namespace

class TestEditorCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_lib, m_base;
    Global m_g;
    ScriptedDialogService m_ds;
    RecordingEditorView m_v;

    EditorCommands cmds() { return EditorCommands(m_g, m_ds, m_v); }

    void compareBoxes(const QList<Box> &expected)
    {
        const QList<MessageRequest> got = m_ds.messages();
        QStringList gotText;
        for (const MessageRequest &m : got)
            gotText << m.text;
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].text, expected[i].text);
            QCOMPARE(int(got[i].kind), int(expected[i].kind));
            QCOMPARE(got[i].title, expected[i].title);
            QCOMPARE(int(got[i].buttons), int(expected[i].buttons));
        }
    }
    QString one(const QString &statement)
    {
        const QStringList c = sqlColumn(m_lib, statement);
        return c.isEmpty() ? QStringLiteral("<none>") : c.first();
    }

private slots:
    void init()
    {
        const QString dir = m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction())
                            + QLatin1Char('_') + QString::fromLatin1(QTest::currentDataTag());
        QDir(dir).removeRecursively();
        m_lib = makeLibrary(dir);
        m_base = makeDir(dir + QStringLiteral("/base"));
        m_g = makeGlobal(m_lib);
        m_ds.clear();
        m_v = RecordingEditorView();
    }

    void keyMap_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("consumed");
        using A = EditorKeyAction;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << 0 << int(A::Close) << false;
        QTest::newRow("F1") << int(Qt::Key_F1) << 2 << int(A::Help) << false;
        QTest::newRow("F2") << int(Qt::Key_F2) << 2 << int(A::Nothing) << true;
        QTest::newRow("F3 mode 0") << int(Qt::Key_F3) << 0 << int(A::Nothing) << true;
        QTest::newRow("F3 mode 2") << int(Qt::Key_F3) << 2 << int(A::SaveTitle) << true;
        QTest::newRow("F4") << int(Qt::Key_F4) << 0 << int(A::AutoSet) << true;
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << int(A::Nothing) << true;
        QTest::newRow("F6") << int(Qt::Key_F6) << 0 << int(A::RegisterCategory) << true;
        QTest::newRow("F7") << int(Qt::Key_F7) << 0 << int(A::RegisterGenre) << true;
        QTest::newRow("F8") << int(Qt::Key_F8) << 0 << int(A::RegisterTitle) << true;
        QTest::newRow("F9") << int(Qt::Key_F9) << 0 << int(A::SelectFile) << true;
        QTest::newRow("F10") << int(Qt::Key_F10) << 0 << int(A::SelectPhoto) << true;
        QTest::newRow("F11") << int(Qt::Key_F11) << 0 << int(A::Nothing) << true;
        QTest::newRow("F12") << int(Qt::Key_F12) << 0 << int(A::HtmlOutput) << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << 2 << int(A::None) << false;
        QTest::newRow("letter") << int(Qt::Key_A) << 2 << int(A::None) << false;
    }
    void keyMap()
    {
        QFETCH(int, key);
        QFETCH(int, mode);
        QFETCH(int, action);
        QFETCH(bool, consumed);
        const EditorKeyDecision d = DecideEditorKey(key, int16_t(mode));
        QCOMPARE(int(d.action), action);
        QCOMPARE(d.consumed, consumed);
    }

    // --- registering a category ---

    void categoryNewAnsweredNo()
    {
        m_ds.queuePick(m_base + QStringLiteral("/New"));
        m_ds.queueNo();
        cmds().RegisterCategoryFolder();
        QCOMPARE(m_v.log, QStringList{"focus topFolder"});
        QCOMPARE(m_v.catText, QStringLiteral("New"));
        QCOMPARE(m_v.catFolder, m_base + QStringLiteral("/New"));
        QVERIFY(m_v.status.isEmpty());
        QCOMPARE(one(QStringLiteral("select count(*) from photoGraph")), QStringLiteral("0"));
    }

    // An existing name: the entries are selected from the first until the name, then
    // that one again; without the name the walk ends on the last entry.
    void categoryExistingSelects_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("walk");
        QTest::newRow("third") << QStringList({"A", "B", "Cat", "D"})
                               << QStringList({"category 0", "category 1", "category 2", "category 2", "FillCategoryList"});
        QTest::newRow("first") << QStringList({"Cat", "B"}) << QStringList({"category 0", "category 0", "FillCategoryList"});
        QTest::newRow("absent") << QStringList({"A", "B"})
                                << QStringList({"category 0", "category 1", "category 1", "FillCategoryList"});
        QTest::newRow("empty list") << QStringList() << QStringList{"FillCategoryList"};
    }
    void categoryExistingSelects()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, walk);
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Other', '/x'), ('Cat', '/old/Cat')"));
        m_v.categories = entries;
        m_ds.queuePick(m_base + QStringLiteral("/Cat"));
        cmds().RegisterCategoryFolder();
        QVERIFY(m_ds.messages().isEmpty());
        QCOMPARE(m_v.log, walk);
        QCOMPARE(m_g.currentCategoryId, 2);
        QCOMPARE(one(QStringLiteral("select count(*) from photoGraph")), QStringLiteral("2"));
    }

    // --- registering a genre ---

    void genreNeedsCategory()
    {
        cmds().RunGenreFolderCommand();
        compareBoxes({{QStringLiteral("カテゴリーを入力してください！"), MsgKind::None, QString(), MsgButtons::Ok}});
        QCOMPARE(m_v.log, QStringList({"events", "focus topFolder"}));
        QCOMPARE(m_v.status.last(), QStringLiteral("ジャンルﾌｫﾙﾀﾞ選択画面終了"));
    }

    // A genre folder is known by its full path in any category.
    void genreExistingSelectsByName()
    {
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (9, 'G', '/else/G')"));
        m_v.catIndex = 0;
        m_v.genres = QStringList({"A", "G"});
        m_ds.queuePick(QStringLiteral("/else/G"));
        cmds().RegisterGenreFolder();
        QVERIFY(m_ds.messages().isEmpty());
        QCOMPARE(m_v.log, QStringList({"genre 0", "genre 1", "genre 1", "FillGenreList"}));
        QCOMPARE(m_v.genFolder, QStringLiteral("/else/G"));
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear")), QStringLiteral("1"));
    }

    void genreQuestions_data()
    {
        QTest::addColumn<int>("categoryId");
        QTest::addColumn<bool>("registeredAsCategory");
        QTest::addColumn<QStringList>("answers");  // Y / N
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("genres");
        QTest::newRow("no to register") << 1 << false << QStringList{"N"} << 1 << QStringList{"focus yearFolder"} << 0;
        QTest::newRow("no category key") << 0 << false << QStringList{"Y"} << 2 << QStringList{"focus topFolder"} << 0;
        QTest::newRow("category folder, no") << 1 << true << QStringList({"Y", "N"}) << 2
                                             << QStringList({"events", "FillGenreList"}) << 0;
        QTest::newRow("category folder, yes") << 1 << true << QStringList({"Y", "Y"}) << 2 << QStringList{"FillGenreList"} << 1;
    }
    void genreQuestions()
    {
        QFETCH(int, categoryId);
        QFETCH(bool, registeredAsCategory);
        QFETCH(QStringList, answers);
        QFETCH(int, boxes);
        QFETCH(QStringList, log);
        QFETCH(int, genres);
        const QString g = makeDir(m_base + QStringLiteral("/Cat/G"));
        if (registeredAsCategory)
            sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('G', ?)"), {g});
        m_v.catIndex = 0;
        m_g.currentCategoryId = categoryId;
        m_ds.queuePick(g);
        for (const QString &a : answers)
            a == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        cmds().RegisterGenreFolder();
        const auto msgs = m_ds.messages();
        QCOMPARE(msgs.size(), boxes);
        if (categoryId == 0) {
            QCOMPARE(msgs[1].text, QStringLiteral("エラー：カテゴリーを選択しなおしてください。"));
            QCOMPARE(msgs[1].kind, MsgKind::Critical);
            QCOMPARE(msgs[1].title, QString());
        }
        if (registeredAsCategory) {
            QCOMPARE(msgs[1].text, QStringLiteral("カテゴリー名に選択されたフォルダと同名のフォルダが登録されています。") + J
                                       + QStringLiteral("このフォルダをジャンル名に追加してもよろしいですか？"));
            QCOMPARE(msgs[1].kind, MsgKind::Exclamation);
            QCOMPARE(msgs[1].title, QStringLiteral("ジャンル追加"));
        }
        QCOMPARE(m_v.log, log);
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear")), QString::number(genres));
    }

    // A failed title scan keeps the genre, says so, and leaves "実行中..." showing.
    void genreTitleScanFails()
    {
        const QString g = m_base + QStringLiteral("/Cat/G");
        makeDir(g + QStringLiteral("/T"));
        sql(m_lib, QStringLiteral("create trigger t before insert on photoIvents begin select raise(abort,'no titles'); end"));
        m_v.catIndex = 0;
        m_g.currentCategoryId = 1;
        m_ds.queuePick(g);
        m_ds.queueYes();
        cmds().RegisterGenreFolder();
        const auto msgs = m_ds.messages();
        QCOMPARE(msgs.size(), 3);
        QVERIFY(msgs[1].text.contains(QLatin1String("no titles")));
        QCOMPARE(msgs[1].title, QStringLiteral("Tessaly"));
        QCOMPARE(msgs[2].text, QStringLiteral("タイトルフォルダを追加できませんでした。"));
        QCOMPARE(msgs[2].kind, MsgKind::Critical);
        QCOMPARE(m_v.status, kDetach);
        QCOMPARE(m_v.log, QStringList{"FillGenreList"});
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear")), QStringLiteral("1"));
    }

    // --- registering a title ---

    void titleNeedsSelections_data()
    {
        QTest::addColumn<int>("cat");
        QTest::addColumn<int>("gen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("focus");
        QTest::newRow("category") << -1 << 0 << QStringLiteral("カテゴリーを入力してください！") << "focus topFolder";
        QTest::newRow("genre") << 0 << -1 << QStringLiteral("ジャンルを入力してください！") << "focus yearFolder";
    }
    void titleNeedsSelections()
    {
        QFETCH(int, cat);
        QFETCH(int, gen);
        QFETCH(QString, text);
        QFETCH(QString, focus);
        m_v.catIndex = cat;
        m_v.genIndex = gen;
        cmds().RegisterTitleFolder();
        compareBoxes({{text, MsgKind::Exclamation, QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択"), MsgButtons::Ok}});
        QCOMPARE(m_v.log, QStringList{focus});
    }

    void titleNew()
    {
        const QString t = m_base + QStringLiteral("/C/G/T");
        writeFile(t + QStringLiteral("/x.html"));
        m_v.catIndex = m_v.genIndex = 0;
        m_v.genFolder = m_base + QStringLiteral("/C/G");
        m_v.entry.link = QStringLiteral("older link");
        m_g.currentCategoryId = 3;
        m_g.currentGenreId = 4;
        m_ds.queuePick(t);
        m_ds.queueYes();
        cmds().RunTitleFolderCommand(true);
        QCOMPARE(m_ds.calls.first().folder.startFolder, m_base + QStringLiteral("/C/G"));
        compareBoxes({{QStringLiteral("ﾀｲﾄﾙ名がデータベースに存在しません。") + J + QStringLiteral("登録しますか？"),
                       MsgKind::Exclamation, QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択"), MsgButtons::YesNo}});
        QCOMPARE(m_v.status, QStringList({QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面起動中..."), QStringLiteral("ﾀｲﾄﾙﾌｫﾙﾀﾞ選択画面終了")}));
        QCOMPARE(m_v.log, QStringList({"RefreshTitleGrid", "EnableTitleMenus", "focus fIventsLink"}));
        QCOMPARE(m_g.titleEditMode, int16_t(2));
        QCOMPARE(m_v.f3, QStringLiteral("更新"));
        QCOMPARE(m_v.entry.folderName, QStringLiteral("T"));
        QCOMPARE(m_v.entry.folder, t);
        QCOMPARE(m_v.entry.link, QStringLiteral("older link"));
        QVERIFY(m_v.entry.html.isEmpty());
        QCOMPARE(one(QStringLiteral("select ID2||'|'||ID||'|'||ID1||'|'||iventsHTML||'|'||IventsHtmlButton from photoIvents")),
                 QStringLiteral("%1|3|4|%2/x.html|-1").arg(m_g.currentTitleId).arg(t));
    }

    void titleExistingIsLoaded()
    {
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton) "
                                  "values (3, 4, 'T', '/c/g/T', 'http://l', -1)"));
        m_v.catIndex = m_v.genIndex = 0;
        m_g.currentCategoryId = 3;
        m_g.currentGenreId = 4;
        m_ds.queuePick(QStringLiteral("/c/g/T"));
        cmds().RegisterTitleFolder();
        QVERIFY(m_ds.messages().isEmpty());
        QCOMPARE(m_v.entry.link, QStringLiteral("http://l"));
        QCOMPARE(m_v.entry.linkButton, 1);
        QCOMPARE(m_g.currentTitleId, 1);
        QCOMPARE(m_g.titleEditMode, int16_t(0));
        QVERIFY(m_v.log.isEmpty());
    }

    // A folder stored as both category and genre asks both questions in turn; with both
    // asked, no detach texts are shown.
    void titleFolderOfOtherLevels_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("fieldsKept");
        QTest::addColumn<int>("titles");
        QTest::addColumn<QStringList>("status");
        QTest::newRow("yes to both") << QStringList({"Y", "Y", "Y"}) << 3 << true << 1 << QStringList();
    }
    void titleFolderOfOtherLevels()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, questions);
        QFETCH(bool, fieldsKept);
        QFETCH(int, titles);
        QFETCH(QStringList, status);
        const QString f = makeDir(m_base + QStringLiteral("/Both"));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Both', ?)"), {f});
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'Both', ?)"), {f});
        m_v.catIndex = m_v.genIndex = 0;
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 1;
        m_ds.queuePick(f);
        for (const QString &a : answers)
            a == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        cmds().RegisterTitleFolder();
        const auto msgs = m_ds.messages();
        QCOMPARE(msgs.size(), questions);
        const QString tail = J + QStringLiteral("このフォルダをジャンル名に追加してもよろしいですか？");
        QCOMPARE(msgs[1].text, QStringLiteral("カテゴリー名に選択されたフォルダと同名のフォルダが登録されています。") + tail);
        QCOMPARE(msgs[1].title, QStringLiteral("イベントフォルダ追加"));
        QCOMPARE(msgs[1].kind, MsgKind::Exclamation);
        if (questions > 2) {
            QCOMPARE(msgs[2].text, QStringLiteral("ジャンルに選択されたフォルダと同名のフォルダが登録されています。") + tail);
            QCOMPARE(msgs[2].title, QStringLiteral("イベントフォルダ追加"));
        }
        QCOMPARE(m_v.entry.folderName, fieldsKept ? QStringLiteral("Both") : QString());
        QCOMPARE(m_v.entry.folder, fieldsKept ? f : QString());
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents")), QString::number(titles));
        QCOMPARE(m_v.status, status);  // both questions asked: no detach texts
    }

    void titleOneOtherLevelShowsDetach()
    {
        const QString f = makeDir(m_base + QStringLiteral("/G2"));
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'G2', ?)"), {f});
        m_v.catIndex = m_v.genIndex = 0;
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 0;
        m_ds.queuePick(f);
        m_ds.queueYes();
        m_ds.queueYes();
        cmds().RegisterTitleFolder();
        // No genre key: stopped before the row is added.
        QCOMPARE(m_ds.messages().last().text, QStringLiteral("エラー：ジャンルを選択しなおしてください。"));
        QCOMPARE(m_ds.messages().last().kind, MsgKind::Critical);
        QCOMPARE(m_v.log, QStringList{"focus topFolder"});
        QVERIFY(m_v.status.isEmpty());

        m_ds.clear();
        m_v.log.clear();
        m_g.currentGenreId = 1;
        m_ds.queuePick(f);
        m_ds.queueYes();
        m_ds.queueYes();
        cmds().RegisterTitleFolder();
        QCOMPARE(m_v.status, kDetach);
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents")), QStringLiteral("1"));
    }

    // --- file and photo ---

    void pickers_data()
    {
        QTest::addColumn<bool>("photo");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("initial");
        QTest::newRow("file in folder") << false << "/t/T" << "/t/T/sub/a b.html" << "/t/T" << "a b.html";
        QTest::newRow("file, no file yet") << false << "/t/T" << "" << "/t/T" << "";
        QTest::newRow("file, no folder") << false << "" << "/x/y.html" << "/genre" << "*.html";
        QTest::newRow("photo in folder") << true << "/t/T" << "/t/T/p.jpg" << "/t/T" << "p.jpg";
        QTest::newRow("photo, no folder") << true << "" << "" << "/genre" << "*.jpg";
    }
    void pickers()
    {
        QFETCH(bool, photo);
        QFETCH(QString, folder);
        QFETCH(QString, current);
        QFETCH(QString, start);
        QFETCH(QString, initial);
        m_v.catIndex = m_v.genIndex = 0;
        m_v.genFolder = QStringLiteral("/genre");
        m_v.entry.folderName = QStringLiteral("T");
        m_v.entry.folder = folder;
        (photo ? m_v.entry.photo : m_v.entry.html) = current;
        m_v.entry.ivents = QStringLiteral("old ivents");
        m_ds.queuePick(QStringLiteral("/picked/file"));
        photo ? cmds().RunSelectPhotoCommand() : cmds().RunSelectFileCommand();
        QCOMPARE(m_ds.calls.size(), 1);
        const FilePickRequest r = m_ds.calls[0].file;
        QCOMPARE(r.dialogTitle, photo ? QStringLiteral("写真ファイル選択") : QStringLiteral("ファイル選択"));
        QCOMPARE(r.startFolder, start);
        QCOMPARE(r.initialName, initial);
        QCOMPARE(r.filters.first().pattern, photo ? QStringLiteral("*.jpg") : QStringLiteral("*.*"));
        if (photo) {
            QCOMPARE(m_v.entry.photo, QStringLiteral("/picked/file"));
            QCOMPARE(m_v.entry.ivents, QStringLiteral("old ivents"));
            QCOMPARE(m_v.status, QStringList({QStringLiteral("写真選択画面起動中..."), QStringLiteral("写真選択画面終了")}));
        } else {
            QCOMPARE(m_v.entry.html, QStringLiteral("/picked/file"));
            QCOMPARE(m_v.entry.ivents, QStringLiteral("/picked/file"));
            QCOMPARE(m_v.status, QStringList({QStringLiteral("ﾌｧｲﾙ選択画面起動中..."), QStringLiteral("ﾌｧｲﾙ選択画面終了")}));
        }
        QCOMPARE(m_v.log, QStringList{"events"});
        QCOMPARE(m_g.titleEditMode, int16_t(2));
        QCOMPARE(m_g.pickerDone, True16);
    }

    void pickerChecks_data()
    {
        QTest::addColumn<bool>("photo");
        QTest::addColumn<int>("cat");
        QTest::addColumn<int>("gen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("focus");
        QTest::newRow("file, category") << false << -1 << 0 << "カテゴリーを入力してください！" << "focus topFolder";
        QTest::newRow("file, genre") << false << 0 << -1 << "ジャンルを入力してください！" << "focus yearFolder";
        QTest::newRow("file, title") << false << 0 << 0 << "タイトルフォルダを選択してください！" << "focus yearFolder";
        QTest::newRow("photo, title") << true << 0 << 0 << "タイトルフォルダを選択してください！" << "focus yearFolder";
    }
    void pickerChecks()
    {
        QFETCH(bool, photo);
        QFETCH(int, cat);
        QFETCH(int, gen);
        QFETCH(QString, text);
        QFETCH(QString, focus);
        m_v.catIndex = cat;
        m_v.genIndex = gen;
        photo ? cmds().SelectTitlePhoto() : cmds().SelectTitleFile();
        compareBoxes({{text, MsgKind::Exclamation, photo ? QStringLiteral("写真選択") : QStringLiteral("ﾌｧｲﾙ選択"), MsgButtons::Ok}});
        QCOMPARE(m_v.log, QStringList{focus});
        QCOMPARE(m_g.titleEditMode, int16_t(0));
    }

    void tickButtons()
    {
        cmds().TickLinkButton();
        m_v.catIndex = 0;
        cmds().TickOpenButton();
        compareBoxes({{QStringLiteral("カテゴリー名を選択してください！"), MsgKind::Exclamation, QStringLiteral("タイトル選択"), MsgButtons::Ok},
                      {QStringLiteral("ジャンルを選択してください！"), MsgKind::Exclamation, QStringLiteral("タイトル選択"), MsgButtons::Ok}});
        QCOMPARE(m_v.entry.linkButton + m_v.entry.htmlButton, 0);
        m_v.genIndex = 0;
        cmds().TickLinkButton();
        cmds().TickLinkButton();  // ticking twice never unticks
        QCOMPARE(m_v.entry.linkButton, 1);
        QCOMPARE(m_v.entry.htmlButton, 0);
        cmds().TickOpenButton();
        QCOMPARE(m_v.entry.htmlButton, 1);
    }

    // --- saving ---

    void saveFlows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("titleId");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("stored");
        const QString ask = QStringLiteral("タイトル情報を更新しますか？");
        QTest::newRow("no folder") << 2 << "T" << "" << 1 << "" << QStringList{"タイトルフォルダを選択してください！"}
                                   << QStringList{"focus yearFolder"} << "T";
        QTest::newRow("no name") << 2 << "" << "/t" << 1 << "" << QStringList{"タイトルフォルダ名を入力してください！"}
                                 << QStringList({"ClearTitleEntry", "RefreshTitleGrid"}) << "T";
        QTest::newRow("mode 0") << 0 << "N" << "/t" << 1 << "" << QStringList() << QStringList({"ClearTitleEntry", "RefreshTitleGrid"}) << "T";
        QTest::newRow("answered no") << 2 << "N" << "/t" << 1 << "N" << QStringList{ask} << QStringList{"RefreshTitleGrid"} << "T";
        QTest::newRow("row gone") << 2 << "N" << "/t" << 5 << "Y" << QStringList({ask, "タイトルデータが存在しません！"})
                                  << QStringList({"ClearTitleEntry", "RefreshTitleGrid"}) << "T";
        QTest::newRow("saved") << 2 << "N" << "/t" << 1 << "Y" << QStringList{ask}
                               << QStringList({"DisableTitleMenus", "ClearTitleEntry", "RefreshTitleGrid"}) << "N";
    }
    void saveFlows()
    {
        QFETCH(int, mode);
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QFETCH(int, titleId);
        QFETCH(QString, answer);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, log);
        QFETCH(QString, stored);
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 'T', '/t')"));
        m_g.currentCategoryId = m_g.currentGenreId = 1;
        m_g.currentTitleId = titleId;
        m_g.titleEditMode = int16_t(mode);
        m_v.entry.folderName = name;
        m_v.entry.folder = folder;
        if (!answer.isEmpty())
            answer == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        cmds().SaveTitleEntry();
        QStringList got;
        for (const MessageRequest &m : m_ds.messages())
            got << m.text;
        QCOMPARE(got, texts);
        QCOMPARE(m_v.log, log);
        QCOMPARE(one(QStringLiteral("select iventsFolderName from photoIvents")), stored);
        if (folder.isEmpty()) {
            QCOMPARE(m_ds.messages()[0].kind, MsgKind::None);
            QCOMPARE(m_ds.messages()[0].title, QString());
        }
        if (name.isEmpty())
            QCOMPARE(m_ds.messages()[0].title, QStringLiteral("タイトル入力"));
        if (titleId == 5) {
            QCOMPARE(m_ds.messages()[1].kind, MsgKind::Critical);
            QCOMPARE(m_ds.messages()[1].title, QStringLiteral("タイトルデータ更新"));
        }
    }

    // A database failure while saving is reported and the entry stays on screen.
    void saveDatabaseFailureKeepsEntry()
    {
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 'T', '/t')"));
        sql(m_lib, QStringLiteral("create trigger t before update on photoIvents begin select raise(abort,'disk gone'); end"));
        m_g.currentCategoryId = m_g.currentGenreId = m_g.currentTitleId = 1;
        m_g.titleEditMode = 2;
        m_v.entry = TitleEntry{QStringLiteral("New"), QStringLiteral("/t"), QStringLiteral("L"), {}, {}, {}, 1, 0};
        m_ds.queueYes();
        cmds().SaveTitleEntry();
        const auto msgs = m_ds.messages();
        QCOMPARE(msgs.size(), 2);
        QVERIFY(msgs[1].text.contains(QLatin1String("disk gone")));
        QCOMPARE(msgs[1].kind, MsgKind::Critical);
        QCOMPARE(msgs[1].title, QStringLiteral("タイトルデータ更新"));
        QCOMPARE(m_v.entry.folderName, QStringLiteral("New"));
        QCOMPARE(m_v.log, QStringList{"RefreshTitleGrid"});
        QCOMPARE(one(QStringLiteral("select iventsFolderName||IventsLinkButton from photoIvents")), QStringLiteral("T0"));
    }

    // --- deleting ---

    void deleteNotices_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("cat");
        QTest::addColumn<int>("gen");
        QTest::addColumn<int>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("category: none") << 1 << 0 << 1 << 1 << "カテゴリーを選択してください！";
        QTest::newRow("genre: no category") << 2 << 0 << 1 << 1 << "カテゴリーを選択してください！";
        QTest::newRow("genre: none") << 2 << 1 << 0 << 1 << "ジャンルを選択してください！";
        QTest::newRow("title: no genre") << 3 << 1 << 0 << 1 << "ジャンルを選択してください！";
        QTest::newRow("title: none") << 3 << 1 << 1 << 0 << "タイトルを選択してください！";
    }
    void deleteNotices()
    {
        QFETCH(int, level);
        QFETCH(int, cat);
        QFETCH(int, gen);
        QFETCH(int, title);
        QFETCH(QString, text);
        m_g.currentCategoryId = cat;
        m_g.currentGenreId = gen;
        m_g.currentTitleId = title;
        const QString titles[] = {{}, QStringLiteral("カテゴリー、ジャンル、タイトル情報削除"),
                                  QStringLiteral("ジャンル、タイトル情報削除"), QStringLiteral("タイトル情報削除")};
        const QString before[] = {{}, QStringLiteral("カテゴリーフォルダ以下のデータ削除中．．．"),
                                  QStringLiteral("ジャンルフォルダ以下のデータ削除中．．．"),
                                  QStringLiteral("タイトルフォルダのデータ削除中．．．")};
        const QString after[] = {{}, QStringLiteral("カテゴリーフォルダ以下のデータ削除終了"),
                                 QStringLiteral("ジャンルフォルダ以下のデータ削除終了"),
                                 QStringLiteral("タイトルフォルダのデータ削除終了")};
        level == 1 ? cmds().RunDeleteCategory() : level == 2 ? cmds().RunDeleteGenre() : cmds().RunDeleteTitle();
        compareBoxes({{text, MsgKind::Exclamation, titles[level], MsgButtons::Ok}});
        QCOMPARE(m_v.status, QStringList({before[level], after[level]}));
        QCOMPARE(m_v.log, level == 3 ? QStringList{"RefreshTitleGrid"} : QStringList());
    }

    void deleteCategory_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<QStringList>("status");
        QTest::newRow("whole tree") << "gt" << QStringList() << kDetach;
        QTest::newRow("no titles") << "g" << QStringList{"タイトルデータがありませんでした！"} << kDetach;
        QTest::newRow("no genres") << "" << QStringList() << QStringList();
        QTest::newRow("row already gone") << "x" << QStringList() << QStringList();
    }
    void deleteCategory()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, notices);
        QFETCH(QStringList, status);
        if (!setup.contains(QLatin1Char('x')))
            sql(m_lib, QStringLiteral("insert into photoGraph (ID, topFolderName) values (1, 'A')"));
        sql(m_lib, QStringLiteral("insert into photoGraph (ID, topFolderName) values (2, 'B')"));
        if (setup.contains(QLatin1Char('g')))
            sql(m_lib, QStringLiteral("insert into photoYear (ID, ID1, yearFolderName) values (1, 1, 'g1'), (1, 2, 'g2'), (2, 3, 'keep')"));
        if (setup.contains(QLatin1Char('t')))
            sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (1,1,'a'), (1,2,'b'), (2,3,'keep')"));
        const QString folder = makeDir(m_base + QStringLiteral("/A/g1/a"));
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 2;
        m_g.currentTitleId = 3;
        m_ds.queueYes();
        cmds().DeleteCategoryCascade();
        QStringList got;
        for (const MessageRequest &m : m_ds.messages())
            got << m.text;
        QCOMPARE(got, QStringList{"カテゴリー、ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？"} + notices);
        QCOMPARE(m_ds.messages()[0].buttons, MsgButtons::YesNo);
        QCOMPARE(m_ds.messages()[0].kind, MsgKind::Exclamation);
        QCOMPARE(m_v.status, status);
        QCOMPARE(m_v.log, QStringList({"events", "clearGenreList", "FillCategoryList", "RefreshTitleGrid"}));
        QCOMPARE(m_g.currentCategoryId + m_g.currentGenreId + m_g.currentTitleId, 0);
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select topFolderName from photoGraph")), QStringList{"B"});
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear where ID=1")), QStringLiteral("0"));
        QCOMPARE(one(QStringLiteral("select count(*) from photoIvents where ID=1")), QStringLiteral("0"));
        QCOMPARE(one(QStringLiteral("select count(*) from photoYear")), setup.contains(QLatin1Char('g')) ? "1" : "0");
        QVERIFY(QFileInfo(folder).isDir());
    }

    void deleteGenre_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<QStringList>("log");
        const QStringList cleanup = {"ClearTitleEntry", "events", "events", "events", "RefreshTitleGrid", "FillGenreList",
                                     "RefreshTitleGrid"};
        QTest::newRow("with titles") << "gt" << QStringList() << cleanup;
        QTest::newRow("no titles") << "g" << QStringList{"タイトルデータがありませんでした！"} << cleanup;
        QTest::newRow("row already gone") << "" << QStringList{"ジャンルデータがありませんでした！"} << QStringList();
    }
    void deleteGenre()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, notices);
        QFETCH(QStringList, log);
        if (setup.contains(QLatin1Char('g')))
            sql(m_lib, QStringLiteral("insert into photoYear (ID, ID1, yearFolderName) values (1, 1, 'g1')"));
        sql(m_lib, QStringLiteral("insert into photoYear (ID, ID1, yearFolderName) values (1, 2, 'g2')"));
        if (setup.contains(QLatin1Char('t')))
            sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (1,1,'a'), (1,1,'b'), (1,2,'c')"));
        m_g.currentCategoryId = 1;
        m_g.currentGenreId = 1;
        m_g.currentTitleId = 7;
        m_v.entry.folderName = QStringLiteral("a");
        m_ds.queueYes();
        cmds().DeleteGenreCascade();
        QStringList got;
        for (const MessageRequest &m : m_ds.messages())
            got << m.text;
        QCOMPARE(got, QStringList{"ジャンルフォルダ及びタイトルフォルダ情報を削除しますか？"} + notices);
        QCOMPARE(m_ds.messages().last().title, QStringLiteral("ジャンル、タイトル情報削除"));
        QCOMPARE(m_v.log, log);
        QCOMPARE(m_g.currentGenreId, log.isEmpty() ? 1 : 0);
        QCOMPARE(m_g.currentCategoryId, 1);
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select yearFolderName from photoYear")), QStringList{"g2"});
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select iventsFolderName from photoIvents")),
                 setup.contains(QLatin1Char('t')) ? QStringList{"c"} : QStringList());
        QCOMPARE(m_v.status, log.isEmpty() ? QStringList() : kDetach);
    }

    void deleteTitle_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("deleted") << true;
        QTest::newRow("row already gone") << false;
    }
    void deleteTitle()
    {
        QFETCH(bool, present);
        sql(m_lib, QStringLiteral("insert into photoIvents (ID2, ID, ID1, iventsFolderName) values (5, 1, 1, 'a'), (6, 1, 1, 'b')"));
        m_g.currentCategoryId = m_g.currentGenreId = 1;
        m_g.currentTitleId = present ? 5 : 9;
        m_g.titleEditMode = 2;
        m_v.f3 = QStringLiteral("更新");
        m_v.entry = TitleEntry{"a", "/a", "L", "H", "I", "P", 1, 1};
        m_ds.queueYes();
        cmds().RunDeleteTitle();
        QStringList got;
        for (const MessageRequest &m : m_ds.messages())
            got << m.text;
        QStringList expected{QStringLiteral("タイトルフォルダ情報を削除しますか？")};
        if (!present)
            expected << QStringLiteral("データがありませんでした！") + J
                            + QStringLiteral("実際にはデータが存在する場合、「カテゴリー名」と「ジャンル」を選択しなおしてから実行出てみてください。");
        QCOMPARE(got, expected);
        QCOMPARE(m_v.status, QStringList{QStringLiteral("タイトルフォルダのデータ削除中．．．")} + kDetach + kJoin
                                 + QStringList{QStringLiteral("タイトルフォルダのデータ削除終了")});
        QCOMPARE(m_v.log, QStringList({"DisableTitleMenus", "RefreshTitleGrid"}));
        QCOMPARE(m_g.currentTitleId, 0);
        QCOMPARE(m_g.titleEditMode, int16_t(2));  // the mode and f3 stay
        QCOMPARE(m_v.f3, QStringLiteral("更新"));
        const TitleEntry emptied{"", "", "", "", "I", "", 0, 0};
        QVERIFY(present ? m_v.entry == emptied : m_v.entry.folderName == QLatin1String("a"));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select iventsFolderName from photoIvents order by ID2")),
                 present ? QStringList{"b"} : QStringList({"a", "b"}));
    }

    void deleteAnsweredNo()
    {
        sql(m_lib, QStringLiteral("insert into photoGraph (ID, topFolderName) values (1, 'A')"));
        m_g.currentCategoryId = m_g.currentGenreId = m_g.currentTitleId = 1;
        cmds().RunDeleteCategory();
        cmds().RunDeleteGenre();
        cmds().RunDeleteTitle();
        QCOMPARE(m_ds.messages().size(), 3);
        QCOMPARE(m_v.log, QStringList{"RefreshTitleGrid"});
        QCOMPARE(m_v.status.size(), 6);
        QCOMPARE(one(QStringLiteral("select count(*) from photoGraph")), QStringLiteral("1"));
    }

    void deleteDatabaseFailure()
    {
        sql(m_lib, QStringLiteral("insert into photoGraph (ID, topFolderName) values (1, 'A')"));
        sql(m_lib, QStringLiteral("insert into photoYear (ID, ID1, yearFolderName) values (1, 1, 'g')"));
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName) values (1,1,'a'), (1,1,'b')"));
        sql(m_lib, QStringLiteral("create trigger t before delete on photoIvents when old.iventsFolderName='b' "
                                  "begin select raise(abort,'row locked'); end"));
        m_g.currentCategoryId = 1;
        m_ds.queueYes();
        cmds().DeleteCategoryCascade();
        const auto msgs = m_ds.messages();
        QCOMPARE(msgs.size(), 2);
        QVERIFY(msgs[1].text.contains(QLatin1String("row locked")));
        QCOMPARE(msgs[1].kind, MsgKind::Critical);
        QCOMPARE(msgs[1].title, QStringLiteral("カテゴリー、ジャンル、タイトル情報削除"));
        QCOMPARE(sqlColumn(m_lib, QStringLiteral("select iventsFolderName from photoIvents")), QStringList{"b"});
        QCOMPARE(one(QStringLiteral("select count(*) from photoGraph")), QStringLiteral("0"));
        QCOMPARE(m_v.log, QStringList({"events", "clearGenreList", "FillCategoryList", "RefreshTitleGrid"}));
    }

    // --- site generation ---

    void htmlOutput_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("outputSet");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("written");
        const QString ask = QStringLiteral("ＨＴＭＬファイル作成を実行しますか？");
        QTest::newRow("no") << "N" << true << QStringList{ask} << false;
        QTest::newRow("yes") << "Y" << true << QStringList{ask} << true;
        QTest::newRow("no output folder") << "Y" << false << QStringList({ask, "INDEX.HTMLの保存先が設定されていません。"}) << false;
    }
    void htmlOutput()
    {
        QFETCH(QString, answer);
        QFETCH(bool, outputSet);
        QFETCH(QStringList, texts);
        QFETCH(bool, written);
        const QString out = makeDir(m_base + QStringLiteral("/../site"));
        if (outputSet)
            sql(m_lib, QStringLiteral("insert into systemdir (ID, htmlDir) values (1, ?)"), {out});
        const QString genre = makeDir(m_base + QStringLiteral("/Cat/G"));
        sql(m_lib, QStringLiteral("insert into photoGraph (topFolderName, topFolder) values ('Cat', ?)"), {m_base + "/Cat"});
        sql(m_lib, QStringLiteral("insert into photoYear (ID, yearFolderName, yearFolder) values (1, 'G', ?)"), {genre});
        sql(m_lib, QStringLiteral("insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (1, 1, 'T', ?)"),
            {makeDir(genre + QStringLiteral("/T"))});
        answer == QLatin1String("Y") ? m_ds.queueYes() : m_ds.queueNo();
        cmds().RunHtmlOutput();
        QStringList got;
        for (const MessageRequest &m : m_ds.messages())
            got << m.text;
        QCOMPARE(got, texts);
        QCOMPARE(m_ds.messages()[0].kind, MsgKind::Question);
        QCOMPARE(m_ds.messages()[0].title, QStringLiteral("ＨＴＭＬ出力"));
        QCOMPARE(m_v.status, answer == QLatin1String("N") ? QStringList()
                                                          : QStringList({"ＨＴＭＬファイル出力中...", "ＨＴＭＬファイル出力終了"}));
        QCOMPARE(QFileInfo::exists(out + QStringLiteral("/アルバム.html")), written);
        QCOMPARE(QFileInfo::exists(genre + QStringLiteral("/nIndex.html")), written);
    }
};

QTEST_GUILESS_MAIN(TestEditorCommands)
#include "test_editor_commands.moc"
