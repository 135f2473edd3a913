#include "Publish.h"

#include "Database.h"
#include "Language.h"
#include "DialogService.h"
#include "Global.h"
#include "Album.h"
#include "CopyFolder.h"
#include "FileReplace.h"
#include "PageFile.h"
#include "Paths.h"
#include "PosterCache.h"
#include "ThumbCache.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <optional>

#include <sys/stat.h>

namespace tessaly {

using namespace htmlout;

const QString kPublishTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "公開用にコピー"));

namespace {

const QString kManifest = QStringLiteral(".tessaly-publish");
const QString kIndex = QStringLiteral("index.html");
const QString kRecord = QStringLiteral(".tessaly-publish.run");  // what a run placed so far
const QString kGenres = QStringLiteral("genres");
const QString kPosters = PosterCache::folderName();
const QString kThumbs = ThumbCache::folderName();

// The copy's layout. Everything a genre page shows lies below its own folder, except
// the posters of videos and the thumbnails of photos, which lie in folders of their own. Every file goes into the
// copy through one CopyFolder, which takes nothing from outside the album.
class PublishLayout final : public SiteLayout {
public:
    PublishLayout(CopyFolder &copy, QHash<qint32, QString> genreDirs, int nameMax, const QString &realBase)
        : m_copy(copy), m_folder(copy.path()), m_genreDirs(std::move(genreDirs)), m_nameMax(nameMax),
          m_realBase(realBase)
    {
    }

    QString genrePagePath(const GenreInfo &genre) const override
    {
        ++genrePages;
        return ChildPath(m_folder, genreDir(genre) + QStringLiteral("/nIndex.html"));
    }
    QString genreLink(const GenreInfo &genre) const override
    {
        return QStringLiteral("../") + LinkEscape(genreDir(genre)) + QStringLiteral("/nIndex.html");
    }
    std::optional<QString> pictureSource(const GenreInfo &genre, const Picture &picture) const override
    {
        atGenre(genre);
        if (picture.made) {  // from the local site's caches, into the copy's own folders
            const QString name = LastPathPart(picture.file);
            const bool poster = picture.video;
            const QString folder = poster ? kPosters : kThumbs;
            if (!(poster ? PosterCache::isOwnFile(name) : ThumbCache::isOwnFile(name))
                || !shows(put(folder + QLatin1Char('/') + name, picture.file, name, true)))
                return std::nullopt;
            return QStringLiteral("../../../") + folder + QLatin1Char('/') + LinkEscape(name);
        }
        const auto [result, rel] = place(genre, picture.title, picture.file, LastPathPart(picture.file));
        if (!shows(result))
            return std::nullopt;
        return LinkEscape(rel);
    }
    std::optional<QString> openTarget(const GenreInfo &genre, const QString &title, const QString &ivents) const override
    {
        if (ivents.isEmpty())
            return QString();
        atGenre(genre);
        QString source;  // a page of the other platform cannot be copied
        if (isLocalPath(ivents))
            source = ivents;
        else if (!IsWindowsFormPath(ivents) && isLocalPath(genre.folder))
            source = ChildPath(genre.folder, ivents);
        const auto [result, rel] = place(genre, title, source, LastPathPart(ivents));
        if (result == PlaceResult::Outside)
            return std::nullopt;
        if (shows(result)) {
            placeShownFiles(source, genreDir(genre) + QLatin1Char('/') + rel);
            openPages.insert({genre.id, title}, genreDir(genre) + QLatin1Char('/') + rel);
        }
        return LinkEscape(rel);
    }
    bool pageForEveryGenre() const override { return true; }
    bool thumbnailsOnly() const override { return true; }
    // A thumbnail or a poster shows what its file shows: only a file of the album gets one.
    // No real path lies inside a relative one: a base folder gone since it was judged
    // lets nothing through.
    QString pictureRoot() const override { return m_realBase.isEmpty() ? QStringLiteral("(none)") : m_realBase; }
    void leaveOut(const QString &file) const override
    {
        if (!m_leftOut.contains(file)) {
            m_leftOut.insert(file);
            outside << file;
        }
    }
    void writePage(const QString &path, const QStringList &lines,
                   const std::function<void()> &whileBuilding = {}) const override
    {
        const QString rel = path.mid(m_folder.size() + 1);
        if (!isInside(path, m_folder))
            pathNotFound(path);
        m_copy.write(rel, PageBytes(lines, whileBuilding));
        m_placed.push_back(qHash(rel));
        m_sorted = false;
    }

