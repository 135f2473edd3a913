#pragma once
// The album site generator: the frameset "アルバム.html" in the output folder, the
// category bar and the category pages in its folder "sub", and one "nIndex.html"
// thumbnail table in every genre folder.
//
// Pages are UTF-8 without byte-order mark, every line ends with CR LF, and every page
// begins with the line <meta charset="UTF-8"> so that a browser never has to guess.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace tessaly {

struct Global;
class DialogService;

// Called with the pages done so far and the pages of the whole run.
using HtmlProgress = std::function<void(int done, int total)>;

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
    void report(const QString &text, const QString &title, const QString &details = QString());
    int reports() const { return m_reports; }

    // Progress: the run's page count, and the pages done (or given up) so far.
    void setTotal(int total);
    void advance(int pages = 1);
    void advanceTo(int done);
    int done() const { return m_done; }
    int total() const { return m_total; }

private:
    Global &m_g;
    DialogService &m_ds;
    QObject *m_owner;
    HtmlProgress m_progress;
    int m_reports = 0;
    int m_done = 0;
    int m_total = 0;
};

// Reads the output folder from the library and runs the four writers in order, each
// whatever the previous one did. Returns true when every writer finished and nothing
// was reported (an unset output folder, an empty level, an error, an unreadable photo).
bool HtmlFileCreate(Global &g, DialogService &ds, QObject *owner = nullptr, const HtmlProgress &progress = {});

// The writers. Each reports its own errors under its own title and returns true when
// it stopped early with a message, false when it finished.
bool WriteFramePages(HtmlRun &run, const QString &outputFolder);
bool WriteNameAPage(HtmlRun &run, const QString &outputFolder);
bool WriteCategoryPages(HtmlRun &run, const QString &outputFolder);
bool WriteGenreIndexPages(HtmlRun &run);

// Making stored values safe in pages. A value without any of the characters named
// comes out unchanged.
QString HtmlEscape(const QString &text);      // & < > " '
QString PathLinkEscape(const QString &path);  // % # ? as %25 %23 %3F
QString JsStringEscape(const QString &text);  // \ ' " and line breaks, for '...'

// The bytes of a page: the charset line, then each line, all ended by CR LF, UTF-8.
QByteArray PageBytes(const QStringList &lines);

}  // namespace tessaly
