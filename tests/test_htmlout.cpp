// The album site generator against real libraries and folder trees. Then the generated
// site in a real browser: headless Chromium driven through chromedriver opens
// "アルバム.html" from disk, and the published copies of the same tree and of the demo over
// http under a URL prefix, picks categories in the top frame, follows the genre links and
// checks the thumbnails that load in the right frame.
#include <QBuffer>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CopyFolder.h"
#include "DialogService.h"
#include "Global.h"
#include "HtmlOut.h"
#include "Publish.h"
#include "Thumbnail.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

QByteArray page(const QStringList &lines)
{
    QByteArray b("<meta charset=\"UTF-8\">\r\n");
    for (const QString &l : lines)
        b += l.toUtf8() + "\r\n";
    return b;
}

QByteArray jpeg(int w, int h)
{
    return QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xC0\x00\x11\x08", 25)
           + char(h >> 8) + char(h) + char(w >> 8) + char(w) + QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01\xFF\xD9", 12);
}

// A JPEG that decodes, for the copy's thumbnails.
QByteArray photo(int w, int h)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(0x336699);
    img.save(&buf, "jpeg");
    return buf.data();
}

QByteArray gif(int w, int h)
{
    return "GIF89a" + QByteArray(1, char(w)) + char(w >> 8) + char(h) + char(h >> 8) + QByteArray("\xF7\0\0;", 4);
}

QStringList shown(const ScriptedDialogService &ds)
{
    QStringList l;
    for (const MessageRequest &m : ds.messages())
        l << m.title + "|" + windowText(m);
    return l;
}

const QStringList kNameAHead = {
    "<script type='Text/javascript'>", "<!--", "function GoPage( a ){",
    "top.Frame3.location.href = a.options[a.selectedIndex].value;", "top.Frame4.location.href = 'c.html';", "}",
    "//-->", "</script>", "<script type='text/javascript'>", "<!--", "weeks=new Array('日','月','火','水','木','金','土');",
    "today=new Date();", "y=today.getFullYear();", "m=today.getMonth()+1;", "d=today.getDate();",
    "w=weeks[today.getDay()];", R"(document.write('<div style=\'position: absolute; left: 400; top:20;\'>');)",
    R"(document.write('今日は、<span>',y,'<\/span>年');)", R"(document.write('<span>',m,'<\/span>月');)",
    R"(document.write('<span>',d,'<\/span>日');)", R"(document.write('<span>',w,'<\/span>曜日です。');)",
    "document.write('</div>');", "//-->", "</script>", "<style TYPE=text/css>",
    "span { font-size:large; color: #fffff0; font-weight: bold }", "</style>",
    "<div style='position: absolute; left: 20; top:20;background-color:#0000ff'>", "<table border=0>",
    "<tr valign><td>", "<from>", "<select name='PullList' size=+1 onchange='GoPage(this)'>",
    "<option value='b.html'>Choose!",
};
const QStringList kNameATail = {
    "</select>", "</from>", "</td>", "<td><strong>カテゴリを選択してください。</strong></td>", "</table>", "</div>", "<html>",
    "<title>カテゴリ選択</title>", "<body style='background-color:#0000ff; color:#ffffff'>", "</html>",
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
    "<script type='text/javascript'>", "<!--", "function goLink(a) { window.open( a ,'_blank' ); }", "-->",
    "</script>", "<html>", "<style TYPE=text/css>", "a:link { text-decoration:none; color:#00ffff }",
    "a:visited { text-decoration:none;color:#405040 }",
    "a:active { text-decoration:none; color:#00FF00;background:#000000 }",
    "a:hover { text-decoration:none; color:#FFFF00;background:#000000 }", "</style>", "<body bgcolor='#fffff0'>",
    "<table border=1 align='center'>", "<colgroup>",
    };
    return l + QStringList(6, "<col width='130px' align='center'>") + QStringList{"</colgroup>", "<tr valign=bottom>"} + rows + QStringList{"</tr>", "</table>", "</html>"};
}

// A title with a button flag set has the button lines instead of "<br>".
QStringList cell(const QString &image, const QString &name, const QStringList &buttons = {"<br>"})
{
    return QStringList{"<td  height='150px' width='130px'>", image, name + "<br>"} + buttons + QStringList{"</td>"};
}

const QString kFiller = QStringLiteral("<td><br></td>");

// Every entry below root, links not followed: a file's checksum and link count, a link's
// target, a folder's mark; by path relative to root.
QMap<QString, QString> entries(const QString &root)
{
    QMap<QString, QString> m;
    for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo f(it.next());
        struct stat st;
        ::lstat(QFile::encodeName(f.filePath()).constData(), &st);
        m[f.filePath().mid(root.size() + 1)] =
            S_ISLNK(st.st_mode) ? "-> " + f.symLinkTarget()
            : S_ISDIR(st.st_mode) ? QString("/")
                                  : QString("%1 x%2").arg(QString(QCryptographicHash::hash(readFile(f.filePath()),
                                                                                   QCryptographicHash::Sha1).toHex()))
                                        .arg(st.st_nlink);
    }
    return m;
}

const QString kOutsideLine = QStringLiteral("アルバム(基準フォルダ)の外にあるため、コピーしなかったファイル: ");

}  // namespace