    // Whether this run wrote or placed rel, once the run is over. A name stands for its
    // 64-bit hash, so that the run holds no list of its files (they go to the copy's run
    // record): two names of one hash would keep an earlier file that was due for removal,
    // never remove one.
    bool placed(const QString &rel) const
    {
        if (!m_sorted) {
            std::sort(m_placed.begin(), m_placed.end());
            m_sorted = true;
        }
        return std::binary_search(m_placed.cbegin(), m_placed.cend(), qHash(rel));
    }

    // Names the web album wrote or found as they were.
    void markPlaced(const QString &rel) const
    {
        m_placed.push_back(qHash(rel));
        m_sorted = false;
    }

    mutable QHash<QPair<qint32, QString>, QString> openPages;  // a title's 開く page in the copy
    mutable int genrePages = 0;
    mutable int copied = 0;
    mutable int unchanged = 0;
    mutable qint64 bytes = 0;
    mutable QStringList missing;
    mutable QStringList outside;

private:
    static bool shows(PlaceResult r) { return r == PlaceResult::Placed || r == PlaceResult::Unchanged; }

    // What a genre's page places lies below the genre's own folder, which no other genre
    // uses, or is a poster or thumbnail of its own titles: the names placed for the genre
    // before are forgotten, so that a run holds one genre's names however large the library.
    void atGenre(const GenreInfo &genre) const
    {
        if (m_genre && *m_genre == genre.id)
            return;
        m_genre = genre.id;
        m_sources.clear();
    }

    QString genreDir(const GenreInfo &genre) const
    {
        const auto it = m_genreDirs.constFind(genre.id);
        // A genre registered while the copy is made, by another program.
        return it != m_genreDirs.cend() ? *it
                                        : kGenres + QStringLiteral("/~%1/~%2").arg(genre.categoryId).arg(genre.id);
    }

    // Puts source into the title's folder of the genre's page under name (or a name
    // made unique when another file took it); the path from the page.
    std::pair<PlaceResult, QString> place(const GenreInfo &genre, const QString &title, const QString &source,
                                          const QString &name) const
    {
        // A title folder never takes the genre page's name.
        const QString dir = UniqueFileNames({title}, QString(), {QStringLiteral("nIndex.html")}, m_nameMax).constFirst();
        const QString base = genreDir(genre) + QLatin1Char('/') + dir + QLatin1Char('/');
        QString file = UniqueFileNames({name}, QString(), {}, m_nameMax).constFirst();
        for (int n = 1; m_sources.contains(base + file) && m_sources.value(base + file).first != source; ++n) {
            const QString tag = QLatin1Char('~')
                                + QString::fromLatin1(QCryptographicHash::hash(source.toUtf8() + QByteArray::number(n),
                                                                               QCryptographicHash::Sha1).toHex().left(8));
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            file = UniqueFileNames({dot > 0 ? name.left(dot) + tag + name.mid(dot) : name + tag}, QString(), {},
                                   m_nameMax).constFirst();
        }
        return {put(base + file, source, name), dir + QLatin1Char('/') + file};
    }

    // Puts source at rel in the copy, once a run.
    PlaceResult put(const QString &rel, const QString &source, const QString &name, bool made = false) const
    {
        const auto known = m_sources.constFind(rel);
        if (known != m_sources.cend())
            return known->second;
        // A poster or thumbnail that an earlier genre showed too is found unchanged.
        qint64 size = 0;
        const PlaceResult result = source.isEmpty() ? PlaceResult::Missing : m_copy.place(rel, source, &size, made);
        m_sources.insert(rel, {source, result});
        switch (result) {
        case PlaceResult::Placed:
            ++copied;
            bytes += size;
            break;
        case PlaceResult::Unchanged:
            ++unchanged;
            break;
        case PlaceResult::Missing:  // an earlier copy goes with the other stale files
            missing << (source.isEmpty() ? name : source) + QCoreApplication::translate("Publish", " (ファイルがありません)");
            break;
        case PlaceResult::Outside:
            outside << source;
            break;
        }
        if (shows(result)) {
            m_placed.push_back(qHash(rel));
            m_sorted = false;
        }
        return result;
    }

