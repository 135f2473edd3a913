// The album site generator against real libraries and folder trees: every page byte
// for byte, the orders, the stops, the messages and the command-line tool.
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "DialogService.h"
#include "Global.h"
#include "HtmlOut.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// Expected page: the charset line, then the lines, each ended by CR LF.
QByteArray page(const QStringList &lines)
{
    QByteArray b("<meta charset=\"UTF-8\">\r\n");
    for (const QString &l : lines)
        b += l.toUtf8() + "\r\n";
    return b;
}

QByteArray jpeg(int w, int h)
{
    QByteArray b("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    b += QByteArray("\xFF\xC0\x00\x11\x08", 5);
    b += char(h >> 8) + QByteArray(1, char(h & 0xFF)) + char(w >> 8) + QByteArray(1, char(w & 0xFF));
    b += QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xD9", 12);
    return b;
}

QByteArray gif(int w, int h)
{
    return QByteArray("GIF89a") + char(w & 0xFF) + char(w >> 8) + char(h & 0xFF) + char(h >> 8)
           + QByteArray("\xF7\x00\x00;", 4);
}

QByteArray pngTooWide()
{
    return QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\x0DIHDR\x80\x00\x00\x00\x00\x00\x00\x10\x08\x02\x00\x00\x00"
                      "\x00\x00\x00\x00",
                      33);
}

const QStringList kNameAHead = {
    "<script type='Text/javascript'>",
    "<!--",
    "function GoPage( a ){",
    "top.Frame3.location.href = a.options[a.selectedIndex].value;",
    "top.Frame4.location.href = 'c.html';",
    "}",
    "//-->",
    "</script>",
    "<script type='text/javascript'>",
    "<!--",
    "weeks=new Array('日','月','火','水','木','金','土');",
    "today=new Date();",
    "y=today.getFullYear();",
    "m=today.getMonth()+1;",
    "d=today.getDate();",
    "w=weeks[today.getDay()];",
    R"(document.write('<div style=\'position: absolute; left: 400; top:20;\'>');)",
    R"(document.write('今日は、<span>',y,'<\/span>年');)",
    R"(document.write('<span>',m,'<\/span>月');)",
    R"(document.write('<span>',d,'<\/span>日');)",
    R"(document.write('<span>',w,'<\/span>曜日です。');)",
    "document.write('</div>');",
    "//-->",
    "</script>",
    "<style TYPE=text/css>",
    "span { font-size:large; color: #fffff0; font-weight: bold }",
    "</style>",
    "<div style='position: absolute; left: 20; top:20;background-color:#0000ff'>",
    "<table border=0>",
    "<tr valign><td>",
    "<from>",
    "<select name='PullList' size=+1 onchange='GoPage(this)'>",
    "<option value='b.html'>Choose!",
};
const QStringList kNameATail = {
    "</select>",
    "</from>",
    "</td>",
    "<td><strong>カテゴリを選択してください。</strong></td>",
    "</table>",
    "</div>",
    "<html>",
    "<title>カテゴリ選択</title>",
    "<body style='background-color:#0000ff; color:#ffffff'>",
    "</html>",
};

QStringList categoryPage(const QStringList &links)
{
    return QStringList{"<style TYPE=text/css> a:link { text-decoration:none; color:#00ffff } </style>", "<html>",
                       R"(<body style="color:#000000; background-color:#0000ff;font-style:italic; font-size:26;">)"}
           + links + QStringList{"</html>"};
}

QStringList genrePage(const QStringList &rows)
{
    QStringList l = {
        "<script type='text/javascript'>",
        "<!--",
        "function goLink(a) { window.open( a ,'_blank' ); }",
        "-->",
        "</script>",
        "<html>",
        "<style TYPE=text/css>",
        "a:link { text-decoration:none; color:#00ffff }",
        "a:visited { text-decoration:none;color:#405040 }",
        "a:active { text-decoration:none; color:#00FF00;background:#000000 }",
        "a:hover { text-decoration:none; color:#FFFF00;background:#000000 }",
        "</style>",
        "<body bgcolor='#fffff0'>",
        "<table border=1 align='center'>",
        "<colgroup>",
        "<col width='130px' align='center'>",
        "<col width='130px' align='center'>",
        "<col width='130px' align='center'>",
        "<col width='130px' align='center'>",
        "<col width='130px' align='center'>",
        "<col width='130px' align='center'>",
        "</colgroup>",
        "<tr valign=bottom>",
    };
    return l + rows + QStringList{"</tr>", "</table>", "</html>"};
}

// A title cell without buttons.
QStringList plainCell(const QString &image, const QString &name)
{
    return {"<td  height='150px' width='130px'>", image, name + "<br>", "<br>", "</td>"};
}

const QString kFiller = QStringLiteral("<td><br></td>");

}  // namespace

