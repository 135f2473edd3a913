#pragma once
// The album site generator: the frameset "アルバム.html" in the output folder, the
// category bar and the category pages in its folder "sub", and one "nIndex.html"
// thumbnail table in every genre folder.
//
// Pages are UTF-8 without byte-order mark, every line ends with CR LF, and every page
// begins with the line <meta charset="UTF-8"> so that a browser never has to guess.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

// Called with the pages done so far and the pages of the whole run.
using HtmlProgress = std::function<void(int done, int total)>;

// A genre as its page is written.
struct GenreInfo {
    qint32 id = 0;          // ID1
    qint32 categoryId = 0;  // ID
    QString folder;         // yearFolder, as stored
    QString name;           // yearFolderName
};

// A picture that a genre page shows for a title.
struct Picture {
    QString title;      // the title's name
    QString file;       // the file on this system
    QString reference;  // as the local site refers to it: a path relative to the genre
                        // folder, or the stored absolute path (unescaped)
    bool relative = false;
    bool video = false;  // a poster frame standing in for a title's video
    bool made = false;   // a file the run made in its output folder: a poster or a thumbnail
};

// Where a run writes its pages and how they refer to each other and to the files they
// show. This base class is the local site: genre pages go into the genre folders and
// everything is referred to where it lies. Another layout (a copy of the site to be
// served from elsewhere) overrides these and reuses the writers and their markup.
// Every reference returned is escaped for a URL but not yet for HTML.
class SiteLayout {
public:
    virtual ~SiteLayout();
    // Where the page of a genre is written; throws WriteError when it cannot be here.
    virtual QString genrePagePath(const GenreInfo &genre) const;
    // The link from a category page in "sub" to the genre page.
    virtual QString genreLink(const GenreInfo &genre) const;
    // The source of a picture on the genre page of genre; none when the site leaves
    // the picture out.
    virtual std::optional<QString> pictureSource(const GenreInfo &genre, const Picture &picture) const;
    // The open button's target, from the stored file path of the title's page; none
    // when the site leaves the page (and so the button) out.
    virtual std::optional<QString> openTarget(const GenreInfo &genre, const QString &title,
                                              const QString &ivents) const;
    // Writes a page at a path that this layout gave; throws WriteError. whileBuilding as
    // PageBytes calls it.
    virtual void writePage(const QString &path, const QStringList &lines,
                           const std::function<void()> &whileBuilding = {}) const;
    // Whether a genre without titles gets a page (else it keeps the one it had).
    virtual bool pageForEveryGenre() const { return false; }
    // Whether every photo is shown through a small thumbnail made for the page (else
    // only the pictures browsers do not draw, and the others as they are).
    virtual bool thumbnailsOnly() const { return false; }
    // The real path of the folder every photo and video the site draws from must really
    // lie in (judged on the file opened for decoding); empty: anywhere.
    virtual QString pictureRoot() const { return QString(); }
    // A photo or video left out because it lies outside pictureRoot(): listed once.
    virtual void leaveOut(const QString &) const {}
};

// Titles under which each writer reports.
extern const QString kHtmlOutTitle;        // the driver: output folder not set
extern const QString kFramePagesTitle;     // WriteFramePages
extern const QString kNameAPageTitle;      // WriteNameAPage
extern const QString kCategoryPagesTitle;  // WriteCategoryPages
extern const QString kGenrePagesTitle;     // WriteGenreIndexPages

// What the writers of one run share.
class HtmlRun {
public:
    HtmlRun(Global &g, DialogService &ds, QObject *owner = nullptr, HtmlProgress progress = {});

    Global &global() const { return m_g; }
    // An exclamation message under the writer's title; counted as a reported error.
    // number: the error number the windows show before the text.
    void report(const QString &text, const QString &title, const QString &details = QString(), int number = 0);
    int reports() const { return m_reports; }
    // An information message; the run still counts as complete.
    void notice(const QString &text, const QString &title);
    // Where the pictures that the genre pages could not show go, as "path (reason)",
    // instead of a message; null (the default) for the message.
    QStringList *pictureFaultList() const { return m_pictureFaults; }
    void setPictureFaultList(QStringList *list) { m_pictureFaults = list; }
    // The same for the links whose ﾘﾝｸ button was left out, as "title: link".
    QStringList *linkFaultList() const { return m_linkFaults; }
    void setLinkFaultList(QStringList *list) { m_linkFaults = list; }