class TestHtmlOut : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lib;

    QString base() const { return m_dir->path() + "/base"; }
    QString out() const { return m_dir->path() + "/out"; }
    void setOutput(const QVariant &folder)
    {
        sql(m_lib, "delete from systemdir");
        if (folder.toString() != "<no row>")
            sql(m_lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {folder});
    }
    int addCategory(const QString &name, const QString &folder = {})
    {
        const QString path = folder.isEmpty() ? makeDir(base() + "/" + name) : folder;
        sql(m_lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {path, name});
        return sqlColumn(m_lib, "select max(ID) from photoGraph").first().toInt();
    }
    int addGenre(int category, const QString &name)
    {
        const QString cat = sqlColumn(m_lib, "select topFolder from photoGraph where ID=?", {category}).first();
        sql(m_lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (?, ?, ?)", {category, cat + "/" + name, name});
        makeDir(cat + "/" + name);
        return sqlColumn(m_lib, "select max(ID1) from photoYear").first().toInt();
    }
    QString genreFolder(int genre) const
    {
        return sqlColumn(m_lib, "select yearFolder from photoYear where ID1=?", {genre}).first();
    }
    QString addTitle(int category, int genre, const QString &name, const QVariantMap &fields = {})
    {
        const QString folder = makeDir(genreFolder(genre) + "/" + name);
        sql(m_lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) values (?, ?, ?, ?)",
            {category, genre, name, folder});
        for (auto it = fields.begin(); it != fields.end(); ++it)
            sql(m_lib, QString("update photoIvents set %1=? where ID2=(select max(ID2) from photoIvents)").arg(it.key()),
                {it.value()});
        return folder;
    }
    // finished: whether every writer ran to its end, as the editor's status line tells.
    bool run(ScriptedDialogService &ds, const HtmlProgress &progress = {}, bool *finished = nullptr)
    {
        Global g = makeGlobal(m_lib);
        return HtmlFileCreate(g, ds, nullptr, progress, finished);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        makeDir(out());
        m_lib = makeLibrary(m_dir->path());
        setOutput(out());
    }
    void framePages()
    {
        // "b" and "NameA" would replace the site's own pages; 252 bytes cannot take ".html".
        const QString longName = QString(84, QChar(0x5199));
        const QStringList names = {"C", "A", "b", "Bob's", "R&D <new>", "100% #1?", "NameA", longName};
        for (const QString &n : names) {
            const int cat = addCategory(n);
            // Neither in the order stored nor in its reverse.
            for (const QString &g : n == "Bob's" ? QStringList{"R&D <x>", "Trip #1", "50% off?"} : QStringList{"g"})
                addGenre(cat, g);
        }
        // Old pages are replaced, other files left alone.
        writeFile(out() + "/sub/b.html", "old b page, longer than the new one ....................................");
        writeFile(out() + "/sub/stale.html", "a page of a deleted category");

        ScriptedDialogService ds;
        QList<int> steps, each;  // done and total after each page: 3 frame pages, the bar, 8 categories, 10 genres
        for (int done = 0; done <= 22; ++done)
            each << done << 22;
        bool finished = false;
        QVERIFY(run(ds, [&](int done, int total) { steps << done << total; }, &finished));
        QVERIFY(finished);
        QCOMPARE(steps, each);
        QCOMPARE(shown(ds), QStringList());

        QCOMPARE(readFile(out() + "/アルバム.html"), page({"<html>", "<head>", "<title>カテゴリﾌｫﾙﾀﾞ管理</title>", "</head>",
                              R"(<frameset rows="12%,*" border=0 frameborder=0 framespacing=0>)",
                              R"(<frame src="sub/NameA.html" name="Frame2">)",
                              R"(<frameset cols="18%,*" border=0 frameborder=0 framespacing=0>)",
                              R"(<frame src="sub/b.html" name="Frame3">)", R"(<frame src="sub/c.html" name="Frame4">)",
                              "</frameset>", "<noframes>", "このページはフレーム対応です｡", "</noframes>", "</frameset>",
                              "</html>"}));
        QCOMPARE(readFile(out() + "/sub/b.html"),
                 page({"<html>", R"(<body style="color:#000000; background-color:#0000ff; font-size:5;">)", "<head>",
                       "<title></title>", "</head>", "</html>"}));
        QCOMPARE(readFile(out() + "/sub/stale.html"), QByteArray("a page of a deleted category"));

        const QString bFile = "b~e9d71f5e.html", nameAFile = "NameA~87fe638e.html";
        const QString longFile = QString(80, QChar(0x5199)) + "~" + QCryptographicHash::hash(longName.toUtf8(), QCryptographicHash::Sha1).toHex().left(8) + ".html";
        QCOMPARE(readFile(out() + "/sub/NameA.html"),
                 page(kNameAHead
                      + QStringList{"<option value='C.html' target='Frame3'>C", "<option value='A.html' target='Frame3'>A",
                                    "<option value='" + bFile + "' target='Frame3'>b",
                                    "<option value='Bob&#39;s.html' target='Frame3'>Bob&#39;s",
                                    "<option value='R&amp;D &lt;new&gt;.html' target='Frame3'>R&amp;D &lt;new&gt;",
                                    "<option value='100%25 %231%3F.html' target='Frame3'>100% #1?",
                                    "<option value='" + nameAFile + "' target='Frame3'>NameA",
                                    "<option value='" + longFile + "' target='Frame3'>" + longName}
                      + kNameATail));
        for (const QString &f : {bFile, nameAFile, longFile})
            QVERIFY2(readFile(out() + "/sub/" + f).contains("/g/nIndex.html"), qPrintable(f));
        const auto link = [&](const QString &href, const QString &text) {
            return "<a href=\"" + base() + "/" + href + "/nIndex.html\" target=\"Frame4\">" + text + "</a><br>";
        };
        QCOMPARE(readFile(out() + "/sub/Bob's.html"),
                 page(categoryPage({link("Bob&#39;s/50%25 off%3F", "50% off?"),
                                    link("Bob&#39;s/R&amp;D &lt;x&gt;", "R&amp;D &lt;x&gt;"),
                                    link("Bob&#39;s/Trip %231", "Trip #1")})));
    }

    // The bar offers every category, so every category gets its page: one without genres
    // says so there, the categories after it are written as ever, and the run, complete,
    // names those without genres once, as a notice.
    void categoriesWithoutGenres()
    {
        for (const char *c : {"A", "B", "C", "D"}) {
            const int cat = addCategory(c);
            if (QByteArray("AC").contains(c[0]))
                addTitle(cat, addGenre(cat, "g"), "t");
        }
        ScriptedDialogService ds;
        bool finished = false;
        QVERIFY(run(ds, {}, &finished));
        QVERIFY(finished);
        QCOMPARE(shown(ds), QStringList{"ＨＴＭＬファイル出力([カテゴリ].html)|次のカテゴリーにはジャンルが未登録です。"
                                        "そのページには「ジャンルが未登録です！」と書きました。\n\rB\n\rD"});
        QCOMPARE(ds.messages().first().kind, MsgKind::Information);
        for (const char *c : {"A", "C"})
            QCOMPARE(readFile(out() + "/sub/" + c + ".html"),
                     page(categoryPage({"<a href=\"" + base() + "/" + c + "/g/nIndex.html\" target=\"Frame4\">g</a><br>"})));
        for (const char *c : {"B", "D"})
            QCOMPARE(readFile(out() + "/sub/" + c + ".html"),
                     page(categoryPage({"<span style=\"color:#ffffff\">ジャンルが未登録です！</span><br>"})));
        QVERIFY(QFileInfo::exists(base() + "/C/g/nIndex.html"));
    }

    // File names for names from elsewhere: kept where usable, else cut at a character's
    // end so that the hash tag and suffix fit the name limit, never twice the same.
    // What a browser plays as it is, by container, codecs and name.
    void playableVideos_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QStringList>("codecs");  // video, then sound
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("type");
        const QString mp4 = "mov,mp4,m4a,3gp,3g2,mj2", mkv = "matroska,webm";
        QTest::newRow("H.264 and AAC in MP4") << mp4 << QStringList{"h264", "aac"} << "a.MP4" << "video/mp4";
        QTest::newRow("H.264 without sound in MOV") << mp4 << QStringList{"h264"} << "a.mov" << "video/mp4";
        QTest::newRow("H.264 in M4V") << mp4 << QStringList{"h264", "aac"} << "a.m4v" << "video/mp4";
        QTest::newRow("HEVC in MP4") << mp4 << QStringList{"hevc", "aac"} << "a.mp4" << "";
        QTest::newRow("H.264 with PCM sound") << mp4 << QStringList{"h264", "pcm_s16le"} << "a.mov" << "";
        QTest::newRow("VP9 and Opus in WebM") << mkv << QStringList{"vp9", "opus"} << "a.webm" << "video/webm";
        QTest::newRow("AV1 in WebM") << mkv << QStringList{"av1"} << "a.webm" << "video/webm";
        QTest::newRow("VP8 and Vorbis in MKV") << mkv << QStringList{"vp8", "vorbis"} << "a.mkv" << "";
        QTest::newRow("H.264 in WebM") << mkv << QStringList{"h264"} << "a.webm" << "";
        QTest::newRow("MPEG-4 in AVI") << "avi" << QStringList{"mpeg4"} << "a.avi" << "";
        QTest::newRow("no video") << mp4 << QStringList{} << "a.mp4" << "";
    }
    void playableVideos()
    {
        QFETCH(QString, container);
        QFETCH(QStringList, codecs);
        QFETCH(QString, file);
        QFETCH(QString, type);
        QCOMPARE(album::PlayableType(container, codecs.mid(0, 1), codecs.mid(1), file), type);
    }

    // What a browser would read otherwise (a fragment, a query, a scheme, a "/", a blank
    // stripped at an end, a dropped tab) is percent-encoded, each alone or among others;
    // the rest, non-ASCII included, is left as it is.
    void linkEscape_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("link");
        QTest::newRow("plain") << "写真/海 2.jpg" << "写真/海 2.jpg";
        QTest::newRow("percent") << "100%.jpg" << "100%25.jpg";
        QTest::newRow("hash") << "t#1/a.jpg" << "t%231/a.jpg";
        QTest::newRow("question mark") << "a?.jpg" << "a%3F.jpg";
        QTest::newRow("colon") << "c:d/e.jpg" << "c%3Ad/e.jpg";
        QTest::newRow("backslash") << "a\\b.jpg" << "a%5Cb.jpg";
        QTest::newRow("blanks at the edges") << " a/b /c" << "%20a/b%20/c";
        QTest::newRow("tab") << "a\tb" << "a%09b";
        QTest::newRow("all at once") << "% #?:\\" << "%25 %23%3F%3A%5C";
    }
    void linkEscape()
    {
        QFETCH(QString, path);
        QFETCH(QString, link);
        QCOMPARE(LinkEscape(path), link);
        QCOMPARE(QUrl("http://h/" + link).path(QUrl::FullyDecoded), "/" + path);
    }

    void uniqueFileNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("files");
        const auto tag = [](const QString &n) {
            return "~" + QCryptographicHash::hash(n.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
        };
        const QString a250(250, 'a'), a251(251, 'a'), emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString wide = "a" + emoji.repeated(63);  // 253 bytes; 241 fit: "a" and 60 of them
        QTest::newRow("fits exactly") << QStringList{a250} << ".html" << QStringList{a250 + ".html"};
        QTest::newRow("one byte over") << QStringList{a251} << ".html"
                                       << QStringList{QString(241, 'a') + tag(a251) + ".html"};
        QTest::newRow("four-byte characters at the cut")
            << QStringList{wide} << ".html" << QStringList{"a" + emoji.repeated(60) + tag(wide) + ".html"};
        QTest::newRow("repeated and reserved") << QStringList{"x", "x", "b"} << ".html"
                                               << QStringList{"x.html", "x" + tag("x") + ".html", "b" + tag("b") + ".html"};
        QTest::newRow("renamed meets a plain name") << QStringList{"x", "x", "x" + tag("x")} << ".html"
                                                    << QStringList{"x.html", "x" + tag("x") + "-2.html", "x" + tag("x") + ".html"};
        const QString nul = QStringLiteral("a") + QChar(0) + "b";
        QTest::newRow("slash, NUL, empty, dots") << QStringList{"a/b", nul, "", "..", "."} << ""
                                                 << QStringList{"a_b" + tag("a/b"), "a_b" + tag(nul), tag(""), ".." + tag(".."),
                                                                "." + tag(".")};
    }
    void uniqueFileNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, suffix);
        QFETCH(QStringList, files);
        QCOMPARE(UniqueFileNames(names, suffix, {"b.html"}, 255), files);
    }

    void genrePages()
    {
        const int cat = addCategory("C");
        // 2001: six titles, escaped names and links, photos whose size cannot be read.
        const int g1 = addGenre(cat, "2001");
        const QString t = addTitle(cat, g1, "Trip #1 'A&B'",
                                   {{"IventsLinkButton", -1}, {"iventsLink", "https://x.org/?q=it's \"ok\"#top"},
                                    {"IventsHtmlButton", -1}, {"iventsHTML", "h"}, {"Ivents", "C:\\Bob's\\50% #2\\i.html"}});
        writeFile(t + "/100%.jpg", jpeg(800, 600));
        writeFile(addTitle(cat, g1, "cut") + "/a.jpg", jpeg(640, 480).left(23));  // ends inside the frame header
        writeFile(addTitle(cat, g1, "fine") + "/f.jpg", jpeg(640, 480));
        const QString wide = addTitle(cat, g1, "wide", {{"iventsPhoto", "w.png"}});
        writeFile(wide + "/w.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0DIHDR\x80\0\0\0\0\0\0\x10\x08\x02\0\0\0\0\0\0\0", 33));
        QVERIFY(QDir(addTitle(cat, g1, "x")).removeRecursively());  // folder gone
        writeFile(addTitle(cat, g1, "京都") + "/寺.jpg", jpeg(600, 800));

        // 2002: nine titles, one of each kind of photo and button.
        const int g2 = addGenre(cat, "2002");
        const QString elsewhere = writeFile(m_dir->path() + "/pictures/wide.jpg", jpeg(1000, 333));
        const QString a = addTitle(cat, g2, "a");  // JPEG before GIF
        writeFile(a + "/a.gif", gif(100, 100));
        writeFile(a + "/z.JPG", jpeg(640, 480));
        addTitle(cat, g2, "b", {{"IventsLinkButton", -1}, {"iventsPhoto", "gone.jpg"}});  // photo gone; link Null
        addTitle(cat, g2, "c",  // an absolute photo path kept as it is
                 {{"iventsPhoto", elsewhere}, {"IventsLinkButton", -1}, {"iventsLink", "https://example.com/c"},
                  {"IventsHtmlButton", -1}, {"iventsHTML", "c.html"}, {"Ivents", "D:\\site\\c\\c.html"}});
        writeFile(addTitle(cat, g2, "d", {{"IventsHtmlButton", -1}, {"iventsHTML", "x.html"}, {"Ivents", "/srv/d/x.html"}})
                      + "/p.gif",
                  gif(480, 640));
        writeFile(addTitle(cat, g2, "e") + "/scan.tif", QByteArray("II*\0\x08\0\0\0\0\0\0\0", 12));  // a TIFF without a picture
        writeFile(addTitle(cat, g2, "f", {{"iventsPhoto", "sq.gif"}, {"IventsHtmlButton", -1}}) + "/sq.gif", gif(50, 50));
        const QString g = addTitle(cat, g2, "g");  // PNG after the others; never thinner than 1 px
        writeFile(g + "/.hidden.jpg", jpeg(10, 10));
        writeFile(g + "/notajpg", jpeg(10, 10));  // ends in the letters, not in the suffix
        writeFile(g + "/thin.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0DIHDR\0\0\x07\xD0\0\0\0\x01\x08\x02\0\0\0\0\0\0\0", 33));
        // A side of zero shows no picture and says nothing, whichever side it is.
        for (const auto &[name, w, h] : {std::tuple{"h", 0, 16}, std::tuple{"i", 16, 0}})
            writeFile(addTitle(cat, g2, name) + "/flat.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0DIHDR", 16) + be32(w) + be32(h)
                                                              + QByteArray("\x08\x02\0\0\0\0\0\0\0", 9));

        const int g3 = addGenre(cat, "2003");  // no titles: no page, no message
        writeFile(genreFolder(g3) + "/nIndex.html", "older index");
        const int g4 = addGenre(cat, "2004");  // ten more faults: the box shows ten and the count
        for (int i = 0; i < 10; ++i)
            writeFile(addTitle(cat, g4, QString::number(i)) + "/p.jpg", jpeg(10, 10).left(23));
        // A genre folder that links out of the base folder: its page goes to the target, and the run says so.
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const QString target = makeDir(m_dir->path() + "/elsewhere");
        QVERIFY(QFile::link(target, base() + "/C/2005"));
        addTitle(cat, addGenre(cat, "2005"), "l");
        // A genre kept outside the base folder altogether is no link out of it.
        const QString apart = makeDir(m_dir->path() + "/apart/2006");
        sql(m_lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (?, ?, '2006')", {cat, apart});
        addTitle(cat, sqlColumn(m_lib, "select max(ID1) from photoYear").first().toInt(), "m");

        ScriptedDialogService ds;
        QVERIFY(!run(ds));
        QStringList rows =
            cell("<br>", "cut") + cell("<img src='fine/f.jpg' height='90px' width='120px'><br>", "fine")
            + cell("<img src='Trip %231 &#39;A&amp;B&#39;/100%25.jpg' height='90px' width='120px'><br>", "Trip #1 &#39;A&amp;B&#39;",
                   {R"x(<input type='button' onclick="goLink('https://x.org/?q=it\&#39;s \&quot;ok\&quot;#top')" value='ﾘﾝｸ'>)x",
                    R"x(<input type='button' onclick="goLink('C:/Bob\&#39;s/50%25 %232/i.html')" value='開く'>)x"})
            + cell("<br>", "wide") + cell("<br>", "x") + cell("<img src='京都/寺.jpg' height='120px' width='90px'><br>", "京都");
        QCOMPARE(readFile(genreFolder(g1) + "/nIndex.html"), page(genrePage(rows)));

        rows = cell("<img src='a/z.JPG' height='90px' width='120px'><br>", "a") + cell("<br>", "b", {})
               + cell("<img src='" + elsewhere + "' height='40px' width='120px'><br>", "c",
                      {"<input type='button' onclick=\"goLink('https://example.com/c')\" value='ﾘﾝｸ'>",
                       "<input type='button' onclick=\"goLink('D:/site/c/c.html')\" value='開く'>"})
               + cell("<img src='d/p.gif' height='120px' width='90px'><br>", "d",
                      {"<input type='button' onclick=\"goLink('/srv/d/x.html')\" value='開く'>"})
               + cell("<br>", "e") + cell("<img src='f/sq.gif' height='120px' width='120px'><br>", "f", {})
               + QStringList{"</tr>", "<tr valign=bottom>"} + cell("<img src='g/thin.png' height='1px' width='120px'><br>", "g")
               + cell("<br>", "h") + cell("<br>", "i") + QStringList(3, kFiller);
        QCOMPARE(readFile(genreFolder(g2) + "/nIndex.html"), page(genrePage(rows)));
        QCOMPARE(readFile(genreFolder(g3) + "/nIndex.html"), QByteArray("older index"));

        QVERIFY(readFile(target + "/nIndex.html").contains("l<br>"));
        const QStringList msgs = shown(ds);
        QVERIFY(readFile(apart + "/nIndex.html").contains("m<br>"));
        QVERIFY2(msgs.size() == 2 && ds.messages()[0].kind == MsgKind::Information && msgs[0].contains("\n\r" + base() + "/C/2005 -> " + target)
                     && !msgs[0].contains("apart"),
                 qPrintable(msgs.join("\n")));
        const QStringList lines = msgs[1].split("\n\r");
        QVERIFY2(lines.size() == 12 && lines[0].startsWith("ＨＴＭＬファイル出力(nIndex.html)|"), qPrintable(msgs[1]));
        const QStringList faults = {genreFolder(g1) + "/cut/a.jpg (", wide + "/w.png (", genreFolder(g1) + "/x (フォルダがありません)",
                                    genreFolder(g2) + "/b/gone.jpg (写真がありません)",
                                    genreFolder(g2) + "/e/scan.tif (写真として読み取れないか、壊れています)"};
        for (int i = 0; i < faults.size(); ++i)
            QVERIFY2(lines[i + 1].startsWith(faults[i]), qPrintable(lines[i + 1]));
        QCOMPARE(lines[11], "ほか 5 件（全 15 件は詳細に表示します）");
        const QStringList details = ds.messages()[1].details.split('\n');
        QVERIFY2(details.size() == 15 && details[14].startsWith(genreFolder(g4) + "/9/p.jpg"), qPrintable(details.value(14)));
    }

    // A genre of thousands of titles, read in one long step of the library, gets them all
    // in order, six to a row; a category of thousands of genres lists them all.
    void bigGenre()
    {
        const int cat = addCategory("C"), genre = addGenre(cat, "g");
        const QString folder = genreFolder(genre);
        sql(m_lib, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
                   "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) "
                   "select ?, ?, printf('t%04d', 3001 - i), ? || printf('/t%04d', 3001 - i) from n",
            {cat, genre, folder});
        ScriptedDialogService ds;
        run(ds);
        QStringList rows;
        for (int i = 1; i <= 3000; ++i)
            rows += (i % 6 == 1 && i > 1 ? QStringList{"</tr>", "<tr valign=bottom>"} : QStringList()) + cell("<br>", QString::asprintf("t%04d", i));
        QCOMPARE(readFile(folder + "/nIndex.html"), page(genrePage(rows)));
        // Their folders not made: only the category's page grows.
        sql(m_lib, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 4100) "
                   "insert into photoYear (ID, yearFolderName, yearFolder) select ?, printf('y%04d', i), ? || printf('/y%04d', i) from n",
            {cat, base() + "/C"});
        run(ds);
        QCOMPARE(readFile(out() + "/sub/C.html").count("target=\"Frame4\">y"), 4100);
    }

    // A failing writer reports under its own title and the next one runs; an unset output
    // folder stops the run; a failing genre stops its writer. Nothing lands in the working
    // folder.
    void failures_data()
    {
        QTest::addColumn<QString>("output");       // "<out>", "<no row>", "<null>", "<gone>" or the text stored
        QTest::addColumn<QString>("genreFolder");  // of the first genre: "<gone>" or the text stored
        QTest::addColumn<QString>("category");
        QTest::addColumn<int>("tree");             // 0 empty; 1 the category with two genres
        QTest::addColumn<QStringList>("messages");  // beginnings of "title|text"
        QTest::addColumn<QStringList>("outFiles");
        QTest::addColumn<int>("genrePages");       // of the two genres
        const QStringList unset = {"ＨＴＭＬファイル出力|INDEX.HTMLの保存先が設定されていません。"};
        // Said once: the bar and the category pages are not tried after frame pages that
        // could not be written; the genre pages, in the genre folders, are written.
        const QStringList sub = {"ＨＴＭＬファイル出力(index.html)|76:"};
        const QStringList pages = {"sub/C.html", "sub/NameA.html", "sub/b.html", "sub/c.html", "アルバム.html"};
        QTest::newRow("no row") << "<no row>" << "" << "C" << 1 << unset << QStringList() << 0;
        QTest::newRow("null") << "<null>" << "" << "C" << 1 << unset << QStringList() << 0;
        QTest::newRow("empty") << "" << "" << "C" << 1 << unset << QStringList() << 0;
        QTest::newRow("missing") << "<gone>" << "" << "C" << 1 << sub << QStringList() << 2;
        QTest::newRow("relative drive path") << "C:\\site" << "" << "C" << 1 << sub << QStringList() << 2;
        QTest::newRow("empty library") << "<out>" << "" << "C" << 0
                                       << QStringList{"ＨＴＭＬファイル出力(NameA.html)|カテゴリが未登録です！",
                                                      "ＨＴＭＬファイル出力([カテゴリ].html)|カテゴリが未登録です！",
                                                      "ＨＴＭＬファイル出力(nIndex.html)|ジャンルが未登録です！"}
                                       << pages.mid(2) << 0;
        QTest::newRow("slash in a category name") << "<out>" << "" << "a/b" << 1
                                                  << QStringList{"ＨＴＭＬファイル出力([カテゴリ].html)|52:"} << pages.mid(1) << 2;
        QTest::newRow("genre on a drive") << "<out>" << "D:\\photos\\2001" << "C" << 1
                                          << QStringList{"ＨＴＭＬファイル出力(nIndex.html)|76:"} << pages << 0;
        QTest::newRow("genre folder gone") << "<out>" << "<gone>" << "C" << 1
                                           << QStringList{"ＨＴＭＬファイル出力(nIndex.html)|76:",
                                                          "ＨＴＭＬファイル出力(nIndex.html)|次のタイトルは写真を表示できない"}
                                           << pages << 0;
    }
    void failures()
    {
        QFETCH(QString, output);
        QFETCH(QString, genreFolder);
        QFETCH(QString, category);
        QFETCH(int, tree);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, outFiles);
        QFETCH(int, genrePages);
        QStringList genrePaths;
        if (tree) {
            const int cat = addCategory(category, makeDir(base() + "/x"));
            for (const char *g : {"2001", "2002"}) {
                const int genre = addGenre(cat, g);
                addTitle(cat, genre, "t");
                genrePaths << this->genreFolder(genre) + "/nIndex.html";
            }
            if (genreFolder == "<gone>")
                QVERIFY(QDir(base() + "/x/2001").removeRecursively());
            else if (!genreFolder.isEmpty())
                sql(m_lib, "update photoYear set yearFolder=? where yearFolderName='2001'", {genreFolder});
        }
        const QString gone = m_dir->path() + "/gone";
        setOutput(output == "<out>" ? QVariant(out()) : output == "<gone>" ? QVariant(gone)
                  : output == "<null>" ? QVariant() : QVariant(output));
        // Not even where the working folder holds folders of those names.
        const QString work = makeDir(m_dir->path() + "/cwd");
        for (const QString &f : {output, genreFolder})
            if (!f.isEmpty() && !f.startsWith('<'))
                makeDir(work + "/" + f);
        const QString before = QDir::currentPath();
        QDir::setCurrent(work);
        ScriptedDialogService ds;
        bool finished = true;
        const bool ok = run(ds, {}, &finished);
        QDir::setCurrent(before);
        QVERIFY(!finished);

        const QStringList msgs = shown(ds);
        QVERIFY2(!ok && msgs.size() == messages.size(), qPrintable(msgs.join('\n')));
        for (int i = 0; i < msgs.size(); ++i)
            QVERIFY2(msgs[i].startsWith(messages[i]) && (output != "<gone>" || msgs[i].contains(gone)), qPrintable(msgs[i]));
        QStringList written;
        for (QDirIterator it(out(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            written << QDir(out()).relativeFilePath(it.next());
        written.sort();
        QCOMPARE(written, outFiles);
        QDirIterator files(work, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QVERIFY2(!files.hasNext(), qPrintable(files.hasNext() ? files.next() : QString()));
        QVERIFY(!QFileInfo::exists(gone) && !QFileInfo::exists("/nIndex.html"));
        QCOMPARE(std::count_if(genrePaths.begin(), genrePaths.end(), [](const QString &p) { return QFileInfo::exists(p); }),
                 qsizetype(genrePages));
    }

    // Two runs at once never splice a page; a rewrite that fails (a full disk, then a
    // read-only file system) leaves the old page whole and is reported by its errno; so
    // does a copy for the web.
    void pagesAreWrittenWhole()
    {
        for (const char *c : {"C", "D"}) {
            const int cat = addCategory(c);
            for (int g = 0; g < 4; ++g)
                for (int genre = addGenre(cat, QString::number(g)), t = 0; t < 25; ++t)
                    addTitle(cat, genre, QString("t%1").arg(t));
        }
        // A second library over the same folders whose pages are all longer.
        const QString libB = m_dir->path() + "/b.mdb";
        QVERIFY(QFile::copy(m_lib, libB));
        sql(libB, "update photoIvents set IventsLinkButton=-1, iventsLink='https://example.com/a/longer/page'");
        sql(libB, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, topFolder || '/new', 'new' from photoGraph");
        const auto pages = [&](const QString &root) {
            QHash<QString, QByteArray> h;
            for (QDirIterator it(root, {"*.html"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
                const QString f = it.next();
                h[QDir(root).relativeFilePath(f)] = readFile(f);
            }
            return h;
        };
        QHash<QString, QSet<QByteArray>> single;
        for (const QString &lib : {m_lib, libB}) {
            QCOMPARE(runCli({"generate", lib}).exitCode, 0);
            const auto now = pages(m_dir->path());
            for (auto it = now.begin(); it != now.end(); ++it)
                single[it.key()].insert(it.value());
        }
        QCOMPARE(single.value("out/sub/C.html").size(), 2);
        for (int round = 0; round < 8; ++round) {
            QProcess a, b;
            a.start(binDir() + "/tessaly-cli", {"generate", m_lib});
            b.start(binDir() + "/tessaly-cli", {"generate", libB});
            QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
            QCOMPARE(a.exitCode() + b.exitCode(), 0);
            const auto now = pages(m_dir->path());
            QCOMPARE(now.size(), single.size());
            for (auto it = now.begin(); it != now.end(); ++it)
                QVERIFY2(single[it.key()].contains(it.value()), qPrintable(it.key()));
        }

        // The output folder on a small file system of its own (a mount namespace).
        const QString saved = makeDir(m_dir->path() + "/saved");
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        QProcess sh;
        sh.start("unshare", {"-r", "-m", "sh", "-c",
                             "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 9; \"$2\" generate \"$3\" || exit 8;"
                             "cp -r \"$1/.\" \"$4/a\"; cat /dev/zero > \"$1/fill\" 2>/dev/null; \"$2\" generate \"$5\" 2>&1;"
                             "mount -o remount,ro \"$1\" && \"$2\" generate \"$5\" 2>&1; echo \"exit $?\"; cp -r \"$1/.\" \"$4/b\";"
                             "mkdir \"$4/c\" && mount -t tmpfs -o size=8k tmpfs \"$4/c\" && \"$2\" publish \"$3\" \"$4/c/copy\" 2>&1;"
                             "echo \"publish $?\"; find \"$4/c\" -name '.tessaly-????????' -printf 'left %p\\n'",
                             "sh", out(), binDir() + "/tessaly-cli", m_lib, saved, libB});
        QVERIFY(sh.waitForFinished(60000));
        if (sh.exitCode() == 9)
            QSKIP("no mount namespace here (unshare -r -m)");
        const QString log = QString::fromUtf8(sh.readAllStandardOutput() + sh.readAllStandardError());
        QVERIFY2(log.contains("(index.html)]: ディスクがいっぱいです。") && log.contains("(index.html)]: 書き込みが許可されていません。") && log.contains("exit 1"), qPrintable(log));
        // A copy that runs out of room leaves none of its files half written.
        QVERIFY2(log.contains("publish 1") && log.contains(saved + "/c/copy") && !log.contains("left "), qPrintable(log));
        const auto before = pages(saved + "/a");
        QCOMPARE(before.size(), 6);
        QCOMPARE(pages(saved + "/b"), before);
    }

    // A title folder named like the page takes the page's place: that genre is reported
    // once and the next one still gets its page, where a folder holding only a ".jpeg"
    // shows it. The copy has no such clash, and its pages differ from the site's only in
    // the pictures' sources: upright thumbnails without Exif, and no original photo.
    void titleNamedLikeThePageAndTheCopy()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const int g1 = addGenre(cat, "1"), g2 = addGenre(cat, "2");
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        QVERIFY(QImage(800, 600, QImage::Format_RGB32).save(&buf, "jpeg"));
        const QByteArray photo = QByteArray(buf.data()).insert(2, exifSegment("II", 6));  // stored on its side
        addTitle(cat, g1, "nIndex.html");
        writeFile(addTitle(cat, g1, "a") + "/a.jpg", photo);
        writeFile(addTitle(cat, g2, "b") + "/b.JPEG", photo);
        ScriptedDialogService ds;
        QVERIFY(!run(ds));
        QCOMPARE(shown(ds), QStringList{"ＨＴＭＬファイル出力(nIndex.html)|次のジャンルのフォルダには「nIndex.html」という名前の"
                                        "フォルダがあるため、ページを書けませんでした。\n\r" + genreFolder(g1)});
        const QByteArray local = readFile(genreFolder(g2) + "/nIndex.html");
        QVERIFY(local.contains("\r\n<img src='b/b.JPEG' height='120px' width='90px'><br>\r\n"));

        // A photo cut short after its size gives no thumbnail, and is not counted as one.
        const qsizetype sof = photo.indexOf("\xFF\xC0");
        const QString damaged = writeFile(addTitle(cat, g1, "c") + "/c.jpg",
                                          photo.left(sof + 2 + (uchar(photo[sof + 2]) << 8 | uchar(photo[sof + 3]))));
        Global g = makeGlobal(m_lib);
        ScriptedDialogService quiet;
        PublishSummary summary;
        const QString copy = m_dir->path() + "/copy";
        QVERIFY(!PublishSite(g, quiet, copy, &summary));
        QVERIFY2(summary.missing.size() == 1 && summary.missing.first().startsWith(damaged),
                 qPrintable(PublishSummaryText(copy, summary, 10)));
        QCOMPARE(summary.thumbnails, 2);
        QVERIFY(readFile(copy + "/genres/C/1/nIndex.html").contains("\r\na<br>\r\n"));
        const QList<QByteArray> site = local.split('\n'), published = readFile(copy + "/genres/C/2/nIndex.html").split('\n');
        QCOMPARE(published.size(), site.size());
        const QRegularExpression source("^<img src='([^']*)'");
        for (int i = 0; i < site.size(); ++i) {
            const QString mine = QString::fromUtf8(published[i]);
            QCOMPARE(QString(mine).replace(source, "<img src=''"), QString::fromUtf8(site[i]).replace(source, "<img src=''"));
            const QString src = source.match(mine).captured(1);
            if (src.isEmpty())
                continue;
            const QString thumb = QDir::cleanPath(copy + "/genres/C/2/" + src);
            QVERIFY2(thumb.startsWith(copy + "/thumbs/"), qPrintable(src));
            QCOMPARE(QImage(thumb).size(), QSize(180, 240));
            QVERIFY(!readFile(thumb).contains("Exif"));
        }
        // No original is copied: the classic pages' thumbnails, and the web album's
        // renditions, upright and without the photo's Exif.
        QDirIterator it(copy, {"*.jpg", "*.JPEG"}, QDir::Files, QDirIterator::Subdirectories);
        int large = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            QVERIFY2(file.startsWith(copy + "/thumbs/") || file.startsWith(copy + "/album/r/"), qPrintable(file));
            QVERIFY(!readFile(file).contains("Exif"));
            if (file.endsWith("-2048.jpg") && ++large)
                QCOMPARE(QImage(file).size(), QSize(600, 800));
        }
        QCOMPARE(large, 2);
    }

    // A library from someone else, and links in the photo tree that lead out of the album
    // at every level: nothing outside the base folder reaches the copy. Then links planted
    // in the copy and a crafted list: the re-run touches nothing outside the copy.
    void publishTakesNothingFromOutside()
    {
        const QString outside = makeDir(m_dir->path() + "/outside");
        const auto secret = [&](const QString &name) { return writeFile(outside + "/" + name, photo(64, 48) + name.toUtf8()); };
        for (const char *name : {"ssh/id_rsa", "up.txt", "p.jpg", "abs.jpg", "shadow", "passwd", "titledir/a.jpg",
                                 "genredir/t/a.jpg", "catdir/lg/lt/a.jpg"})
            secret(name);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const int g = addGenre(cat, "g");
        const QString gf = genreFolder(g);
        // A photo and a page showing a note beside it, a key through a linked folder, a linked file.
        const QString ok = addTitle(cat, g, "ok", {{"IventsHtmlButton", -1}, {"iventsHTML", "h"}});
        sql(m_lib, "update photoIvents set Ivents=? where iventsFolderName='ok'", {ok + "/o.html"});
        writeFile(ok + "/a.jpg", photo(64, 48));
        writeFile(ok + "/o.html", "<a href='note.txt'>n</a><img src='keys/id_rsa'><a href=\"up.txt\">u</a>");
        writeFile(ok + "/note.txt", "n");  // one byte: the smallest write
        QVERIFY(QFile::link(outside + "/ssh", ok + "/keys") && QFile::link(outside + "/up.txt", ok + "/up.txt"));
        // A link that stays inside the album is taken.
        QVERIFY(QFile::link("../ok/a.jpg", addTitle(cat, g, "in") + "/b.jpg"));
        QVERIFY(QFile::link(outside + "/p.jpg", addTitle(cat, g, "pic", {{"iventsPhoto", "p.jpg"}}) + "/p.jpg"));
        addTitle(cat, g, "abs", {{"iventsPhoto", outside + "/abs.jpg"}, {"IventsHtmlButton", -1}, {"iventsHTML", "h"},
                                 {"Ivents", outside + "/shadow"}});
        addTitle(cat, g, "climb", {{"IventsHtmlButton", -1}, {"iventsHTML", "h"}, {"Ivents", "../../../outside/passwd"}});
        // Title, genre and category folders that are links out of the album.
        QVERIFY(QFile::link(outside + "/titledir", gf + "/T"));
        addTitle(cat, g, "T");
        QVERIFY(QFile::link(outside + "/genredir", base() + "/C/g2"));
        addTitle(cat, addGenre(cat, "g2"), "t");
        QVERIFY(QFile::link(outside + "/catdir", base() + "/L"));
        const int l = addCategory("L", base() + "/L");
        addTitle(l, addGenre(l, "lg"), "lt");
        // Links that would run in the page get no button; the others keep theirs.
        const QStringList runs = {"javascript:alert(1)", " JaVa\tScript:alert(2)", "data:text/html,<b>x</b>", "file:///etc/passwd",
                                  "x.y:alert(3)", "web+app:z", "ms-settings:privacy"};
        const QStringList opens = {"https://example.org/a", "mailto:a@b.c", "../rel/page.html", "HTTP://x.org/", "my page:1.html"};
        for (const QString &link : runs + opens)
            addTitle(cat, g, "link" + QString::number(sqlColumn(m_lib, "select count(*) from photoIvents").first().toInt()),
                     {{"IventsLinkButton", -1}, {"iventsLink", link}});
        const auto buttons = [&](const QByteArray &page) {
            QStringList shown;
            for (const QString &line : QString::fromUtf8(page).split("\r\n"))
                if (line.endsWith("value='ﾘﾝｸ'>"))
                    shown << line.section("goLink('", 1).section("')", 0, 0);
            return shown;
        };

        const QString copy = m_dir->path() + "/copy";
        const auto notCopy = [&] {
            auto e = entries(m_dir->path());
            // The thumbnails are made in the output folder's own cache, and only there.
            e.removeIf([](QMap<QString, QString>::iterator it) {
                return it.key() == "copy" || it.key().startsWith("copy/") || it.key() == "out/thumbs"
                       || it.key().startsWith("out/thumbs/");
            });
            return e;
        };
        QSet<QString> secrets;
        for (const QString &sum : entries(outside))
            secrets << sum.section(' ', 0, 0);
        auto untouched = notCopy();
        CliResult r = runCli({"publish", m_lib, copy});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(kOutsideLine + "9"), qPrintable(r.out));
        for (const QString &left : {ok + "/keys/id_rsa", ok + "/up.txt", gf + "/pic/p.jpg", outside + "/abs.jpg",
                                    outside + "/shadow", gf + "/../../../outside/passwd", gf + "/T/a.jpg",
                                    base() + "/C/g2/t/a.jpg", base() + "/L/lg/lt/a.jpg"})
            QVERIFY2(r.out.contains("  " + left), qPrintable(left + "\n" + r.out));
        QCOMPARE(notCopy(), untouched);
        const auto copied = entries(copy);
        for (auto it = copied.begin(); it != copied.end(); ++it)
            QVERIFY2(it.value() == "/" || (it.value().endsWith(" x1") && !secrets.contains(it.value().section(' ', 0, 0))),
                     qPrintable(it.key() + " " + it.value()));
        for (const char *rel : {"genres/C/g/ok/o.html", "genres/C/g/ok/note.txt"})
            QVERIFY2(copied.contains(rel), rel);
        // The photos inside the album, a.jpg and the link to it, are shown by one thumbnail
        // (one file, one key).
        QCOMPARE(QDir(copy + "/thumbs").entryList(QDir::Files).size(), 1);
        const QByteArray page = readFile(copy + "/genres/C/g/nIndex.html");
        for (const char *left : {"p.jpg", "abs.jpg", "shadow", "passwd", "T/"})
            QVERIFY2(!page.contains(left), left);
        QCOMPARE(buttons(page), opens);
        QVERIFY2(r.out.contains(QString("ﾘﾝｸボタンを出力しなかったリンク: %1").arg(runs.size())) && r.out.contains(": data:text/html,<b>x</b>"), qPrintable(r.out));
        QVERIFY(readFile(copy + "/index.html").contains("<a href=\"アルバム.html\">従来の表示（フレーム）</a>"));

        // Folders and a page replaced by links out of the copy; a list naming files through them.
        const QString victim = makeDir(m_dir->path() + "/victim");
        for (const char *name : {"keep.txt", "nIndex.html", "NameA.html"})
            writeFile(victim + "/" + name, "mine");
        QVERIFY(QDir(copy + "/genres/C/g").removeRecursively() && QFile::link(victim, copy + "/genres/C/g"));
        QVERIFY(QDir(copy + "/sub").removeRecursively() && QFile::link(victim, copy + "/sub"));
        QVERIFY(QFile::remove(copy + "/アルバム.html") && QFile::link(victim + "/keep.txt", copy + "/アルバム.html"));
        QVERIFY(QFile::link(victim, copy + "/evil"));
        // The list as earlier versions wrote it (JSON); of the files it names, only the copy's own go.
        writeFile(copy + "/genres/C/old.txt", "placed by an earlier run");
        writeFile(copy + "/.tessaly-publish", R"({"files": ["evil/keep.txt", "genres/C/g/keep.txt", "sub/keep.txt",
                  "../victim/keep.txt", "/tmp", "genres/C/g/ok/../../../../../victim/keep.txt", "genres/C/old.txt"]})");
        untouched = notCopy();
        r = runCli({"publish", m_lib, copy});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("リンクをフォルダに置き換えました: 2") && r.out.contains("\n  evil -> " + victim + "\n"),
                 qPrintable(r.out));
        QCOMPARE(notCopy(), untouched);
        QVERIFY2(r.out.contains("削除した古いファイル: 1"), qPrintable(r.out));
        QVERIFY(!QFileInfo::exists(copy + "/genres/C/old.txt"));
        const auto again = entries(copy);
        for (auto it = again.begin(); it != again.end(); ++it)
            QVERIFY2(!it.value().startsWith("->") || it.key() == "evil", qPrintable(it.key()));
        QCOMPARE(again.value("genres/C/g/ok/o.html"), copied.value("genres/C/g/ok/o.html"));
        QVERIFY(again.value("アルバム.html").endsWith(" x1"));

        // The local site leaves the same buttons out, and says so once.
        r = runCli({"generate", m_lib});
        QVERIFY2(r.exitCode == 1 && (r.out + r.err).count("http・https・mailto 以外の形式") == 1
                     && (r.out + r.err).contains(": javascript:alert(1)"), qPrintable(r.out + r.err));
        QCOMPARE(buttons(readFile(gf + "/nIndex.html")), opens);

        // The caches' folders replaced by links out of the output folder: nothing is written
        // or removed through them, and the copy takes nothing from where they lead.
        writeFile(outside + "/0123456789abcdef-1-1.jpg", "mine");  // named as the caches name theirs
        QVERIFY(QDir(out() + "/thumbs").removeRecursively() && QFile::link(outside, out() + "/thumbs"));
        QDir(out() + "/posters").removeRecursively();
        QVERIFY(QFile::link(outside, out() + "/posters"));
        const auto outsideBefore = entries(outside);
        for (const QStringList &args : {QStringList{"publish", m_lib, copy}, QStringList{"generate", m_lib}}) {
            r = runCli(args);
            QCOMPARE(entries(outside), outsideBefore);
            if (args.first() == "publish")
                QVERIFY2(r.out.contains("  " + ok + "/up.txt") && !QFileInfo::exists(copy + "/genres/C/g/ok/up.txt"),
                         qPrintable(r.out));
            QVERIFY2(r.exitCode == 1 && (r.out + r.err).contains("「" + out() + "/thumbs」はフォルダではなく、「" + outside),
                     qPrintable(r.out + r.err));
        }
    }

    // A folder the copy cannot go to is refused before anything is written, and says why.
    void publishRefusesFolders_data()
    {
        QTest::addColumn<QString>("folder");  // "~": the test's folder; "<base>", "<out>"
        QTest::addColumn<QString>("arrange");  // done to the library first
        QTest::addColumn<QString>("said");
        const QString inBase = "」は基準フォルダ「<base>」の中にあります。";
        QTest::newRow("a file") << "~/file" << "" << "「~/file」はフォルダではありません。";
        QTest::newRow("under a file") << "~/file/copy" << "" << "フォルダ「~/file/copy」を作れません。";
        QTest::newRow("the output folder through a link") << "~/toout" << "" << "「~/toout」はHTML出力先です。";
        QTest::newRow("the base folder") << "<base>" << "" << "「<base>" + inBase;
        QTest::newRow("inside the base") << "<base>/C/copy" << "" << "「<base>/C/copy" + inBase;
        QTest::newRow("the base through a link") << "~/tobase" << "" << "「~/tobase" + inBase;
        QTest::newRow("no base folder") << "~/copy" << "delete from allTop" << "基準フォルダが設定されていないか、見つかりません。()";
        QTest::newRow("not a copy") << "~/other" << "" << "フォルダ「~/other」は空ではなく、公開用にコピーしたフォルダでもありません。";
        QTest::newRow("a library without genres") << "~/copy" << "drop table photoYear" << "テーブル photoYear がありません";
        QTest::newRow("holding the base folder") << "~" << "" << "「~」には基準フォルダ「<base>」が入っています。";
        QTest::newRow("holding the output folder") << "~/h" << "update systemdir set htmlDir='~/h/out' where ID=1"
                                                   << "「~/h」にはHTML出力先「~/h/out」が入っています。";
        QTest::newRow("a link to another copy") << "~/tocopy" << "" << "「~/tocopy」はフォルダではなく、「~/another」へのリンクです。";
        QTest::newRow("a link to nothing") << "~/nowhere" << "" << "「~/nowhere」はフォルダではなく、「~/gone/copy」へのリンクです。";
    }
    void publishRefusesFolders()
    {
        QFETCH(QString, folder);
        QFETCH(QString, arrange);
        QFETCH(QString, said);
        const auto place = [&](QString t) { return t.replace("<base>", base()).replace("<out>", out()).replace("~", m_dir->path()); };
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        addTitle(cat, addGenre(cat, "g"), "t");
        if (!arrange.isEmpty())
            sql(m_lib, place(arrange));
        writeFile(m_dir->path() + "/file", "mine");
        writeFile(m_dir->path() + "/other/keep.txt", "mine");
        // Another library's copy: what its list names would go as stale.
        writeFile(m_dir->path() + "/another/keep.txt", "mine");
        writeFile(m_dir->path() + "/another/.tessaly-publish", QByteArray("keep.txt\0index.html\0", 20));
        QVERIFY(QFile::link(base(), m_dir->path() + "/tobase") && QFile::link(out(), m_dir->path() + "/toout")
                && QFile::link(m_dir->path() + "/another", m_dir->path() + "/tocopy")
                && QFile::link(m_dir->path() + "/gone/copy", m_dir->path() + "/nowhere"));
        const auto before = entries(m_dir->path());
        const CliResult r = runCli({"publish", m_lib, place(folder)});
        QVERIFY2(r.exitCode == 1 && r.err.contains(place(said)), qPrintable(r.out + r.err));
        QCOMPARE(entries(m_dir->path()), before);
    }

    // The album moved into an earlier copy, its old place a link to the new one; before
    // the run, or while it waits for the copy's lock: the copy is refused, and every file
    // stays (a title page that the copy's list names among its own too). So does a copy
    // folder that was replaced while the run waited.
    void publishRefusesAnAlbumMovedIn_data()
    {
        QTest::addColumn<QString>("change");  // "base", "out": moved in; "link", "folder": the copy replaced
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<QString>("said");
        const QString holds = "「~/copy」には%1「%2」が入っています。";
        for (const bool waiting : {false, true}) {
            const char *when = waiting ? "while waiting" : "before";
            QTest::addRow("base folder, %s", when) << "base" << waiting << holds.arg("基準フォルダ", "~/base");
            QTest::addRow("output folder, %s", when) << "out" << waiting << holds.arg("HTML出力先", "~/out");
        }
        QTest::newRow("copy became a link") << "link" << true << "「~/copy」はフォルダではなく、「~/moved」へのリンクです。";
        QTest::newRow("copy became another folder") << "folder" << true << "「~/copy」は、確かめた後に別のフォルダに置き換えられました。";
    }
    void publishRefusesAnAlbumMovedIn()
    {
        QFETCH(QString, change);
        QFETCH(bool, waiting);
        QFETCH(QString, said);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const int g = addGenre(cat, "g");
        for (const char *name : {"t", "u"}) {
            const QString t = addTitle(cat, g, name);
            writeFile(t + "/p.jpg", photo(64, 48));
            sql(m_lib, "update photoIvents set IventsHtmlButton=-1, iventsHTML='o.html', Ivents=? where iventsFolder=?",
                {writeFile(t + "/o.html", "<img src='p.jpg'>" + QByteArray(name)), t});
        }
        const QString copy = m_dir->path() + "/copy";
        QCOMPARE(runCli({"publish", m_lib, copy}).exitCode, 0);
        sql(m_lib, "update photoIvents set IventsHtmlButton=0 where iventsFolderName='u'");
        QCOMPARE(runCli({"generate", m_lib}).exitCode, 0);
        const auto change_ = [&] {
            if (change == "base" || change == "out") {
                // The album's folder where the copy keeps the same names.
                const QString from = change == "base" ? base() : out(), to = copy + (change == "base" ? "/genres" : "/sub");
                QVERIFY(QDir(to).removeRecursively() && QDir().rename(from, to) && QFile::link(to, from));
            } else {
                QVERIFY(QDir().rename(copy, m_dir->path() + "/moved"));
                QVERIFY(change == "link" ? QFile::link(m_dir->path() + "/moved", copy) : QDir().mkdir(copy));
            }
        };
        const QString real = QFileInfo(copy).canonicalFilePath();
        QProcess p;
        const int locked = ::open(QFile::encodeName(copy).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (waiting) {
            QVERIFY(locked >= 0 && ::flock(locked, LOCK_EX) == 0);
            p.start(binDir() + "/tessaly-cli", {"publish", m_lib, copy});
            QVERIFY(p.waitForStarted());
            // Judged and opened: the run waits for the lock.
            const QString fds = QString("/proc/%1/fd").arg(p.processId());
            const QDeadlineTimer deadline(30000);
            const auto opened = [&] {
                for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
                    char buf[4096];
                    const ssize_t n = ::readlink(QFile::encodeName(fds + "/" + fd).constData(), buf, sizeof buf);
                    if (n > 0 && QFile::decodeName(QByteArray(buf, n)) == real)
                        return true;
                }
                return false;
            };
            while (!opened() && !deadline.hasExpired() && p.state() == QProcess::Running)
                QThread::msleep(10);
            if (!opened()) {
                p.kill();
                ::close(locked);
                QFAIL(qPrintable(p.readAllStandardError()));
            }
        }
        change_();
        const auto before = entries(m_dir->path());
        CliResult r;
        if (waiting) {
            ::flock(locked, LOCK_UN);
            QVERIFY(p.waitForFinished(30000));
            r = {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
        } else {
            r = runCli({"publish", m_lib, copy});
        }
        ::close(locked);
        QVERIFY2(r.exitCode == 1 && r.err.contains(QString(said).replace("~", m_dir->path())), qPrintable(r.out + r.err));
        QCOMPARE(entries(m_dir->path()), before);
    }

    // Links planted in an earlier copy where none of its files go are left alone, not
    // followed, and listed; one at index.html is replaced by the copy's own page.
    void publishListsLinksInTheCopy_data()
    {
        QTest::addColumn<QString>("rel");
        QTest::addColumn<QString>("target");  // below the victim's folder
        QTest::newRow("index.html") << "index.html" << "index.html";
        QTest::newRow("a folder beside the pages") << "extra" << "";
        QTest::newRow("a file beside a genre's page") << "genres/C/g/x.jpg" << "p.jpg";
        QTest::newRow("a file among the thumbnails") << "thumbs/0123456789abcdef-1-1.jpg" << "p.jpg";
    }
    void publishListsLinksInTheCopy()
    {
        QFETCH(QString, rel);
        QFETCH(QString, target);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        writeFile(addTitle(cat, addGenre(cat, "g"), "t") + "/p.jpg", photo(64, 48));
        const QString copy = m_dir->path() + "/copy", victim = m_dir->path() + "/victim";
        for (const char *name : {"index.html", "p.jpg"})
            writeFile(victim + "/" + name, "mine");
        QCOMPARE(runCli({"publish", m_lib, copy}).exitCode, 0);
        const QString pointed = QDir::cleanPath(victim + "/" + target);
        QFile::remove(copy + "/" + rel);
        QVERIFY(QFile::link(pointed, copy + "/" + rel));
        const auto victimBefore = entries(victim);
        Global g = makeGlobal(m_lib);
        ScriptedDialogService quiet;
        PublishSummary summary;
        QVERIFY(!PublishSite(g, quiet, copy, &summary));
        const QString text = PublishSummaryText(copy, summary, 10);
        QVERIFY2(summary.links == QStringList{rel + " -> " + pointed}
                     && text.contains("コピーの中にあった、コピーのものではないリンク(辿っていません): 1\n\r  " + rel + " -> "),
                 qPrintable(text));
        QCOMPARE(entries(victim), victimBefore);
        if (rel == "index.html") {
            QVERIFY(entries(copy).value(rel).endsWith(" x1"));
            QVERIFY(readFile(copy + "/index.html").contains("<a href=\"アルバム.html\">従来の表示（フレーム）</a>"));
        } else {
            QCOMPARE(QFileInfo(copy + "/" + rel).symLinkTarget(), pointed);
        }
    }

    // A file of the copy with a second name (a hard link to a file elsewhere, of the same
    // size and time) is not the copy's own: the next run writes it anew, and leaves the
    // other file as it was.
    void publishReplacesFilesWithASecondName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("a rendition of the album") << "album/r" << "*-256.jpg";
        QTest::newRow("a thumbnail") << "thumbs" << "*.jpg";
    }
    void publishReplacesFilesWithASecondName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        writeFile(addTitle(cat, addGenre(cat, "g"), "t") + "/p.jpg", photo(64, 48));
        const QString copy = m_dir->path() + "/copy", victim = m_dir->path() + "/victim.jpg";
        QCOMPARE(runCli({"publish", m_lib, copy}).exitCode, 0);
        QDirIterator it(copy + "/" + folder, {name}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(it.hasNext());
        const QString file = it.next();
        const QByteArray own = readFile(file);
        const QByteArray other(own.size(), 'v');
        writeFile(victim, other);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(victim).constData(), times, 0) == 0);
        QVERIFY(QFile::remove(file) && ::link(QFile::encodeName(victim).constData(), QFile::encodeName(file).constData()) == 0);
        const CliResult r = runCli({"publish", m_lib, copy});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(readFile(victim), other);
        QCOMPARE(readFile(file), own);
        QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0 && st.st_nlink == 1);
    }

    // A name the copy's list holds whose file has another name, as a file of the album
    // does when linked into the copy, is not removed with the stale files; it is listed.
    void publishKeepsAlbumFilesListedAsStale()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const QString t = addTitle(cat, addGenre(cat, "g"), "t");
        const QByteArray bytes = photo(64, 48);
        writeFile(t + "/p.jpg", bytes);
        const QString copy = m_dir->path() + "/copy";
        QCOMPARE(runCli({"publish", m_lib, copy}).exitCode, 0);
        makeDir(copy + "/genres/C/g/t");
        QVERIFY(::link(QFile::encodeName(t + "/p.jpg").constData(), QFile::encodeName(copy + "/genres/C/g/t/p.jpg").constData()) == 0);
        writeFile(copy + "/genres/C/g/old.txt", "placed by an earlier run");
        QFile manifest(copy + "/.tessaly-publish");
        QVERIFY(manifest.open(QIODevice::Append));
        manifest.write(QByteArray("genres/C/g/t/p.jpg\0genres/C/g/old.txt\0", 38));
        manifest.close();
        const CliResult r = runCli({"publish", m_lib, copy});
        // (The new link changed the photo's change time: its thumbnail and its four renditions
        // in the web album are made anew, and the old ones go too.)
        QVERIFY2(r.exitCode == 0 && r.out.contains("削除した古いファイル: 6")
                     && r.out.contains("アルバムのファイルでもあるため、削除しなかった古いファイル: 1\n  " + copy + "/genres/C/g/t/p.jpg"),
                 qPrintable(r.out + r.err));
        QCOMPARE(readFile(t + "/p.jpg"), bytes);
        QCOMPARE(readFile(copy + "/genres/C/g/t/p.jpg"), bytes);
        QVERIFY(!QFileInfo::exists(copy + "/genres/C/g/old.txt"));
    }

    // A title's page takes with it the pictures it shows through srcset, CSS url(), a
    // video's poster and the sources of video, picture and audio; those that lead out of
    // the album stay out, and are listed.
    void publishTakesWhatATitlePageShows_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("files");    // in the title's folder, taken
        QTest::addColumn<QStringList>("outside");  // in the title's folder, links out of the album
        QTest::newRow("srcset") << "<img src=\"a.jpg\" srcset=\"a.jpg 1x, b%20c.jpg 2x,d.jpg, e,f.jpg 100w\">"
                                << QStringList{"a.jpg", "b c.jpg", "d.jpg", "e,f.jpg"} << QStringList{};
        QTest::newRow("style attributes") << "<div style=\"background:url('bg/one.png')\"></div>"
                                             "<p style='background-image: url(&quot;two.png&quot;)'>x</p>"
                                          << QStringList{"bg/one.png", "two.png"} << QStringList{};
        QTest::newRow("style block") << "<style>\nbody { background: url(s.png) }\n.x { background: URL( \"t.gif\" ) }\n</style>"
                                     << QStringList{"s.png", "t.gif"} << QStringList{};
        QTest::newRow("video and audio") << "<video poster=\"p.jpg\" controls><source src=\"v.mp4\" type=\"video/mp4\">"
                                            "<source src='v.webm'></video><audio src=a.mp3 controls></audio>"
                                         << QStringList{"p.jpg", "v.mp4", "v.webm", "a.mp3"} << QStringList{};
        QTest::newRow("picture") << "<picture><source srcset=\"w.webp 1x, w2.webp 2x\"><img src=\"w.jpg\"></picture>"
                                 << QStringList{"w.webp", "w2.webp", "w.jpg"} << QStringList{};
        QTest::newRow("leading out") << "<img srcset=\"in.jpg 1x, out.jpg 2x\"><div style=\"background:url(out.png)\"></div>"
                                        "<video poster=\"out.gif\"></video>"
                                     << QStringList{"in.jpg"} << QStringList{"out.jpg", "out.png", "out.gif"};
    }
    void publishTakesWhatATitlePageShows()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, files);
        QFETCH(QStringList, outside);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const QString t = addTitle(cat, addGenre(cat, "g"), "t", {{"IventsHtmlButton", -1}, {"iventsHTML", "h"}});
        // In a folder of the title, where the web album does not take them for its photos.
        const QString page = makeDir(t + "/page");
        sql(m_lib, "update photoIvents set Ivents=?", {writeFile(page + "/o.html", html.toUtf8())});
        for (const QString &f : files)
            writeFile(page + "/" + f, f.toUtf8());
        const QString away = makeDir(m_dir->path() + "/away");
        for (const QString &f : outside)
            QVERIFY(QFile::link(writeFile(away + "/" + f, "secret"), page + "/" + f));
        const auto awayBefore = entries(away);
        Global g = makeGlobal(m_lib);
        ScriptedDialogService quiet;
        PublishSummary summary;
        const QString copy = m_dir->path() + "/copy";
        QCOMPARE(PublishSite(g, quiet, copy, &summary), outside.isEmpty());
        for (const QString &f : files)
            QVERIFY2(readFile(copy + "/genres/C/g/t/" + f) == f.toUtf8(), qPrintable(f));
        QStringList left;
        for (const QString &f : outside) {
            QVERIFY2(!QFileInfo::exists(copy + "/genres/C/g/t/" + f), qPrintable(f));
            left << page + "/" + f;
        }
        QCOMPARE(QSet<QString>(summary.outside.cbegin(), summary.outside.cend()), QSet<QString>(left.cbegin(), left.cend()));
        QCOMPARE(entries(away), awayBefore);
    }

    // Two titles of one name in one genre share their folder in the copy: pages of one
    // file name that their open buttons show both arrive, each button opening its own.
    void publishKeepsTitlesOfOneNameApart()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const int g = addGenre(cat, "g");
        QStringList pages;
        for (const QString folder : {"first", "second"}) {
            pages << writeFile(genreFolder(g) + "/" + folder + "/o.html", "<html>" + folder.toUtf8() + "</html>");
            sql(m_lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, IventsHtmlButton, iventsHTML, Ivents) "
                       "values (?, ?, 't', ?, -1, 'o.html', ?)", {cat, g, genreFolder(g) + "/" + folder, pages.last()});
        }
        const QString copy = m_dir->path() + "/copy";
        const CliResult r = runCli({"publish", m_lib, copy});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QString page = QString::fromUtf8(readFile(copy + "/genres/C/g/nIndex.html"));
        QStringList opened;
        for (const QRegularExpressionMatch &m : QRegularExpression("goLink\\('([^']+)'\\)").globalMatch(page))
            opened << m.captured(1);
        QCOMPARE(opened.size(), 2);
        for (int i = 0; i < 2; ++i)
            QVERIFY2(readFile(copy + "/genres/C/g/" + QUrl::fromPercentEncoding(opened[i].toUtf8())) == readFile(pages[i]),
                     qPrintable(opened[i]));
    }

    // An empty library's copy holds the pages that could be written, and counts only those.
    // What an interrupted run left half-written goes; names only like it stay.
    void publishEmptyLibrary()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {makeDir(base())});
        const QString copy = m_dir->path() + "/copy";
        for (int run = 0; run < 2; ++run) {
            const CliResult r = runCli({"publish", m_lib, copy});
            QVERIFY2(r.exitCode == 1 && r.out.contains("は完了しませんでした。\nページ: 4\n")
                         && r.err.contains("(NameA.html)]: カテゴリが未登録です！"), qPrintable(r.out + r.err));
            if (run == 0)
                for (const char *name : {".tessaly-0123abcd", "sub/.tessaly-x9y8z7w6", ".tessaly-Notes.md", "sub/.tessaly-abc"})
                    writeFile(copy + "/" + name, "x");
        }
        QCOMPARE(entries(copy).keys(), QStringList({".tessaly-Notes.md", ".tessaly-publish", "index.html", "sub", "sub/.tessaly-abc",
                                                    "sub/b.html", "sub/c.html", "アルバム.html"}));
    }

    // Files of titles gone from the library leave the copy, however long the list of
    // placed files grows (longer than one read of it here). Names of braces: a later read
    // of the list that starts as an earlier version's JSON list did is still names.
    // A night with nothing new leaves every page, picture and folder of the site, the genre
    // pages and the copy as they were, as an upload by rsync sees them; a changed title
    // rewrites its genre's pages and nothing else.
    void unchangedPagesAreLeftAlone()
    {
        if (QStandardPaths::findExecutable("rsync").isEmpty())
            QSKIP("rsync is needed for this test (Debian package rsync)");
        const QString demo = m_dir->path() + "/demo", copy = m_dir->path() + "/copy", mirror = makeDir(m_dir->path() + "/mirror");
        QCOMPARE(runCli({"demo", demo}).exitCode, 0);
        // The library lies beside: the test changes it, the runs never do.
        const QString lib = m_dir->path() + "/demo.mdb";
        QVERIFY(QFile::rename(demo + "/demo.mdb", lib));
        QCOMPARE(runCli({"publish", lib, copy}).exitCode, 0);
        const auto rsync = [&](const QStringList &args) {
            QProcess p;
            p.start("rsync", QStringList{"-a", "--delete"} + args + QStringList{demo + "/", mirror + "/demo/"});
            QProcess q;
            q.start("rsync", QStringList{"-a", "--delete"} + args + QStringList{copy + "/", mirror + "/copy/"});
            const bool ok = p.waitForFinished() && q.waitForFinished() && p.exitCode() == 0 && q.exitCode() == 0;
            return ok ? QString::fromUtf8(p.readAllStandardOutput() + q.readAllStandardOutput()) : QString("rsync failed");
        };
        // What the runs write gets a time far back, so that a rewrite within the same second
        // still shows; the photos keep theirs (a thumbnail goes by its photo's time).
        QCOMPARE(QProcess::execute("find", {demo, copy, "(", "-type", "d", "-o", "-name", "*.html", "-o", "-path", "*/サイト/*",
                                            "-o", "-path", copy + "/*", ")", "-exec", "touch", "-h", "-d", "@1000000000", "{}", "+"}),
                 0);
        QCOMPARE(rsync({}), QString());
        for (int night = 0; night < 2; ++night) {
            CliResult r = runCli({"generate", lib});
            QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
            r = runCli({"publish", lib, copy});
            QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
            const QString changed = rsync({"--dry-run", "--itemize-changes"});
            QVERIFY2(changed.isEmpty(), qPrintable(changed));
        }
        sql(lib, "update photoIvents set iventsLink='https://example.com/other' where iventsFolderName='富士山'");
        QCOMPARE(runCli({"generate", lib}).exitCode, 0);
        QCOMPARE(runCli({"publish", lib, copy}).exitCode, 0);
        QStringList changed = rsync({"--dry-run", "--itemize-changes", "--out-format=%n"}).split('\n', Qt::SkipEmptyParts);
        changed.sort();
        QCOMPARE(changed, QStringList({"album/旅行/2024/", "album/旅行/2024/index.html", "album/旅行/2024/富士山/",
                                       "album/旅行/2024/富士山/index.html", "genres/旅行/2024/", "genres/旅行/2024/nIndex.html",
                                       "写真/旅行/2024/", "写真/旅行/2024/nIndex.html"}));
    }

    void publishRemovesWhatLeft()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        const int g = addGenre(cat, "g");
        for (int i = 0; i < 400; ++i) {
            const QString t = addTitle(cat, g, QString(200, '{') + QString::number(i));
            sql(m_lib, "update photoIvents set IventsHtmlButton=-1, iventsHTML='o.html', Ivents=? where iventsFolder=?",
                {writeFile(t + "/o.html", "<html></html>"), t});
        }
        const QString copy = m_dir->path() + "/copy", ref = m_dir->path() + "/ref";
        QCOMPARE(runCli({"publish", m_lib, copy}).exitCode, 0);
        QVERIFY(readFile(copy + "/.tessaly-publish").size() > (64 << 10));
        sql(m_lib, "delete from photoIvents where iventsFolderName <> ?", {QString(200, '{') + "0"});
        // Earlier versions left their posters in the copy unlisted; what is not theirs stays.
        for (const char *name : {"0123456789abcdef-1-2.jpg", "0123456789abcdef-1-2.bad", "mine.jpg"})
            writeFile(copy + "/posters/" + name, "poster");
        const CliResult r = runCli({"publish", m_lib, copy});
        // Each title's open page, and its grid in the web album.
        QVERIFY2(r.exitCode == 0 && r.out.contains("削除した古いファイル: 799"), qPrintable(r.out + r.err));
        QVERIFY(QFile::remove(copy + "/posters/mine.jpg") && QDir(copy).rmdir("posters"));
        QCOMPARE(runCli({"publish", m_lib, ref}).exitCode, 0);
        auto left = entries(copy), fresh = entries(ref);
        for (auto *e : {&left, &fresh})
            e->remove(".tessaly-publish");
        QCOMPARE(left, fresh);
    }

    // A file written again is compared with the old one as its bytes come, in pieces of
    // any size: what agrees is not written, and at a difference the file is the new bytes.
    void copyWritesWhatDiffers_data()
    {
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("differsAt");  // -1: the same bytes
        QTest::addColumn<int>("newSize");
        const int size = 200 << 10;
        for (const int piece : {size, 1000, 70000}) {
            const QByteArray p = QByteArray::number(piece);
            QTest::newRow(("same, pieces of " + p).constData()) << piece << -1 << size;
            QTest::newRow(("differs after 100 KiB, pieces of " + p).constData()) << piece << (100 << 10) << size;
            QTest::newRow(("differs in its last byte, pieces of " + p).constData()) << piece << size - 1 << size;
            QTest::newRow(("longer, pieces of " + p).constData()) << piece << size << size + 5000;
            QTest::newRow(("shorter, pieces of " + p).constData()) << piece << size - 5000 << size - 5000;
        }
    }
    void copyWritesWhatDiffers()
    {
        QFETCH(int, piece);
        QFETCH(int, differsAt);
        QFETCH(int, newSize);
        QByteArray old(200 << 10, Qt::Uninitialized);
        for (int i = 0; i < old.size(); ++i)
            old[i] = char('a' + (i * 7 + i / 26) % 26);
        QByteArray fresh = old.left(differsAt < 0 ? old.size() : differsAt);
        while (fresh.size() < newSize)
            fresh += char('A' + fresh.size() % 26);
        const QString folder = makeDir(m_dir->path() + "/copy");
        writeFile(folder + "/a/b/page.html", old);
        const QDateTime before = QDateTime::currentDateTime().addDays(-3);
        {
            QFile f(folder + "/a/b/page.html");
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(before, QFileDevice::FileModificationTime));
        }
        htmlout::CopyFolder copy(folder, {});
        copy.write("a/b/page.html", [&](const htmlout::CopyFolder::Sink &put) {
            for (qsizetype at = 0; at < fresh.size(); at += piece)
                put(fresh.mid(at, piece));
        });
        QCOMPARE(readFile(folder + "/a/b/page.html"), fresh);
        QCOMPARE(QFileInfo(folder + "/a/b/page.html").lastModified() == before, differsAt < 0);
        // A folder that was removed with its last file is made anew for the next one.
        QVERIFY(copy.remove("a/b/page.html"));
        QVERIFY(!QFileInfo::exists(folder + "/a"));
        copy.write("a/b/again.html", QByteArray("again"));
        QCOMPARE(readFile(folder + "/a/b/again.html"), QByteArray("again"));
    }

    // With its output folder gone since it was set, a copy still gets its thumbnails, made
    // in the user's cache; the gone folder is not made again.
    void publishWithoutTheOutputFolder()
    {
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        writeFile(addTitle(cat, addGenre(cat, "g"), "t") + "/p.jpg", photo(800, 600));
        QVERIFY(QDir(out()).removeRecursively());
        const QString copy = m_dir->path() + "/copy";
        const CliResult r = runCli({"publish", m_lib, copy});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY(!QFileInfo::exists(out()));
        QCOMPARE(QDir(copy + "/thumbs").entryList(QDir::Files).size(), 1);
    }

    // A copy stopped at any moment by Ctrl-C or a kill is finished by the next run, which
    // leaves exactly what an uninterrupted run does.
    void publishStoppedThenFinished_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("files");  // in the copy when the signal comes
        for (const int sig : {SIGINT, SIGTERM})
            for (const int files : {1, 30, 120})
                QTest::addRow("%s after %d files", sig == SIGINT ? "SIGINT" : "SIGTERM", files) << sig << files;
    }
    void publishStoppedThenFinished()
    {
        QFETCH(int, signal);
        QFETCH(int, files);
        sql(m_lib, "insert into allTop (ID, allTop) values (1, ?)", {base()});
        const int cat = addCategory("C");
        // Enough titles that even the latest signal comes well before the run's end.
        for (int g = 0; g < 8; ++g)
            for (int genre = addGenre(cat, QString::number(g)), t = 0; t < 32; ++t)
                writeFile(addTitle(cat, genre, QString("t%1").arg(t)) + "/p.jpg", photo(64, 48) + QByteArray(128 << 10, char(t)));
        const QString ref = m_dir->path() + "/ref", copy = m_dir->path() + "/copy";
        QCOMPARE(runCli({"publish", m_lib, ref}).exitCode, 0);
        QProcess p;
        p.start(binDir() + "/tessaly-cli", {"publish", m_lib, copy});
        QVERIFY(p.waitForStarted());
        const auto count = [&] {
            int n = 0;
            for (QDirIterator it(copy, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext(); it.next())
                ++n;
            return n;
        };
        while (p.state() == QProcess::Running && count() < files)
            QThread::usleep(100);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitStatus() == QProcess::CrashExit, "the run ended before the signal");
        const CliResult r = runCli({"publish", m_lib, copy});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(entries(copy), entries(ref));
    }

    void cli()
    {
        // b is no GIF, but mode 0 reads it by its content; mode 5 goes by the name and fails.
        const QString a = writeFile(m_dir->path() + "/img/a.jpg", jpeg(640, 480));
        const QString b = writeFile(m_dir->path() + "/img/b.GIF", jpeg(3, 4));
        CliResult r = runCli({"image-size", a, b});
        QCOMPARE(r.out, a + "\tJPEG\t640\t480\t24\t0\n" + b + "\tJPEG\t3\t4\t24\t0\n");
        r = runCli({"image-size", "--mode", "5", a, b});
        QCOMPARE(r.out, a + "\tJPEG\t640\t480\t24\t0\n");
        QVERIFY(r.err.contains(b) && r.exitCode != 0);
    }
};

