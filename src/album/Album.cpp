#include "Album.h"

#include "CopyFolder.h"
#include "Database.h"
#include "Global.h"
#include "HtmlOut.h"
#include "ImageSize.h"
#include "MediaModule.h"
#include "PageFile.h"
#include "Paths.h"
#include "Poster.h"
#include "PosterCache.h"
#include "SourceFile.h"
#include "Thumbnail.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <kainjow/mustache.hpp>

#include <atomic>
#include <condition_variable>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace tessaly::album {

using namespace htmlout;
namespace mu = kainjow::mustache;

namespace {

const QString kAlbumTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ウェブアルバム"));
const QString kFolder = QStringLiteral("album");
constexpr int kQuality = 82;
// Every size from one decode; the large one last, so the next run takes the set as
// whole when it finds that one.
const QList<int> kSides = {kThumbSide, kThumb2xSide, kMediumSide, kLargeSide};

std::string u8(const QString &s)
{
    return s.toStdString();
}

// ---- The templates: files beside the program, so the look changes without the generator.

class Templates {
public:
    // Empty text when every template was read, else why not.
    QString load(const QString &folder)
    {
        std::map<std::string, std::string> parts;
        for (const char *name : {"head", "foot", "home", "category", "genre", "title", "view"}) {
            QFile f(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".mustache"));
            if (!f.open(QIODevice::ReadOnly))
                return QCoreApplication::translate("Album", "ウェブアルバムのひな形「%1」を読めません。(%2)").arg(f.fileName(), f.errorString());
            parts[name] = f.readAll().toStdString();
            const mu::mustache check(parts[name]);
            if (!check.is_valid())
                return QCoreApplication::translate("Album", "ウェブアルバムのひな形「%1」に誤りがあります。(%2)")
                    .arg(f.fileName(), QString::fromStdString(check.error_message()));
        }
        for (const char *name : {"home", "category", "genre", "title", "view"}) {
            // The shared head and foot put in as text: each page is parsed once, not on every render.
            std::string text = parts.at(name);
            for (const char *part : {"head", "foot"}) {
                const std::string tag = std::string("{{>") + part + "}}";
                for (size_t at = 0; (at = text.find(tag, at)) != std::string::npos; at += parts.at(part).size())
                    text.replace(at, tag.size(), parts.at(part));
            }
            m_pages[name] = std::make_unique<mu::mustache>(text);
        }
        for (const char *name : {"style.css", "album.js"}) {
            QFile f(folder + QLatin1Char('/') + QLatin1String(name));
            if (!f.open(QIODevice::ReadOnly))
                return QCoreApplication::translate("Album", "ウェブアルバムのひな形「%1」を読めません。(%2)").arg(f.fileName(), f.errorString());
            m_files[name] = f.readAll();
        }
        return QString();
    }

    // The page name filled with d; every value HTML-escaped unless a template says otherwise.
    QByteArray render(const char *name, const mu::data &d) const
    {
        return QByteArray::fromStdString(m_pages.at(name)->render(d));
    }
    const QByteArray &file(const char *name) const { return m_files.at(name); }

private:
    std::map<std::string, std::unique_ptr<mu::mustache>> m_pages;
    std::map<std::string, QByteArray> m_files;
};

// ---- What the pages show.

struct Item {
    QString name;  // in the title folder
    QString path;
    bool video = false;
    // Filled by the workers.
    enum class State { Open, Missing, Outside } state = State::Missing;
    QString fault;   // why it is not shown
    QString key;     // a photo's cache key: the stem of its renditions
    int width = 0;   // the large rendition's, or the poster's
    int height = 0;
    QString type;      // a video's MIME type where a browser plays it
    QString videoRel;  // where the video lies in the copy
    QString posterRel; // where its poster lies in the copy
    QString id;        // its anchor on the view page
    QList<Rendition> made;  // renditions decoded by this run, until they are written
};

struct Title {
    qint32 id = 0;
    QString name, folder, photo, link, dir;  // dir: the title's folder in the copy
    QString openRel;  // the copy's path of its 開く page, or empty
    bool linkShown = false;
    QList<Item> items;
    int photos = 0, videos = 0;
};

struct Cover {
    QString src, srcset;
    int width = 0, height = 0;
    bool isSet() const { return !src.isEmpty(); }
};

