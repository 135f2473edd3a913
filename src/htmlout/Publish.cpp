#include "Publish.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "PageFile.h"
#include "Paths.h"
#include "PosterCache.h"
#include "ThumbCache.h"

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
#include <QUrl>

#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

using namespace htmlout;

const QString kPublishTitle = QStringLiteral("公開用にコピー");

namespace {

const QString kManifest = QStringLiteral(".tessaly-publish");
const QString kGenres = QStringLiteral("genres");

// The copy's layout. Everything a genre page shows lies below its own folder, except
// the posters, which the poster cache of the copy keeps in one folder.
class PublishLayout final : public SiteLayout {
public:
    PublishLayout(const QString &folder, QHash<qint32, QString> genreDirs, int nameMax)
        : m_folder(folder), m_genreDirs(std::move(genreDirs)), m_nameMax(nameMax)
    {
    }

    QString genrePagePath(const GenreInfo &genre) const override
    {
        const QString rel = genreDir(genre) + QStringLiteral("/nIndex.html");
        makeFolder(genreDir(genre));
        files.insert(rel);
        ++genrePages;
        return ChildPath(m_folder, rel);
    }
    QString genreLink(const GenreInfo &genre) const override
    {
        return QStringLiteral("../") + LinkEscape(genreDir(genre)) + QStringLiteral("/nIndex.html");
    }
    QString pictureSource(const GenreInfo &genre, const Picture &picture) const override
    {
        if (picture.made)  // in the copy's own poster or thumbnail folder
            return QStringLiteral("../../../") + LinkEscape(QDir(m_folder).relativeFilePath(picture.file));
        return LinkEscape(place(genre, picture.title, picture.file, LastPathPart(picture.file)));
    }
    QString openTarget(const GenreInfo &genre, const QString &title, const QString &ivents) const override
    {
        if (ivents.isEmpty())
            return QString();
        QString source;  // a page of the other platform cannot be copied
        if (isLocalPath(ivents))
            source = ivents;
        else if (!IsWindowsFormPath(ivents) && isLocalPath(genre.folder))
            source = ChildPath(genre.folder, ivents);
        const QString rel = place(genre, title, source, LastPathPart(ivents));
        if (files.contains(genreDir(genre) + QLatin1Char('/') + rel))
            placeShownFiles(source, genreDir(genre) + QLatin1Char('/') + rel.section(QLatin1Char('/'), 0, 0));
        return LinkEscape(rel);
    }
    bool pageForEveryGenre() const override { return true; }
    bool thumbnailsOnly() const override { return true; }

    mutable QSet<QString> files;  // placed by this run, relative to the folder
    mutable int genrePages = 0;
    mutable int copied = 0;
    mutable int unchanged = 0;
    mutable qint64 bytes = 0;
    mutable QStringList missing;

private:
    QString genreDir(const GenreInfo &genre) const
    {
        const auto it = m_genreDirs.constFind(genre.id);
        // A genre registered while the copy is made, by another program.
        return it != m_genreDirs.cend() ? *it
                                        : kGenres + QStringLiteral("/~%1/~%2").arg(genre.categoryId).arg(genre.id);
    }

    void makeFolder(const QString &rel) const
    {
        errno = 0;
        if (!QDir(m_folder).mkpath(rel))
            fileFailure(errno ? errno : EIO, ChildPath(m_folder, rel));
    }

    // Puts source into the title's folder of the genre's page under name (or a name
    // made unique when another file took it) and returns its path from the page.
    QString place(const GenreInfo &genre, const QString &title, const QString &source, const QString &name) const
    {
        // A title folder never takes the genre page's name.
        const QString dir = UniqueFileNames({title}, QString(), {QStringLiteral("nIndex.html")}, m_nameMax).constFirst();
        const QString base = genreDir(genre) + QLatin1Char('/') + dir + QLatin1Char('/');
        QString file = UniqueFileNames({name}, QString(), {}, m_nameMax).constFirst();
        for (int n = 1; m_sources.contains(base + file) && m_sources.value(base + file) != source; ++n) {
            const QString tag = QLatin1Char('~')
                                + QString::fromLatin1(QCryptographicHash::hash(source.toUtf8() + QByteArray::number(n),
                                                                               QCryptographicHash::Sha1).toHex().left(8));
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            file = UniqueFileNames({dot > 0 ? name.left(dot) + tag + name.mid(dot) : name + tag}, QString(), {},
                                   m_nameMax).constFirst();
        }
        put(base + file, source, name);
        return dir + QLatin1Char('/') + file;
    }