    // The local site unless another layout is set (kept by the caller).
    const SiteLayout &layout() const { return *m_layout; }
    void setLayout(const SiteLayout *layout);
    bool localSite() const;
    // The output folder of the run, where the posters of videos and the thumbnails of
    // photos are kept (set by RunWriters unless set before).
    const QString &outputFolder() const { return m_outputFolder; }
    void setOutputFolder(const QString &folder) { m_outputFolder = folder; }

    // Progress: the run's page count, and the pages done (or given up) so far.
    void setTotal(int total);
    void advance(int pages = 1);
    void advanceTo(int done);
    int done() const { return m_done; }
    int total() const { return m_total; }
    // Inside a long page or a batch of posters: the progress again (the same figures)
    // when it was last given more than a few hundredths of a second ago, so a window
    // that shows it keeps painting.
    void keepAlive();

private:
    Global &m_g;
    DialogService &m_ds;
    QObject *m_owner;
    HtmlProgress m_progress;
    const SiteLayout *m_layout;
    QString m_outputFolder;
    QStringList *m_pictureFaults = nullptr;
    QStringList *m_linkFaults = nullptr;
    int m_reports = 0;
    int m_done = 0;
    int m_total = 0;
    QElapsedTimer m_sinceProgress;
};

// Reads the output folder from the library and runs the four writers in order, each
// whatever the previous one did. Returns true when every writer finished and nothing
// was reported (an unset output folder, an empty level, an error, an unreadable photo).
// *finished: every writer ran to its end (the site is complete, notices aside).
bool HtmlFileCreate(Global &g, DialogService &ds, QObject *owner = nullptr, const HtmlProgress &progress = {},
                    bool *finished = nullptr);

// Runs the four writers in order into outputFolder (the posters go there too), each
// whatever the previous one did, except that nothing follows frame pages that could not
// be written, with the progress counted in pages. Returns whether
// any stopped early, and the pages of the frame, bar and category writers that finished.
struct WriterPages {
    bool stopped = false;
    int written = 0;
};
WriterPages RunWriters(HtmlRun &run, const QString &outputFolder, int categories, int genres);

// The writers. Each reports its own errors under its own title and returns true when
// it stopped early with a message, false when it finished.
bool WriteFramePages(HtmlRun &run, const QString &outputFolder);
bool WriteNameAPage(HtmlRun &run, const QString &outputFolder);
bool WriteCategoryPages(HtmlRun &run, const QString &outputFolder);
bool WriteGenreIndexPages(HtmlRun &run);

// Making stored values safe in pages. A value without any of the characters named
// comes out unchanged.
QString HtmlEscape(const QString &text);      // & < > " '
QString JsStringEscape(const QString &text);  // \ ' " and line breaks, for '...'
// A path of this system, or a path relative to the page, as a link that every browser
// reads back as that path: % # ? : \ and control characters percent-encoded, and a
// blank at the start or the end of a name. Letters (Japanese included), digits, blanks
// inside a name, - _ . and the "/" between names stay as they are.
QString LinkEscape(const QString &path);
// A stored absolute path: one in the other platform's form (a drive or a share) keeps
// its ":" and "\" and gets only % # ? encoded; any other goes through LinkEscape.
QString PathLinkEscape(const QString &path);
// Whether a stored link may get a ﾘﾝｸ button: a browser reads it as http, https, mailto
// or as relative to the page. Any other scheme (javascript:, data:, file: ...) would
// run or open something of its own.
bool LinkMayOpen(const QString &link);

// The file names in "sub" of the pages of categories with these names, in the same
// order: the name + ".html", except where that would replace one of the site's own
// pages (NameA, b, c), exceed the file system's name limit
// (nameMax bytes) or repeat an earlier one: such a page gets the name shortened, "~"
// and eight hexadecimal digits of the name's hash (and "-2", "-3" ... until unique).
QStringList CategoryPageFiles(const QStringList &names, int nameMax = 255);
// The same rule for any names: name + suffix where that is a usable file name (not
// reserved, empty, "." or "..", without "/", within nameMax bytes) not taken before.
QStringList UniqueFileNames(const QStringList &names, const QString &suffix, const QStringList &reserved,
                            int nameMax = 255);

// The bytes of a page: the charset line, then each line, all ended by CR LF, UTF-8.
// whileBuilding is called every few thousand lines.
QByteArray PageBytes(const QStringList &lines, const std::function<void()> &whileBuilding = {});

}  // namespace tessaly