struct Counts {
    int photos = 0, videos = 0;
};

QString renditionRel(const QString &key, int side)
{
    return kFolder + QStringLiteral("/r/") + key.left(2) + QLatin1Char('/') + key + QLatin1Char('-')
           + QString::number(side) + QStringLiteral(".jpg");
}

// The MIME type a browser takes a video of this name for, where it may play it at all.
QString typeOfName(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("mp4") || suffix == QLatin1String("m4v") || suffix == QLatin1String("mov"))
        return QStringLiteral("video/mp4");
    if (suffix == QLatin1String("webm"))
        return QStringLiteral("video/webm");
    return QString();
}

QString videoRel(const QString &titleDir, const QString &name)
{
    return titleDir + QStringLiteral("/v/") + UniqueFileNames({name}, QString(), {}, 255).constFirst();
}

QString anchorOf(const QString &name)
{
    return QStringLiteral("p-")
           + QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(10));
}

QString viewPage(int index)
{
    const int page = index / kPerViewPage;
    return page == 0 ? QStringLiteral("view.html") : QStringLiteral("view-%1.html").arg(page + 1);
}

// The path from a page at depth (folders below the copy) to rel in the copy, escaped for a URL.
QString href(int depth, const QString &rel)
{
    return QStringLiteral("../").repeated(depth) + LinkEscape(rel);
}

mu::data crumbs(const QList<std::pair<QString, QString>> &trail)
{
    mu::data list{mu::data::type::list};
    for (int i = 0; i < trail.size(); ++i) {
        mu::data c;
        c.set("name", u8(trail[i].first));
        if (i + 1 < trail.size())
            c.set("href", u8(trail[i].second));
        list.push_back(c);
    }
    return list;
}

mu::data coverData(const Cover &c, int depth, const QString &alt)
{
    mu::data d;
    d.set("src", u8(href(depth, c.src)));
    if (!c.srcset.isEmpty())
        d.set("srcset", u8(href(depth, c.srcset) + QStringLiteral(" 2x")));
    d.set("width", std::to_string(c.width));
    d.set("height", std::to_string(c.height));
    d.set("alt", u8(alt));
    return d;
}

QString countText(const Counts &c)
{
    QStringList parts;
    if (c.photos)
        parts << QStringLiteral("写真 %1").arg(c.photos);
    if (c.videos)
        parts << QStringLiteral("ビデオ %1").arg(c.videos);
    return parts.isEmpty() ? QStringLiteral("写真はありません") : parts.join(QStringLiteral("・"));
}

// A card of a list page: a category, a genre or a title, its cover shown from a page at depth.
mu::data card(const QString &name, const QString &link, const QString &count, const Cover &cover, int depth)
{
    mu::data d;
    d.set("name", u8(name));
    d.set("href", u8(link));
    d.set("count", u8(count));
    if (cover.isSet())
        d.set("cover", coverData(cover, depth, name));
    return d;
}

// A title's 開く and ﾘﾝｸ links, from a page at depth.
void setButtons(mu::data &d, const Title &t, int depth)
{
    if (!t.openRel.isEmpty())
        d.set("open", u8(href(depth, t.openRel)));
    if (t.linkShown)
        d.set("link", u8(t.link));
    d.set("buttons", !t.openRel.isEmpty() || t.linkShown);
}

// ---- The run.

class Writer {
public:
    Writer(HtmlRun &run, CopyFolder &copy, const AlbumInput &in, AlbumSummary &s)
        : m_run(run), m_copy(copy), m_in(in), m_s(s), m_poster(in.posterHome)
    {
        m_media = LoadMediaModule();
    }

    bool run();

private:
    // A page or a file of the album: left alone when its bytes are already there.
    void put(const QString &rel, const QByteArray &bytes, bool page = true)
    {
        if (m_copy.keepIfSame(rel, bytes)) {
            if (page)
                ++m_s.unchanged;
        } else {
            m_copy.write(rel, bytes);
            if (page)
                ++m_s.pages;
        }
        m_in.placed(rel);
    }
    QByteArray page(const char *name, mu::data &d, const QString &title, int depth,
                    const QList<std::pair<QString, QString>> &trail)
    {
        d.set("title", u8(title));
        d.set("css", u8(href(depth, kFolder + QStringLiteral("/style.css"))));
        d.set("js", u8(href(depth, kFolder + QStringLiteral("/album.js"))));
        d.set("home", u8(href(depth, QStringLiteral("index.html"))));
        d.set("classic", u8(href(depth, QStringLiteral("アルバム.html"))));
        d.set("crumbs", crumbs(trail));
        return m_templates.render(name, d);
    }