    // Puts source at rel in the copy, once a run.
    void put(const QString &rel, const QString &source, const QString &name) const
    {
        if (m_sources.contains(rel))
            return;
        m_sources.insert(rel, source);
        files.insert(rel);
        switch (source.isEmpty() ? PlaceResult::Missing : placeCopy(source, ChildPath(m_folder, rel))) {
        case PlaceResult::Placed:
            ++copied;
            bytes += QFileInfo(source).size();
            break;
        case PlaceResult::Unchanged:
            ++unchanged;
            break;
        case PlaceResult::Missing:  // an earlier copy goes with the other stale files
            files.remove(rel);
            missing << (source.isEmpty() ? name : source) + QStringLiteral(" (ファイルがありません)");
            break;
        }
    }

    // The files that a title's own page shows or links from its folder (or below it)
    // go with it to the same places.
    void placeShownFiles(const QString &page, const QString &dirRel) const
    {
        QFile f(page);
        if (f.size() > (8 << 20) || !f.open(QIODevice::ReadOnly))
            return;
        static const QRegularExpression ref(QStringLiteral(R"re((?:src|href)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re"),
                                            QRegularExpression::CaseInsensitiveOption);
        const QString html = QString::fromUtf8(f.readAll());
        const QString folder = QFileInfo(page).path();
        for (auto it = ref.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            QString link = m.captured(1) + m.captured(2) + m.captured(3);
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
            if (IsNormalFile(source) && (!m_sources.contains(rel) || m_sources.value(rel) == source))
                put(rel, source, path);
        }
    }

    QString m_folder;
    QHash<qint32, QString> m_genreDirs;
    int m_nameMax;
    mutable QHash<QString, QString> m_sources;  // placed file -> its source
};

// The real path of a folder that may not exist yet: its nearest existing ancestor
// resolved, the rest as written.
QString realPath(const QString &path)
{
    QString rest;
    QString at = QDir::cleanPath(path);
    for (;;) {
        const QString real = QFileInfo(at).canonicalFilePath();
        if (!real.isEmpty())
            return QDir::cleanPath(real + rest);
        const qsizetype slash = at.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QDir::cleanPath(path);
        rest.prepend(at.mid(slash));
        at = at.left(slash);
    }
}

// What the last run placed; names that would lead out of the folder are ignored.
QSet<QString> readManifest(const QString &folder)
{
    QSet<QString> files;
    QFile f(ChildPath(folder, kManifest));
    if (!f.open(QIODevice::ReadOnly))
        return files;
    for (const QJsonValue &v : QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("files")).toArray()) {
        const QString rel = v.toString();
        const QStringList parts = rel.split(QLatin1Char('/'));
        if (!rel.isEmpty() && !parts.contains(QString()) && !parts.contains(QStringLiteral(".."))
            && !parts.contains(QStringLiteral(".")))
            files.insert(rel);
    }
    return files;
}

void writeManifest(const QString &folder, const QSet<QString> &files)
{
    QStringList sorted(files.cbegin(), files.cend());
    sorted.sort();
    replaceFile(ChildPath(folder, kManifest),
                QJsonDocument(QJsonObject{{QStringLiteral("files"), QJsonArray::fromStringList(sorted)}}).toJson());
}

// Removes a file of an earlier run and the folders it leaves empty.
bool removeStale(const QString &folder, const QString &rel)
{
    const QByteArray path = QFile::encodeName(ChildPath(folder, rel));
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || S_ISDIR(st.st_mode) || ::unlink(path.constData()) != 0)
        return false;
    for (QString dir = QFileInfo(rel).path(); dir != QLatin1String(".") && !dir.isEmpty(); dir = QFileInfo(dir).path())
        if (::rmdir(QFile::encodeName(ChildPath(folder, dir)).constData()) != 0)
            break;
    return true;
}

// Why the copy cannot be made in folder, or empty text.
QString refusal(const QString &folder, const QString &base, const QString &output)
{
    if (!isLocalPath(folder))
        return QStringLiteral("「%1」はフォルダの場所を「/」から示していません。\n\r公開先のフォルダを「/」から指定してください。")
            .arg(folder);
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("「%1」はフォルダではありません。").arg(folder);
    const QString real = realPath(folder);
    if (!output.isEmpty() && isLocalPath(output) && real == realPath(output))
        return QStringLiteral("「%1」はHTML出力先です。\n\r公開用のコピーは別のフォルダに作ってください。").arg(folder);
    // The auto-set would register the copy as a category.
    if (!base.trimmed().isEmpty() && isLocalPath(base)
        && (real == realPath(base) || isInside(real, realPath(base))))
        return QStringLiteral("「%1」は基準フォルダ「%2」の中にあります。\n\r基準フォルダの外のフォルダを指定してください。")
            .arg(folder, base);
    if (!QDir().mkpath(folder))
        return QStringLiteral("フォルダ「%1」を作れません。").arg(folder);
    return QString();
}

