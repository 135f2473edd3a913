// The generated site in a real browser: headless Chromium driven through chromedriver
// opens "アルバム.html" from disk, picks categories in the top frame, follows the genre
// links and checks the thumbnails that load in the right frame.
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
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
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "DialogService.h"
#include "Global.h"
#include "HtmlOut.h"
#include "TestSupport.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

const QString kElementKey = QStringLiteral("element-6066-11e4-a52e-4f735466cecf");

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// One HTTP exchange with chromedriver on the loopback; returns the body, or a null
// array when the connection fails.
QByteArray httpExchange(int port, const QByteArray &method, const QByteArray &path, const QByteArray &body)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return QByteArray();
    timeval tv{60, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        return QByteArray();
    }
    QByteArray req = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                     + "Content-Type: application/json; charset=utf-8\r\nContent-Length: "
                     + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    for (qsizetype sent = 0; sent < req.size();) {
        const ssize_t n = ::send(s, req.constData() + sent, size_t(req.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) {
            ::close(s);
            return QByteArray();
        }
        sent += n;
    }
    // Read up to the end of the body that Content-Length announces, or to the close.
    QByteArray resp;
    char buf[16384];
    qsizetype bodyStart = -1;
    qsizetype length = -1;
    for (;;) {
        if (bodyStart >= 0 && length >= 0 && resp.size() >= bodyStart + length)
            break;
        const ssize_t n = ::recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        resp.append(buf, n);
        if (bodyStart < 0 && (bodyStart = resp.indexOf("\r\n\r\n")) >= 0) {
            bodyStart += 4;
            for (const QByteArray &line : resp.left(bodyStart).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
        }
    }
    ::close(s);
    if (bodyStart < 0)
        return QByteArray();
    return length >= 0 ? resp.mid(bodyStart, length) : resp.mid(bodyStart);
}

// A JavaScript string literal for text.
QString jsString(const QString &text)
{
    const QString json = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return json.mid(1).chopped(1);
}

// A script that is true when the frame shows the page at this path on disk, loaded.
QString showsFile(const QString &path, const QString &extra = QString())
{
    return QStringLiteral("return decodeURIComponent(location.pathname) === %1 && document.readyState === 'complete'%2;")
        .arg(jsString(path), extra);
}

QImage picture(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

}  // namespace

class TestHtmlBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void frameset();
    void categoryBar();
    void japaneseCategory();
    void apostropheCategoryAndHashFolder();

private:
    // A WebDriver command; returns its "value", failing the test on an error.
    QJsonValue command(const QByteArray &method, const QString &path, const QJsonObject &body = {});
    QJsonValue execute(const QString &script);
    QString findElement(const QString &css);
    void toTop();
    void toFrame(const QString &name);
    // Polls a script in a frame until it returns true.
    bool waitInFrame(const QString &frame, const QString &script, int ms = 15000);
    void chooseOption(const QString &text);
    void checkGenre(const QString &category, const QString &genre, const QJsonArray &images);

    QTemporaryDir m_dir{QDir::tempPath() + "/htmlbrowser-XXXXXX"};
    QTemporaryDir m_profile;
    QProcess m_driver;
    int m_port = 0;
    QString m_session;
    qint64 m_browserPid = 0;
    QString m_out;
    QString m_base;
    bool m_failed = false;
};

QJsonValue TestHtmlBrowser::command(const QByteArray &method, const QString &path, const QJsonObject &body)
{
    const QByteArray url = (QStringLiteral("/session/") + m_session + path).toUtf8();
    const QByteArray raw = httpExchange(m_port, method, url,
                                        method == "GET" || method == "DELETE" ? QByteArray()
                                                                              : QJsonDocument(body).toJson(QJsonDocument::Compact));
    const QJsonObject reply = QJsonDocument::fromJson(raw).object();
    const QJsonValue value = reply.value(QStringLiteral("value"));
    if (raw.isNull() || (value.isObject() && value.toObject().contains(QStringLiteral("error")))) {
        m_failed = true;
        qWarning("WebDriver %s %s failed: %s", method.constData(), qPrintable(path), raw.left(400).constData());
    }
    return value;
}