class TestHtmlOut : public QObject {
    Q_OBJECT
private slots:
    void init();

    void framePages_data();
    void framePages();
    void nameAPage_data();
    void nameAPage();
    void categoryPages_data();
    void categoryPages();
    void categoryWithoutGenresStops();
    void rowsOfSix_data();
    void rowsOfSix();
    void titleCells();
    void escapedCells();
    void unreadablePhotos();
    void outputFolderUnset_data();
    void outputFolderUnset();
    void missingOutputFolder();
    void emptyLibrary();
    void missingGenreFolderStopsGenrePages();
    void foreignPathsAreNotWritten_data();
    void foreignPathsAreNotWritten();
    void progress();
    void cliGenerate();
    void cliImageSize();

private:
    QString base() const { return m_dir->path() + "/base"; }
    QString out() const { return m_dir->path() + "/out"; }
    void setOutput(const QVariant &folder);
    int addCategory(const QString &name);
    int addGenre(int category, const QString &name);
    // A title folder under its genre's folder, with optional extra fields.
    QString addTitle(int category, int genre, const QString &name, const QVariantMap &fields = {});
    QString genreFolder(int genre) const;
    bool run(ScriptedDialogService &ds);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lib;
};

void TestHtmlOut::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    makeDir(base());
    makeDir(out());
    m_lib = makeLibrary(m_dir->path());
    setOutput(out());
}

void TestHtmlOut::setOutput(const QVariant &folder)
{
    sql(m_lib, "delete from systemdir");
    if (folder.toString() != "<no row>")
        sql(m_lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {folder});
}

int TestHtmlOut::addCategory(const QString &name)
{
    sql(m_lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {base() + "/" + name, name});
    makeDir(base() + "/" + name);
    return sqlColumn(m_lib, "select max(ID) from photoGraph").first().toInt();
}

int TestHtmlOut::addGenre(int category, const QString &name)
{
    const QString cat = sqlColumn(m_lib, "select topFolder from photoGraph where ID=?", {category}).first();
    sql(m_lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (?, ?, ?)",
        {category, cat + "/" + name, name});
    makeDir(cat + "/" + name);
    return sqlColumn(m_lib, "select max(ID1) from photoYear").first().toInt();
}

QString TestHtmlOut::genreFolder(int genre) const
{
    return sqlColumn(m_lib, "select yearFolder from photoYear where ID1=?", {genre}).first();
}

QString TestHtmlOut::addTitle(int category, int genre, const QString &name, const QVariantMap &fields)
{
    const QString folder = makeDir(genreFolder(genre) + "/" + name);
    sql(m_lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (?, ?, ?, ?)",
        {category, genre, name, folder});
    for (auto it = fields.begin(); it != fields.end(); ++it)
        sql(m_lib, QString("update photoIvents set %1=? where ID2=(select max(ID2) from photoIvents)").arg(it.key()),
            {it.value()});
    return folder;
}

bool TestHtmlOut::run(ScriptedDialogService &ds)
{
    Global g = makeGlobal(m_lib);
    return HtmlFileCreate(g, ds);
}

// ---------------------------------------------------------------------------