    // What a page names as a file it shows or links: the values of src, href and poster,
    // every candidate of a srcset, and every CSS url() (in style attributes and blocks).
    static QStringList shownReferences(const QString &html)
    {
        static const QRegularExpression attr(
            QStringLiteral(R"re(\b(srcset|src|href|poster)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression url(
            QStringLiteral(R"re(\burl\(\s*(?:"([^"]*)"|'([^']*)'|&quot;(.*?)&quot;|&#0*39;(.*?)&#0*39;|([^)"'\s]*))\s*\))re"),
            QRegularExpression::CaseInsensitiveOption);
        QStringList refs;
        for (auto it = attr.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString value = m.captured(2) + m.captured(3) + m.captured(4);
            if (m.captured(1).compare(QLatin1String("srcset"), Qt::CaseInsensitive) != 0) {
                refs << value;
                continue;
            }
            // Candidates: a URL, then descriptors up to a comma; a URL may itself end in commas.
            for (qsizetype i = 0; i < value.size();) {
                while (i < value.size() && (value[i].isSpace() || value[i] == QLatin1Char(',')))
                    ++i;
                const qsizetype start = i;
                while (i < value.size() && !value[i].isSpace())
                    ++i;
                QString candidate = value.mid(start, i - start);
                if (candidate.endsWith(QLatin1Char(','))) {
                    while (candidate.endsWith(QLatin1Char(',')))
                        candidate.chop(1);
                } else {
                    while (i < value.size() && value[i] != QLatin1Char(','))
                        ++i;
                }
                if (!candidate.isEmpty())
                    refs << candidate;
            }
        }
        for (auto it = url.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            refs << m.captured(1) + m.captured(2) + m.captured(3) + m.captured(4) + m.captured(5);
        }
        return refs;
    }

    // The files that a title's own page shows or links from its folder (or below it)
    // go with it to the same places. The page is read as the copy holds it.
    void placeShownFiles(const QString &page, const QString &pageRel) const
    {
        const QByteArray bytes = m_copy.read(pageRel, 8 << 20);
        const QString html = QString::fromUtf8(bytes);
        const QString folder = QFileInfo(page).path();
        const QString dirRel = pageRel.section(QLatin1Char('/'), 0, -2);
        for (QString link : shownReferences(html)) {
            link = link.section(QLatin1Char('#'), 0, 0).section(QLatin1Char('?'), 0, 0).replace(QLatin1String("&amp;"),
                                                                                              QLatin1String("&"));
            // Only relative links into the page's own folder: no scheme, no "/" at the start, no "..".
            if (link.isEmpty() || link.startsWith(QLatin1Char('/')) || !QUrl(link).scheme().isEmpty())
                continue;
            const QString path = QDir::cleanPath(QUrl::fromPercentEncoding(link.toUtf8()));
            if (path.startsWith(QLatin1Char('/')) || path == QLatin1String("..") || path.startsWith(QLatin1String("../"))
                || path == QLatin1String("."))
                continue;
            const QString source = ChildPath(folder, path);
            const QString rel = dirRel + QLatin1Char('/') + path;
            if (IsNormalFile(source) && (!m_sources.contains(rel) || m_sources.value(rel).first == source))
                put(rel, source, path);
        }
    }

    CopyFolder &m_copy;
    QString m_folder;
    QHash<qint32, QString> m_genreDirs;
    int m_nameMax;
    QString m_realBase;
    mutable QSet<QString> m_leftOut;
    mutable QHash<QString, std::pair<QString, PlaceResult>> m_sources;  // the genre's file -> its source and result
    mutable std::optional<qint32> m_genre;  // whose files m_sources holds
    mutable std::deque<size_t> m_placed;  // hashes of the names this run wrote or placed (no copying as it grows)
    mutable bool m_sorted = false;
};

// A name of a list that may stand for a file of the copy: plain names joined by "/",
// and neither list itself. On the name's UTF-8 bytes: a list holds one for every file.
bool listable(QByteArrayView rel)
{
    static const QByteArray manifest = kManifest.toUtf8(), record = kRecord.toUtf8();
    if (rel.isEmpty() || rel == manifest || rel == record)
        return false;
    for (qsizetype start = 0, end; start <= rel.size(); start = end + 1) {
        end = rel.indexOf('/', start);
        if (end < 0)
            end = rel.size();
        const QByteArrayView part = rel.sliced(start, end - start);
        if (part.isEmpty() || part == "." || part == "..")
            return false;
    }
    return true;
}