QJsonValue TestHtmlBrowser::execute(const QString &script)
{
    return command("POST", QStringLiteral("/execute/sync"),
                   {{QStringLiteral("script"), script}, {QStringLiteral("args"), QJsonArray()}});
}

QString TestHtmlBrowser::findElement(const QString &css)
{
    const QJsonValue v = command("POST", QStringLiteral("/element"),
                                 {{QStringLiteral("using"), QStringLiteral("css selector")}, {QStringLiteral("value"), css}});
    return v.toObject().value(kElementKey).toString();
}

void TestHtmlBrowser::toTop()
{
    command("POST", QStringLiteral("/frame"), {{QStringLiteral("id"), QJsonValue::Null}});
}

void TestHtmlBrowser::toFrame(const QString &name)
{
    toTop();
    const QString el = findElement(QStringLiteral("frame[name=%1]").arg(name));
    command("POST", QStringLiteral("/frame"), {{QStringLiteral("id"), QJsonObject{{kElementKey, el}}}});
}

bool TestHtmlBrowser::waitInFrame(const QString &frame, const QString &script, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        toFrame(frame);
        if (execute(script).toBool())
            return true;
        QThread::msleep(100);
    }
    return false;
}

void TestHtmlBrowser::initTestCase()
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    const QString driver = QStandardPaths::findExecutable(QStringLiteral("chromedriver"));
    if (chromium.isEmpty() || driver.isEmpty())
        QSKIP("chromium and chromedriver are needed for this test (Debian packages chromium, chromium-driver)");
    QVERIFY(m_dir.isValid() && m_profile.isValid());

    // The site: Japanese names, an apostrophe in a category, "#" in folder names.
    m_base = m_dir.path() + QStringLiteral("/写真");
    m_out = makeDir(m_dir.path() + QStringLiteral("/サイト"));
    const QString lib = makeLibrary(m_dir.path());
    sql(lib, "insert into systemdir (ID, htmlDir) values (1, ?)", {m_out});
    struct Title {
        QString category, genre, title, file;
        int w, h;
        bool stored;  // the title's chosen photo, by its absolute path
    };
    const QList<Title> titles = {
        {"旅行", "2001", "京都", "寺.jpg", 640, 480, false},
        {"旅行", "2001", "Trip #1", "shore.png", 300, 600, true},
        {"旅行", "2002", "奈良", "鹿.jpg", 50, 50, false},
        {"Bob's", "Trip #2", "海", "100% blue.jpg", 1000, 333, false},
    };
    QStringList cats, genres;
    for (const Title &t : titles) {
        const QString catFolder = m_base + "/" + t.category;
        const QString genreFolder = catFolder + "/" + t.genre;
        const QString titleFolder = makeDir(genreFolder + "/" + t.title);
        if (!cats.contains(t.category)) {
            cats << t.category;
            sql(lib, "insert into photoGraph (topFolder, topFolderName) values (?, ?)", {catFolder, t.category});
        }
        const int catId = sqlColumn(lib, "select ID from photoGraph where topFolderName=?", {t.category}).first().toInt();
        if (!genres.contains(genreFolder)) {
            genres << genreFolder;
            sql(lib, "insert into photoYear (ID, yearFolder, yearFolderName) values (?, ?, ?)",
                {catId, genreFolder, t.genre});
        }
        const int genreId = sqlColumn(lib, "select ID1 from photoYear where yearFolder=?", {genreFolder}).first().toInt();
        sql(lib, "insert into photoIvents (ID, ID1, iventsFolderName, iventsFolder, iventsPhoto) values (?, ?, ?, ?, ?)",
            {catId, genreId, t.title, titleFolder, t.stored ? QVariant(titleFolder + "/" + t.file) : QVariant()});
        QVERIFY(picture(t.w, t.h, qRgb(40, 90, 200)).save(titleFolder + "/" + t.file));
    }
    Global g = makeGlobal(lib);
    ScriptedDialogService ds;
    QVERIFY(HtmlFileCreate(g, ds));
    QCOMPARE(ds.calls.size(), 0);

    m_port = freePort();
    QVERIFY(m_port > 0);
    m_driver.setProcessChannelMode(QProcess::MergedChannels);
    m_driver.start(driver, {QStringLiteral("--port=%1").arg(m_port)});
    QVERIFY2(m_driver.waitForStarted(), "chromedriver did not start");
    QDeadlineTimer ready(20000);
    while (!ready.hasExpired()) {
        const QJsonObject st = QJsonDocument::fromJson(httpExchange(m_port, "GET", "/status", {})).object();
        if (st.value("value").toObject().value("ready").toBool())
            break;
        QThread::msleep(100);
    }
    QVERIFY2(!ready.hasExpired(), "chromedriver did not become ready");

    const QJsonArray args = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                             "--disable-background-networking", "--disable-component-update", "--disable-sync",
                             "--allow-file-access-from-files", "--user-data-dir=" + m_profile.path()};
    const QJsonObject caps{
        {"capabilities",
         QJsonObject{{"alwaysMatch", QJsonObject{{"goog:chromeOptions",
                                                   QJsonObject{{"binary", chromium}, {"args", args}}}}}}}};
    const QJsonObject reply =
        QJsonDocument::fromJson(httpExchange(m_port, "POST", "/session", QJsonDocument(caps).toJson())).object();
    m_session = reply.value("value").toObject().value("sessionId").toString();
    m_browserPid = reply.value("value").toObject().value("capabilities").toObject().value("goog:processID").toInteger();
    QVERIFY2(!m_session.isEmpty(), QJsonDocument(reply).toJson().left(600).constData());

    command("POST", "/url", {{"url", QUrl::fromLocalFile(m_out + "/アルバム.html").toString(QUrl::FullyEncoded)}});
    QVERIFY(!m_failed);
}

