// The generated site in a real browser: headless Chromium driven through chromedriver
// opens "アルバム.html" from disk, and the published copies of the same tree and of the
// demo over http under a URL prefix, picks categories in the top frame, follows the
// genre links and checks the thumbnails that load in the right frame.
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DialogService.h"
#include "HtmlOut.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

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
    QString m_out, m_base, m_srv, m_lib;
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
    const QString chromium = QStandardPaths::findExecutable("chromium");
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
    for (const QStringList &run : {QStringList{m_lib, m_srv + "/album", "81 (変更のないもの 0)"},
                                   {demo + "/demo.mdb", demoCopy, "0 (変更のないもの 13)"}}) {
        const CliResult r = runCli({"publish", run[0], run[1]});
        QVERIFY2(r.exitCode == 0 && r.out.contains("見つからないか表示できない写真とファイル: 0")
                     && r.out.contains("コピーしたファイル: " + run[2]), qPrintable(r.out + r.err));
    }
    QVERIFY(!QFileInfo::exists(demoCopy + "/genres" + photo));  // only its thumbnail
    QStringList after = snapshot(m_dir.path());
    // Only the copies and the thumbnail caches in the output folders have grown.
    after.removeIf([&](const QString &f) {
        return f.startsWith(m_srv + "/") || (f.contains("/thumbs/") && !local.contains(f));
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
        {"TIFF, HEIC as thumbnails, .jpeg", QJsonArray{QJsonArray{"thumbs/*", 120, 60, "jpeg/p.jpeg", 120, 60, "thumbs/*", 120, 60}}}};
    // The copy shows every photo through a thumbnail of its own.
    const auto thumbnailsOnly = [](QJsonArray genres) {
        for (QJsonValueRef genre : genres) {
            QJsonArray images = genre.toArray();
            for (int k = 0; k < images.size(); k += 3)
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
        const QString top = site.isEmpty() ? QUrl::fromLocalFile(m_out + "/アルバム.html").toString()
                                           : QString("http://127.0.0.1:%1/%2/").arg(m_httpPort).arg(site);
        http(m_port, "POST", "/session/" + m_session + "/url", {{"url", top}});
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
        // A thumbnail's name is its cache key: only its folder is compared.
        const QJsonArray shown = js(2, "return [...document.images].flatMap(i => i.naturalWidth > 0 ? "
                                       "[decodeURIComponent(i.src.split('/').slice(-2).join('/'))"
                                       ".replace(/^thumbs\\/[0-9a-f]{16}-[0-9]+-[0-9]+(\\.r)?\\.jpg$/, 'thumbs/*'), i.width, i.height] "
                                       ": ['broken', i.src]);").toArray();
        if (images.isEmpty())
            QVERIFY2(!shown.isEmpty() && !shown.contains("broken"), QJsonDocument(shown).toJson().constData());
        else
            QCOMPARE(shown, images[i].toArray());
        const QJsonArray opened = js(2, "const got = []; window.open = a => got.push(a);"
                                        "document.querySelectorAll('input[value=\"開く\"]').forEach(b => b.click());"
                                        "return got.map(a => decodeURIComponent(new URL(a, location.href).pathname));").toArray();
        QVERIFY(site == "demo" || !opened.isEmpty());
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
    const CliResult r = runCli({"publish", m_lib, copy});
    QCOMPARE(r.exitCode, 1);  // the removed title's pictures are missing
    for (const char *line : {"コピーしたファイル: 1 (", "作った縮小画像: 1\n", "削除した古いファイル: 4\n",
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
        if (!after.contains(f) && !f.contains(QRegularExpression("/(nIndex.html|sub/.*|アルバム.html|index.html|.tessaly-publish)\x01")))
            changed << f.section('\x01', 0, 0).mid(copy.size()).replace(QRegularExpression("^/thumbs/.*"), "/thumbs/*");
    QCOMPARE(changed, QStringList({"/genres/Bob's/Trip #2/海/o:pen #1%.html", "/genres/Bob's/Trip #2/海/o:pen note.txt",
                                   "/thumbs/*", "/thumbs/*"}));

    // A run that stops early (a category without genres) removes nothing, and the next
    // whole run still knows what the earlier ones placed.
    sql(m_lib, "delete from photoYear where ID=(select ID from photoGraph where topFolderName='b')");
    const QString kept = copy + "/genres/b/line\nfeed/ t/o:pen note.txt";
    QVERIFY(runCli({"publish", m_lib, copy}).out.contains("完了しませんでした"));
    QVERIFY(QFileInfo::exists(kept));
    sql(m_lib, "delete from photoGraph where topFolderName='b'");
    const CliResult last = runCli({"publish", m_lib, copy});
    QVERIFY2(last.out.contains("削除した古いファイル: 5"), qPrintable(last.out));  // the category's page too
    QVERIFY(!QFileInfo::exists(copy + "/genres/b"));
}

QTEST_GUILESS_MAIN(TestHtmlBrowser)
#include "test_htmlbrowser.moc"
