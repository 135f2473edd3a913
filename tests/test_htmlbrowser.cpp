// The generated site in a real browser: headless Chromium driven through chromedriver
// opens "アルバム.html" from disk, picks categories in the top frame, follows the genre
// links and checks the thumbnails that load in the right frame.
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
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

// The stored pixels of an upright w x h picture in red, green / blue, yellow quarters
// that the Exif orientation o (0: none) turns upright.
QImage quarters(int w, int h, int o)
{
    const int sw = o >= 5 ? h : w, sh = o >= 5 ? w : h;
    QImage img(sw, sh, QImage::Format_RGB32);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            const int m[9][2] = {{x, y}, {x, y}, {sw - 1 - x, y}, {sw - 1 - x, sh - 1 - y}, {x, sh - 1 - y},
                                 {y, x}, {sh - 1 - y, x}, {sh - 1 - y, sw - 1 - x}, {y, sw - 1 - x}};
            img.setPixel(x, y, QList<QRgb>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}[(m[o][1] >= h / 2) * 2 + (m[o][0] >= w / 2)]);
        }
    return img;
}

}  // namespace

class TestHtmlBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void categoryAndGenre_data();
    void categoryAndGenre();

private:
    // Runs a script in the top page (frame -1) or in a frame by its index; returns its value.
    QJsonValue js(int frame, const QString &script);
    // Polls a script in a frame until it returns true.
    bool waitFor(int frame, const QString &script);

    QTemporaryDir m_dir;
    QProcess m_driver;
    int m_port = 0;
    QByteArray m_session;
    QString m_out, m_base;
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
    for (QDeadlineTimer deadline(15000); !deadline.hasExpired(); QThread::msleep(100))
        if (js(frame, script).toBool())
            return true;
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
    const QString lib = makeLibrary(m_dir.path());
    sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {m_out});
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
    for (const QStringList &t : titles) {
        const QString cat = m_base + "/" + t[0], genre = cat + "/" + t[1], title = makeDir(genre + "/" + t[2]);
        if (!m_categories.contains(t[0])) {
            m_categories << t[0];
            sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {cat, t[0]});
        }
        sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) select ID, ?, ? from photoGraph where topFolderName=? "
                 "and not exists (select 1 from photoYear where yearFolder=?)", {genre, t[1], t[0], genre});
        // Every title's open button leads to a page of an awkward name in its folder.
        const QString opened = writeFile(title + "/o:pen #1%.html", "<html>opened</html>");
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsPhoto, IventsHtmlButton, iventsHTML, Ivents) "
                 "select ID, ID1, ?, ?, ?, -1, ?, ? from photoYear where yearFolder=?",
            {t[2], title, t.size() > 6 ? QVariant(t[6] == "stored" ? title + "/" + t[3] : t[3]) : QVariant(), opened, opened, genre});
        const int o = t[0] == "向き" ? t[2].right(1).toInt() : 0;
        QVERIFY(quarters(t[4].toInt(), t[5].toInt(), o).save(title + "/" + t[3]));
        if (o)
            writeFile(title + "/" + t[3], readFile(title + "/" + t[3]).insert(2, exifSegment(qPrintable(t[2].left(2)), o)));
    }
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    QVERIFY(HtmlFileCreate(g, ds));

    // Let the system pick a free port, then hand it to chromedriver.
    const int s = loopback(0, false);
    sockaddr_in a{};
    socklen_t len = sizeof a;
    QVERIFY(s >= 0 && ::getsockname(s, (sockaddr *)&a, &len) == 0);
    m_port = ntohs(a.sin_port);
    ::close(s);
    m_driver.start(driver, {QString("--port=%1").arg(m_port)});
    QVERIFY2(m_driver.waitForStarted(), "chromedriver did not start");
    QDeadlineTimer ready(20000);
    while (!http(m_port, "GET", "/status").value("value").toObject().value("ready").toBool() && !ready.hasExpired())
        QThread::msleep(100);
    const QJsonArray args = {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--window-size=1280,2400",
                             "--user-data-dir=" + m_dir.path() + "/profile"};
    const QJsonObject caps{{"alwaysMatch", QJsonObject{{"goog:chromeOptions", QJsonObject{{"binary", chromium}, {"args", args}}}}}};
    const QJsonObject reply = http(m_port, "POST", "/session", {{"capabilities", caps}});
    m_session = reply.value("value").toObject().value("sessionId").toString().toUtf8();
    QVERIFY2(!m_session.isEmpty(), QJsonDocument(reply).toJson().left(600).constData());
    http(m_port, "POST", "/session/" + m_session + "/url", {{"url", QUrl::fromLocalFile(m_out + "/アルバム.html").toString()}});
    // The bar lists every category by its name; the blue blank page stands beside it.
    QVERIFY(waitFor(0, "return document.readyState === 'complete' && document.characterSet === 'UTF-8';"));
    QCOMPARE(js(0, "return [...document.querySelectorAll('option')].map(o => o.text);").toArray().toVariantList(),
             QVariantList{"Choose!"} + QVariant(m_categories).toList());
    QVERIFY(waitFor(1, "return getComputedStyle(document.body).backgroundColor === 'rgb(0, 0, 255)';"));
}

