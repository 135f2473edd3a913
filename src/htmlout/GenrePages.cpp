// One "nIndex.html" thumbnail table in every genre folder that has titles.
#include "HtmlOut.h"

#include "Database.h"
#include "Global.h"
#include "ImageSize.h"
#include "PageFile.h"
#include "Paths.h"
#include "PosterCache.h"
#include "Statement.h"
#include "ThumbCache.h"
#include "Thumbnail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringBuilder>

#include <limits>

namespace tessaly {

using namespace htmlout;

namespace {

constexpr int kCellsPerRow = 6;

// A title shown without its picture, and why.
struct PhotoFault {
    QString path;
    QString reason;
};

// The automatic choice of a title's photo, in this order.
const QList<QByteArray> &kPhotoSuffixes = PhotoSuffixes();

// Names that tell a picture browsers draw; any other is looked at for TIFF or HEIF.
bool drawnByName(const QString &file)
{
    for (const char *suffix : {".jpg", ".jpeg", ".gif", ".png", ".bmp", ".webp", ".avif"})
        if (file.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

// A stored photo that is written as it is: a share, a drive path, or an absolute path
// of this system.
bool isAbsolutePhoto(const QString &photo)
{
    return photo.startsWith(QLatin1String("\\\\")) || (photo.size() >= 2 && photo.at(1) == QLatin1Char(':'))
           || isLocalPath(photo);
}

// The fields of a title that its cell shows, read once.
struct TitleRow {
    QString folder, name, photo, link, ivents;
    bool linkButton = false, htmlButton = false, hasLink = false, hasHtml = false;
};

// The fields of the title rows, in TitleRow's order, read straight from SQLite: the
// rows of a genre are read once a run and a row set's values would cost more than
// the rest of the page.
const char kTitleFields[] = "iventsFolder, iventsFolderName, iventsPhoto, iventsLink, Ivents, IventsLinkButton, "
                            "IventsHtmlButton, iventsHTML";

TitleRow readTitle(const Statement &st)
{
    enum Column { Folder, Name, Photo, Link, Ivents, LinkButton, HtmlButton, Html };
    const auto yes = [&](Column c) {
        const QVariant v = st.value(c);
        return !v.isNull() && v.toInt() != 0;
    };
    TitleRow t;
    t.folder = st.value(Folder).toString();
    t.name = st.value(Name).toString();
    t.photo = st.value(Photo).toString();
    const QVariant link = st.value(Link);
    t.hasLink = !link.isNull();
    t.link = link.toString();
    t.ivents = st.value(Ivents).toString();
    t.linkButton = yes(LinkButton);
    t.htmlButton = yes(HtmlButton);
    t.hasHtml = !st.isNull(Html);
    return t;
}

QString buttonLine(const QString &target, const QString &caption)
{
    return QStringLiteral("<input type='button' onclick=\"goLink('") + HtmlEscape(JsStringEscape(target))
           + QStringLiteral("')\" value='") + caption + QStringLiteral("'>");
}

// The automatic choice in a title folder, from one listing: the first photo by
// kPhotoSuffixes, else the first video in name order.
struct AutoChoice {
    bool listed = false;
    QString photo;
    QString video;
    QStringList undecodable;  // photos and videos whose names no path can open
};

AutoChoice autoChoice(const QString &folder)
{
    static const QList<QByteArray> suffixes = kPhotoSuffixes + VideoSuffixes();
    AutoChoice c;
    QStringList first;
    c.listed = FirstFiles(folder, suffixes, &first, &c.undecodable);
    for (int i = 0; i < first.size(); ++i) {
        if (first.at(i).isEmpty())
            continue;
        if (i < kPhotoSuffixes.size()) {
            c.photo = first.at(i);
            break;
        }
        if (c.video.isEmpty() || NameLess(first.at(i), c.video))
            c.video = first.at(i);
    }
    return c;
}

// The photo file of a title on this system (the stored one, else the automatic
// choice); empty when there is none.
QString photoFile(const TitleRow &title, const AutoChoice &choice)
{
    if (!title.photo.isEmpty()) {
        if (isAbsolutePhoto(title.photo))
            return isLocalPath(title.photo) ? title.photo : QString();
        return isLocalPath(title.folder) ? ChildPath(title.folder, title.photo) : QString();
    }
    return choice.photo.isEmpty() ? QString() : ChildPath(title.folder, choice.photo);
}

// What the pictures of a genre's titles come from: the automatic choice of every local
// title folder without a stored photo, the posters of the videos chosen and the
// thumbnails of the photos (every photo of a copy for the web, else those browsers do
// not draw), made together (on a pool of workers) before the genre's page. Held for one
// genre at a time, so a run's memory follows its largest genre, not the library.
struct TitlePictures {
    QHash<QString, AutoChoice> choices;  // by title folder
    QHash<QString, PosterEntry> posters;  // by video path
    QHash<QString, ThumbEntry> thumbs;    // by photo path
    QSet<QString> renditions;             // photos that browsers do not draw
    QString posterFolder;  // empty when the output folder cannot hold posters
    QString thumbFolder;   // the same for thumbnails

    TitlePictures(const QList<TitleRow> &titles, HtmlRun &run, PosterCache *posterCache, ThumbCache *thumbCache,
                  bool folderUsable)
    {
        const SiteLayout &layout = run.layout();
        QStringList videos, photos;
        QSet<QString> seen;
        for (const TitleRow &t : titles) {
            run.keepAlive();
            AutoChoice c;
            if (t.photo.isEmpty() && isLocalPath(t.folder)) {
                if (choices.contains(t.folder))
                    continue;  // a second title of the same folder
                c = choices.insert(t.folder, autoChoice(t.folder)).value();
                if (!c.video.isEmpty())
                    videos << ChildPath(t.folder, c.video);
            }
            const QString photo = photoFile(t, c);
            if (photo.isEmpty() || seen.contains(photo))
                continue;
            seen.insert(photo);
            const bool rendition = !drawnByName(photo) && NeedsRendition(photo) != RenditionFormat::None;
            if (rendition)
                renditions.insert(photo);
            // The listing that chose a photo found it a plain file.
            if (rendition || (layout.thumbnailsOnly() && (t.photo.isEmpty() || IsNormalFile(photo))))
                photos << photo;
        }
        if (!folderUsable)
            return;  // a missing output folder is the frame writers' report
        posterFolder = posterCache->folder();
        thumbFolder = thumbCache->folder();
        const QString root = layout.pictureRoot();
        if (!videos.isEmpty())
            for (const PosterEntry &e : posterCache->make(videos, 0, [&run] { run.keepAlive(); }, root)) {
                posters.insert(e.video, e);
                if (e.fault == PosterFault::Outside)
                    layout.leaveOut(e.video);
            }
        if (!photos.isEmpty())
            for (const ThumbEntry &e : thumbCache->make(photos, renditions, 0, [&run] { run.keepAlive(); }, root)) {
                thumbs.insert(e.source, e);
                if (e.fault == ThumbFault::Outside)
                    layout.leaveOut(e.source);
            }
    }
    AutoChoice choice(const QString &folder) const
    {
        const auto it = choices.constFind(folder);
        return it != choices.cend() ? *it : autoChoice(folder);
    }
};

// The title's photo: the stored one, else the automatic choice in its folder, a
// video's poster when that holds no photo. No file when there is none, or when it does
// not lie on this system.
Picture findPicture(const TitlePictures &pictures, const GenreInfo &genre, const TitleRow &title,
                    QList<PhotoFault> &faults)
{
    Picture p;
    p.title = title.name;
    const QString &folder = title.folder;
    const QString &name = title.name;
    const QString &stored = title.photo;
    if (!stored.isEmpty()) {
        if (isAbsolutePhoto(stored)) {
            p.reference = stored;
            if (isLocalPath(stored))
                p.file = stored;
        } else {
            p.reference = name % u'/' % stored;
            p.relative = true;
            if (isLocalPath(folder))
                p.file = ChildPath(folder, stored);
        }
        return p;
    }
    if (!isLocalPath(folder))
        return p;
    const AutoChoice choice = pictures.choice(folder);
    if (!choice.listed) {
        faults.append({folder, IsFolder(folder) ? QCoreApplication::translate("HtmlOut", "フォルダを読み取れません")
                                                : QCoreApplication::translate("HtmlOut", "フォルダがありません")});
        return p;
    }
    // A photo that would have been chosen but cannot be named says why the cell is empty.
    if (choice.photo.isEmpty())
        for (const QString &bad : choice.undecodable)
            faults.append({ChildPath(folder, bad), QCoreApplication::translate("HtmlOut", "ファイル名がUTF-8ではないため開けません")});
    if (!choice.photo.isEmpty()) {
        p.reference = name % u'/' % choice.photo;
        p.relative = true;
        p.file = ChildPath(folder, choice.photo);
    } else if (!choice.video.isEmpty() && !pictures.posterFolder.isEmpty()) {
        const PosterEntry poster = pictures.posters.value(ChildPath(folder, choice.video));
        if (poster.fault == PosterFault::Outside)
            return p;  // listed as left out
        if (poster.file.isEmpty()) {
            faults.append({ChildPath(folder, choice.video), PosterFaultText(poster.fault)});
            return p;
        }
        p.file = ChildPath(pictures.posterFolder, poster.file);
        p.reference = QDir(genre.folder).relativeFilePath(p.file);
        p.relative = true;
        p.video = true;
        p.made = true;
    }
    return p;
}

// The image line of a title, or empty text when it shows no picture.
QString imageLine(const HtmlRun &run, const TitlePictures &pictures, const GenreInfo &genre, const TitleRow &title,
                  QList<PhotoFault> &faults)
{
    Picture picture = findPicture(pictures, genre, title, faults);
    const bool thumbnailsOnly = run.layout().thumbnailsOnly();
    if (picture.file.isEmpty()) {
        // A copy cannot take a photo that does not lie on this system.
        if (thumbnailsOnly && !picture.reference.isEmpty())
            faults.append({picture.reference, QCoreApplication::translate("HtmlOut", "写真がありません")});
        return QString();
    }
    if (!picture.video && pictures.thumbs.value(picture.file).fault == ThumbFault::Outside)
        return QString();  // listed as left out
    Thumbnail t;
    const bool rendition = pictures.renditions.contains(picture.file);
    if (!rendition) {
        // The box is the original's, so the page is the same whatever the picture's source.
        const auto known = pictures.thumbs.constFind(picture.file);
        const ImageInfo info = known != pictures.thumbs.cend() && known->original ? *known->original
                                                                                  : GetImageSize(picture.file, 0);
        if (info.fault != ImageFault::None) {
            faults.append({picture.file, ImageFaultText(info.fault)});
            return QString();
        }
        if (!FitThumbnail(info, &t)) {
            // A size of zero (an unknown format) just shows no picture; a chosen photo
            // that is gone is worth saying.
            if (info.Width > 0 && info.Height > 0)
                faults.append({picture.file, ImageFaultText(ImageFault::TooLarge)});
            else if (info.Format == 0 && !title.photo.isEmpty() && !IsNormalFile(picture.file))
                faults.append({picture.file, QCoreApplication::translate("HtmlOut", "写真がありません")});
            return QString();
        }
    }
    if (!picture.video && (rendition || thumbnailsOnly)) {
        if (pictures.thumbFolder.isEmpty())
            return QString();  // no output folder: the frame writers' report
        const ThumbEntry thumb = pictures.thumbs.value(picture.file);
        if (thumb.file.isEmpty()) {
            faults.append({picture.file, ThumbFaultText(thumb.fault == ThumbFault::None ? ThumbFault::Unreadable
                                                                                        : thumb.fault)});
            return QString();
        }
        // The header readers do not read these formats: the upright thumbnail gives the shape.
        if (rendition && !FitThumbnail(thumb.width, thumb.height, &t))
            return QString();
        picture.file = ChildPath(pictures.thumbFolder, thumb.file);
        picture.reference = QDir(genre.folder).relativeFilePath(picture.file);
        picture.relative = true;
        picture.made = true;
    }
    const std::optional<QString> source = run.layout().pictureSource(genre, picture);
    if (!source)
        return QString();
    // Built in one piece: a page has a line of these for every title.
    return QString(u"<img src='" % HtmlEscape(*source) % u"' height='" % QString::number(t.height) % u"px' width='"
                   % QString::number(t.width) % u"px'" % (picture.video ? QStringView(u" title='動画'") : QStringView())
                   % u"><br>");
}

void appendCell(QStringList &lines, const HtmlRun &run, const TitlePictures &pictures, const GenreInfo &genre,
                const TitleRow &title, QList<PhotoFault> &faults, QStringList &leftOutLinks)
{
    lines << QStringLiteral("<td  height='150px' width='130px'>");
    const QString image = imageLine(run, pictures, genre, title, faults);
    lines << (image.isEmpty() ? QStringLiteral("<br>") : image);
    lines << QString(HtmlEscape(title.name) % u"<br>");
    // The link is the user's own URL: only made safe for the script and the page, and
    // left out where it would run a script or open something else of its own.
    if (title.linkButton && title.hasLink) {
        if (LinkMayOpen(title.link))
            lines << buttonLine(title.link, QStringLiteral("ﾘﾝｸ"));
        else
            leftOutLinks << title.name + QStringLiteral(": ") + title.link;
    }
    if (!title.linkButton && !title.htmlButton)
        lines << QStringLiteral("<br>");
    if (title.htmlButton && title.hasHtml)
        if (const std::optional<QString> target = run.layout().openTarget(genre, title.name, title.ivents))
            lines << buttonLine(*target, QStringLiteral("開く"));
    lines << QStringLiteral("</td>");
}

// The base folder, resolved; empty when it is not set or not there.
QString resolvedBase(Connection &conn, QString *asStored)
{
    RowSet rs(conn, QStringLiteral("select * from allTop where ID=1"));
    *asStored = rs.eof() ? QString() : rs.text(QStringLiteral("allTop"));
    return asStored->isEmpty() ? QString() : QFileInfo(*asStored).canonicalFilePath();
}

QStringList pageHead()
{
    QStringList lines = {
        QStringLiteral("<script type='text/javascript'>"),
        QStringLiteral("<!--"),
        QStringLiteral("function goLink(a) { window.open( a ,'_blank' ); }"),
        QStringLiteral("-->"),
        QStringLiteral("</script>"),
        QStringLiteral("<html>"),
        QStringLiteral("<style TYPE=text/css>"),
        QStringLiteral("a:link { text-decoration:none; color:#00ffff }"),
        QStringLiteral("a:visited { text-decoration:none;color:#405040 }"),
        QStringLiteral("a:active { text-decoration:none; color:#00FF00;background:#000000 }"),
        QStringLiteral("a:hover { text-decoration:none; color:#FFFF00;background:#000000 }"),
        QStringLiteral("</style>"),
        QStringLiteral("<body bgcolor='#fffff0'>"),
        QStringLiteral("<table border=1 align='center'>"),
        QStringLiteral("<colgroup>"),
    };
    for (int i = 0; i < kCellsPerRow; ++i)
        lines << QStringLiteral("<col width='130px' align='center'>");
    lines << QStringLiteral("</colgroup>") << QStringLiteral("<tr valign=bottom>");
    return lines;
}

}  // namespace

bool WriteGenreIndexPages(HtmlRun &run)
{
    QList<PhotoFault> faults;
    QStringList leftOutLinks;  // "title: link"
    QStringList outside;  // genre folders under the base folder that a link leads out of
    QStringList blocked;  // genre folders where a folder stands in the page's place
    const bool stopped = trapped(run, kGenrePagesTitle, [&] {
        Connection conn(run.global().dbConnectString);
        // One genre at a time, in the table's order, so that a run holds one genre's rows
        // however many the library has; a genre's rows need no more pages cached than this.
        conn.exec(QStringLiteral("pragma cache_size = -512"));
        RowSet genres(conn, QStringLiteral("select * from photoyear where ID1>? order by ID1 limit 1"),
                      {std::numeric_limits<qint64>::min()});
        if (genres.eof()) {
            run.report(QCoreApplication::translate("HtmlOut", kNoGenre.toUtf8().constData()), kGenrePagesTitle);
            return true;
        }
        QString base;
        const QString realBase = resolvedBase(conn, &base);
        Statement titles(conn,
                         QStringLiteral("select %1 from photoivents where ID1=? "
                                        "order by iventsfoldername collate nocase, iventsfoldername, ID2")
                             .arg(QLatin1String(kTitleFields)),
                         QCoreApplication::translate("Database", "読み取り"));
        titles.setWhileStepping([&run] { run.keepAlive(); });  // a big genre's sort
        PosterCache posterCache(run.outputFolder());
        ThumbCache thumbCache(run.outputFolder());
        const bool folderUsable = isLocalPath(run.outputFolder()) && IsFolder(run.outputFolder());
        for (GenreInfo genre; !genres.eof(); genres.requery({genre.id})) {
            genre = GenreInfo();
            genre.id = genres.number(QStringLiteral("ID1"));
            genre.categoryId = genres.number(QStringLiteral("ID"));
            genre.folder = genres.text(QStringLiteral("yearFolder"));
            genre.name = genres.text(QStringLiteral("yearFolderName"));
            QList<TitleRow> rows;
            titles.bind(1, genre.id);
            while (titles.step()) {
                rows << readTitle(titles);
                run.keepAlive();
            }
            titles.reset();  // no read lock held while the page is made
            // A genre without titles keeps whatever page it had.
            if (!rows.isEmpty() || run.layout().pageForEveryGenre()) {
                const TitlePictures pictures(rows, run, &posterCache, &thumbCache, folderUsable);
                QStringList lines = pageHead();
                int column = 1;
                for (const TitleRow &title : std::as_const(rows)) {
                    if (column > kCellsPerRow) {
                        column = 1;
                        lines << QStringLiteral("</tr>") << QStringLiteral("<tr valign=bottom>");
                    }
                    appendCell(lines, run, pictures, genre, title, faults, leftOutLinks);
                    ++column;
                    run.keepAlive();
                }
                for (; column <= kCellsPerRow; ++column)
                    lines << QStringLiteral("<td><br></td>");
                lines << QStringLiteral("</tr>") << QStringLiteral("</table>") << QStringLiteral("</html>");
                const QString page = run.layout().genrePagePath(genre);
                if (!realBase.isEmpty() && isInside(genre.folder, base) && page.startsWith(genre.folder)) {
                    const QString real = QFileInfo(genre.folder).canonicalFilePath();
                    if (!real.isEmpty() && !isInside(real, realBase))
                        outside << genre.folder + QStringLiteral(" -> ") + real;
                }
                // A title folder of the page's name takes its place: that genre gets no
                // page, the others still do.
                if (IsFolder(page))
                    blocked << genre.folder;
                else
                    run.layout().writePage(page, lines, [&run] { run.keepAlive(); });
                // A large genre's lines, pictures and rows take a while to free: the
                // progress in between.
                run.keepAlive();
                lines.clear();
                run.keepAlive();
            }
            run.keepAlive();
            rows.clear();
            run.advance();
        }
        // Every title has been seen: posters and thumbnails no title shows any more can
        // go. The copy takes its posters and renditions from the local site's caches and
        // leaves them to it; the local site leaves the copy's thumbnails alone.
        if (folderUsable) {
            const auto waiting = [&run] { run.keepAlive(); };
            if (run.localSite())
                posterCache.removeStale(waiting);
            thumbCache.removeStale(run.localSite(), waiting);
        }
        for (const QString &why : {posterCache.refusal(), thumbCache.refusal()})
            if (!why.isEmpty())
                run.report(why, kGenrePagesTitle);
        return false;
    });
    if (!blocked.isEmpty())
        run.report(QCoreApplication::translate("HtmlOut", "次のジャンルのフォルダには「nIndex.html」という名前のフォルダがあるため、"
                                  "ページを書けませんでした。\n\r")
                       + blocked.join(QStringLiteral("\n\r")),
                   kGenrePagesTitle);
    if (!outside.isEmpty())
        run.notice(QCoreApplication::translate("HtmlOut", "次のジャンルのフォルダはリンクで基準フォルダの外を指しています。"
                                  "ページはリンク先のフォルダに書きました。\n\r")
                       + outside.join(QStringLiteral("\n\r")),
                   kGenrePagesTitle);
    if (QStringList *list = run.linkFaultList())
        *list << leftOutLinks;
    else if (!leftOutLinks.isEmpty())
        run.report(QCoreApplication::translate("HtmlOut", "次のタイトルのリンクは http・https・mailto 以外の形式のため、ﾘﾝｸボタンを出力しませんでした。\n\r")
                       + leftOutLinks.mid(0, 10).join(QStringLiteral("\n\r"))
                       + (leftOutLinks.size() > 10 ? QCoreApplication::translate("HtmlOut", "\n\rほか %1 件").arg(leftOutLinks.size() - 10) : QString()),
                   kGenrePagesTitle, leftOutLinks.size() > 10 ? leftOutLinks.join(QLatin1Char('\n')) : QString());
    QStringList all;
    for (const PhotoFault &f : faults)
        all << f.path + QStringLiteral(" (") + f.reason + QLatin1Char(')');
    if (QStringList *list = run.pictureFaultList()) {
        *list << all;
    } else if (!all.isEmpty()) {
        // The box stays on the screen however many there are: the first few and the
        // count in the text, every one in the details.
        constexpr int kShown = 10;
        QString text = QCoreApplication::translate("HtmlOut", "次のタイトルは写真を表示できないため、写真なしで出力しました。");
        for (const QString &line : all.mid(0, kShown))
            text += QStringLiteral("\n\r") + line;
        if (all.size() > kShown)
            text += QCoreApplication::translate("HtmlOut", "\n\rほか %1 件（全 %2 件は詳細に表示します）").arg(all.size() - kShown).arg(all.size());
        run.report(text, kGenrePagesTitle, all.size() > kShown ? all.join(QLatin1Char('\n')) : QString());
    }
    return stopped;
}

}  // namespace tessaly