void TestHtmlOut::framePages_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("no sub") << "";
    QTest::newRow("empty sub") << "sub";
    QTest::newRow("old pages") << "old";
}

void TestHtmlOut::framePages()
{
    QFETCH(QString, before);
    const int cat = addCategory("C");
    addTitle(cat, addGenre(cat, "2001"), "t");
    if (before == "sub")
        makeDir(out() + "/sub");
    if (before == "old") {
        writeFile(out() + "/sub/b.html", "old b page, longer than the new one ....................................");
        writeFile(out() + "/sub/stale.html", "a page of a deleted category");
    }

    ScriptedDialogService ds;
    QVERIFY(run(ds));
    QCOMPARE(ds.calls.size(), 0);

    QCOMPARE(readFile(out() + "/sub/b.html"),
             page({"<html>", R"(<body style="color:#000000; background-color:#0000ff; font-size:5;">)", "<head>",
                   "<title></title>", "</head>", "</html>"}));
    QCOMPARE(readFile(out() + "/sub/c.html"), page({"<html>", "<head>", "<title></title>", "</head>", "</html>"}));
    const QByteArray album = readFile(out() + "/アルバム.html");
    QCOMPARE(album, page({"<html>", "<head>", "<title>カテゴリﾌｫﾙﾀﾞ管理</title>", "</head>",
                          R"(<frameset rows="12%,*" border=0 frameborder=0 framespacing=0>)",
                          R"(<frame src="sub/NameA.html" name="Frame2">)",
                          R"(<frameset cols="18%,*" border=0 frameborder=0 framespacing=0>)",
                          R"(<frame src="sub/b.html" name="Frame3">)", R"(<frame src="sub/c.html" name="Frame4">)",
                          "</frameset>", "<noframes>", "このページはフレーム対応です｡", "</noframes>", "</frameset>",
                          "</html>"}));
    // UTF-8 without byte-order mark: the half-width katakana ﾌｫﾙﾀﾞ as their three-byte forms.
    QVERIFY(album.startsWith("<meta charset=\"UTF-8\">\r\n<html>\r\n"));
    QVERIFY(album.contains("\xEF\xBE\x8C\xEF\xBD\xAB\xEF\xBE\x99\xEF\xBE\x80\xEF\xBE\x9E"));
    if (before == "old")
        QCOMPARE(readFile(out() + "/sub/stale.html"), QByteArray("a page of a deleted category"));

    // A second run writes the same bytes again.
    QVERIFY(run(ds));
    QCOMPARE(readFile(out() + "/アルバム.html"), album);
}

void TestHtmlOut::nameAPage_data()
{
    QTest::addColumn<QStringList>("names");    // in stored order
    QTest::addColumn<QStringList>("options");  // the option lines
    QTest::newRow("stored order C A B") << QStringList{"C", "A", "B"}
                                        << QStringList{"<option value='C.html' target='Frame3'>C",
                                                       "<option value='A.html' target='Frame3'>A",
                                                       "<option value='B.html' target='Frame3'>B"};
    QTest::newRow("one category") << QStringList{"旅行"}
                                  << QStringList{"<option value='旅行.html' target='Frame3'>旅行"};
    QTest::newRow("special characters")
        << QStringList{"Bob's", "R&D <new>", "100% #1?"}
        << QStringList{"<option value='Bob&#39;s.html' target='Frame3'>Bob&#39;s",
                       "<option value='R&amp;D &lt;new&gt;.html' target='Frame3'>R&amp;D &lt;new&gt;",
                       "<option value='100%25 %231%3F.html' target='Frame3'>100% #1?"};
}

void TestHtmlOut::nameAPage()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, options);
    for (const QString &n : names) {
        const int cat = addCategory(n);
        addTitle(cat, addGenre(cat, "g"), "t");
    }
    ScriptedDialogService ds;
    QVERIFY(run(ds));
    QCOMPARE(readFile(out() + "/sub/NameA.html"), page(kNameAHead + options + kNameATail));
    // Each category's page is named after the category itself.
    for (const QString &n : names)
        QVERIFY2(QFileInfo::exists(out() + "/sub/" + n + ".html"), qPrintable(n));
}