namespace {

// A socket on the loopback: bound to port (0 = any free one) or connected to it.
int loopback(int port, bool connectTo)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const int r = connectTo ? ::connect(s, (sockaddr *)&a, sizeof a) : ::bind(s, (sockaddr *)&a, sizeof a);
    if (r != 0)
        ::close(s);
    return r == 0 ? s : -1;
}

// One HTTP exchange; the answer ends where its Content-Length says.
QJsonObject http(int port, const QByteArray &method, const QByteArray &path, const QJsonObject &body = {})
{
    const int s = loopback(port, true);
    if (s < 0)
        return {};
    const QByteArray json = method == "POST" ? QJsonDocument(body).toJson(QJsonDocument::Compact) : QByteArray();
    const QByteArray req = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" + json;
    QByteArray resp;
    char buf[16384];
    qsizetype head = -1, length = 0;
    ssize_t n = ::send(s, req.constData(), size_t(req.size()), MSG_NOSIGNAL);
    while (n > 0 && (head < 0 || resp.size() < head + length) && (n = ::recv(s, buf, sizeof buf, 0)) > 0) {
        resp.append(buf, n);
        if (head < 0 && (head = resp.indexOf("\r\n\r\n")) >= 0) {
            const qsizetype at = resp.toLower().indexOf("content-length:");
            length = at >= 0 && at < head ? resp.mid(at + 15, resp.indexOf('\r', at) - at - 15).trimmed().toLongLong() : 0;
            head += 4;
        }
    }
    ::close(s);
    return QJsonDocument::fromJson(resp.mid(head, length)).object();
}