    void loadTitles(RowSet &rs, qint32 genreId, const QString &genreDir, QList<Title> *titles);
    void judge(QList<Title> &titles);
    void judgeItem(Item &item, const QString &titleDir);
    void decode(Item &item, const SourceFile &file);
    void placeItem(Item &item, const QString &titleDir);
    void placePosters(QList<Title> &titles);
    Cover writeTitle(Title &t, const QList<std::pair<QString, QString>> &trail);

    HtmlRun &m_run;
    CopyFolder &m_copy;
    const AlbumInput &m_in;
    AlbumSummary &m_s;
    PosterCache m_poster;
    const MediaApi *m_media = nullptr;
    Templates m_templates;
    std::mutex m_copyLock;  // the workers look into the copy
};

void Writer::loadTitles(RowSet &rs, qint32 genreId, const QString &genreDir, QList<Title> *titles)
{
    rs.requery({genreId});
    QStringList names;
    for (; !rs.eof(); rs.moveNext()) {
        Title t;
        t.id = rs.number(QStringLiteral("ID2"));
        t.name = rs.text(QStringLiteral("iventsFolderName"));
        t.folder = rs.text(QStringLiteral("iventsFolder"));
        t.photo = rs.text(QStringLiteral("iventsPhoto"));
        const QVariant linkButton = rs.value(QStringLiteral("IventsLinkButton"));
        const QString link = rs.text(QStringLiteral("iventsLink"));
        // A link relative to the classic genre page still names the same thing from here.
        if (!linkButton.isNull() && linkButton.toInt() != 0 && !link.isEmpty() && LinkMayOpen(link)) {
            t.link = link;
            t.linkShown = true;
        }
        t.openRel = m_in.openPages.value({genreId, t.name});
        names << t.name;
        titles->append(t);
        m_run.keepAlive();
    }
    const QStringList dirs = UniqueFileNames(names, QString(), {QStringLiteral("index.html")}, 255);
    for (int i = 0; i < titles->size(); ++i) {
        Title &t = (*titles)[i];
        t.dir = genreDir + QLatin1Char('/') + dirs[i];
        if (!isLocalPath(t.folder))
            continue;
        const QList<QByteArray> &photoSuffixes = PhotoSuffixes();
        const QList<QByteArray> &videoSuffixes = VideoSuffixes();
        const auto endsWithAny = [](const QString &name, const QList<QByteArray> &suffixes) {
            for (const QByteArray &s : suffixes)
                if (name.endsWith(QLatin1String(s), Qt::CaseInsensitive))
                    return true;
            return false;
        };
        QSet<QString> ids;
        for (const QString &name : ListFiles(t.folder)) {
            Item item;
            item.video = endsWithAny(name, videoSuffixes);
            if (!item.video && !endsWithAny(name, photoSuffixes))
                continue;
            item.name = name;
            item.path = ChildPath(t.folder, name);
            item.id = anchorOf(name);
            for (int n = 2; ids.contains(item.id); ++n)
                item.id = anchorOf(name) + QLatin1Char('-') + QString::number(n);
            ids.insert(item.id);
            t.items << item;
        }
    }
}