// The names of a list the copy keeps, one by one as UTF-8, without holding the list:
// names each ended by a NUL (the run record, and the list of placed files), or the JSON
// object of earlier versions ({"files": [...]}, read whole). Names that would lead out
// of the folder are left out.
void forEachListed(const CopyFolder &copy, const QString &list, const std::function<void(QByteArrayView)> &take)
{
    constexpr qsizetype kJsonMax = 64 << 20;
    QByteArray pending;
    bool json = false, first = true;
    copy.read(list, [&](const char *p, qsizetype n) {
        if (first && n > 0 && p[0] == '{')
            json = true;
        first = false;
        pending.append(p, n);
        if (json)
            return pending.size() <= kJsonMax;
        qsizetype start = 0;
        for (qsizetype end; (end = pending.indexOf('\0', start)) >= 0; start = end + 1) {
            const QByteArrayView rel(pending.constData() + start, end - start);
            if (listable(rel))
                take(rel);
        }
        pending.remove(0, start);
        return true;
    });
    if (!json)
        return;
    const QJsonArray names = QJsonDocument::fromJson(pending).object().value(QStringLiteral("files")).toArray();
    pending.clear();
    for (const QJsonValue &v : names) {
        const QByteArray rel = v.toString().toUtf8();
        if (listable(rel))
            take(rel);
    }
}

// Names written to a list one by one, handed on in large pieces; flush() hands on the rest.
class ListWriter {
public:
    explicit ListWriter(const CopyFolder::Sink &put) : m_put(put) {}
    void add(QByteArrayView rel)
    {
        m_bytes.append(rel).append('\0');
        if (m_bytes.size() >= (64 << 10))
            flush();
    }
    void flush()
    {
        if (!m_bytes.isEmpty())
            m_put(m_bytes);
        m_bytes.clear();
    }

private:
    const CopyFolder::Sink &m_put;
    QByteArray m_bytes;
};

// Leads from the copy's own address to the album, without a script.
QStringList indexPage()
{
    return {QStringLiteral("<html>"),
            QStringLiteral("<head>"),
            QStringLiteral("<title>カテゴリﾌｫﾙﾀﾞ管理</title>"),
            QStringLiteral("<meta http-equiv=\"refresh\" content=\"0; url=アルバム.html\">"),
            QStringLiteral("</head>"),
            QStringLiteral("<body>"),
            QStringLiteral("<a href=\"アルバム.html\">アルバム</a>"),
            QStringLiteral("</body>"),
            QStringLiteral("</html>")};
}