// A port that nothing listens on.
int freePort()
{
    const int s = loopback(0, false);
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int port = s >= 0 && ::getsockname(s, (sockaddr *)&a, &len) == 0 ? ntohs(a.sin_port) : 0;
    ::close(s);
    return port;
}

// Path and size and time of every file below folder.
QStringList snapshot(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        files << f.filePath() + QString("\x01%1 %2").arg(f.size()).arg(f.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

}  // namespace

class TestHtmlBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void categoryAndGenre_data();
    void categoryAndGenre();
    void webAlbum_data();
    void webAlbum();
    void requestsStayInFolder();
    void republishCopiesWhatChanged();

private:
    // Runs a script in the top page (frame -1) or in a frame by its index; returns its value.
    QJsonValue js(int frame, const QString &script);
    // Polls a script in a frame until it returns true.
    bool waitFor(int frame, const QString &script);

    QTemporaryDir m_dir, m_shm{"/dev/shm/tessaly-XXXXXX"};
    QProcess m_driver, m_server;
    int m_port = 0, m_httpPort = 0;
    QByteArray m_session;
    QString m_out, m_base, m_srv, m_lib, m_chromium;
    QString m_site = "none loaded";
    QStringList m_categories;
};

QJsonValue TestHtmlBrowser::js(int frame, const QString &script)
{
    const QByteArray at = "/session/" + m_session;
    http(m_port, "POST", at + "/frame", {{"id", QJsonValue::Null}});
    if (frame >= 0)
        http(m_port, "POST", at + "/frame", {{"id", frame}});
    return http(m_port, "POST", at + "/execute/sync", {{"script", script}, {"args", QJsonArray()}}).value("value");
}