// Every photo and video of the genre, opened once and judged on worker threads (a
// photo decoded where the copy lacks its renditions, a video's codecs read), and put
// into the copy in the genre's order as they come: the copy's list of its files comes
// out the same on every run. The workers run ahead of the placing by a few items only,
// so that memory holds a few photos' renditions at most.
void Writer::judge(QList<Title> &titles)
{
    std::vector<std::pair<Item *, QString>> jobs;
    for (Title &t : titles)
        for (Item &item : t.items)
            jobs.emplace_back(&item, t.dir);
    if (jobs.empty())
        return;
    // A worker takes a few items at a time and the main thread wakes only for an item it
    // waits on: a run with little to decode would otherwise pass every item between threads.
    const size_t n = jobs.size();
    const size_t threads = std::min(n, size_t(std::max(1, QThread::idealThreadCount())));
    const size_t batch = 4, ahead = threads * batch * 2;
    std::mutex lock;
    std::condition_variable room, ready;
    size_t next = 0, placed = 0;
    int sleeping = 0;
    bool waiting = false;
    std::vector<char> done(n, 0);
    const auto share = [&] { return std::min(batch, n - next); };
    const auto work = [&] {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            while (next < n && next + share() > placed + ahead) {
                ++sleeping;
                room.wait(held);
                --sleeping;
            }
            if (next >= n)
                return;
            const size_t from = next;
            next += share();
            const size_t to = next;
            held.unlock();
            for (size_t i = from; i < to; ++i)
                judgeItem(*jobs[i].first, jobs[i].second);
            held.lock();
            std::fill(done.begin() + from, done.begin() + to, 1);
            if (waiting)
                ready.notify_one();
        }
    };
    std::vector<std::thread> pool;
    // A failed write ends the run: the workers take nothing more and are waited for.
    const auto stop = qScopeGuard([&] {
        {
            std::lock_guard<std::mutex> held(lock);
            next = n;
        }
        room.notify_all();
        for (std::thread &t : pool)
            t.join();
    });
    for (size_t i = 0; i < threads; ++i)
        pool.emplace_back(work);
    for (size_t i = 0; i < n; ++i) {
        {
            std::unique_lock<std::mutex> held(lock);
            while (!done[i]) {
                waiting = true;
                ready.wait_for(held, std::chrono::milliseconds(40));
                waiting = false;
                held.unlock();
                m_run.keepAlive();
                held.lock();
            }
        }
        placeItem(*jobs[i].first, jobs[i].second);
        bool wake = false;
        {
            std::lock_guard<std::mutex> held(lock);
            placed = i + 1;
            wake = sleeping > 0 && next < n && next + share() <= placed + ahead;
        }
        if (wake)
            room.notify_one();
    }
}

void Writer::judgeItem(Item &item, const QString &titleDir)
{
    const SourceFile file(item.path, m_in.realBase);
    if (!file.isOpen()) {
        item.state = file.state() == SourceFile::State::Outside ? Item::State::Outside : Item::State::Missing;
        item.fault = file.state() == SourceFile::State::Missing ? QCoreApplication::translate("Album", "ファイルがありません")
                                                                : QCoreApplication::translate("Album", "ファイルを読み取れません");
        return;
    }
    item.state = Item::State::Open;
    if (item.video) {
        if (m_in.videos) {
            // An earlier run placed only a video a browser plays: the same file there is
            // not looked into again.
            std::lock_guard<std::mutex> held(m_copyLock);
            if (m_copy.holdsCopyOf(videoRel(titleDir, item.name), file.stat())) {
                item.type = typeOfName(item.name);
                return;
            }
        }
        if (!m_media || !m_media->probeVideo)
            return;
        MediaVideo probe;
        m_media->probeVideo(file.fd(), &probe);
        item.type = probe.fault ? QString() : PlayableType(probe.container, probe.video, probe.audio, item.name);
        return;
    }
    item.key = file.cacheKey();
    {
        // Made by an earlier run from this very file: the large one, written last, gives
        // the size; the others are looked for as they are placed.
        struct stat st;
        const int fd = m_copy.openRead(renditionRel(item.key, kLargeSide), &st);
        if (fd >= 0) {
            const ImageInfo info = GetImageSizeOf(fd, &st);
            ::close(fd);
            if (info.Format == FormatJpeg && info.Width > 0 && info.Height > 0) {
                item.width = info.Width;
                item.height = info.Height;
                return;
            }
        }
    }
    decode(item, file);
}

void Writer::decode(Item &item, const SourceFile &file)
{
    ThumbFault fault;
    QString detail;
    item.made = MakeRenditions(file, kSides, kQuality, &fault, &detail);
    if (item.made.isEmpty())
        item.fault = ThumbFaultText(fault);
}