// Whether a and b are one existing folder: by device and inode, which a bind mount
// shares under two paths.
bool sameFolder(const QString &a, const QString &b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether the folder real (a real path) is path or holds it: by real path, and by device
// and inode of path and each folder above it.
bool holdsFolder(const QString &real, const QString &path)
{
    const QString inner = realPathOf(path);
    if (inner == real || isInside(inner, real))
        return true;
    for (QString at = inner; at.size() > 1; at = at.left(qMax<qsizetype>(1, at.lastIndexOf(QLatin1Char('/')))))
        if (sameFolder(real, at))
            return true;
    return sameFolder(real, QStringLiteral("/"));
}

// The copy's stale removal would take the album's own files for earlier copies.
QString holdsAlbum(const QString &folder, const QString &base, const QString &output,
                   const std::function<bool(const QString &)> &holds)
{
    if (holds(base))
        return QCoreApplication::translate("Publish", "「%1」には基準フォルダ「%2」が入っています。\n\r"
                              "公開用のコピーは基準フォルダもHTML出力先も入っていないフォルダに作ってください。")
            .arg(folder, base);
    if (!output.isEmpty() && isLocalPath(output) && holds(output))
        return QCoreApplication::translate("Publish", "「%1」にはHTML出力先「%2」が入っています。\n\r"
                              "公開用のコピーは基準フォルダもHTML出力先も入っていないフォルダに作ってください。")
            .arg(folder, output);
    return QString();
}

QString linkRefusal(const QString &folder, const QString &target)
{
    return QCoreApplication::translate("Publish", "「%1」はフォルダではなく、「%2」へのリンクです。\n\r"
                          "リンクの先には何も書き込まず、何も削除しません。リンクではないフォルダを指定してください。")
        .arg(folder, target);
}

// Why the copy cannot be made in folder, or empty text.
QString refusal(const QString &folder, const QString &base, const QString &output)
{
    if (!isLocalPath(folder))
        return QCoreApplication::translate("Publish", "「%1」はフォルダの場所を「/」から示していません。\n\r公開先のフォルダを「/」から指定してください。")
            .arg(folder);
    // What the copy may take is judged against it.
    if (!isLocalPath(base) || !IsFolder(base))
        return QCoreApplication::translate("Publish", "基準フォルダが設定されていないか、見つかりません。(%1)\n\r"
                              "公開用のコピーには基準フォルダの中のファイルだけを入れます。先に基準フォルダを設定してください。")
            .arg(base);
    const QString real = realPathOf(folder);
    if (!output.isEmpty() && isLocalPath(output) && (real == realPathOf(output) || sameFolder(folder, output)))
        return QCoreApplication::translate("Publish", "「%1」はHTML出力先です。\n\r公開用のコピーは別のフォルダに作ってください。").arg(folder);
    // The auto-set would register the copy as a category.
    if (real == realPathOf(base) || isInside(real, realPathOf(base)) || holdsFolder(realPathOf(base), folder))
        return QCoreApplication::translate("Publish", "「%1」は基準フォルダ「%2」の中にあります。\n\r基準フォルダの外のフォルダを指定してください。")
            .arg(folder, base);
    const QString held = holdsAlbum(folder, base, output, [&](const QString &p) { return holdsFolder(real, p); });
    if (!held.isEmpty())
        return held;
    const QString target = SymLinkTarget(folder);
    if (!target.isNull())
        return linkRefusal(folder, target);
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QCoreApplication::translate("Publish", "「%1」はフォルダではありません。").arg(folder);
    if (!QDir().mkpath(folder))
        return QCoreApplication::translate("Publish", "フォルダ「%1」を作れません。").arg(folder);
    return QString();
}

// Checked under the lock, so that a second run started at the same time waits for the
// first and then finds its copy.
QString notACopy(const CopyFolder &copy)
{
    if (copy.exists(kManifest)
        || QDir(copy.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty())
        return QString();
    return QCoreApplication::translate("Publish", "フォルダ「%1」は空ではなく、公開用にコピーしたフォルダでもありません。\n\r"
                          "空のフォルダか、以前に公開用にコピーしたフォルダを指定してください。")
        .arg(copy.path());
}

// What was judged before the lock may have changed while a run waited for it: the
// folder opened must still stand at its name, and still hold no part of the album.
QString changedSince(const CopyFolder &copy, const struct stat &judged, const QString &base, const QString &output)
{
    const QString folder = copy.path();
    struct stat now, at;
    const QString target = SymLinkTarget(folder);
    if (!target.isNull())
        return linkRefusal(folder, target);
    if (!copy.stat(&now) || ::lstat(QFile::encodeName(folder).constData(), &at) != 0 || now.st_dev != judged.st_dev
        || now.st_ino != judged.st_ino || at.st_dev != now.st_dev || at.st_ino != now.st_ino)
        return QCoreApplication::translate("Publish", "「%1」は、確かめた後に別のフォルダに置き換えられました。\n\r"
                              "何も書き込んでいません。もう一度やり直してください。")
            .arg(folder);
    return holdsAlbum(folder, base, output, [&](const QString &p) { return copy.holds(p); });
}

// Where the posters of videos and the thumbnails of photos are made: the local site's
// own caches, so that a video or a photo is decoded once for both; a folder of the
// user's cache when there is no output folder. Never the copy: its files come in
// through the CopyFolder only.
QString posterHome(const QString &output)
{
    if (isLocalPath(output) && IsFolder(output))
        return output;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                          + QStringLiteral("/tessaly-publish");
    return QDir().mkpath(cache) ? cache : QString();
}

// What the window's last copy was made with: rows of the output folder's table after
// the output folder's own.
constexpr int kPublishRow = 2;   // the folder
constexpr int kVideosRow = 3;    // "0" when the videos were left out

void rememberRow(const Global &g, int row, const QString &text)
{
    try {
        Connection conn(g.dbConnectString);
        conn.exec(QStringLiteral("delete from systemdir where ID=%1").arg(row));
        conn.exec(QStringLiteral("insert into systemdir (ID, htmlDir) values (%1, ?)").arg(row), {text});
    } catch (const DbError &) {
        // A library that cannot be written still gets its copy; the window starts as new.
    }
}

QString rowText(const Global &g, int row)
{
    try {
        Connection conn(g.dbConnectString);
        RowSet rs(conn, QStringLiteral("select * from systemdir where ID=%1").arg(row));
        return rs.eof() ? QString() : rs.text(QStringLiteral("htmlDir"));
    } catch (const DbError &) {
        return QString();
    }
}

}  // namespace

void RememberPublishFolder(const Global &g, const QString &folder, bool videos)
{
    rememberRow(g, kPublishRow, folder);
    rememberRow(g, kVideosRow, videos ? QStringLiteral("1") : QStringLiteral("0"));
}

QString LastPublishFolder(const Global &g)
{
    return rowText(g, kPublishRow);
}

bool LastPublishHadVideos(const Global &g)
{
    return rowText(g, kVideosRow) != QLatin1String("0");
}

bool PublishSite(Global &g, DialogService &ds, const QString &folderGiven, PublishSummary *summary, QObject *owner,
                 const HtmlProgress &progress, bool videos)
{
    PublishSummary &s = *summary;
    s = PublishSummary();
    HtmlRun run(g, ds, owner, progress);
    const QString folder = QDir::cleanPath(folderGiven);
    QString base, output;
    QStringList categoryNames;
    QList<qint32> categoryIds;
    struct Genre {
        qint32 id, categoryId;
        QString name;
    };
    QList<Genre> genres;
    try {
        Connection conn(g.dbConnectString);
        RowSet top(conn, QStringLiteral("select * from allTop where ID=1"));
        base = top.eof() ? QString() : top.text(QStringLiteral("allTop"));
        RowSet dir(conn, QStringLiteral("select * from systemDir where ID=1"));
        output = dir.eof() ? QString() : dir.text(QStringLiteral("htmlDir"));
        for (RowSet cats(conn, QStringLiteral("photograph")); !cats.eof(); cats.moveNext()) {
            categoryIds << cats.number(QStringLiteral("ID"));
            categoryNames << cats.text(QStringLiteral("topFolderName"));
        }
        for (RowSet rs(conn, QStringLiteral("photoyear")); !rs.eof(); rs.moveNext())
            genres.append({rs.number(QStringLiteral("ID1")), rs.number(QStringLiteral("ID")),
                           rs.text(QStringLiteral("yearFolderName"))});
    } catch (const DbError &e) {
        reportFailure(run, e, kPublishTitle);
        return false;
    }
    QString why = refusal(folder, base, output);
    struct stat judged;
    if (why.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &judged) != 0)
        why = QCoreApplication::translate("Publish", "フォルダ「%1」を作れません。").arg(folder);
    if (!why.isEmpty()) {
        run.report(why, kPublishTitle);
        return false;
    }
    // Files come only from inside the base folder (every link resolved), and posters and
    // thumbnails only from the caches' own folders: a link standing for one of those is
    // not followed (the caches refuse it), so the real path of its place is the root.
    const QString posters = posterHome(output);
    QStringList made;
    if (!posters.isEmpty())
        made << ChildPath(realPathOf(posters), PosterCache::folderName())
             << ChildPath(realPathOf(posters), ThumbCache::folderName());
    std::optional<CopyFolder> opened;
    try {
        opened.emplace(folder, QStringList{QFileInfo(base).canonicalFilePath()}, made);
    } catch (const WriteError &e) {
        reportFailure(run, e, kPublishTitle);
        return false;
    }
    CopyFolder &copy = *opened;
    copy.lock();
    why = changedSince(copy, judged, base, output);
    if (why.isEmpty())
        why = notACopy(copy);
    if (!why.isEmpty()) {
        run.report(why, kPublishTitle);
        return false;
    }

    // Folders named after the categories and genres, made unique within their parent.
    const int maxName = nameMax(folder);
    const QStringList categoryDirs = UniqueFileNames(categoryNames, QString(), {}, maxName);
    QHash<qint32, std::pair<QList<qint32>, QStringList>> genresOf;  // ID1s and names by category
    for (const Genre &genre : genres) {
        auto &of = genresOf[genre.categoryId];
        of.first << genre.id;
        of.second << genre.name;
    }
    QHash<qint32, QString> genreDirs;
    for (int c = 0; c < categoryIds.size(); ++c) {
        const auto &[ids, names] = genresOf.value(categoryIds[c]);
        const QStringList dirs = UniqueFileNames(names, QString(), {}, maxName);
        for (int i = 0; i < ids.size(); ++i)
            genreDirs.insert(ids[i], kGenres + QLatin1Char('/') + categoryDirs[c] + QLatin1Char('/') + dirs[i]);
    }

    s.started = true;
    bool indexListed = false;  // index.html is one of the album's own
    try {
        // An earlier version locked with a file of its own.
        copy.remove(kManifest + QStringLiteral(".lock"));
        copy.removeTemporaries();
        // Earlier versions made the posters and their notes in the copy itself, unlisted.
        QStringList oldPosters;
        for (const QString &name : QDir(ChildPath(folder, kPosters)).entryList(QDir::Files | QDir::Hidden)) {
            if (!PosterCache::isOwnFile(name))
                continue;
            if (name.endsWith(QLatin1String(".bad")))
                copy.remove(kPosters + QLatin1Char('/') + name);
            else
                oldPosters << kPosters + QLatin1Char('/') + name;
        }
        // What the earlier runs placed: the list of the last whole run and what a stopped
        // run recorded after it, as one list. Written before the first file is placed, so
        // that a stopped run leaves a folder the next run takes as its copy, and knows
        // what it placed.
        QSet<size_t> seen;  // only while the list is made
        copy.write(kManifest, [&](const CopyFolder::Sink &put) {
            ListWriter names(put);
            const auto take = [&](QByteArrayView rel) {
                if (seen.contains(qHash(rel)))
                    return;
                seen.insert(qHash(rel));
                indexListed = indexListed || rel == "index.html";
                names.add(rel);
            };
            forEachListed(copy, kManifest, take);
            forEachListed(copy, kRecord, take);
            for (const QString &rel : std::as_const(oldPosters))
                take(rel.toUtf8());
            names.flush();
        });
        seen = {};
        copy.recordTo(kRecord);
        // A folder that a planted link stood for is the copy's own from here on.
        copy.makeFolder(QStringLiteral("sub"));
    } catch (const WriteError &e) {
        reportFailure(run, e, kPublishTitle);
        return false;
    }
    const int madeBefore = ThumbnailsMade();
    PublishLayout layout(copy, genreDirs, maxName, QFileInfo(base).canonicalFilePath());
    run.setLayout(&layout);
    run.setOutputFolder(posters);
    run.setPictureFaultList(&s.missing);  // listed in the summary
    run.setLinkFaultList(&s.leftOutLinks);
    const WriterPages pages = RunWriters(run, folder, int(categoryNames.size()), int(genres.size()));
    // A server answers the copy's own address with index.html, the album's home; one the
    // user put there stays, but a link there is replaced, never written through.
    const QString indexLink = copy.linkAt(kIndex);
    if (!indexLink.isNull())
        s.links << kIndex + QStringLiteral(" -> ") + indexLink;
    album::AlbumInput albumInput;
    albumInput.realBase = layout.pictureRoot();
    albumInput.posterHome = posters;
    albumInput.videos = videos;
    albumInput.home = !copy.exists(kIndex) || indexListed || !indexLink.isNull();
    albumInput.openPages = layout.openPages;
    albumInput.placed = [&layout](const QString &rel) { layout.markPlaced(rel); };
    const bool albumWritten = !pages.stopped && album::WriteAlbum(run, copy, albumInput, &s.album);
    if (albumInput.home && !albumWritten) {
        try {  // without the album, the address still leads to the classic pages
            layout.writePage(ChildPath(folder, kIndex), indexPage());
            ++s.pages;
        } catch (const WriteError &e) {
            reportFailure(run, e, kPublishTitle);
        }
    }
    s.finished = !pages.stopped;
    s.thumbnails = ThumbnailsMade() - madeBefore;
    s.pages += pages.written + layout.genrePages;
    s.copied = layout.copied;
    s.unchanged = layout.unchanged;
    s.bytes = layout.bytes;
    s.missing << layout.missing;
    s.outside = layout.outside;
    // A file the genre pages named is named once.
    QSet<QString> named;
    for (const QString &m : std::as_const(s.missing))
        named.insert(m.left(m.lastIndexOf(QStringLiteral(" ("))));
    for (const QString &m : std::as_const(s.album.missing))
        if (!named.contains(m.left(m.lastIndexOf(QStringLiteral(" (")))))
            s.missing << m;
    for (const QString &file : std::as_const(s.album.outside))
        if (!s.outside.contains(file))
            s.outside << file;

    try {
        // Only a finished run knows everything that belongs to the album: the earlier
        // files it did not place again go. The new list is what this run recorded, and
        // for a stopped run the earlier files besides.
        if (s.finished)
            forEachListed(copy, kManifest, [&](QByteArrayView name) {
                const QString rel = QString::fromUtf8(name);
                if (layout.placed(rel))
                    return;
                switch (copy.removeStale(rel)) {
                case CopyFolder::Stale::Removed:
                    ++s.removed;
                    break;
                case CopyFolder::Stale::Kept:
                    s.kept << copy.pathOf(rel);
                    break;
                case CopyFolder::Stale::Gone:
                    break;
                }
            });
        copy.flushRecord();
        copy.write(kManifest, [&](const CopyFolder::Sink &put) {
            ListWriter names(put);
            forEachListed(copy, kRecord, [&](QByteArrayView rel) { names.add(rel); });
            if (!s.finished)
                forEachListed(copy, kManifest, [&](QByteArrayView rel) {
                    if (!layout.placed(QString::fromUtf8(rel)))
                        names.add(rel);
                });
            names.flush();
        });
        copy.stopRecording();
        copy.keepTimeIfUnchanged();
    } catch (const WriteError &e) {
        reportFailure(run, e, kPublishTitle);
        s.finished = false;
    }
    s.replacedLinks = copy.replacedLinks();
    // Not followed by this run, but a server may follow them out of the copy.
    s.links << copy.links();
    return s.finished && run.reports() == 0 && s.missing.isEmpty() && s.outside.isEmpty() && s.leftOutLinks.isEmpty()
           && s.links.isEmpty();
}