void TestHtmlOut::categoryPages_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QStringList>("genres");   // in the order added
    QTest::addColumn<QStringList>("ordered");  // in page order
    QTest::newRow("years") << "C" << QStringList{"2001", "1999", "2000"} << QStringList{"1999", "2000", "2001"};
    QTest::newRow("special characters") << "Bob's" << QStringList{"Trip #1", "R&D <x>", "50% off?"}
                                        << QStringList{"50% off?", "R&D <x>", "Trip #1"};
}

void TestHtmlOut::categoryPages()
{
    QFETCH(QString, category);
    QFETCH(QStringList, genres);
    QFETCH(QStringList, ordered);
    const int cat = addCategory(category);
    for (const QString &g : genres)
        addGenre(cat, g);
    ScriptedDialogService ds;
    run(ds);
    QStringList links;
    for (const QString &g : ordered) {
        QString href = base() + "/" + category + "/" + g;
        href.replace("%", "%25").replace("#", "%23").replace("?", "%3F");
        href.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("'", "&#39;");
        QString text = g;
        text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
        links << "<a href=\"" + href + "/nIndex.html\" target=\"Frame4\">" + text + "</a><br>";
    }
    QCOMPARE(readFile(out() + "/sub/" + category + ".html"), page(categoryPage(links)));
}

void TestHtmlOut::categoryWithoutGenresStops()
{
    const int a = addCategory("A");
    addGenre(a, "2000");
    addCategory("B");
    const int c = addCategory("C");
    addGenre(c, "2001");
    writeFile(out() + "/sub/C.html", "older page of C");

    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    QVERIFY(QFileInfo::exists(out() + "/sub/A.html"));
    QVERIFY(!QFileInfo::exists(out() + "/sub/B.html"));
    QCOMPARE(readFile(out() + "/sub/C.html"), QByteArray("older page of C"));
    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, QString("ジャンルが未登録です！"));
    QCOMPARE(msgs[0].title, QString("ＨＴＭＬファイル出力([カテゴリ].html)"));
    QCOMPARE(msgs[0].kind, MsgKind::Exclamation);
    // The bar lists every category all the same.
    QVERIFY(readFile(out() + "/sub/NameA.html").contains("<option value='C.html' target='Frame3'>C\r\n"));
}

void TestHtmlOut::rowsOfSix_data()
{
    QTest::addColumn<int>("titles");
    QTest::addColumn<int>("fillers");
    QTest::newRow("one") << 1 << 5;
    QTest::newRow("six") << 6 << 0;
    QTest::newRow("seven") << 7 << 5;
    QTest::newRow("twelve") << 12 << 0;
}

void TestHtmlOut::rowsOfSix()
{
    QFETCH(int, titles);
    QFETCH(int, fillers);
    const int cat = addCategory("C");
    const int genre = addGenre(cat, "2001");
    // Added in reverse, listed by name.
    for (int i = titles; i >= 1; --i)
        addTitle(cat, genre, QString("t%1").arg(i, 2, 10, QChar('0')));
    ScriptedDialogService ds;
    QVERIFY(run(ds));
    QStringList rows;
    for (int i = 1; i <= titles; ++i) {
        if (i > 1 && (i - 1) % 6 == 0)
            rows << "</tr>" << "<tr valign=bottom>";
        rows << plainCell("<br>", QString("t%1").arg(i, 2, 10, QChar('0')));
    }
    for (int i = 0; i < fillers; ++i)
        rows << kFiller;
    QCOMPARE(readFile(genreFolder(genre) + "/nIndex.html"), page(genrePage(rows)));
}