// Checked under the lock, so that a second run started at the same time waits for the
// first and then finds its copy.
QString notACopy(const QString &folder)
{
    if (QFileInfo::exists(ChildPath(folder, kManifest))
        || QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty())
        return QString();
    return QStringLiteral("フォルダ「%1」は空ではなく、公開用にコピーしたフォルダでもありません。\n\r"
                          "空のフォルダか、以前に公開用にコピーしたフォルダを指定してください。")
        .arg(folder);
}

// One run at a time in a folder: an exclusive lock on a hidden file, held until the end.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(ChildPath(folder, kManifest + QStringLiteral(".lock"))).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd;
};

// The posters and thumbnails the local site has made are placed in the copy's own
// folders, where the caches find them by name instead of decoding their sources again.
void seedMadeFiles(const QString &output, const QString &folder)
{
    if (!isLocalPath(output))
        return;
    const std::pair<QString, bool (*)(const QString &)> caches[] = {
        {PosterCache::folderName(), PosterCache::isOwnFile}, {ThumbCache::folderName(), ThumbCache::isOwnFile}};
    for (const auto &[name, isOwn] : caches) {
        const QString from = ChildPath(output, name);
        const QString to = ChildPath(folder, name);
        const QStringList made = QDir(from).entryList(QDir::Files);
        if (made.isEmpty() || !QDir().mkpath(to))
            continue;
        try {
            for (const QString &file : made)
                if (isOwn(file))
                    placeCopy(ChildPath(from, file), ChildPath(to, file));
        } catch (const WriteError &) {
            // The cache makes what is missing and reports what it cannot write.
        }
    }
}

}  // namespace

bool PublishSite(Global &g, DialogService &ds, const QString &folderGiven, PublishSummary *summary, QObject *owner,
                 const HtmlProgress &progress)
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
        run.report(reportText(e), kPublishTitle);
        return false;
    }
    QString why = refusal(folder, base, output);
    std::optional<FolderLock> lock;
    if (why.isEmpty()) {
        lock.emplace(folder);
        why = notACopy(folder);
    }
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
    seedMadeFiles(output, folder);
    const int decodedBefore = ThumbnailsDecoded();
    const QSet<QString> before = readManifest(folder);
    PublishLayout layout(folder, genreDirs, maxName);
    run.setLayout(&layout);
    run.setPictureFaultList(&s.missing);  // listed in the summary
    const WriterPages pages = RunWriters(run, folder, int(categoryNames.size()), int(genres.size()));
    s.finished = !pages.stopped;
    s.thumbnails = ThumbnailsDecoded() - decodedBefore;
    s.pages = pages.written + layout.genrePages;
    s.copied = layout.copied;
    s.unchanged = layout.unchanged;
    s.bytes = layout.bytes;
    s.missing << layout.missing;

    QSet<QString> files = layout.files;
    for (const char *page : {"アルバム.html", "sub/NameA.html", "sub/b.html", "sub/c.html"})
        files.insert(QString::fromUtf8(page));
    for (const QString &page : CategoryPageFiles(categoryNames, maxName))
        files.insert(QStringLiteral("sub/") + page);
    // Only a finished run knows everything that belongs to the album.
    if (s.finished) {
        for (const QString &rel : before)
            if (!files.contains(rel) && removeStale(folder, rel))
                ++s.removed;
    } else {
        files.unite(before);
    }
    try {
        writeManifest(folder, files);
    } catch (const WriteError &e) {
        run.report(reportText(e), kPublishTitle);
        s.finished = false;
    }
    return s.finished && run.reports() == 0 && s.missing.isEmpty();
}

QString PublishSummaryText(const QString &folder, const PublishSummary &s, int maxListed)
{
    const QLocale ja(QLocale::Japanese, QLocale::Japan);
    QStringList lines;
    lines << (s.finished ? QStringLiteral("公開用のコピーを「%1」に作りました。").arg(folder)
                         : QStringLiteral("公開用のコピー「%1」は完了しませんでした。").arg(folder))
          << QStringLiteral("ページ: %1").arg(s.pages)
          << QStringLiteral("コピーしたファイル: %1 (変更のないもの %2)").arg(s.copied).arg(s.unchanged)
          << QStringLiteral("コピーした量: %1 バイト").arg(ja.toString(s.bytes))
          << QStringLiteral("作った縮小画像: %1").arg(s.thumbnails)
          << QStringLiteral("削除した古いファイル: %1").arg(s.removed)
          << QStringLiteral("見つからないか表示できない写真とファイル: %1").arg(s.missing.size());
    for (const QString &m : s.missing.mid(0, maxListed))
        lines << QStringLiteral("  ") + m;
    if (s.missing.size() > maxListed)
        lines << QStringLiteral("  ほか %1 件").arg(s.missing.size() - maxListed);
    return lines.join(QStringLiteral("\n\r"));
}

}  // namespace tessaly
