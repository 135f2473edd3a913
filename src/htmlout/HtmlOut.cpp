#include "HtmlOut.h"

#include "Database.h"
#include "DialogService.h"
#include "Global.h"
#include "ImageSize.h"
#include "PageFile.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>


namespace tessaly {

using namespace htmlout;

const QString kHtmlOutTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ＨＴＭＬファイル出力"));
const QString kFramePagesTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ＨＴＭＬファイル出力(index.html)"));
const QString kNameAPageTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ＨＴＭＬファイル出力(NameA.html)"));
const QString kCategoryPagesTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ＨＴＭＬファイル出力([カテゴリ].html)"));
const QString kGenrePagesTitle = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "ＨＴＭＬファイル出力(nIndex.html)"));

// ---------------------------------------------------------------------------

static const SiteLayout kLocalSite;

SiteLayout::~SiteLayout() = default;

QString SiteLayout::genrePagePath(const GenreInfo &genre) const
{
    if (!isLocalPath(genre.folder))
        pathNotFound(genre.folder);
    return ChildPath(genre.folder, QStringLiteral("nIndex.html"));
}

QString SiteLayout::genreLink(const GenreInfo &genre) const
{
    return PathLinkEscape(genre.folder) + QStringLiteral("/nIndex.html");
}

std::optional<QString> SiteLayout::pictureSource(const GenreInfo &, const Picture &picture) const
{
    return picture.relative ? LinkEscape(picture.reference) : PathLinkEscape(picture.reference);
}

std::optional<QString> SiteLayout::openTarget(const GenreInfo &, const QString &, const QString &ivents) const
{
    // A Windows path gets "/" for its "\"; on this system "\" is a character of a name.
    if (!IsWindowsFormPath(ivents))
        return LinkEscape(ivents);
    QString target = ivents;
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return PathLinkEscape(target);
}

void SiteLayout::writePage(const QString &path, const QStringList &lines,
                           const std::function<void()> &whileBuilding) const
{
    htmlout::writePage(path, lines, whileBuilding);
}

HtmlRun::HtmlRun(Global &g, DialogService &ds, QObject *owner, HtmlProgress progress)
    : m_g(g), m_ds(ds), m_owner(owner), m_progress(std::move(progress)), m_layout(&kLocalSite)
{
}

void HtmlRun::report(const QString &text, const QString &title, const QString &details, int number)
{
    ++m_reports;
    MessageRequest req{text, MsgKind::Exclamation, title, MsgButtons::Ok, details};
    req.number = number;
    m_ds.message(req, m_owner);
}

void HtmlRun::notice(const QString &text, const QString &title)
{
    m_ds.message(text, MsgKind::Information, title, MsgButtons::Ok, m_owner);
}

void HtmlRun::setLayout(const SiteLayout *layout)
{
    m_layout = layout ? layout : &kLocalSite;
}

bool HtmlRun::localSite() const
{
    return m_layout == &kLocalSite;
}

void HtmlRun::setTotal(int total)
{
    m_total = total;
    m_sinceProgress.start();
    if (m_progress)
        m_progress(m_done, m_total);
}

void HtmlRun::keepAlive()
{
    // Cheap enough per title: the clock is read, the callback rarely made.
    constexpr qint64 kEveryMs = 50;
    if (!m_progress || (m_sinceProgress.isValid() && m_sinceProgress.elapsed() < kEveryMs))
        return;
    m_sinceProgress.start();
    m_progress(m_done, m_total);
}

void HtmlRun::advance(int pages)
{
    advanceTo(m_done + pages);
}

void HtmlRun::advanceTo(int done)
{
    if (done <= m_done)
        return;
    m_done = done;
    m_sinceProgress.start();
    if (m_progress)
        m_progress(m_done, m_total);
}

QString HtmlEscape(const QString &text)
{
    // Most names hold none of these: they are shared, not copied.
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == '&' || u == '<' || u == '>' || u == '"' || u == '\'';
    };
    if (std::none_of(text.cbegin(), text.cend(), special))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&#39;"); break;
        default: out += c; break;
        }
    }
    return out;
}

static void percent(QString &out, ushort c)
{
    static const char kHex[] = "0123456789ABCDEF";
    out += QLatin1Char('%');
    out += QLatin1Char(kHex[(c >> 4) & 0xF]);
    out += QLatin1Char(kHex[c & 0xF]);
}