void TestHtmlOut::titleCells()
{
    const int cat = addCategory("C");
    const int genre = addGenre(cat, "2001");
    const int empty = addGenre(cat, "2002");  // no titles: no page, no message
    writeFile(genreFolder(empty) + "/nIndex.html", "older index");

    const QString elsewhere = writeFile(m_dir->path() + "/pictures/wide.jpg", jpeg(1000, 333));
    // a: JPEG and GIF in the folder; the JPEG is shown.
    const QString a = addTitle(cat, genre, "a");
    writeFile(a + "/a.gif", gif(100, 100));
    writeFile(a + "/z.JPG", jpeg(640, 480));
    // b: no photo; link button Yes but link Null, open button No.
    addTitle(cat, genre, "b", {{"IventsLinkButton", -1}});
    // c: stored photo, an absolute path kept as it is; both buttons.
    addTitle(cat, genre, "c",
             {{"iventsPhoto", elsewhere}, {"IventsLinkButton", -1}, {"iventsLink", "https://example.com/c"},
              {"IventsHtmlButton", -1}, {"iventsHTML", "c.html"}, {"Ivents", "D:\\site\\c\\c.html"}});
    // d: only a GIF, portrait; open button only.
    const QString d = addTitle(cat, genre, "d",
                               {{"IventsHtmlButton", -1}, {"iventsHTML", "x.html"}, {"Ivents", "/srv/d/x.html"}});
    writeFile(d + "/p.gif", gif(480, 640));
    // e: a TIFF only: found, but its size reads as zero; no picture and no message.
    const QString e = addTitle(cat, genre, "e");
    writeFile(e + "/scan.tif", QByteArray("II*\0\x08\0\0\0\0\0\0\0", 12));
    // f: stored photo given by name inside the title folder; open button Yes, HTML Null.
    const QString f = addTitle(cat, genre, "f", {{"iventsPhoto", "sq.gif"}, {"IventsHtmlButton", -1}});
    writeFile(f + "/sq.gif", gif(50, 50));
    // g: a hidden JPEG is no photo.
    const QString g = addTitle(cat, genre, "g");
    writeFile(g + "/.hidden.jpg", jpeg(10, 10));

    ScriptedDialogService ds;
    QVERIFY(run(ds));
    QCOMPARE(ds.calls.size(), 0);
    QStringList rows;
    rows << plainCell("<img src='a/z.JPG' height='90px' width='120px'><br>", "a");
    rows << "<td  height='150px' width='130px'>" << "<br>" << "b<br>" << "</td>";
    rows << "<td  height='150px' width='130px'>"
         << "<img src='" + elsewhere + "' height='40px' width='120px'><br>" << "c<br>"
         << "<input type='button' onclick=\"goLink('https://example.com/c')\" value='ﾘﾝｸ'>"
         << "<input type='button' onclick=\"goLink('D:/site/c/c.html')\" value='開く'>"
         << "</td>";
    rows << "<td  height='150px' width='130px'>" << "<img src='d/p.gif' height='120px' width='90px'><br>"
         << "d<br>" << "<input type='button' onclick=\"goLink('/srv/d/x.html')\" value='開く'>" << "</td>";
    rows << plainCell("<br>", "e");
    rows << "<td  height='150px' width='130px'>" << "<img src='f/sq.gif' height='120px' width='120px'><br>"
         << "f<br>" << "</td>";
    rows << "</tr>" << "<tr valign=bottom>";
    rows << plainCell("<br>", "g");
    for (int i = 0; i < 5; ++i)
        rows << kFiller;
    QCOMPARE(readFile(genreFolder(genre) + "/nIndex.html"), page(genrePage(rows)));
    QCOMPARE(readFile(genreFolder(empty) + "/nIndex.html"), QByteArray("older index"));
}

