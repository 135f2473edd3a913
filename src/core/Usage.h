#pragma once
// The usage text of a program, kept once: --help prints it and the build turns it into
// the manual pages, English and Japanese, so the two cannot drift apart.
#include <QList>
#include <QString>
#include <QStringList>

namespace tessaly {

enum class UsageLang { En, Ja };

struct UsageEntry {
    QString usage;  // "autoset [--yes] LIB", "--help"
    QString en;
    QString ja;     // empty: the English text stands in
};

struct UsageText {
    QString program;   // "tessaly-cli"
    QString synopsis;  // "COMMAND [OPTIONS] ARGS..."
    QString whatisEn, whatisJa;  // one line for the manual's NAME section
    QString aboutEn, aboutJa;    // a paragraph on what the program does
    QList<UsageEntry> commands;
    QList<UsageEntry> options;
};

// What a usage line such as "image-size [--mode N] FILE..." allows.
struct UsageSpec {
    QStringList flags;         // options without a value
    QStringList valueOptions;  // options followed by a value ("--mode N")
    int minArgs = 0;
    int maxArgs = 0;           // -1: no limit
};
UsageSpec ParseUsageLine(const QString &usage);

// Japanese where the locale's messages are Japanese, else English.
UsageLang UsageLanguage();
QString HelpText(const UsageText &text, UsageLang lang);
// A man(7) page of section 1.
QString ManPage(const UsageText &text, UsageLang lang, const QString &version);

// Handles "--man-page en|ja" (used by the build): prints the page and returns true.
bool PrintManPageIfAsked(const QStringList &args, const UsageText &text, const QString &version);

}  // namespace tessaly