bool TestHtmlBrowser::waitFor(int frame, const QString &script)
{
    // Polled in the page itself, so the answer comes as soon as the script holds. A page
    // that is replaced meanwhile ends the poll without a value: it starts again in the new one.
    const QString poll = "const done = arguments[arguments.length - 1], until = Date.now() + 2000;"
                         "(function poll() { let ok = false; try { ok = (() => { " + script + " })(); } catch (e) {}"
                         " if (ok || Date.now() > until) done(ok === true); else setTimeout(poll, 5); })();";
    const QByteArray at = "/session/" + m_session;
    for (QDeadlineTimer deadline(15000); !deadline.hasExpired();) {
        http(m_port, "POST", at + "/frame", {{"id", QJsonValue::Null}});
        if (frame >= 0)
            http(m_port, "POST", at + "/frame", {{"id", frame}});
        if (http(m_port, "POST", at + "/execute/async", {{"script", poll}, {"args", QJsonArray()}}).value("value") == QJsonValue(true))
            return true;
        QThread::msleep(10);
    }
    return false;
}

void TestHtmlBrowser::initTestCase()
{
    const QString chromium = m_chromium = QStandardPaths::findExecutable("chromium");
    const QString driver = QStandardPaths::findExecutable("chromedriver");
    if (chromium.isEmpty() || driver.isEmpty())
        QSKIP("chromium and chromedriver are needed for this test (Debian packages chromium, chromium-driver)");
    QVERIFY(m_dir.isValid());

    // Names a browser could misread, the site's own page names, a name too long to take
    // ".html"; photos stored (absolute, relative) and found (a PNG-only folder); phone
    // photos turned by their Exif orientation in either byte order.
    m_base = m_dir.path() + "/写真";
    m_out = makeDir(m_dir.path() + "/サイト");
    const QString lib = m_lib = makeLibrary(m_dir.path());
    sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {m_out});
    sql(lib, "insert into allTop (ID, allTop) values (1, ?)", {m_base});
    QList<QStringList> titles = {{"旅行", "2001", "京都", "寺.jpg", "640", "480"},
                                       {"旅行", "2001", "Trip #1", "shore.png", "300", "600", "stored"},
                                       {"Bob's", "Trip #2", "海", "100% blue.jpg", "1000", "333"},
                                       {"a:b", " lead", "t:1", "x.png", "20", "10"},
                                       {"NameA", "back\\slash", "tab\there ", "pic:1 #.jpg", "10", "20", "relative"},
                                       {"b", "line\nfeed", " t", "q.png", "5", "5"},
                                       {QString(84, QChar(0x5199)), "g", "c:\\d", "a.jpg", "8", "8"}};
    for (const char *order : {"II", "MM"})
        for (int o = 1; o <= 8; ++o)
            titles.append({"向き", "Exif", QString("%1 %2").arg(order).arg(o), "p.jpg", "200", "400"});
    // A PNG turned by its eXIf chunk; pictures browsers do not draw (TIFF, HEIC) and a
    // folder that holds only a ".jpeg".
    titles.append({"向き", "Exif", "PNG 6", "p.png", "200", "400"});
    for (const char *f : {"jpeg", "tiff", "heic"})
        titles.append({"形式", "各種", f, QString("p.") + (f == QString("tiff") ? "tif" : f), "200", "100"});
    for (const QStringList &t : titles) {
        const QString cat = m_base + "/" + t[0], genre = cat + "/" + t[1], title = makeDir(genre + "/" + t[2]);
        if (!m_categories.contains(t[0])) {
            m_categories << t[0];
            sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {cat, t[0]});
        }
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, ?, ? from photoGraph where topFolderName=? "
                 "and not exists (select 1 from photoYear where yearFolder=?)", {genre, t[1], t[0], genre});
        // Every title's open button leads to a page of an awkward name in its folder, which
        // links a file beside it.
        const QString opened = writeFile(title + "/o:pen #1%.html", "<html><a href='o%3Apen%20note.txt?x#y'>n</a></html>");
        writeFile(title + "/o:pen note.txt", "note");
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsPhoto, IventsHtmlButton, iventsHTML, Ivents) "
                 "select ID, ID1, ?, ?, ?, -1, ?, ? from photoYear where yearFolder=?",
            {t[2], title, t.size() > 6 ? QVariant(t[6] == "stored" ? title + "/" + t[3] : t[3]) : QVariant(), opened, opened, genre});
        const int o = t[0] == "向き" ? t[2].right(1).toInt() : 0;
        const QString file = title + "/" + t[3];
        const QImage stored = quarters(t[4].toInt(), t[5].toInt(), o);
        if (file.endsWith(".tif"))
            writeFile(file, tiffBytes(stored));
        else if (file.endsWith(".heic"))
            QVERIFY(writeHeic(stored, file));
        else
            QVERIFY(stored.save(file));
        if (o && file.endsWith(".png"))
            writeFile(file, withPngExif(readFile(file), o));
        else if (o)
            writeFile(file, readFile(file).insert(2, exifSegment(qPrintable(t[2].left(2)), o)));
    }
    // A title as a phone leaves it: photos of several formats, one turned by Exif, a video
    // a browser plays and one it does not, a link of its own.
    {
        const QString cat = m_base + "/動画", genre = cat + "/2024", title = makeDir(genre + "/夏 \"祭り\" <b>");
        m_categories << "動画";
        sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, '動画')", {cat});
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, ?, '2024' from photoGraph "
                 "where topFolderName='動画'", {genre});
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsLink, IventsLinkButton) "
                 "select ID, ID1, ?, ?, 'https://example.com/?a=1&b=2', -1 from photoYear where yearFolder=?",
            {QFileInfo(title).fileName(), title, genre});
        QBuffer turned;
        turned.open(QIODevice::WriteOnly);
        QVERIFY(quarters(400, 200, 6).save(&turned, "jpeg"));
        writeFile(title + "/a 横.jpg", QByteArray(turned.data()).insert(2, exifSegment("MM", 6)));
        QVERIFY(quarters(300, 200, 0).save(title + "/b.png"));
        QVERIFY(writeHeic(quarters(320, 240, 0), title + "/c.heic"));
        for (const auto &[name, codec] : {std::pair{"d play.mp4", "libx264"}, std::pair{"e old.avi", "mpeg4"}}) {
            QProcess ff;
            ff.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "2",
                                "-c:v", codec, "-pix_fmt", "yuv420p", title + "/" + name});
            QVERIFY2(ff.waitForFinished(60000) && ff.exitCode() == 0, "ffmpeg is needed (Debian package ffmpeg)");
        }
        // A title of one video a browser does not play: its poster is the title's picture.
        const QString only = makeDir(genre + "/古い映像");
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder) select ID, ID1, '古い映像', ? "
                 "from photoYear where yearFolder=?", {only, genre});
        QVERIFY(quarters(160, 120, 0).save(m_dir.path() + "/quarters.png"));
        QProcess ff;
        ff.start("ffmpeg", {"-v", "error", "-y", "-loop", "1", "-i", m_dir.path() + "/quarters.png", "-t", "1", "-c:v",
                            "mpeg4", "-q:v", "2", "-pix_fmt", "yuv420p", only + "/old.avi"});
        QVERIFY(ff.waitForFinished(60000) && ff.exitCode() == 0);
    }
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    QVERIFY(HtmlFileCreate(g, ds));

    // The published copies, served from their own folder under a prefix; making them
    // leaves the local site and the photos as they were. The demo's copy lies on another
    // file system where there is one; its files keep their times there too: a second run
    // finds nothing to copy.
    m_srv = makeDir(m_dir.path() + "/srv");
    const QString demo = m_dir.path() + "/demo", demoCopy = m_shm.isValid() ? m_shm.path() + "/demo" : m_srv + "/demo";
    QVERIFY(demoCopy.startsWith(m_srv) || QFile::link(demoCopy, m_srv + "/demo"));
    QCOMPARE(runCli({"demo", demo}).exitCode, 0);
    const QString photo = "/家族/誕生日/はじめての一歩/一歩.png";
    const QStringList local = snapshot(m_dir.path());
    // The demo is published twice at once: one run waits for the other, and the two
    // make its 12 thumbnails and copy them and its one 開く page once.
    QProcess twice[2];
    for (QProcess &p : twice)
        p.start(binDir() + "/tessaly-cli", {"publish", demo + "/demo.mdb", demoCopy});
    QString both;
    for (QProcess &p : twice) {
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        both += p.readAllStandardOutput();
    }
    QVERIFY2(both.contains("コピーしたファイル: 13 (変更のないもの 0)\n") && both.contains("コピーしたファイル: 0 (変更のないもの 13)\n")
                 && both.contains("作った縮小画像: 12\n") && both.contains("作った縮小画像: 0\n"),
             qPrintable(both));
    // The third run of the demo finds every page of the album as it would write it.
    for (const QStringList &run : {QStringList{m_lib, m_srv + "/album", "83 (変更のないもの 0)", "ウェブアルバム: ページ "},
                                   {demo + "/demo.mdb", demoCopy, "0 (変更のないもの 13)", "ウェブアルバム: ページ 0 ("}}) {
        const CliResult r = runCli({"publish", run[0], run[1]});
        QVERIFY2(r.exitCode == 0 && r.out.contains("見つからないか表示できない写真とファイル: 0")
                     && r.out.contains("コピーしたファイル: " + run[2]) && r.out.contains(run[3]), qPrintable(r.out + r.err));
    }
    QVERIFY(!QFileInfo::exists(demoCopy + "/genres" + photo));  // only its thumbnail
    QStringList after = snapshot(m_dir.path());
    // Only the copies and the picture caches in the output folders have grown.
    after.removeIf([&](const QString &f) {
        return f.startsWith(m_srv + "/") || ((f.contains("/thumbs/") || f.contains("/posters/")) && !local.contains(f));
    });
    QCOMPARE(after, local);
    m_httpPort = freePort();
    m_server.setStandardErrorFile(m_dir.path() + "/http.log");
    m_server.start("/usr/bin/python3", {"-m", "http.server", "--bind", "127.0.0.1", "--directory", m_srv,
                                        QString::number(m_httpPort)});
    QVERIFY2(m_server.waitForStarted(), "python3 is needed to serve the published site");

    // Let the system pick a free port, then hand it to chromedriver.
    m_port = freePort();
    m_driver.start(driver, {QString("--port=%1").arg(m_port)});
    QVERIFY2(m_driver.waitForStarted(), "chromedriver did not start");
    QDeadlineTimer ready(20000);
    while (!http(m_port, "GET", "/status").value("value").toObject().value("ready").toBool() && !ready.hasExpired())
        QThread::msleep(20);
    const QJsonArray args = {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--window-size=1280,2400",
                             "--user-data-dir=" + m_dir.path() + "/profile"};
    const QJsonObject caps{{"alwaysMatch", QJsonObject{{"goog:chromeOptions", QJsonObject{{"binary", chromium}, {"args", args}}}}}};
    const QJsonObject reply = http(m_port, "POST", "/session", {{"capabilities", caps}});
    m_session = reply.value("value").toObject().value("sessionId").toString().toUtf8();
    QVERIFY2(!m_session.isEmpty(), QJsonDocument(reply).toJson().left(600).constData());
    for (QDeadlineTimer up(10000); loopback(m_httpPort, true) < 0 && !up.hasExpired();)
        QThread::msleep(20);
}