QString PublishSummaryText(const QString &folder, const PublishSummary &s, int maxListed)
{
    const QLocale locale = MessageLocale();
    QStringList lines;
    lines << (s.finished ? QCoreApplication::translate("Publish", "公開用のコピーを「%1」に作りました。").arg(folder)
                         : QCoreApplication::translate("Publish", "公開用のコピー「%1」は完了しませんでした。").arg(folder))
          << QCoreApplication::translate("Publish", "ページ: %1").arg(s.pages)
          << QCoreApplication::translate("Publish", "コピーしたファイル: %1 (変更のないもの %2)").arg(s.copied).arg(s.unchanged)
          << QCoreApplication::translate("Publish", "コピーした量: %1 バイト").arg(locale.toString(s.bytes))
          << QCoreApplication::translate("Publish", "作った縮小画像: %1").arg(s.thumbnails)
          << QCoreApplication::translate("Publish", "削除した古いファイル: %1").arg(s.removed)
          << QCoreApplication::translate("Publish", "ウェブアルバム: ページ %1 (変更のないもの %2)、写真 %3、ビデオ %4、新しく縮小した写真 %5")
                 .arg(s.album.pages)
                 .arg(s.album.unchanged)
                 .arg(s.album.photos)
                 .arg(s.album.videos)
                 .arg(s.album.decoded);
    const auto list = [&](const QString &head, const QStringList &items) {
        lines << head.arg(items.size());
        for (const QString &m : items.mid(0, maxListed))
            lines << QStringLiteral("  ") + m;
        if (items.size() > maxListed)
            lines << QCoreApplication::translate("Publish", "  ほか %1 件").arg(items.size() - maxListed);
    };
    list(QCoreApplication::translate("Publish", "見つからないか表示できない写真とファイル: %1"), s.missing);
    if (!s.album.notPlayable.isEmpty())
        list(QCoreApplication::translate("Publish", "ブラウザで再生できない形式のため、ポスターだけを載せたビデオ: %1"), s.album.notPlayable);
    if (!s.outside.isEmpty())
        list(QCoreApplication::translate("Publish", "アルバム(基準フォルダ)の外にあるため、コピーしなかったファイル: %1"), s.outside);
    if (!s.leftOutLinks.isEmpty())
        list(QCoreApplication::translate("Publish", "http・https・mailto 以外の形式のため、ﾘﾝｸボタンを出力しなかったリンク: %1"), s.leftOutLinks);
    if (!s.replacedLinks.isEmpty())
        list(QCoreApplication::translate("Publish", "コピーの中にあったリンクをフォルダに置き換えました: %1"), s.replacedLinks);
    if (!s.links.isEmpty())
        list(QCoreApplication::translate("Publish", "コピーの中にあった、コピーのものではないリンク(辿っていません): %1"), s.links);
    if (!s.kept.isEmpty())
        list(QCoreApplication::translate("Publish", "アルバムのファイルでもあるため、削除しなかった古いファイル: %1"), s.kept);
    return lines.join(QStringLiteral("\n\r"));
}

}  // namespace tessaly