void Writer::placeItem(Item &item, const QString &titleDir)
{
    std::lock_guard<std::mutex> held(m_copyLock);  // the workers judge the next items meanwhile
    if (item.state != Item::State::Open)
        return;
    if (item.video) {
        if (item.type.isEmpty() || !m_in.videos)
            return;
        const QString rel = videoRel(titleDir, item.name);
        qint64 size = 0;
        switch (m_copy.place(rel, item.path, &size)) {
        case PlaceResult::Placed:
            m_s.videoBytes += size;
            [[fallthrough]];
        case PlaceResult::Unchanged:
            item.videoRel = rel;
            m_in.placed(rel);
            break;
        case PlaceResult::Missing: item.fault = QCoreApplication::translate("Album", "ファイルがありません"); break;
        case PlaceResult::Outside: item.state = Item::State::Outside; break;
        }
        return;
    }
    if (item.width > 0) {  // as an earlier run made them
        bool all = true;
        for (int side : kSides) {
            if (m_copy.keep(renditionRel(item.key, side)))
                m_in.placed(renditionRel(item.key, side));
            else
                all = false;
        }
        if (all)
            return;
        // One of them went since: the set is made again.
        item.width = item.height = 0;
        const SourceFile file(item.path, m_in.realBase);
        item.key = file.cacheKey();
        if (item.key.isEmpty()) {
            item.fault = QCoreApplication::translate("Album", "ファイルを読み取れません");
            return;
        }
        decode(item, file);
    }
    if (item.made.isEmpty())
        return;
    ++m_s.decoded;
    for (int i = 0; i < kSides.size(); ++i) {
        m_copy.write(renditionRel(item.key, kSides[i]), item.made[i].jpeg);
        m_in.placed(renditionRel(item.key, kSides[i]));
    }
    item.width = item.made.last().width;
    item.height = item.made.last().height;
    item.made.clear();
}

// The posters of the genre's videos, from the output folder's cache into the copy.
void Writer::placePosters(QList<Title> &titles)
{
    QStringList videos;
    for (const Title &t : titles)
        for (const Item &item : t.items)
            if (item.video && item.state == Item::State::Open)
                videos << item.path;
    if (videos.isEmpty() || m_in.posterHome.isEmpty())
        return;
    QHash<QString, PosterEntry> posters;
    for (const PosterEntry &e : m_poster.make(videos, 0, [this] { m_run.keepAlive(); }, m_in.realBase))
        posters.insert(e.video, e);
    for (Title &t : titles)
        for (Item &item : t.items) {
            if (!item.video || item.state != Item::State::Open)
                continue;
            const PosterEntry e = posters.value(item.path);
            if (e.file.isEmpty()) {
                if (item.type.isEmpty())
                    item.fault = PosterFaultText(e.fault);
                continue;
            }
            const QString rel = PosterCache::folderName() + QLatin1Char('/') + e.file;
            const PlaceResult r = m_copy.place(rel, ChildPath(m_poster.folder(), e.file), nullptr, true);
            if (r == PlaceResult::Placed || r == PlaceResult::Unchanged) {
                item.posterRel = rel;
                item.width = e.width;
                item.height = e.height;
                m_in.placed(rel);
            }
        }
}