void TestHtmlOut::escapedCells()
{
    const int cat = addCategory("C");
    const int genre = addGenre(cat, "2001");
    const QString t = addTitle(cat, genre, "Trip #1 'A&B'",
                               {{"IventsLinkButton", -1}, {"iventsLink", "https://x.org/?q=it's \"ok\"#top"},
                                {"IventsHtmlButton", -1}, {"iventsHTML", "h"},
                                {"Ivents", "C:\\Bob's\\50% #2\\i.html"}});
    writeFile(t + "/100%.jpg", jpeg(800, 600));
    const QString jp = addTitle(cat, genre, "京都");
    writeFile(jp + "/寺.jpg", jpeg(600, 800));

    ScriptedDialogService ds;
    QVERIFY(run(ds));
    QStringList rows;
    rows << "<td  height='150px' width='130px'>"
         << "<img src='Trip %231 &#39;A&amp;B&#39;/100%25.jpg' height='90px' width='120px'><br>"
         << "Trip #1 &#39;A&amp;B&#39;<br>"
         << R"x(<input type='button' onclick="goLink('https://x.org/?q=it\&#39;s \&quot;ok\&quot;#top')" value='ﾘﾝｸ'>)x"
         << R"x(<input type='button' onclick="goLink('C:/Bob\&#39;s/50%25 %232/i.html')" value='開く'>)x"
         << "</td>";
    rows << plainCell("<img src='京都/寺.jpg' height='120px' width='90px'><br>", "京都");
    for (int i = 0; i < 4; ++i)
        rows << kFiller;
    QCOMPARE(readFile(genreFolder(genre) + "/nIndex.html"), page(genrePage(rows)));
}

void TestHtmlOut::unreadablePhotos()
{
    const int cat = addCategory("C");
    const int g1 = addGenre(cat, "2001");
    const int g2 = addGenre(cat, "2002");
    const QString cut = addTitle(cat, g1, "cut");
    const QByteArray whole = jpeg(640, 480);
    writeFile(cut + "/a.jpg", whole.left(whole.size() - 14));  // ends inside the frame header
    const QString wide = addTitle(cat, g1, "wide", {{"iventsPhoto", "w.png"}});
    writeFile(wide + "/w.png", pngTooWide());
    const QString fine = addTitle(cat, g1, "fine");
    writeFile(fine + "/f.jpg", jpeg(640, 480));
    addTitle(cat, g2, "next");

    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    QStringList rows = plainCell("<br>", "cut") + plainCell("<img src='fine/f.jpg' height='90px' width='120px'><br>", "fine")
                       + plainCell("<br>", "wide");
    for (int i = 0; i < 3; ++i)
        rows << kFiller;
    QCOMPARE(readFile(genreFolder(g1) + "/nIndex.html"), page(genrePage(rows)));
    QVERIFY(QFileInfo::exists(genreFolder(g2) + "/nIndex.html"));

    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].title, QString("ＨＴＭＬファイル出力(nIndex.html)"));
    const QStringList lines = msgs[0].text.split("\n\r");
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[1].startsWith(cut + "/a.jpg"), qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(wide + "/w.png"), qPrintable(lines[2]));
}

void TestHtmlOut::outputFolderUnset_data()
{
    QTest::addColumn<QVariant>("htmlDir");
    QTest::newRow("no row") << QVariant(QString("<no row>"));
    QTest::newRow("null") << QVariant();
    QTest::newRow("empty") << QVariant(QString(""));
}

void TestHtmlOut::outputFolderUnset()
{
    QFETCH(QVariant, htmlDir);
    const int cat = addCategory("C");
    const int genre = addGenre(cat, "2001");
    addTitle(cat, genre, "t");
    setOutput(htmlDir);
    QCOMPARE(sqlColumn(m_lib, "select count(*) from systemdir").first(), htmlDir.toString() == "<no row>" ? "0" : "1");

    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, QString("INDEX.HTMLの保存先が設定されていません。"));
    QCOMPARE(msgs[0].title, QString("ＨＴＭＬファイル出力"));
    QCOMPARE(msgs[0].kind, MsgKind::Exclamation);
    QVERIFY(!QFileInfo::exists(genreFolder(genre) + "/nIndex.html"));
    QVERIFY(QDir(out()).isEmpty());
}