void TestHtmlBrowser::cleanupTestCase()
{
    if (!m_session.isEmpty())
        http(m_port, "DELETE", "/session/" + m_session);  // ends the browser too
    m_driver.terminate();
    m_driver.waitForFinished(5000);
}

void TestHtmlBrowser::categoryAndGenre_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QJsonArray>("images");  // per genre in page order: folder/file, width, height of each picture
    QTest::newRow("Japanese names") << 1 << QJsonArray{QJsonArray{"Trip #1/shore.png", 60, 120, "京都/寺.jpg", 120, 90}};
    QTest::newRow("apostrophe, # and %") << 2 << QJsonArray{QJsonArray{"海/100% blue.jpg", 120, 40}};
    QTest::newRow("colon, leading blank") << 3 << QJsonArray{QJsonArray{"t:1/x.png", 120, 60}};
    QTest::newRow("own page name, backslash, tab") << 4 << QJsonArray{QJsonArray{"tab\there /pic:1 #.jpg", 60, 120}};
    QTest::newRow("own page name, line feed") << 5 << QJsonArray{QJsonArray{" t/q.png", 120, 120}};
    QTest::newRow("too long a name") << 6 << QJsonArray{QJsonArray{"c:\\d/a.jpg", 120, 120}};
    QJsonArray turned;  // all upright 200 x 400, whatever the stored shape
    for (const char *order : {"II", "MM"})
        for (int o = 1; o <= 8; ++o)
            turned << QString("%1 %2/p.jpg").arg(order).arg(o) << 60 << 120;
    QTest::newRow("Exif orientations") << 7 << QJsonArray{turned};
}

// Every reference leads to its file: the category page of each option, the genre page
// of each link with every picture decoded at its fitted size and drawn upright (its
// quarters in place), and each open button's page.
void TestHtmlBrowser::categoryAndGenre()
{
    QFETCH(int, option);
    QFETCH(QJsonArray, images);
    // Choose the category as a user would: the select's change runs the page's own script.
    js(0, QString("const s = document.querySelector('select'); s.selectedIndex = %1;"
                  "s.dispatchEvent(new Event('change')); return 0;").arg(option));
    const QString page = m_out + "/sub/" + CategoryPageFiles(m_categories)[option - 1];
    QVERIFY(QFileInfo(page).isFile());
    QVERIFY2(waitFor(1, "return document.readyState === 'complete' && decodeURIComponent(location.pathname) === "
                            + QJsonDocument(QJsonArray{page}).toJson(QJsonDocument::Compact).mid(1).chopped(1) + ";"),
             qPrintable(page));
    const QJsonArray genres = js(1, "return [...document.links].map(a => decodeURIComponent(new URL(a.href).pathname));").toArray();
    QCOMPARE(genres.size(), images.size());
    for (int i = 0; i < genres.size(); ++i) {
        const QString index = genres[i].toString();
        QVERIFY2(QFileInfo(index).isFile() && index.startsWith(m_base + "/"), qPrintable(index));
        js(1, QString("document.links[%1].click(); return 0;").arg(i));
        const QString quoted = QJsonDocument(QJsonArray{index}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
        QVERIFY2(waitFor(2, "return document.readyState === 'complete' && decodeURIComponent(location.pathname) === "
                                + quoted + " && [...document.images].every(i => i.complete);"),
                 qPrintable(index));
        QCOMPARE(js(2, "return [...document.images].flatMap(i => i.naturalWidth > 0 ? "
                       "[decodeURIComponent(i.src.split('/').slice(-2).join('/')), i.width, i.height] : ['broken', i.src]);"),
                 QJsonValue(images[i]));
        const QJsonArray opened = js(2, "const got = []; window.open = a => got.push(a);"
                                        "document.querySelectorAll('input').forEach(b => b.click());"
                                        "return got.map(a => decodeURIComponent(new URL(a, location.href).pathname));").toArray();
        QVERIFY(!opened.isEmpty());
        for (const QJsonValue &o : opened)
            QVERIFY2(o.toString().endsWith("/o:pen #1%.html") && QFileInfo(o.toString()).isFile(), qPrintable(o.toString()));
        const QByteArray at = "/session/" + m_session;  // frame 2 is still the current one
        const QJsonArray found = http(m_port, "POST", at + "/elements", {{"using", "css selector"}, {"value", "img"}}).value("value").toArray();
        const QJsonArray want = images[i].toArray();
        QCOMPARE(found.size() * 3, want.size());
        for (int k = 0; k < found.size(); ++k) {
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

QTEST_GUILESS_MAIN(TestHtmlBrowser)
#include "test_htmlbrowser.moc"