// The title's grid and its view pages; the title's cover.
Cover Writer::writeTitle(Title &t, const QList<std::pair<QString, QString>> &trail)
{
    QList<Item *> shown;
    for (Item &item : t.items) {
        if (item.state == Item::State::Outside) {
            m_s.outside << item.path;
            continue;
        }
        const bool visible = item.video ? (!item.videoRel.isEmpty() || !item.posterRel.isEmpty()) : item.width > 0;
        if (!visible) {
            m_s.missing << item.path + QStringLiteral(" (")
                               + (item.fault.isEmpty() ? QCoreApplication::translate("Album", "表示できません") : item.fault) + QLatin1Char(')');
            continue;
        }
        if (item.video) {
            ++t.videos;
            if (item.type.isEmpty())
                m_s.notPlayable << item.path;
        } else {
            ++t.photos;
        }
        shown << &item;
    }
    m_s.photos += t.photos;
    m_s.videos += t.videos;
    const int depth = int(t.dir.count(QLatin1Char('/'))) + 1;

    // The cover: the title's own photo where it is one of those shown, else the first.
    Cover cover;
    Item *coverItem = nullptr;
    for (const bool own : {true, false})
        for (Item *item : std::as_const(shown))
            if (!coverItem && !item->video && (!own || item->name == t.photo))
                coverItem = item;
    for (Item *item : std::as_const(shown))
        if (!coverItem && !item->posterRel.isEmpty())
            coverItem = item;
    if (coverItem) {
        if (coverItem->video) {
            cover.src = coverItem->posterRel;
            cover.width = coverItem->width;
            cover.height = coverItem->height;
        } else {
            const auto [w, h] = FittedSize(coverItem->width, coverItem->height, kThumbSide);
            cover.src = renditionRel(coverItem->key, kThumbSide);
            cover.srcset = renditionRel(coverItem->key, kThumb2xSide);
            cover.width = w;
            cover.height = h;
        }
    }

    const auto slideHref = [&](int from, int to) {
        const QString pageName = viewPage(to);
        return (viewPage(from) == pageName ? QString() : pageName) + QLatin1Char('#') + shown[to]->id;
    };
    QList<std::pair<QString, QString>> here = trail;
    here.append({t.name, QString()});

    // The grid.
    {
        mu::data items{mu::data::type::list};
        for (int i = 0; i < shown.size(); ++i) {
            const Item &item = *shown[i];
            mu::data d;
            d.set("id", u8(item.id));
            d.set("href", u8(viewPage(i) + QLatin1Char('#') + item.id));
            d.set("alt", u8(t.name + QStringLiteral(" ") + item.name));
            if (item.video) {
                d.set("video", true);
                if (!item.posterRel.isEmpty()) {
                    Cover c{item.posterRel, QString(), item.width, item.height};
                    d.set("thumb", coverData(c, depth, t.name + QStringLiteral(" ") + item.name));
                }
            } else {
                const auto [w, h] = FittedSize(item.width, item.height, kThumbSide);
                Cover c{renditionRel(item.key, kThumbSide), renditionRel(item.key, kThumb2xSide), w, h};
                d.set("thumb", coverData(c, depth, t.name + QStringLiteral(" ") + item.name));
            }
            items.push_back(d);
        }
        mu::data d;
        d.set("items", items);
        d.set("name", u8(t.name));
        d.set("count", u8(countText({t.photos, t.videos})));
        d.set("empty", shown.isEmpty());
        setButtons(d, t, depth);
        put(t.dir + QStringLiteral("/index.html"), page("title", d, t.name, depth, here));
    }

    // The view pages: every photo at its own address, next and previous by links, swipe by scrolling.
    for (int first = 0; first < shown.size(); first += kPerViewPage) {
        mu::data slides{mu::data::type::list};
        const int last = std::min<int>(first + kPerViewPage, shown.size());
        for (int i = first; i < last; ++i) {
            const Item &item = *shown[i];
            mu::data d;
            d.set("id", u8(item.id));
            d.set("name", u8(item.name));
            d.set("alt", u8(t.name + QStringLiteral(" ") + item.name));
            d.set("position", u8(QStringLiteral("%1 / %2").arg(i + 1).arg(shown.size())));
            d.set("grid", u8(QStringLiteral("index.html#") + item.id));
            if (i > 0)
                d.set("prev", u8(slideHref(i, i - 1)));
            if (i + 1 < shown.size())
                d.set("next", u8(slideHref(i, i + 1)));
            if (item.video) {
                mu::data v;
                if (!item.posterRel.isEmpty()) {
                    v.set("poster", u8(href(depth, item.posterRel)));
                    v.set("width", std::to_string(item.width));
                    v.set("height", std::to_string(item.height));
                }
                if (!item.videoRel.isEmpty()) {
                    v.set("src", u8(href(depth, item.videoRel)));
                    v.set("type", u8(item.type));
                } else {
                    v.set("note", u8(item.type.isEmpty() ? QStringLiteral("このビデオはブラウザでは再生できない形式です。")
                                                         : QStringLiteral("ビデオはコピーしていません。")));
                }
                d.set("video", v);
            } else {
                const auto [mw, mh] = FittedSize(item.width, item.height, kMediumSide);
                const double ratio = double(item.width) / item.height;
                mu::data p;
                p.set("src", u8(href(depth, renditionRel(item.key, kMediumSide))));
                QString srcset = href(depth, renditionRel(item.key, kMediumSide)) + QStringLiteral(" %1w").arg(mw);
                if (item.width > mw)
                    srcset += QStringLiteral(", ") + href(depth, renditionRel(item.key, kLargeSide))
                              + QStringLiteral(" %1w").arg(item.width);
                p.set("srcset", u8(srcset));
                p.set("ratio", u8(QString::number(ratio, 'f', 4)));
                p.set("width", std::to_string(mw));
                p.set("height", std::to_string(mh));
                p.set("large", u8(href(depth, renditionRel(item.key, kLargeSide))));
                d.set("photo", p);
            }
            slides.push_back(d);
        }
        mu::data d;
        d.set("slides", slides);
        d.set("name", u8(t.name));
        d.set("grid", "index.html");
        put(t.dir + QLatin1Char('/') + viewPage(first), page("view", d, t.name, depth, here));
    }
    return cover;
}

