#pragma once
// The user's own CUPS options file (~/.cups/lpoptions), edited line by line: one line per
// destination, "Dest name[/instance] option=value ..." or "Default ..." for the user's
// own default. Every line and option the program does not set stays as the user wrote it.
#include <QByteArray>
#include <QList>
#include <QString>

#include <initializer_list>

namespace tessaly {

class UserOptions {
public:
    static QString filePath();

    // The destination's lines ("name" or "name/instance") as they stand, line ends included.
    static QList<QByteArray> entry(const QByteArray &dest);
    static bool fileExists();

    // Sets one option of the destination's entry, in place when it has it, and drops the
    // options that spell the same setting otherwise. A destination with no entry gets a
    // Dest line (never a Default one: that would pin it as the user's default printer).
    static bool setOption(const QByteArray &dest, const QByteArray &name, const QByteArray &value,
                          std::initializer_list<const char *> replaced);

    // Puts lines back as the destination's entry, where its entry stands now; no lines
    // remove the entry. A file that did not exist before and would be empty is removed.
    static bool restoreEntry(const QByteArray &dest, const QList<QByteArray> &lines, bool fileExisted);
};

}  // namespace tessaly
