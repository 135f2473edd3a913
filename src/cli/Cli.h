#pragma once
// Commands of tessaly-cli. Each command file registers its commands with a static
// CliCommand object; main dispatches on the first argument. The usage line is the
// command's whole interface: main checks options and argument counts against it, and
// --help and the manual pages list it.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

#include "DialogService.h"
#include "Global.h"

namespace tessaly::cli {

struct Context {
    QStringList args;  // the command's own arguments, options removed
    QStringList options;  // "--force", "--mode=3", ... as given
    Global g;
    ConsoleDialogService *dialogs = nullptr;
    QTextStream &out;  // what a command is asked to print (show, image-size)
    QTextStream &err;

    // Where a command says what it did: stdout, nothing under --quiet.
    QTextStream &summary();

    bool hasOption(const QString &name) const { return options.contains(name); }
    // Value of "--name=value" or "--name value" (the latter moved into options by main).
    QString optionValue(const QString &name) const;
    // Sets the open library as OpenLibrary does; reports and returns false when the
    // file is missing or not a library.
    bool openLibrary(const QString &path);
    int fail(const QString &message);  // prints "tessaly-cli: message", returns 1
    // A folder argument: blanks around it dropped, a relative path taken from the current
    // folder. A Windows-form or empty one is reported; then false.
    bool folderArgument(const QString &arg, QString *folder);
    // Prints the reason and the command's usage line; returns 2.
    int usageError(const QString &why);
    QString usage;  // the command's usage line
    bool quiet = false;  // -q/--quiet: no summary, no progress, no notes
};

using CommandFn = std::function<int(Context &)>;

struct CliCommand {
    // usage: "name [--flag] [--option VALUE] ARG [OPTIONAL] MORE..."; summaryJa: the
    // Japanese manual's text (the English one stands in when it is null).
    CliCommand(const char *name, const char *usage, const char *summary, CommandFn fn,
               QStringList valueOptions = {}, const char *summaryJa = nullptr);
};

// "--name" options that take the next argument as their value.
QStringList ValueOptions();

}  // namespace tessaly::cli

namespace tessaly::cli {

// A progress line on stderr that rewrites itself; shown only when stderr is a terminal
// and the run is not quiet.
class TerminalProgress {
public:
    explicit TerminalProgress(const QString &label);
    ~TerminalProgress();
    void show(int done, int total = -1);  // total < 0: no total known
    void finish();
    static void silence();  // --quiet: no progress line in this run

private:
    QString m_label;
    bool m_active;
    bool m_shown = false;
    qint64 m_lastMs = -1;
};

}  // namespace tessaly::cli