void TestHtmlBrowser::cleanupTestCase()
{
    if (!m_session.isEmpty())
        http(m_port, "DELETE", "/session/" + m_session);  // ends the browser too
    for (QProcess *p : {&m_driver, &m_server}) {
        p->terminate();
        p->waitForFinished(5000);
    }
}

void TestHtmlBrowser::categoryAndGenre_data()
{
    QTest::addColumn<QString>("site");  // "" for the local site, else the published copy's prefix
    QTest::addColumn<int>("option");
    QTest::addColumn<QJsonArray>("images");  // per genre in page order: folder/file, width, height of each picture
    QJsonArray turned;  // all upright 200 x 400, whatever the stored shape
    for (const char *order : {"II", "MM"})
        for (int o = 1; o <= 8; ++o)
            turned << QString("%1 %2/p.jpg").arg(order).arg(o) << 60 << 120;
    turned << "PNG 6/p.png" << 60 << 120;
    const QList<std::pair<const char *, QJsonArray>> rows = {
        {"Japanese names", QJsonArray{QJsonArray{"Trip #1/shore.png", 60, 120, "京都/寺.jpg", 120, 90}}},
        {"apostrophe, # and %", QJsonArray{QJsonArray{"海/100% blue.jpg", 120, 40}}},
        {"colon, leading blank", QJsonArray{QJsonArray{"t:1/x.png", 120, 60}}},
        {"own page name, backslash, tab", QJsonArray{QJsonArray{"tab\there /pic:1 #.jpg", 60, 120}}},
        {"own page name, line feed", QJsonArray{QJsonArray{" t/q.png", 120, 120}}},
        {"too long a name", QJsonArray{QJsonArray{"c:\\d/a.jpg", 120, 120}}},
        {"Exif orientations", QJsonArray{turned}},
        {"TIFF, HEIC as thumbnails, .jpeg", QJsonArray{QJsonArray{"thumbs/*", 120, 60, "jpeg/p.jpeg", 120, 60, "thumbs/*", 120, 60}}},
        {"a video's poster", QJsonArray{QJsonArray{"posters/*", 120, 90, "夏 \"祭り\" <b>/a 横.jpg", 120, 60}}}};
    // The copy shows every photo through a thumbnail of its own.
    const auto thumbnailsOnly = [](QJsonArray genres) {
        for (QJsonValueRef genre : genres) {
            QJsonArray images = genre.toArray();
            for (int k = 0; k < images.size(); k += 3)
                if (images[k] != "posters/*")
                    images[k] = "thumbs/*";
            genre = images;
        }
        return genres;
    };
    for (const QString site : {"", "album"})
        for (int i = 0; i < rows.size(); ++i)
            QTest::addRow("%s%s", rows[i].first, site.isEmpty() ? "" : ", published")
                << site << i + 1 << (site.isEmpty() ? rows[i].second : thumbnailsOnly(rows[i].second));
    // The demo's pictures are only checked to load.
    for (int option = 1; option <= 3; ++option)
        QTest::addRow("demo, published, %d", option) << "demo" << option << QJsonArray();
}

