// One "nIndex.html" thumbnail table in every genre folder that has titles.
#include "HtmlOut.h"

#include "Database.h"
#include "Global.h"
#include "ImageSize.h"
#include "PageFile.h"
#include "Paths.h"

namespace tessaly {

using namespace htmlout;

namespace {

constexpr int kCellsPerRow = 6;

// A photo whose size could not be read; the run goes on without its thumbnail.
struct PhotoFault {
    QString path;
    QString reason;
};

// An image source that is written as it is: a share, a drive path, or an absolute
// path of this system.
bool isAbsolutePhoto(const QString &photo)
{
    return photo.startsWith(QLatin1String("\\\\")) || (photo.size() >= 2 && photo.at(1) == QLatin1Char(':'))
           || isLocalPath(photo);
}

bool isYes(const RowSet &rs, const QString &field)
{
    return !rs.isNull(field) && rs.number(field) != 0;
}

QString buttonLine(const QString &target, const QString &caption)
{
    return QStringLiteral("<input type='button' onclick=\"goLink('") + HtmlEscape(JsStringEscape(target))
           + QStringLiteral("')\" value='") + caption + QStringLiteral("'>");
}

// The image line of a title, or empty text when it shows no picture.
QString imageLine(const RowSet &title, QList<PhotoFault> &faults)
{
    const QString folder = title.text(QStringLiteral("iventsFolder"));
    QString photo = title.text(QStringLiteral("iventsPhoto"));
    QString sizePath;  // where the size is read; empty when it cannot be read here
    if (!photo.isEmpty()) {
        if (isAbsolutePhoto(photo))
            sizePath = photo;
        else if (isLocalPath(folder))
            sizePath = ChildPath(folder, photo);
    } else if (isLocalPath(folder)) {
        for (const char *pattern : {"*.jpg", "*.gif", "*.tif"}) {
            const QStringList names = ListFiles(folder, QLatin1String(pattern));
            if (!names.isEmpty()) {
                photo = names.first();
                sizePath = ChildPath(folder, photo);
                break;
            }
        }
    }
    if (photo.isEmpty() || !isLocalPath(sizePath))
        return QString();

    const ImageInfo info = GetImageSize(sizePath, 0);
    if (info.fault != ImageFault::None) {
        faults.append({sizePath, ImageFaultText(info.fault)});
        return QString();
    }
    Thumbnail t;
    if (!FitThumbnail(info, &t)) {
        // A size of zero (a TIFF, an unknown format) just shows no picture.
        if (info.Width > 0 && info.Height > 0)
            faults.append({sizePath, ImageFaultText(ImageFault::TooLarge)});
        return QString();
    }
    const QString source = isAbsolutePhoto(photo)
                               ? photo
                               : title.text(QStringLiteral("iventsFolderName")) + QLatin1Char('/') + photo;
    return QStringLiteral("<img src='") + HtmlEscape(PathLinkEscape(source)) + QStringLiteral("' height='")
           + QString::number(t.height) + QStringLiteral("px' width='") + QString::number(t.width)
           + QStringLiteral("px'><br>");
}

void appendCell(QStringList &lines, const RowSet &title, QList<PhotoFault> &faults)
{
    lines << QStringLiteral("<td  height='150px' width='130px'>");
    const QString image = imageLine(title, faults);
    lines << (image.isEmpty() ? QStringLiteral("<br>") : image);
    lines << HtmlEscape(title.text(QStringLiteral("iventsFolderName"))) + QStringLiteral("<br>");
    const bool linkButton = isYes(title, QStringLiteral("IventsLinkButton"));
    const bool htmlButton = isYes(title, QStringLiteral("IventsHtmlButton"));
    // The link is the user's own URL: only made safe for the script and the page.
    if (linkButton && !title.isNull(QStringLiteral("iventsLink")))
        lines << buttonLine(title.text(QStringLiteral("iventsLink")), QStringLiteral("ﾘﾝｸ"));
    if (!linkButton && !htmlButton)
        lines << QStringLiteral("<br>");
    if (htmlButton && !title.isNull(QStringLiteral("iventsHTML"))) {
        QString target = title.text(QStringLiteral("Ivents"));
        target.replace(QLatin1Char('\\'), QLatin1Char('/'));
        lines << buttonLine(PathLinkEscape(target), QStringLiteral("開く"));
    }
    lines << QStringLiteral("</td>");
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
    const bool stopped = trapped(run, kGenrePagesTitle, [&] {
        Connection conn(run.global().dbConnectString);
        RowSet genres(conn, QStringLiteral("photoyear"));
        if (genres.eof()) {
            run.report(kNoGenre, kGenrePagesTitle);
            return true;
        }
        RowSet titles(conn,
                      QStringLiteral("select * from photoivents where ID1=? "
                                     "order by iventsfoldername collate nocase, iventsfoldername, ID2"),
                      {0});
        for (; !genres.eof(); genres.moveNext()) {
            titles.requery({genres.number(QStringLiteral("ID1"))});
            if (!titles.eof()) {  // a genre without titles keeps whatever page it had
                QStringList lines = pageHead();
                int column = 1;
                for (; !titles.eof(); titles.moveNext()) {
                    if (column > kCellsPerRow) {
                        column = 1;
                        lines << QStringLiteral("</tr>") << QStringLiteral("<tr valign=bottom>");
                    }
                    appendCell(lines, titles, faults);
                    ++column;
                }
                for (; column <= kCellsPerRow; ++column)
                    lines << QStringLiteral("<td><br></td>");
                lines << QStringLiteral("</tr>") << QStringLiteral("</table>") << QStringLiteral("</html>");
                const QString folder = genres.text(QStringLiteral("yearFolder"));
                if (!isLocalPath(folder))
                    pathNotFound(folder);
                writePage(ChildPath(folder, QStringLiteral("nIndex.html")), lines);
            }
            run.advance();
        }
        return false;
    });
    if (!faults.isEmpty()) {
        // The box stays on the screen however many there are: the first few and the
        // count in the text, every one in the details.
        constexpr int kShown = 10;
        QString text = QStringLiteral("次の写真はサイズを読み取れないため、写真なしで出力しました。");
        QStringList all;
        for (const PhotoFault &f : faults)
            all << f.path + QStringLiteral(" (") + f.reason + QLatin1Char(')');
        for (const QString &line : all.mid(0, kShown))
            text += QStringLiteral("\n\r") + line;
        if (all.size() > kShown)
            text += QStringLiteral("\n\rほか %1 件（全 %2 件は詳細に表示します）").arg(all.size() - kShown).arg(all.size());
        run.report(text, kGenrePagesTitle, all.size() > kShown ? all.join(QLatin1Char('\n')) : QString());
    }
    return stopped;
}

}  // namespace tessaly