void TestHtmlOut::missingOutputFolder()
{
    const int cat = addCategory("C");
    const int genre = addGenre(cat, "2001");
    addTitle(cat, genre, "t");
    setOutput(m_dir->path() + "/gone");

    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 3);
    const QStringList titles = {"ＨＴＭＬファイル出力(index.html)", "ＨＴＭＬファイル出力(NameA.html)",
                                "ＨＴＭＬファイル出力([カテゴリ].html)"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(msgs[i].title, titles[i]);
        QCOMPARE(msgs[i].kind, MsgKind::Exclamation);
        QVERIFY2(msgs[i].text.startsWith("76:"), qPrintable(msgs[i].text));
        QVERIFY2(msgs[i].text.contains(m_dir->path() + "/gone"), qPrintable(msgs[i].text));
    }
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/gone"));
    QVERIFY(QFileInfo::exists(genreFolder(genre) + "/nIndex.html"));
}

void TestHtmlOut::emptyLibrary()
{
    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 3);
    QCOMPARE(msgs[0].text, QString("カテゴリが未登録です！"));
    QCOMPARE(msgs[0].title, QString("ＨＴＭＬファイル出力(NameA.html)"));
    QCOMPARE(msgs[1].text, QString("カテゴリが未登録です！"));
    QCOMPARE(msgs[1].title, QString("ＨＴＭＬファイル出力([カテゴリ].html)"));
    QCOMPARE(msgs[2].text, QString("ジャンルが未登録です！"));
    QCOMPARE(msgs[2].title, QString("ＨＴＭＬファイル出力(nIndex.html)"));
    QVERIFY(QFileInfo::exists(out() + "/アルバム.html"));
    QVERIFY(!QFileInfo::exists(out() + "/sub/NameA.html"));
}

void TestHtmlOut::missingGenreFolderStopsGenrePages()
{
    const int cat = addCategory("C");
    const int g1 = addGenre(cat, "2001");
    const int g2 = addGenre(cat, "2002");
    const int g3 = addGenre(cat, "2003");
    addTitle(cat, g1, "t");
    addTitle(cat, g2, "t");
    addTitle(cat, g3, "t");
    QVERIFY(QDir(genreFolder(g2)).removeRecursively());

    ScriptedDialogService ds;
    QVERIFY(!run(ds));
    QVERIFY(QFileInfo::exists(genreFolder(g1) + "/nIndex.html"));
    QVERIFY(!QFileInfo::exists(genreFolder(g3) + "/nIndex.html"));
    const auto msgs = ds.messages();
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].title, QString("ＨＴＭＬファイル出力(nIndex.html)"));
    QVERIFY2(msgs[0].text.startsWith("76:") && msgs[0].text.contains(genreFolder(g2)), qPrintable(msgs[0].text));
    // The category page still links every genre.
    QCOMPARE(readFile(out() + "/sub/C.html").count("nIndex.html"), 3);
}

void TestHtmlOut::foreignPathsAreNotWritten_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("genreFolder");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QStringList>("reports");  // "title number" of each report
    const QStringList frameWriters = {"ＨＴＭＬファイル出力(index.html) 76", "ＨＴＭＬファイル出力(NameA.html) 76",
                                      "ＨＴＭＬファイル出力([カテゴリ].html) 76"};
    QTest::newRow("drive path") << "C:\\site" << "" << "C" << frameWriters;
    QTest::newRow("share path") << "\\\\srv\\site" << "" << "C" << frameWriters;
    QTest::newRow("relative path") << "site" << "" << "C" << frameWriters;
    QTest::newRow("genre on a drive") << "" << "D:\\photos\\2001" << "C"
                                      << QStringList{"ＨＴＭＬファイル出力(nIndex.html) 76"};
    QTest::newRow("genre folder empty") << "" << "<empty>" << "C" << QStringList{"ＨＴＭＬファイル出力(nIndex.html) 76"};
    QTest::newRow("slash in a category name") << "" << "" << "a/b"
                                              << QStringList{"ＨＴＭＬファイル出力([カテゴリ].html) 52"};
}