// Every reference leads to its file: the category page of each option, the genre page
// of each link with every picture decoded at its fitted size and drawn upright (its
// quarters in place), and each open button's page. A published copy is walked over
// http, and every file it refers to lies in its own folder.
void TestHtmlBrowser::categoryAndGenre()
{
    QFETCH(QString, site);
    QFETCH(int, option);
    QFETCH(QJsonArray, images);
    const auto quoted = [](const QString &text) { return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1); };
    // Where the site's pages lie as the browser names them, and as files.
    const QString root = site.isEmpty() ? m_out : "/" + site;
    const auto file = [&](const QString &path) { return site.isEmpty() ? path : m_srv + path; };
    if (m_site != site) {
        m_site = site;
        // A copy's address is its web album; its footer leads to these pages.
        const QString top = site.isEmpty() ? QUrl::fromLocalFile(m_out + "/アルバム.html").toString()
                                           : QString("http://127.0.0.1:%1/%2/").arg(m_httpPort).arg(site);
        http(m_port, "POST", "/session/" + m_session + "/url", {{"url", top}});
        if (!site.isEmpty()) {
            QVERIFY(waitFor(-1, "return document.readyState === 'complete' && document.querySelector('footer a') !== null;"));
            js(-1, "document.querySelector('footer a').click(); return 0;");
            QVERIFY(waitFor(-1, "return decodeURIComponent(location.pathname).endsWith('/アルバム.html');"));
        }
        // The bar lists every category by its name; the blue blank page stands beside it.
        QVERIFY(waitFor(0, "return document.readyState === 'complete' && document.characterSet === 'UTF-8';"));
        if (site != "demo")
            QCOMPARE(js(0, "return [...document.querySelectorAll('option')].map(o => o.text);").toArray().toVariantList(),
                     QVariantList{"Choose!"} + QVariant(m_categories).toList());
        QVERIFY(waitFor(1, "return getComputedStyle(document.body).backgroundColor === 'rgb(0, 0, 255)';"));
    }
    // Choose the category as a user would: the select's change runs the page's own script.
    const QStringList names = js(0, "return [...document.querySelectorAll('option')].slice(1).map(o => o.text);").toVariant().toStringList();
    js(0, QString("const s = document.querySelector('select'); s.selectedIndex = %1;"
                  "s.dispatchEvent(new Event('change')); return 0;").arg(option));
    QVERIFY(names.size() >= option);
    const QString page = root + "/sub/" + CategoryPageFiles(names)[option - 1];
    QVERIFY(QFileInfo(file(page)).isFile());
    QVERIFY2(waitFor(1, "return document.readyState === 'complete' && decodeURIComponent(location.pathname) === " + quoted(page) + ";"),
             qPrintable(page));
    const QJsonArray genres = js(1, "return [...document.links].map(a => decodeURIComponent(new URL(a.href).pathname));").toArray();
    QVERIFY(!genres.isEmpty());
    if (!images.isEmpty())
        QCOMPARE(genres.size(), images.size());
    for (int i = 0; i < genres.size(); ++i) {
        const QString index = genres[i].toString();
        QVERIFY2(QFileInfo(file(index)).isFile() && index.startsWith(site.isEmpty() ? m_base + "/" : root + "/genres/"),
                 qPrintable(index));
        js(1, QString("document.links[%1].click(); return 0;").arg(i));
        QVERIFY2(waitFor(2, "return document.readyState === 'complete' && decodeURIComponent(location.pathname) === "
                                + quoted(index) + " && [...document.images].every(i => i.complete);"),
                 qPrintable(index));
        // A thumbnail's or a poster's name is its cache key: only its folder is compared.
        const QJsonArray shown = js(2, "return [...document.images].flatMap(i => i.naturalWidth > 0 ? "
                                       "[decodeURIComponent(i.src.split('/').slice(-2).join('/'))"
                                       ".replace(/^(thumbs|posters)\\/[0-9a-f]{16}-[0-9]+-[0-9]+(\\.r)?\\.jpg$/, '$1/*'), i.width, i.height] "
                                       ": ['broken', i.src]);").toArray();
        if (images.isEmpty())
            QVERIFY2(!shown.isEmpty() && !shown.contains("broken"), QJsonDocument(shown).toJson().constData());
        else
            QCOMPARE(shown, images[i].toArray());
        const QJsonArray opened = js(2, "const got = []; window.open = a => got.push(a);"
                                        "document.querySelectorAll('input[value=\"開く\"]').forEach(b => b.click());"
                                        "return got.map(a => decodeURIComponent(new URL(a, location.href).pathname));").toArray();
        QVERIFY(site == "demo" || names[option - 1] == "動画" || !opened.isEmpty());
        for (const QJsonValue &o : opened)
            QVERIFY2((site == "demo" || o.toString().endsWith("/o:pen #1%.html")) && o.toString().startsWith(site.isEmpty() ? m_base + "/" : root + "/")
                         && QFileInfo(file(o.toString())).isFile(),
                     qPrintable(o.toString()));
        const QByteArray at = "/session/" + m_session;  // frame 2 is still the current one
        const QJsonArray found = http(m_port, "POST", at + "/elements", {{"using", "css selector"}, {"value", "img"}}).value("value").toArray();
        const QJsonArray want = images.isEmpty() ? QJsonArray() : images[i].toArray();
        for (int k = 0; k < want.size() / 3; ++k) {
            QCOMPARE(found.size() * 3, want.size());
            const QString id = found[k].toObject().begin().value().toString();
            const QJsonValue shot = http(m_port, "GET", at + "/element/" + id.toUtf8() + "/screenshot").value("value");
            const QImage drawn = QImage::fromData(QByteArray::fromBase64(shot.toString().toLatin1()));
            QCOMPARE(drawn.size(), QSize(want[3 * k + 1].toInt(), want[3 * k + 2].toInt()));
            const auto colour = [&](int x, int y) {  // black, blue, green, cyan, red, magenta, yellow, white
                const QRgb c = drawn.pixel(x * drawn.width() / 4, y * drawn.height() / 4);
                return QChar("kbgcrmyw"[(qRed(c) > 128) * 4 + (qGreen(c) > 128) * 2 + (qBlue(c) > 128)]);
            };
            QCOMPARE(QString() + colour(1, 1) + colour(3, 1) + colour(1, 3) + colour(3, 3) + " " + want[3 * k].toString(),
                     "rgby " + want[3 * k].toString());
        }
    }
}

void TestHtmlBrowser::webAlbum_data()
{
    QTest::addColumn<bool>("phone");
    QTest::addColumn<bool>("script");
    QTest::newRow("phone, script on") << true << true;
    QTest::newRow("phone, script off") << true << false;
    QTest::newRow("desktop, script on") << false << true;
    QTest::newRow("desktop, script off") << false << false;
}