bool Writer::run()
{
    const QString why = m_templates.load(TemplateFolder());
    if (!why.isEmpty()) {
        m_run.report(why, kAlbumTitle);
        return false;
    }
    // Categories in the library's order, their genres and titles as the classic pages sort them.
    struct Genre {
        qint32 id;
        QString name;
    };
    struct Category {
        qint32 id;
        QString name;
        QList<Genre> genres;
    };
    QList<Category> categories;
    // One connection for the run: each genre's titles are read again through it (the rows
    // are read whole, so no lock is held meanwhile).
    std::optional<Connection> conn;
    std::optional<RowSet> titleRows;
    try {
        conn.emplace(m_run.global().dbConnectString);
        titleRows.emplace(*conn,
                          QStringLiteral("select * from photoivents where ID1=? "
                                         "order by iventsfoldername collate nocase, iventsfoldername, ID2"),
                          QVariantList{0});
        for (RowSet cats(*conn, QStringLiteral("photograph")); !cats.eof(); cats.moveNext())
            categories.append({cats.number(QStringLiteral("ID")), cats.text(QStringLiteral("topFolderName")), {}});
        RowSet genres(*conn, QStringLiteral("select * from photoyear where ID=? "
                                           "order by yearfoldername collate nocase, yearfoldername, ID1"),
                      {0});
        for (Category &c : categories)
            for (genres.requery({c.id}); !genres.eof(); genres.moveNext())
                c.genres.append({genres.number(QStringLiteral("ID1")), genres.text(QStringLiteral("yearFolderName"))});
    } catch (const DbError &e) {
        reportFailure(m_run, e, kAlbumTitle);
        return false;
    }

    try {
        put(kFolder + QStringLiteral("/style.css"), m_templates.file("style.css"), false);
        put(kFolder + QStringLiteral("/album.js"), m_templates.file("album.js"), false);
        QStringList catNames;
        for (const Category &c : categories)
            catNames << c.name;
        // "r" holds the renditions.
        const QStringList catDirs = UniqueFileNames(catNames, QString(),
                                                    {QStringLiteral("r"), QStringLiteral("style.css"),
                                                     QStringLiteral("album.js")}, 255);
        const QString homeName = QStringLiteral("アルバム");
        mu::data homeList{mu::data::type::list};
        for (int ci = 0; ci < categories.size(); ++ci) {
            const Category &cat = categories[ci];
            const QString catDir = kFolder + QLatin1Char('/') + catDirs[ci];
            QStringList genreNames;
            for (const Genre &g : cat.genres)
                genreNames << g.name;
            const QStringList genreDirs = UniqueFileNames(genreNames, QString(), {QStringLiteral("index.html")}, 255);
            mu::data genreList{mu::data::type::list};
            Counts catCounts;
            Cover catCover;
            for (int gi = 0; gi < cat.genres.size(); ++gi) {
                const Genre &genre = cat.genres[gi];
                const QString genreDir = catDir + QLatin1Char('/') + genreDirs[gi];
                QList<Title> titles;
                loadTitles(*titleRows, genre.id, genreDir, &titles);
                judge(titles);
                placePosters(titles);
                const QList<std::pair<QString, QString>> trail = {
                    {homeName, href(4, QStringLiteral("index.html"))},
                    {cat.name, QStringLiteral("../../index.html")},
                    {genre.name, QStringLiteral("../index.html")}};
                mu::data titleList{mu::data::type::list};
                Counts genreCounts;
                Cover genreCover;
                for (Title &t : titles) {
                    const Cover cover = writeTitle(t, trail);
                    genreCounts.photos += t.photos;
                    genreCounts.videos += t.videos;
                    if (!genreCover.isSet())
                        genreCover = cover;
                    mu::data d = card(t.name, LinkEscape(t.dir.mid(genreDir.size() + 1)) + QStringLiteral("/index.html"),
                                      countText({t.photos, t.videos}), cover, 3);
                    setButtons(d, t, 3);
                    titleList.push_back(d);
                    m_run.keepAlive();
                }
                mu::data gd;
                gd.set("titles", titleList);
                gd.set("name", u8(genre.name));
                gd.set("count", u8(countText(genreCounts)));
                gd.set("empty", titles.isEmpty());
                put(genreDir + QStringLiteral("/index.html"),
                    page("genre", gd, genre.name, 3,
                         {{homeName, href(3, QStringLiteral("index.html"))},
                          {cat.name, QStringLiteral("../index.html")},
                          {genre.name, QString()}}));
                catCounts.photos += genreCounts.photos;
                catCounts.videos += genreCounts.videos;
                if (!catCover.isSet())
                    catCover = genreCover;
                genreList.push_back(card(genre.name, LinkEscape(genreDirs[gi]) + QStringLiteral("/index.html"),
                                         QStringLiteral("タイトル %1・").arg(titles.size()) + countText(genreCounts),
                                         genreCover, 2));
            }
            mu::data cd;
            cd.set("genres", genreList);
            cd.set("name", u8(cat.name));
            cd.set("count", u8(countText(catCounts)));
            cd.set("empty", cat.genres.isEmpty());
            put(catDir + QStringLiteral("/index.html"),
                page("category", cd, cat.name, 2, {{homeName, href(2, QStringLiteral("index.html"))}, {cat.name, QString()}}));
            homeList.push_back(card(cat.name, LinkEscape(catDir) + QStringLiteral("/index.html"),
                                    QStringLiteral("ジャンル %1・").arg(cat.genres.size()) + countText(catCounts),
                                    catCover, 0));
        }
        if (m_in.home) {
            mu::data hd;
            hd.set("categories", homeList);
            hd.set("empty", categories.isEmpty());
            put(QStringLiteral("index.html"), page("home", hd, homeName, 0, {{homeName, QString()}}));
        }
    } catch (const WriteError &e) {
        reportFailure(m_run, e, kAlbumTitle);
        return false;
    } catch (const DbError &e) {
        reportFailure(m_run, e, kAlbumTitle);
        return false;
    }
    return true;
}

}  // namespace