QString LinkEscape(const QString &path)
{
    const int n = int(path.size());
    // Most paths need nothing: shared, not copied. A blank may need it at a name's edge.
    const auto special = [](QChar c) {
        const char16_t u = c.unicode();
        return u == '%' || u == '#' || u == '?' || u == ':' || u == '\\' || u == ' ' || u < 0x20 || u == 0x7F;
    };
    if (std::none_of(path.cbegin(), path.cend(), special))
        return path;
    QString out;
    out.reserve(path.size());
    for (int i = 0; i < n; ++i) {
        const ushort c = path.at(i).unicode();
        switch (c) {
        case '%': case '#': case '?':
        case ':':   // before the first "/" it would be read as a URL scheme
        case '\\':  // read as "/"
            percent(out, c);
            continue;
        case ' ': {
            // The URL parser strips blanks at either end of the whole reference.
            const bool edge = i == 0 || i == n - 1 || path.at(i - 1) == QLatin1Char('/')
                              || path.at(i + 1) == QLatin1Char('/');
            if (edge)
                percent(out, c);
            else
                out += QLatin1Char(' ');
            continue;
        }
        default:
            if (c < 0x20 || c == 0x7F)  // tab and line breaks are dropped from URLs
                percent(out, c);
            else
                out += QChar(c);
        }
    }
    return out;
}

QString PathLinkEscape(const QString &path)
{
    if (!IsWindowsFormPath(path))
        return LinkEscape(path);
    QString out;
    out.reserve(path.size());
    for (const QChar c : path) {
        const ushort u = c.unicode();
        if (u == '%' || u == '#' || u == '?')
            percent(out, u);
        else
            out += c;
    }
    return out;
}

bool LinkMayOpen(const QString &link)
{
    // As a browser reads it: tabs and line breaks anywhere and blanks and control
    // characters at the start do not count; the scheme is a letter, then letters,
    // digits, + - . up to the first ":".
    QString t;
    for (const QChar c : link)
        if (c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            t += c;
    qsizetype i = 0;
    while (i < t.size() && t.at(i).unicode() <= 0x20)
        ++i;
    const auto letter = [](QChar c) { return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')); };
    if (i >= t.size() || !letter(t.at(i)))
        return true;
    qsizetype j = i + 1;
    while (j < t.size() && (letter(t.at(j)) || t.at(j).isDigit() || t.at(j) == QLatin1Char('+') || t.at(j) == QLatin1Char('-')
                            || t.at(j) == QLatin1Char('.')) && t.at(j).unicode() < 0x80)
        ++j;
    if (j >= t.size() || t.at(j) != QLatin1Char(':'))
        return true;
    const QString scheme = t.mid(i, j - i).toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

QString JsStringEscape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\'': out += QLatin1String("\\'"); break;
        case '"': out += QLatin1String("\\\""); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c; break;
        }
    }
    return out;
}

QByteArray PageBytes(const QStringList &lines, const std::function<void()> &whileBuilding)
{
    static const QByteArray head("<meta charset=\"UTF-8\">\r\n");
    // Written in place into room for the longest encoding: a byte for an ASCII unit, at
    // most three for any other.
    qsizetype most = head.size();
    int n = 0;
    for (const QString &line : lines) {
        most += line.size() + 2;
        for (const QChar c : line)
            most += c.unicode() < 0x80 ? 0 : 2;
        if (whileBuilding && ++n % 4096 == 0)
            whileBuilding();
    }
    QByteArray out(most, Qt::Uninitialized);
    std::memcpy(out.data(), head.constData(), size_t(head.size()));
    char *end = out.data() + head.size();
    for (const QString &line : lines) {
        const QChar *p = line.constData(), *stop = p + line.size();
        char *put = end;
        while (p < stop && p->unicode() < 0x80)
            *put++ = char((p++)->unicode());
        if (p == stop) {
            end = put;
        } else {  // toUtf8() for the rest: it has its own way with a lone surrogate
            const QByteArray utf8 = line.toUtf8();
            std::memcpy(end, utf8.constData(), size_t(utf8.size()));
            end += utf8.size();
        }
        *end++ = '\r';
        *end++ = '\n';
        if (whileBuilding && ++n % 4096 == 0)
            whileBuilding();
    }
    out.truncate(end - out.constData());
    return out;
}

// ---------------------------------------------------------------------------

bool HtmlFileCreate(Global &g, DialogService &ds, QObject *owner, const HtmlProgress &progress, bool *finished)
{
    if (finished)
        *finished = false;
    HtmlRun run(g, ds, owner, progress);
    QString outputFolder;
    int categories = 0;
    int genres = 0;
    try {
        Connection conn(g.dbConnectString);
        {
            RowSet rs(conn, QStringLiteral("select * from systemDir where ID=1"));
            if (!rs.eof())
                outputFolder = rs.text(QStringLiteral("htmlDir"));
        }
        if (!outputFolder.isEmpty()) {
            categories = RowSet(conn, QStringLiteral("photograph")).count();
            genres = RowSet(conn, QStringLiteral("photoyear")).count();
        }
    } catch (const DbError &e) {
        reportFailure(run, e, kHtmlOutTitle);
        return false;
    }
    if (outputFolder.isEmpty()) {
        run.report(QCoreApplication::translate("HtmlOut", "INDEX.HTMLの保存先が設定されていません。"), kHtmlOutTitle);
        return false;
    }

    const WriterPages pages = RunWriters(run, outputFolder, categories, genres);
    if (finished)
        *finished = !pages.stopped;
    return run.reports() == 0;
}