void TestHtmlBrowser::cleanupTestCase()
{
    if (!m_session.isEmpty())
        httpExchange(m_port, "DELETE", ("/session/" + m_session).toUtf8(), {});
    if (m_browserPid > 0 && ::kill(pid_t(m_browserPid), 0) == 0) {
        ::kill(pid_t(m_browserPid), SIGTERM);
    }
    if (m_driver.state() != QProcess::NotRunning) {
        m_driver.terminate();
        if (!m_driver.waitForFinished(5000)) {
            m_driver.kill();
            m_driver.waitForFinished();
        }
    }
}

void TestHtmlBrowser::frameset()
{
    toTop();
    const QJsonArray top = execute(R"(
        return [document.title, document.characterSet,
                Array.from(document.querySelectorAll('frame')).map(f => f.name)];)").toArray();
    QCOMPARE(top.at(0).toString(), QStringLiteral("カテゴリﾌｫﾙﾀﾞ管理"));
    QCOMPARE(top.at(1).toString(), QStringLiteral("UTF-8"));
    QCOMPARE(top.at(2).toArray(), (QJsonArray{"Frame2", "Frame3", "Frame4"}));
    // Every frame's page has loaded: the bar, the blue blank page, the white blank page.
    QVERIFY(waitInFrame("Frame2", "return document.readyState === 'complete' && !!document.querySelector('select');"));
    QVERIFY(waitInFrame("Frame3", showsFile(m_out + "/sub/b.html",
                                            " && getComputedStyle(document.body).backgroundColor === 'rgb(0, 0, 255)'")));
    QVERIFY(waitInFrame("Frame4", showsFile(m_out + "/sub/c.html")));
    QVERIFY(!m_failed);
}