QString PlayableType(const QString &container, const QStringList &video, const QStringList &audio, const QString &file)
{
    if (video.size() != 1)
        return QString();
    const QString &v = video.constFirst();
    const auto soundIs = [&](std::initializer_list<const char *> codecs) {
        for (const QString &a : audio) {
            bool known = false;
            for (const char *c : codecs)
                known = known || a == QLatin1String(c);
            if (!known)
                return false;
        }
        return true;
    };
    const QString type = typeOfName(file);
    if (type == QLatin1String("video/mp4") && container.startsWith(QLatin1String("mov,mp4")) && v == QLatin1String("h264")
        && soundIs({"aac"}))
        return type;
    if (type == QLatin1String("video/webm") && container.startsWith(QLatin1String("matroska"))
        && (v == QLatin1String("vp8") || v == QLatin1String("vp9") || v == QLatin1String("av1"))
        && soundIs({"opus", "vorbis"}))
        return type;
    return QString();
}

QString TemplateFolder()
{
    const QByteArray own = qgetenv("TESSALY_ALBUM_TEMPLATES");
    if (!own.isEmpty())
        return QFile::decodeName(own);
    return QCoreApplication::applicationDirPath() + QStringLiteral("/album");
}

bool WriteAlbum(HtmlRun &run, CopyFolder &copy, const AlbumInput &input, AlbumSummary *summary)
{
    *summary = AlbumSummary();
    return Writer(run, copy, input, *summary).run();
}

}  // namespace tessaly::album