WriterPages RunWriters(HtmlRun &run, const QString &outputFolder, int categories, int genres)
{
    // Progress counts pages: three frame pages, the bar, one per category and genre.
    WriterPages pages;
    run.setTotal(3 + 1 + categories + genres);
    pages.stopped = WriteFramePages(run, outputFolder);
    if (pages.stopped) {
        // The bar and the category pages go beside these: the one report says it all.
        // The local site's genre pages lie in the genre folders themselves, and are
        // written all the same; the copy's are reached only through the frame pages.
        run.advanceTo(4 + categories);
        if (run.localSite()) {
            if (run.outputFolder().isEmpty())
                run.setOutputFolder(outputFolder);
            WriteGenreIndexPages(run);
        }
        run.advanceTo(run.total());
        return pages;
    }
    pages.written = 3;
    run.advanceTo(3);
    const bool barStopped = WriteNameAPage(run, outputFolder);
    pages.written += barStopped ? 0 : 1;
    run.advanceTo(4);
    const bool categoriesStopped = WriteCategoryPages(run, outputFolder);
    pages.written += categoriesStopped ? 0 : categories;
    run.advanceTo(4 + categories);
    if (run.outputFolder().isEmpty())
        run.setOutputFolder(outputFolder);
    pages.stopped = WriteGenreIndexPages(run) || pages.stopped || barStopped || categoriesStopped;
    run.advanceTo(run.total());
    return pages;
}

// ---------------------------------------------------------------------------

bool WriteFramePages(HtmlRun &run, const QString &outputFolder)
{
    return trapped(run, kFramePagesTitle, [&] {
        if (!isLocalPath(outputFolder) || !IsFolder(outputFolder))
            pathNotFound(outputFolder);
        const QString sub = ChildPath(outputFolder, QStringLiteral("sub"));
        // A second run may make it at the same moment.
        if (!IsFolder(sub) && !QDir(outputFolder).mkdir(QStringLiteral("sub")) && !IsFolder(sub)) {
            if (QFileInfo::exists(sub))
                throw WriteError{75, QCoreApplication::translate("HtmlOut", "フォルダ sub を作れません。同じ名前のファイルがあります。(%1)").arg(sub)};
            throw WriteError{70, QCoreApplication::translate("HtmlOut", "フォルダ sub を作れません。(%1)").arg(sub)};
        }

        const SiteLayout &layout = run.layout();
        layout.writePage(subPath(outputFolder, QStringLiteral("b.html")),
                  {QStringLiteral("<html>"),
                   QStringLiteral(R"x(<body style="color:#000000; background-color:#0000ff; font-size:5;">)x"),
                   QStringLiteral("<head>"), QStringLiteral("<title></title>"), QStringLiteral("</head>"),
                   QStringLiteral("</html>")});
        run.advance();
        layout.writePage(subPath(outputFolder, QStringLiteral("c.html")),
                  {QStringLiteral("<html>"), QStringLiteral("<head>"), QStringLiteral("<title></title>"),
                   QStringLiteral("</head>"), QStringLiteral("</html>")});
        run.advance();
        layout.writePage(ChildPath(outputFolder, QStringLiteral("アルバム.html")),
                  {QStringLiteral("<html>"),
                   QStringLiteral("<head>"),
                   QStringLiteral("<title>カテゴリﾌｫﾙﾀﾞ管理</title>"),
                   QStringLiteral("</head>"),
                   QStringLiteral(R"x(<frameset rows="12%,*" border=0 frameborder=0 framespacing=0>)x"),
                   QStringLiteral(R"x(<frame src="sub/NameA.html" name="Frame2">)x"),
                   QStringLiteral(R"x(<frameset cols="18%,*" border=0 frameborder=0 framespacing=0>)x"),
                   QStringLiteral(R"x(<frame src="sub/b.html" name="Frame3">)x"),
                   QStringLiteral(R"x(<frame src="sub/c.html" name="Frame4">)x"),
                   QStringLiteral("</frameset>"),
                   QStringLiteral("<noframes>"),
                   QStringLiteral("このページはフレーム対応です｡"),
                   QStringLiteral("</noframes>"),
                   QStringLiteral("</frameset>"),
                   QStringLiteral("</html>")});
        run.advance();
        return false;
    });
}

}  // namespace tessaly
