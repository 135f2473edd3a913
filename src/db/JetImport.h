#pragma once
// Libraries kept on Windows in the Jet 3/4 format (.mdb) become Tessaly libraries by a
// one-time conversion: every row with its keys, Null apart from empty text, the Yes/No
// flags as -1/0. The Jet file is only read, through mdbtools' libmdb.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>

class QObject;

namespace tessaly {

struct Global;
class DialogService;
class LibraryHost;

// A refused or failed conversion; the message names the file and the fault, in
// the messages' language (a child converting speaks its parent's).
class JetImportError : public std::runtime_error {
public:
    explicit JetImportError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }
private:
    QString m_message;
};

// The refusal of a Jet file that holds what no library can: detail names the table and
// the row.
QString JetDamagedText(const QString &path, const QString &detail);

// True when the file starts with the header of a Jet 3 or Jet 4 database, whatever its name.
bool IsJetFile(const QString &path);

// Reads the five library tables of a Jet file. The constructor refuses an unreadable,
// damaged, password-protected or encrypted file and one that is not a library.
class JetLibraryReader {
public:
    explicit JetLibraryReader(const QString &path);
    ~JetLibraryReader();
    JetLibraryReader(const JetLibraryReader &) = delete;
    JetLibraryReader &operator=(const JetLibraryReader &) = delete;

    // Rows the table definitions announce, over all five tables.
    qint64 totalRows() const;
    // Streams the rows of LibraryTables()[table], values in the template's field order
    // (Null: invalid QVariant; text: QString; numbers and flags: int). Returns the row
    // count; throws JetImportError when the file yields fewer rows than it announces.
    int readTable(int table, const std::function<void(const QVariantList &)> &row);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A new library built from the template under a temporary name beside dest, then put in
// place whole: dest is never seen half written, and an existing dest is only replaced
// when asked. Destroying an unfinished writer removes the temporary file.
class LibraryFileWriter {
public:
    LibraryFileWriter(const QString &templatePath, const QString &dest, bool replace);
    // Fills file, a copy of the template that the caller made and removes on failure;
    // finish() only commits and syncs it.
    explicit LibraryFileWriter(const QString &file);
    ~LibraryFileWriter();
    LibraryFileWriter(const LibraryFileWriter &) = delete;
    LibraryFileWriter &operator=(const LibraryFileWriter &) = delete;

    void insert(int table, const QVariantList &values);  // keys as given
    // Refuses, as damaged, a source whose rows refer to a category or genre that is not
    // among the rows written, or a title whose category is not its genre's.
    void checkReferences(const QString &source);
    void finish();                                       // commits and renames

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Rows converted, per table in LibraryTables() order.
using JetImportCounts = QList<QPair<QString, int>>;
using JetProgress = std::function<void(qint64 done, qint64 total)>;

// Converts jetPath into a new library at dest in this process. Never writes jetPath;
// refuses an existing dest unless replace. Throws JetImportError with nothing written.
JetImportCounts ImportJetLibrary(const QString &jetPath, const QString &templatePath, const QString &dest,
                                 bool replace, const JetProgress &progress = {});

// The same with the Jet file parsed by a child process ("converter --jet-child JET FILE"),
// so that a file that upsets the parser cannot take this process down. The child fills a
// template copy made here, which is put in place only after a clean end and removed
// however the child ended. It waits in an event loop of its own, from which progress is
// called as the child reports and cancelled asked every 50 ms (true kills the child).
JetImportCounts ConvertJetLibrary(const QString &converter, const QString &jetPath, const QString &templatePath,
                                  const QString &dest, bool replace, const JetProgress &progress = {},
                                  const std::function<bool()> &cancelled = {});
// The child's side, args: JET FILE. Returns the exit code.
int RunJetConversionChild(const QStringList &args);
// The converter the program runs: tessaly-cli beside it, or what tests put in its place.
QString JetConverter(const Global &g);
void SetJetConverter(const QString &program);
// How long the child may say nothing before it is stopped (a minute; tests shorten it).
void SetJetSilenceLimit(int ms);

// A name beside the Jet file that names no existing file: "<name>-tessaly.mdb",
// then "<name>-tessaly-2.mdb" and so on.
QString JetConvertedPath(const QString &jetPath);

// 開く on a Jet file: asks, converts beside it (or where the user says, when its folder
// takes no file) in a child with a progress indicator, then says what it converted and
// sets the new library up as a new one: output and base folder windows, the base folder
// window in front, whose rewrite moves the Windows paths.
bool OpenJetLibrary(Global &g, DialogService &ds, LibraryHost &host, const QString &jetPath, bool enableMenus,
                    QObject *owner = nullptr);

}  // namespace tessaly