void TestHtmlBrowser::categoryBar()
{
    toFrame("Frame2");
    const QJsonArray bar = execute(R"(
        return [document.characterSet,
                Array.from(document.querySelectorAll('option')).map(o => o.text),
                document.body.innerText];)").toArray();
    QCOMPARE(bar.at(0).toString(), QStringLiteral("UTF-8"));
    QCOMPARE(bar.at(1).toArray(), (QJsonArray{"Choose!", "旅行", "Bob's"}));
    const QString text = bar.at(2).toString();
    QVERIFY2(text.contains(QStringLiteral("カテゴリを選択してください。")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("今日は、")) && text.contains(QStringLiteral("曜日です。")), qPrintable(text));
    QVERIFY(!m_failed);
}

void TestHtmlBrowser::chooseOption(const QString &text)
{
    toFrame("Frame2");
    execute(QStringLiteral("Array.from(document.querySelectorAll('option')).find(o => o.text === %1)"
                           ".setAttribute('data-pick', '1'); return 0;")
                .arg(jsString(text)));
    const QString el = findElement("option[data-pick='1']");
    QVERIFY(!el.isEmpty());
    command("POST", "/element/" + el + "/click", {});
    execute("document.querySelector(\"option[data-pick='1']\").removeAttribute('data-pick'); return 0;");
}

void TestHtmlBrowser::checkGenre(const QString &category, const QString &genre, const QJsonArray &images)
{
    const QString categoryPage = m_out + "/sub/" + category + ".html";
    QVERIFY2(waitInFrame("Frame3", showsFile(categoryPage)), qPrintable(categoryPage));
    QVERIFY(waitInFrame("Frame4", showsFile(m_out + "/sub/c.html")));

    toFrame("Frame3");
    const QJsonArray links = execute("return Array.from(document.links).map(a => [a.text, a.target]);").toArray();
    QVERIFY2(links.contains(QJsonArray{genre, "Frame4"}), QJsonDocument(links).toJson().constData());
    execute(QStringLiteral("Array.from(document.links).find(a => a.text === %1).setAttribute('data-pick', '1');"
                           "return 0;")
                .arg(jsString(genre)));
    const QString link = findElement("a[data-pick='1']");
    QVERIFY(!link.isEmpty());
    command("POST", "/element/" + link + "/click", {});

    const QString index = m_base + "/" + category + "/" + genre + "/nIndex.html";
    QVERIFY2(waitInFrame("Frame4", showsFile(index, " && Array.from(document.images).every(i => i.complete)")),
             qPrintable(index));
    toFrame("Frame4");
    const QJsonArray seen = execute(R"(
        return Array.from(document.images).map(i => [decodeURIComponent(i.src.split('/').slice(-2).join('/')),
                                                     i.naturalWidth > 0, i.width, i.height]);)").toArray();
    QCOMPARE(seen, images);
    QVERIFY(!m_failed);
}

void TestHtmlBrowser::japaneseCategory()
{
    chooseOption("旅行");
    checkGenre("旅行", "2001", QJsonArray{QJsonArray{"Trip #1/shore.png", true, 60, 120},
                                        QJsonArray{"京都/寺.jpg", true, 120, 90}});
    // "Choose!" blanks the left frame; choosing the category again starts over.
    chooseOption("Choose!");
    QVERIFY(waitInFrame("Frame3", showsFile(m_out + "/sub/b.html")));
    chooseOption("旅行");
    checkGenre("旅行", "2002", QJsonArray{QJsonArray{"奈良/鹿.jpg", true, 120, 120}});
}

void TestHtmlBrowser::apostropheCategoryAndHashFolder()
{
    chooseOption("Bob's");
    checkGenre("Bob's", "Trip #2", QJsonArray{QJsonArray{"海/100% blue.jpg", true, 120, 40}});
}

QTEST_GUILESS_MAIN(TestHtmlBrowser)
#include "test_htmlbrowser.moc"