// The web album of the copy, walked from its home by its links as a visitor would, on a
// phone (touch) and a desktop, with the page's script and without: every page fits the
// width and is readable and tappable, every reference leads to a file of the copy, every
// photo is reached at its own address with its large view, the playable video plays
// from the copy, the other says why not, and a page's first view stays light.
void TestHtmlBrowser::webAlbum()
{
    QFETCH(bool, phone);
    QFETCH(bool, script);
    QJsonObject options{{"binary", m_chromium},
                        {"args", QJsonArray{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                            phone ? "--window-size=390,844" : "--window-size=1280,1024",
                                            "--user-data-dir=" + m_dir.path() + "/profile-" + QTest::currentDataTag()}}};
    if (phone)
        options["mobileEmulation"] = QJsonObject{
            {"deviceMetrics", QJsonObject{{"width", 390}, {"height", 844}, {"pixelRatio", 3}, {"touch", true}}}};
    if (!script)
        options["prefs"] = QJsonObject{{"profile.managed_default_content_settings.javascript", 2}};
    const QJsonObject caps{{"alwaysMatch", QJsonObject{{"goog:chromeOptions", options},
                                                       {"goog:loggingPrefs", QJsonObject{{"browser", "ALL"}}}}}};
    const QByteArray session = "/session/" + http(m_port, "POST", "/session", {{"capabilities", caps}})
                                                 .value("value").toObject().value("sessionId").toString().toUtf8();
    QVERIFY(session.size() > 9);
    const auto end = qScopeGuard([&] { http(m_port, "DELETE", session); });
    const auto js = [&](const QString &body) {
        return http(m_port, "POST", session + "/execute/sync", {{"script", body}, {"args", QJsonArray()}}).value("value");
    };
    const auto settled = [&] {
        for (QDeadlineTimer d(10000); !d.hasExpired(); QThread::msleep(20))
            if (js("return document.readyState === 'complete' && [...document.images].filter(i => { const r = "
                   "i.getBoundingClientRect(); return r.bottom > 0 && r.top < innerHeight && r.right > 0 && r.left < innerWidth; })"
                   ".every(i => i.complete);") == QJsonValue(true))
                return true;
        return false;
    };
    const QString origin = QString("http://127.0.0.1:%1").arg(m_httpPort);
    const auto fileOf = [&](const QString &url) {
        return m_srv + QUrl::fromPercentEncoding(QUrl(url).path(QUrl::FullyEncoded).toUtf8());
    };
    QStringList queue{origin + "/album/"};
    QSet<QString> seen{queue.first()}, larges, videos, checked;
    QHash<QString, QSet<QString>> ids;   // anchors of each page
    QList<QPair<QString, QString>> anchors;  // page, anchor that links name
    int pages = 0, heaviest = 0, unplayable = 0;
    QString turned;
    while (!queue.isEmpty()) {
        const QString url = queue.takeFirst();
        http(m_port, "POST", session + "/url", {{"url", url}});
        QVERIFY2(settled(), qPrintable(url));
        ++pages;
        const QJsonObject p = js(R"(
            const inView = e => { const r = e.getBoundingClientRect();
                                  return r.width > 0 && r.bottom > 0 && r.top < innerHeight && r.right > 0 && r.left < innerWidth; };
            const refs = new Set();
            for (const e of document.querySelectorAll('[src],[href],[poster],[srcset]')) {
                for (const a of ['src', 'href', 'poster'])
                    if (e.hasAttribute(a)) refs.add(new URL(e.getAttribute(a), location.href).href);
                if (e.hasAttribute('srcset'))
                    for (const c of e.getAttribute('srcset').split(',')) refs.add(new URL(c.trim().split(/\s+/)[0], location.href).href);
            }
            let weight = performance.getEntriesByType('navigation')[0].encodedBodySize;
            for (const r of performance.getEntriesByType('resource'))
                if (r.initiatorType !== 'img' || [...document.images].some(i => i.currentSrc === r.name && inView(i)))
                    weight += r.encodedBodySize;
            return {refs: [...refs], links: [...document.querySelectorAll('a[href]')].map(a => a.href),
                    ids: [...document.querySelectorAll('[id]')].map(e => e.id),
                    small: [...document.querySelectorAll('a, video')].filter(e => inView(e) && !e.closest('.skip')
                               && (e.getBoundingClientRect().width < 44 || e.getBoundingClientRect().height < 44)).map(e => e.outerHTML.slice(0, 60)),
                    tiny: [...document.querySelectorAll('body *')].filter(e => [...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim())
                               && parseFloat(getComputedStyle(e).fontSize) < 16).map(e => e.textContent.slice(0, 20)),
                    wide: document.documentElement.scrollWidth > innerWidth,
                    fit: document.documentElement.lang === 'ja' && !!document.querySelector('meta[name=viewport]')
                         && document.characterSet === 'UTF-8' && [...document.images].every(i => i.alt)
                         && !!document.querySelector('.crumbs li:last-child > [aria-current=page]')
                         && !document.querySelector('.crumbs li:last-child a') && document.querySelectorAll('.crumbs a').length
                            === document.querySelectorAll('.crumbs li').length - 1,
                    larges: [...document.querySelectorAll('.slide')].flatMap(s => { const a = s.querySelector('a.large');
                               return a ? [s.querySelector('figcaption').textContent, a.href] : []; }),
                    videos: [...document.querySelectorAll('video source')].map(s => s.src),
                    unplayable: [...document.querySelectorAll('.slide .note')].filter(n => n.textContent.includes('ブラウザでは再生できない')).length,
                    weight};)").toObject();
        QVERIFY2(p.value("fit").toBool() && !p.value("wide").toBool(), qPrintable(url));
        if (phone)  // text at least 16 pixels, tap targets at least 44 x 44
            QVERIFY2(p.value("small").toArray().isEmpty() && p.value("tiny").toArray().isEmpty(),
                     qPrintable(url + QJsonDocument(p).toJson()));
        heaviest = std::max(heaviest, p.value("weight").toInt());
        const QString page = url.section('#', 0, 0);
        for (const QJsonValue &id : p.value("ids").toArray())
            ids[page].insert(id.toString());
        for (const QJsonValue &r : p.value("refs").toArray()) {
            const QString ref = r.toString().section('#', 0, 0);
            if (ref == "data:,")  // the pages' empty icon: no request at all
                continue;
            if (!ref.startsWith(origin)) {
                QVERIFY2(ref.startsWith("https://example.com/"), qPrintable(ref));  // the title's own link
                continue;
            }
            if (!checked.contains(ref)) {
                checked.insert(ref);
                const QFileInfo f(fileOf(ref));
                QVERIFY2(f.isFile() || QFileInfo(f.filePath() + "/index.html").isFile(), qPrintable(url + " -> " + ref));
            }
        }
        for (const QJsonValue &l : p.value("links").toArray()) {
            const QString link = l.toString(), target = link.section('#', 0, 0), path = QUrl(target).path();
            if (link.contains('#') && !link.section('#', 1).isEmpty())
                anchors.append({target, QUrl::fromPercentEncoding(link.section('#', 1).toUtf8())});
            // The album's own pages; the classic pages are walked by the other tests.
            const bool album = target.startsWith(origin + "/album/") && !path.startsWith("/album/genres/")
                               && !path.startsWith("/album/sub/") && (path.endsWith(".html") || path.endsWith("/"))
                               && !path.endsWith("/%E3%82%A2%E3%83%AB%E3%83%90%E3%83%A0.html");
            if (album && !seen.contains(target) && QUrl::fromPercentEncoding(path.toUtf8()) != "/album/アルバム.html") {
                seen.insert(target);
                queue << target;
            }
        }
        const QJsonArray large = p.value("larges").toArray();
        for (int i = 0; i + 1 < large.size(); i += 2) {
            larges.insert(large[i + 1].toString());
            if (large[i].toString().endsWith("a 横.jpg"))
                turned = fileOf(large[i + 1].toString());
        }
        for (const QJsonValue &v : p.value("videos").toArray())
            videos.insert(v.toString());
        unplayable += p.value("unplayable").toInt();
        // Next by its link, without a script: the strip brings the next photo into view.
        if (url.contains("/view.html") && js("return document.querySelectorAll('.slide').length > 1;") == QJsonValue(true)) {
            js("document.querySelector('.slide a[rel=next]').click(); return 0;");
            bool moved = false;
            for (QDeadlineTimer d(5000); !moved && !d.hasExpired(); QThread::msleep(20))
                moved = js("const s = document.querySelectorAll('.slide')[1], r = s.getBoundingClientRect();"
                           "return Math.abs(r.left) < 2 && location.hash === '#' + s.id;") == QJsonValue(true);
            QVERIFY2(moved, qPrintable(url));
        }
    }
    for (const auto &[page, anchor] : std::as_const(anchors))
        QVERIFY2(ids.value(page).contains(anchor), qPrintable(page + "#" + anchor));
    // Every photo of every title, each at its own large view.
    int photos = 0;
    for (QDirIterator it(m_base, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        photos += PhotoSuffixes().contains(("." + QFileInfo(it.next()).suffix().toLower()).toUtf8());
    QCOMPARE(larges.size(), photos);
    const QImage upright(turned);
    QCOMPARE(upright.size(), QSize(400, 200));
    const auto colour = [&](int x, int y) {
        const QRgb c = upright.pixel(x * upright.width() / 4, y * upright.height() / 4);
        return QChar("kbgcrmyw"[(qRed(c) > 128) * 4 + (qGreen(c) > 128) * 2 + (qBlue(c) > 128)]);
    };
    QCOMPARE(QString() + colour(1, 1) + colour(3, 1) + colour(1, 3) + colour(3, 3), QString("rgby"));
    QCOMPARE(videos.size(), 1);
    QVERIFY(videos.begin()->endsWith("/d%20play.mp4") && readFile(fileOf(*videos.begin())) == readFile(m_base + "/動画/2024/夏 \"祭り\" <b>/d play.mp4"));
    QCOMPARE(unplayable, 2);
    QVERIFY2(heaviest <= 300 * 1024, qPrintable(QString::number(heaviest)));
    qInfo("%d album pages walked; the heaviest first view: %d bytes", pages, heaviest);
    const QJsonArray log = http(m_port, "POST", session + "/se/log", {{"type", "browser"}}).value("value").toArray();
    for (const QJsonValue &entry : log)
        QVERIFY2(entry.toObject().value("level").toString() != "SEVERE", QJsonDocument(entry.toObject()).toJson().constData());
}

// The server saw only requests for files of the published folders, and found each;
// no page of a copy names a path of this machine.
void TestHtmlBrowser::requestsStayInFolder()
{
    const QStringList log = QString::fromUtf8(readFile(m_dir.path() + "/http.log")).split('\n', Qt::SkipEmptyParts);
    const QRegularExpression request(R"("GET (\S+) HTTP/1\.1" (\d+))");
    int requests = 0;
    for (const QString &line : log) {
        const QRegularExpressionMatch m = request.match(line);
        if (!m.hasMatch() || m.captured(1) == "/favicon.ico")
            continue;
        ++requests;
        QVERIFY2((m.captured(1).startsWith("/album/") || m.captured(1).startsWith("/demo/")) && QStringList({"200", "304"}).contains(m.captured(2)),
                 qPrintable(line));
    }
    QVERIFY(requests > 20);
    QDirIterator it(m_srv, {"*.html"}, QDir::Files, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        const QString path = it.next();
        QVERIFY2(!readFile(path).contains(m_dir.path().toUtf8()), qPrintable(path));
        QVERIFY2(!path.endsWith("/o:pen #1%.html") || readFile(QFileInfo(path).path() + "/o:pen note.txt") == "note", qPrintable(path));
    }
}

// After a title folder is removed and a photo replaced, the next run makes that one
// thumbnail again and removes the removed title's files and the two old thumbnails; the
// pages name what is missing.
void TestHtmlBrowser::republishCopiesWhatChanged()
{
    const QString copy = m_srv + "/album", published = copy + "/genres/旅行/2001";
    QVERIFY(QDir(m_base + "/Bob's/Trip #2/海").removeRecursively());
    const QString photo = m_base + "/旅行/2001/京都/寺.jpg";
    QVERIFY(QFile::remove(photo));
    QVERIFY(quarters(64, 48, 0).save(photo));
    const QStringList before = snapshot(copy);
    // Renditions gone since: one of a set, removed by hand, and the large one, which a
    // stopped run leaves out as it writes it last. Both sets are made again.
    QStringList sets;
    for (QDirIterator it(copy + "/album", {"index.html"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString page = it.next();
        static const QRegularExpression thumbSrc("src=\"[./]*(album/r/[^\"]*)-256\\.jpg\"");
        const QString set = thumbSrc.match(QString::fromUtf8(readFile(page))).captured(1);
        if (page.mid(copy.size() + 1).count('/') == 4 && !page.contains("/京都/") && !page.contains("/海/")
            && !set.isEmpty() && !sets.contains(set))
            sets << set;
    }
    QVERIFY(sets.size() >= 2);
    QVERIFY(QFile::remove(copy + "/" + sets[0] + "-512.jpg") && QFile::remove(copy + "/" + sets[1] + "-2048.jpg"));
    const CliResult r = runCli({"publish", m_lib, copy});
    QCOMPARE(r.exitCode, 1);  // the removed title's pictures are missing
    QVERIFY(QFileInfo::exists(copy + "/" + sets[0] + "-512.jpg") && QFileInfo::exists(copy + "/" + sets[1] + "-2048.jpg"));
    for (const char *line : {"コピーしたファイル: 1 (", "作った縮小画像: 1\n", "削除した古いファイル: 13\n", "新しく縮小した写真 3\n",
                             "見つからないか表示できない写真とファイル: 2"})
        QVERIFY2(r.out.contains(QString::fromUtf8(line)), qPrintable(r.out));
    const QRegularExpression thumb("<img src='([^']*)' height='90px' width='120px'><br>\r\n京都<br>");
    const QString made = thumb.match(QString::fromUtf8(readFile(published + "/nIndex.html"))).captured(1);
    QCOMPARE(QImage(QDir::cleanPath(published + "/" + made)).size(), QSize(64, 48));
    QVERIFY(!QFileInfo::exists(copy + "/genres/Bob's/Trip #2/海"));
    QVERIFY(QFileInfo::exists(copy + "/genres/Bob's/Trip #2/nIndex.html"));
    // Pages are rewritten; every other file stays as it was.
    const QStringList after = snapshot(copy);
    QStringList changed;
    for (const QString &f : before)
        if (!after.contains(f) && !f.contains(QRegularExpression("/(nIndex.html|sub/.*|アルバム.html|index.html|view.html|.tessaly-publish)\x01")))
            changed << f.section('\x01', 0, 0).mid(copy.size()).replace(QRegularExpression("^/(thumbs|album/r)/.*"), "/\\1/*");
    changed.sort();
    QCOMPARE(changed, QStringList(10, "/album/r/*") + QStringList({"/genres/Bob's/Trip #2/海/o:pen #1%.html",
                                                                   "/genres/Bob's/Trip #2/海/o:pen note.txt", "/thumbs/*", "/thumbs/*"}));

    // A category left without genres keeps its page, which says so, and the run goes on:
    // the genre's files go. Over http every category of the bar answers with its page.
    sql(m_lib, "delete from photoYear where ID=(select ID from photoGraph where topFolderName='b')");
    const CliResult empty = runCli({"publish", m_lib, copy});
    // (Its genre's pages of the web album too: the genre page, three titles' grids and their views.)
    QVERIFY2(!empty.out.contains("完了しませんでした") && empty.out.contains("削除した古いファイル: 11\n")
                 && empty.err.contains("次のカテゴリーにはジャンルが未登録です。そのページには「ジャンルが未登録です！」と書きました。\nb\n"),
             qPrintable(empty.out + empty.err));
    QVERIFY(!QFileInfo::exists(copy + "/genres/b/line\nfeed/ t/o:pen note.txt"));
    const auto quoted = [](const QString &text) { return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1); };
    http(m_port, "POST", "/session/" + m_session + "/url",
         {{"url", QString("http://127.0.0.1:%1/album/%E3%82%A2%E3%83%AB%E3%83%90%E3%83%A0.html").arg(m_httpPort)}});
    QVERIFY(waitFor(0, "return document.readyState === 'complete' && document.querySelectorAll('option').length > 1;"));
    const QStringList names = js(0, "return [...document.querySelectorAll('option')].slice(1).map(o => o.text);").toVariant().toStringList();
    QVERIFY(names.contains("b"));
    for (int option = 1; option <= names.size(); ++option) {
        js(0, QString("const s = document.querySelector('select'); s.selectedIndex = %1;"
                      "s.dispatchEvent(new Event('change')); return 0;").arg(option));
        const QString page = "/album/sub/" + CategoryPageFiles(names)[option - 1];
        QVERIFY2(waitFor(1, "return document.readyState === 'complete' && decodeURIComponent(location.pathname) === "
                                + quoted(page) + ";"),
                 qPrintable(page));
        const QString text = js(1, "return document.body.innerText.trim();").toString();
        const int links = js(1, "return document.links.length;").toInt();
        QVERIFY2(names[option - 1] == "b" ? text == "ジャンルが未登録です！" && links == 0 : links > 0, qPrintable(page + ": " + text));
    }
    for (const QString &line : QString::fromUtf8(readFile(m_dir.path() + "/http.log")).split('\n'))
        QVERIFY2(!line.contains("\" 404 ") || line.contains("/favicon.ico"), qPrintable(line));
    sql(m_lib, "delete from photoGraph where topFolderName='b'");
    const CliResult last = runCli({"publish", m_lib, copy});
    QVERIFY2(last.out.contains("削除した古いファイル: 2\n"), qPrintable(last.out));  // the category's pages, classic and album
    QVERIFY(!QFileInfo::exists(copy + "/genres/b"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestHtmlOut a;
    TestHtmlBrowser b;
    return runTestClasses({&a, &b}, argc, argv);
}

#include "test_htmlout.moc"