void TestHtmlOut::foreignPathsAreNotWritten()
{
    QFETCH(QString, output);
    QFETCH(QString, genreFolder);
    QFETCH(QString, category);
    QFETCH(QStringList, reports);
    sql(m_lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {base() + "/x", category});
    const int cat = sqlColumn(m_lib, "select max(ID) from photoGraph").first().toInt();
    const int genre = addGenre(cat, "2001");
    addTitle(cat, genre, "t");
    if (!genreFolder.isEmpty())
        sql(m_lib, "update photoYear set yearFolder=?", {genreFolder == "<empty>" ? QString("") : genreFolder});
    if (!output.isEmpty())
        setOutput(output);
    // Nothing may land in the folder the program runs in, even where it holds folders
    // of those names, nor at the top of the file system.
    const QString work = makeDir(m_dir->path() + "/cwd");
    for (const QString &f : {output, genreFolder})
        if (!f.isEmpty() && f != "<empty>")
            makeDir(work + "/" + f);
    const QString before = QDir::currentPath();
    QDir::setCurrent(work);
    ScriptedDialogService ds;
    const bool ok = run(ds);
    QDir::setCurrent(before);

    QVERIFY(!ok);
    QStringList seen;
    for (const MessageRequest &m : ds.messages())
        seen << m.title + " " + m.text.section(':', 0, 0);
    QCOMPARE(seen, reports);
    QDirIterator files(work, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QVERIFY2(!files.hasNext(), qPrintable(files.hasNext() ? files.next() : QString()));
    QVERIFY(!QFileInfo::exists("/nIndex.html"));
}

void TestHtmlOut::progress()
{
    for (const char *n : {"A", "B"}) {
        const int cat = addCategory(n);
        addTitle(cat, addGenre(cat, "1"), "t");
        addGenre(cat, "2");
    }
    Global g = makeGlobal(m_lib);
    ScriptedDialogService ds;
    QList<QPair<int, int>> seen;
    QVERIFY(HtmlFileCreate(g, ds, nullptr, [&](int done, int total) { seen.append({done, total}); }));
    QVERIFY(!seen.isEmpty());
    const int total = 3 + 1 + 2 + 4;
    QCOMPARE(seen.last(), qMakePair(total, total));
    for (int i = 0; i < seen.size(); ++i) {
        QCOMPARE(seen[i].second, total);
        if (i > 0)
            QVERIFY(seen[i].first >= seen[i - 1].first);
    }
    QVERIFY(seen.size() >= total);  // every page is reported
}

void TestHtmlOut::cliGenerate()
{
    const int cat = addCategory("C");
    addTitle(cat, addGenre(cat, "2001"), "t");
    CliResult r = runCli({"generate", m_lib});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QFileInfo::exists(out() + "/sub/C.html"));

    addCategory("D");  // no genres: the category pages stop with a message
    r = runCli({"generate", m_lib});
    QVERIFY(r.exitCode != 0);
    QVERIFY2(r.err.contains("ジャンルが未登録です！") && r.err.contains("ＨＴＭＬファイル出力([カテゴリ].html)"),
             qPrintable(r.err));

    r = runCli({"generate", m_dir->path() + "/nolib.mdb"});
    QVERIFY(r.exitCode != 0);
}

void TestHtmlOut::cliImageSize()
{
    const QString a = writeFile(m_dir->path() + "/img/a.jpg", jpeg(640, 480));
    const QString b = writeFile(m_dir->path() + "/img/b.JPEG", gif(3, 4));
    // b is no JPEG, but mode 0 reads it by its content.
    CliResult r = runCli({"image-size", a, b});
    QCOMPARE(r.out, a + "\tJPEG\t640\t480\t24\n" + b + "\tGIF\t3\t4\t8\n");
    QCOMPARE(r.exitCode, 0);
    r = runCli({"image-size", "--mode", "5", a, b});
    QCOMPARE(r.out, a + "\tJPEG\t640\t480\t24\n");
    QVERIFY(r.err.contains(b));
    QVERIFY(r.exitCode != 0);
}

QTEST_GUILESS_MAIN(TestHtmlOut)
#include "test_htmlout.moc"
