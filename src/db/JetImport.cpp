// The conversion's writing side and its child process: the Jet file is parsed in a child
// (libmdb is C reading files from elsewhere), which fills a copy of the template that this
// process made and puts in place only once the child has finished well.
#include "JetImport.h"

#include "Database.h"
#include "DialogService.h"
#include "FileReplace.h"
#include "Global.h"
#include "Language.h"
#include "Library.h"
#include "Pickers.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

QString shownName(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

QString writeFault(const QString &path, const QString &detail)
{
    return QCoreApplication::translate("Jet", "「%1」に書き込めません: %2").arg(path, detail);
}

// What a failed write means to the user; Qt says "Unknown error" for a full disk.
QString systemFault(int err, const QString &fallback = QString())
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QCoreApplication::translate("Jet", "ディスクがいっぱいです。");
    case EROFS:
        return QCoreApplication::translate("Jet", "読み取り専用の場所です。");
    case EACCES:
    case EPERM:
        return QCoreApplication::translate("Jet", "書き込みが許可されていません。");
    default:
        return fallback.isEmpty() ? QString::fromLocal8Bit(std::strerror(err)) : fallback;
    }
}

QString fileFault(const QFileDevice &f, int err)
{
    if (f.error() == QFileDevice::ResourceError && err == 0)
        err = ENOSPC;
    return systemFault(err, f.errorString());
}

// A copy of the template under a hidden temporary name beside dest, readable as the
// user's other files are. Returns its path; the caller removes it.
QString copyTemplateBeside(const QString &templatePath, const QString &dest)
{
    QFile tpl(templatePath);
    if (!tpl.open(QIODevice::ReadOnly))
        throw JetImportError(QCoreApplication::translate("Jet", "テンプレート「%1」が見つからないか読めません。").arg(templatePath));
    const QByteArray bytes = tpl.readAll();
    const QFileInfo di(dest);
    QTemporaryFile tf(di.absolutePath() + QStringLiteral("/.") + di.fileName() + QStringLiteral(".XXXXXX"));
    tf.setAutoRemove(false);
    errno = 0;
    if (!tf.open())
        throw JetImportError(writeFault(dest, fileFault(tf, errno)));
    const QString temp = tf.fileName();
    errno = 0;
    if (tf.write(bytes) != bytes.size() || !tf.flush() || ::fsync(tf.handle()) != 0) {
        const QString err = fileFault(tf, errno);
        tf.close();
        QFile::remove(temp);
        throw JetImportError(writeFault(dest, err));
    }
    tf.close();
    const mode_t mask = umask(0);
    umask(mask);
    ::chmod(QFile::encodeName(temp).constData(), 0666 & ~mask);
    return temp;
}

void removeTemp(const QString &temp)
{
    if (temp.isEmpty())
        return;
    QFile::remove(temp);
    QFile::remove(temp + QStringLiteral("-journal"));
}

void checkTarget(const QString &dest, bool replace)
{
    const QFileInfo di(dest);
    if (!QFileInfo(di.absolutePath()).isDir())
        throw JetImportError(QCoreApplication::translate("Jet", "フォルダ「%1」がありません。").arg(di.absolutePath()));
    if (di.isDir())
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」はフォルダです。").arg(shownName(dest)));
    if ((di.exists() || di.isSymLink()) && !replace)
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」は既にあります。").arg(shownName(dest)));
}

// Puts a finished temporary library in place of dest: synced first, a rename when
// replacing, else a link, which never replaces a file that appeared meanwhile.
void putInPlace(const QString &temp, const QString &dest, bool replace)
{
    {
        QFile f(temp);
        errno = 0;
        if (!f.open(QIODevice::ReadWrite) || ::fsync(f.handle()) != 0)
            throw JetImportError(writeFault(dest, fileFault(f, errno)));
    }
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(dest);
    if (replace) {
        if (::rename(from.constData(), to.constData()) != 0)
            throw JetImportError(writeFault(dest, systemFault(errno)));
    } else if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
    } else if (errno == EEXIST) {
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」は既にあります。").arg(dest));
    } else if (QFileInfo::exists(dest) || ::rename(from.constData(), to.constData()) != 0) {
        // A file system without hard links: check, then rename.
        throw JetImportError(writeFault(dest, systemFault(errno)));
    }
}

// The child's messages end up in its parent's: it speaks the parent's language, told by
// this variable (a window's parent stays Japanese whatever the locale).
constexpr char kChildLanguage[] = "TESSALY_JET_MESSAGES";

QString g_converter;  // the program run as the child; empty: tessaly-cli beside the program
// The child reports every few hundred rows; one that says nothing this long is stopped
// or looping (a damaged file can make libmdb go round for ever).
int g_silenceLimitMs = 60000;

}  // namespace

// ---------------------------------------------------------------------------

struct LibraryFileWriter::Impl {
    QString dest;
    QString file;      // the library being filled
    bool ownsFile = false;
    bool replace = false;
    bool done = false;
    std::unique_ptr<Connection> conn;
    QList<QSqlQuery> inserts;

    void open()
    {
        try {
            conn = std::make_unique<Connection>(MakeConnectString(file));
            // Nobody else sees the file and a failure discards it, so a journal and
            // syncs on the way are useless; one sync at the end keeps the result.
            conn->exec(QStringLiteral("pragma journal_mode=off"));
            conn->exec(QStringLiteral("pragma synchronous=off"));
            conn->begin();
            for (const LibraryTable &t : LibraryTables()) {
                QSqlQuery q(conn->database());
                const QString marks = QStringLiteral("?,").repeated(t.fields.size()).chopped(1);
                if (!q.prepare(QStringLiteral("insert into %1 (%2) values (%3)").arg(t.name, t.fields.join(','), marks)))
                    throw JetImportError(writeFault(dest, q.lastError().text()));
                inserts << q;
            }
        } catch (const DbError &e) {
            discard();
            throw JetImportError(writeFault(dest, e.message()));
        } catch (...) {
            discard();
            throw;
        }
    }

    void discard()
    {
        inserts.clear();
        conn.reset();
        if (ownsFile)
            removeTemp(file);
    }
};

LibraryFileWriter::LibraryFileWriter(const QString &templatePath, const QString &dest, bool replace) : d(new Impl)
{
    d->dest = shownName(dest);
    d->replace = replace;
    checkTarget(d->dest, replace);
    d->file = copyTemplateBeside(templatePath, d->dest);
    d->ownsFile = true;
    d->open();
}

LibraryFileWriter::LibraryFileWriter(const QString &file) : d(new Impl)
{
    d->dest = d->file = shownName(file);
    d->open();
}

LibraryFileWriter::~LibraryFileWriter()
{
    if (!d->done)
        d->discard();
}

void LibraryFileWriter::insert(int table, const QVariantList &values)
{
    QSqlQuery &q = d->inserts[table];
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values.at(i));
    if (!q.exec())
        throw JetImportError(writeFault(d->dest, q.lastError().text()));
}

void LibraryFileWriter::checkReferences(const QString &source)
{
    // A changed byte in a key, or in a row's null bitmap (a key read as Null), leaves a row
    // that no window or page reaches; the first such row, by table and key, is named.
    struct Check {
        const char *table, *key, *field, *select, *fault;
    };
    static const Check checks[] = {
        {"photoYear", "ID1", "ID",
         "select y.ID1, y.ID, null, null from photoYear y where y.ID is null "
         "or not exists (select 1 from photoGraph c where c.ID = y.ID) order by y.ID1 limit 1",
         QT_TRANSLATE_NOOP("Jet", "のカテゴリーがありません")},
        {"photoIvents", "ID2", "ID1",
         "select t.ID2, t.ID1, null, null from photoIvents t where t.ID1 is null "
         "or not exists (select 1 from photoYear y where y.ID1 = t.ID1) order by t.ID2 limit 1",
         QT_TRANSLATE_NOOP("Jet", "のジャンルがありません")},
        {"photoIvents", "ID2", "ID",
         "select t.ID2, t.ID, null, null from photoIvents t where t.ID is null "
         "or not exists (select 1 from photoGraph c where c.ID = t.ID) order by t.ID2 limit 1",
         QT_TRANSLATE_NOOP("Jet", "のカテゴリーがありません")},
        {"photoIvents", "ID2", "ID",
         "select t.ID2, t.ID, y.ID1, y.ID from photoIvents t join photoYear y on y.ID1 = t.ID1 "
         "where y.ID <> t.ID order by t.ID2 limit 1",
         QT_TRANSLATE_NOOP("Jet", "がジャンル %1 のカテゴリー (%2) と違います")},
    };
    for (const Check &c : checks) {
        QSqlQuery q(d->conn->database());
        if (!q.exec(QString::fromLatin1(c.select)))
            throw JetImportError(writeFault(d->dest, q.lastError().text()));
        if (!q.next())
            continue;
        const QVariant value = q.value(1);
        QString fault = QCoreApplication::translate("Jet", c.fault);
        if (fault.contains(QLatin1String("%1")))
            fault = fault.arg(q.value(2).toString(), q.value(3).toString());
        throw JetImportError(JetDamagedText(
            source, QCoreApplication::translate("Jet", "テーブル %1 の %2=%3 の行: 項目 %4 の値 (%5) %6")
                        .arg(QLatin1String(c.table), QLatin1String(c.key), q.value(0).toString(),
                             QLatin1String(c.field), value.isNull() ? QStringLiteral("Null") : value.toString(), fault)));
    }
}

void LibraryFileWriter::finish()
{
    try {
        d->inserts.clear();
        d->conn->commit();
        d->conn->close();
    } catch (const DbError &e) {
        throw JetImportError(writeFault(d->dest, e.message()));
    }
    if (d->ownsFile) {
        putInPlace(d->file, d->dest, d->replace);
    } else {
        QFile f(d->file);
        errno = 0;
        if (!f.open(QIODevice::ReadWrite) || ::fsync(f.handle()) != 0)
            throw JetImportError(writeFault(d->dest, fileFault(f, errno)));
    }
    d->done = true;
}

// ---------------------------------------------------------------------------

namespace {

JetImportCounts convert(const QString &jetPath, JetLibraryReader &reader, LibraryFileWriter &writer,
                        const JetProgress &progress)
{
    const qint64 total = reader.totalRows();
    qint64 done = 0;
    if (progress)
        progress(0, total);
    JetImportCounts counts;
    for (int t = 0; t < LibraryTables().size(); ++t) {
        const int n = reader.readTable(t, [&](const QVariantList &values) {
            writer.insert(t, values);
            if (++done % 512 == 0 && progress)
                progress(done, total);
        });
        counts << qMakePair(LibraryTables().at(t).name, n);
    }
    writer.checkReferences(jetPath);
    writer.finish();
    if (progress)
        progress(done, total);
    return counts;
}

void refuseSameFile(const QString &jetPath, const QString &dest)
{
    if (IsSameFile(jetPath, dest))
        throw JetImportError(QCoreApplication::translate("Jet", "変換先「%1」が変換元と同じファイルです。").arg(shownName(dest)));
}

}  // namespace

JetImportCounts ImportJetLibrary(const QString &jetPath, const QString &templatePath, const QString &dest,
                                 bool replace, const JetProgress &progress)
{
    refuseSameFile(jetPath, dest);
    JetLibraryReader reader(jetPath);
    LibraryFileWriter writer(templatePath, dest, replace);
    return convert(jetPath, reader, writer, progress);
}

// The child's side: "--jet-child JET FILE". Lines on stdout: "total N", "done N",
// "table NAME N", or "error MESSAGE"; libmdb's own diagnostics go to stderr.
int RunJetConversionChild(const QStringList &args)
{
    const auto say = [](const QString &line) {
        std::fputs(line.toUtf8().append('\n').constData(), stdout);
        std::fflush(stdout);
    };
    if (qgetenv(kChildLanguage) == "en")
        InstallEnglishMessages();
    if (args.size() != 2) {
        say(QStringLiteral("error usage: --jet-child JET FILE"));
        return 2;
    }
    // A parent killed outright leaves no child converting on its own.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        return 4;
    try {
        JetLibraryReader reader(args.at(0));
        LibraryFileWriter writer(args.at(1));
        const JetImportCounts counts = convert(args.at(0), reader, writer, [&](qint64 done, qint64 total) {
            say(QStringLiteral("total %1").arg(total));
            say(QStringLiteral("done %1").arg(done));
        });
        for (const auto &[table, rows] : counts)
            say(QStringLiteral("table %1 %2").arg(table).arg(rows));
        return 0;
    } catch (const JetImportError &e) {
        say(QStringLiteral("error ") + QString(e.message()).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        return 3;
    }
}

void SetJetConverter(const QString &program)
{
    g_converter = program;
}

void SetJetSilenceLimit(int ms)
{
    g_silenceLimitMs = ms;
}

QString JetConverter(const Global &g)
{
    return g_converter.isEmpty() ? QDir(g.programFolder).filePath(QStringLiteral("tessaly-cli")) : g_converter;
}

JetImportCounts ConvertJetLibrary(const QString &converter, const QString &jetPath, const QString &templatePath,
                                  const QString &dest, bool replace, const JetProgress &progress,
                                  const std::function<bool()> &cancelled)
{
    const QString target = shownName(dest);
    refuseSameFile(jetPath, target);
    checkTarget(target, replace);
    const QString temp = copyTemplateBeside(templatePath, target);
    struct Remove {
        QString path;
        ~Remove() { removeTemp(path); }
    } removeOnExit{temp};

    QProcess child;
    child.setProgram(converter);
    child.setArguments({QStringLiteral("--jet-child"), shownName(jetPath), temp});
    child.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildLanguage), MessagesInEnglish() ? QStringLiteral("en") : QStringLiteral("ja"));
    child.setProcessEnvironment(env);
    child.start();
    if (!child.waitForStarted(-1))
        throw JetImportError(QCoreApplication::translate("Jet", "変換処理「%1」を起動できません: %2").arg(converter, child.errorString()));

    qint64 total = 0, done = 0;
    QString refusal;
    JetImportCounts counts;
    const auto readLines = [&] {
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).trimmed();
            const QString word = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            if (word == QLatin1String("total"))
                total = rest.toLongLong();
            else if (word == QLatin1String("done"))
                done = rest.toLongLong();
            else if (word == QLatin1String("table"))
                counts << qMakePair(rest.section(QLatin1Char(' '), 0, 0), rest.section(QLatin1Char(' '), 1).toInt());
            else if (word == QLatin1String("error"))
                refusal = rest;
        }
    };
    // Driven by the child's signals in a loop of this step's own, from which the caller's
    // windows repaint too. (waitForFinished in a loop never ends once an event loop has
    // seen the child end: it answers false for a child that is no longer running.)
    bool stopped = false, silent = false;
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
        silent = true;
        child.kill();
    });
    silence.start(g_silenceLimitMs);
    QObject::connect(&child, &QProcess::readyReadStandardOutput, &loop, [&] {
        silence.start(g_silenceLimitMs);
        readLines();
        if (progress)
            progress(done, total);
    });
    // What libmdb says is kept up to a screenful; the rest is read and dropped, so a
    // child that keeps complaining does not pile up here.
    QByteArray diagnosticBytes;
    const auto readDiagnostics = [&] {
        const QByteArray more = child.readAllStandardError();
        diagnosticBytes += more.left(std::max<qsizetype>(0, 8000 - diagnosticBytes.size()));
    };
    QObject::connect(&child, &QProcess::readyReadStandardError, &loop, readDiagnostics);
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer askCancel;
    if (cancelled) {
        QObject::connect(&askCancel, &QTimer::timeout, &loop, [&] {
            if (!stopped && cancelled()) {
                stopped = true;
                child.kill();  // the loop ends with the child's end
            }
        });
        askCancel.start(50);
    }
    if (child.state() != QProcess::NotRunning)
        loop.exec();
    askCancel.stop();
    silence.stop();
    if (child.state() != QProcess::NotRunning) {
        // The loop was left otherwise (the application is quitting): the child goes too.
        stopped = true;
        child.kill();
        child.waitForFinished(-1);
    }
    readLines();
    if (stopped)
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」の変換を中止しました。").arg(shownName(jetPath)));
    if (silent)
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」を読む変換処理が %2 秒のあいだ応答しないため、止めました。"
                                            "ファイルが壊れている可能性があります。何も書き込んでいません。")
                                 .arg(shownName(jetPath))
                                 .arg(g_silenceLimitMs / 1000));
    // libmdb explains in English what it could not read; it belongs to a failure only.
    readDiagnostics();
    const QString diagnostics = QString::fromLocal8Bit(diagnosticBytes).trimmed().left(2000);
    const QString detail = diagnostics.isEmpty() ? QString() : QStringLiteral("\n\r(libmdb: %1)").arg(diagnostics);
    if (child.exitStatus() == QProcess::CrashExit || (child.exitCode() != 0 && refusal.isEmpty()))
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」を読む変換処理が異常終了しました。ファイルが壊れている可能性があります。"
                                            "何も書き込んでいません。%2")
                                 .arg(shownName(jetPath), detail));
    if (child.exitCode() != 0)
        throw JetImportError(refusal + detail);
    if (counts.size() != LibraryTables().size())
        throw JetImportError(QCoreApplication::translate("Jet", "「%1」の変換処理が結果を返しませんでした。").arg(shownName(jetPath)));
    try {
        CheckLibraryFile(temp);
    } catch (const DbError &e) {
        throw JetImportError(writeFault(target, e.message()));
    }
    putInPlace(temp, target, replace);
    if (progress)
        progress(total, total);
    return counts;
}

QString JetConvertedPath(const QString &jetPath)
{
    const QFileInfo fi(jetPath);
    const QString stem = fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral("-tessaly");
    QString candidate = stem + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = stem + QStringLiteral("-%1.mdb").arg(n);
    return candidate;
}

// A folder that takes no new file (a CD, a write-protected stick, no permission).
static bool folderTakesFiles(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.tessaly-XXXXXX"));
    return probe.open();
}

bool OpenJetLibrary(Global &g, DialogService &ds, LibraryHost &host, const QString &jetPath, bool enableMenus,
                    QObject *owner)
{
    const QString title = QStringLiteral(QT_TRANSLATE_NOOP("Titles", "データベースを開く"));
    const QFileInfo jet(jetPath);
    QString dest = JetConvertedPath(jetPath);
    bool replace = false;
    if (folderTakesFiles(jet.absolutePath())) {
        const QString question =
            QCoreApplication::translate("Jet", "「%1」は Windows 版の形式 (Jet) のライブラリです。\n\r"
                           "同じフォルダに新しいライブラリ「%2」を作って変換しますか？（元のファイルは変更しません）")
                .arg(jet.fileName(), QFileInfo(dest).fileName());
        if (!ds.ask(question, MsgKind::Question, title, owner))
            return false;
    } else {
        const QString question =
            QCoreApplication::translate("Jet", "「%1」は Windows 版の形式 (Jet) のライブラリです。\n\r"
                           "このフォルダには書き込めません（読み取り専用）。新しいライブラリの保存先を選んで変換しますか？"
                           "（元のファイルは変更しません）")
                .arg(jet.fileName());
        if (!ds.ask(question, MsgKind::Question, title, owner))
            return false;
        dest = ds.pickFile(CreateDatabaseRequest(QCoreApplication::translate("Jet", "変換したライブラリの保存先"), QDir::homePath(),
                                                 QFileInfo(dest).fileName()),
                           owner);
        if (dest.isEmpty())
            return false;
        const QFileInfo chosen(dest);
        if (chosen.exists() || chosen.isSymLink()) {
            if (!ds.ask(QCoreApplication::translate("Jet", "データベースファイルが存在します！上書きで作成しますか？"), MsgKind::Question, title,
                        owner))
                return false;
            if (IsOpenLibrary(g, dest)) {
                ds.message(QCoreApplication::translate("Jet", "現在開いているデータベースです！上書き作成する場合は一旦プログラムを終了し、"
                                          "再度新規作成処理を行ってください。"),
                           MsgKind::Exclamation, title, MsgButtons::Ok, owner);
                return false;
            }
            replace = true;
        }
    }

    JetImportCounts counts;
    const QString label = QCoreApplication::translate("Jet", "「%1」を変換しています…").arg(jet.fileName());
    try {
        struct Hide {
            LibraryHost &host;
            ~Hide() { host.hideProgress(); }
        } hide{host};
        host.showProgress(label, 0, 0);  // from here on the windows take no other command
        counts = ConvertJetLibrary(
            JetConverter(g), jetPath, TemplatePath(g), dest, replace,
            [&](qint64 done, qint64 total) { host.showProgress(label, done, total); },
            [&] { return host.progressCancelled(); });
    } catch (const JetImportError &e) {
        ds.message(QCoreApplication::translate("Jet", "ライブラリを変換できませんでした。\n\r%1").arg(e.message()), MsgKind::Critical, title,
                   MsgButtons::Ok, owner);
        return false;
    }
    ds.message(QCoreApplication::translate("Jet", "変換しました: カテゴリー %1 件、ジャンル %2 件、タイトル %3 件。\n\r"
                              "続けて、基準フォルダ（写真のフォルダを置いたこのコンピューターのフォルダ）と HTML 出力先を"
                              "設定してください。登録済みのパスは基準フォルダに合わせてまとめて書き換わります。")
                   .arg(counts.at(2).second)
                   .arg(counts.at(3).second)
                   .arg(counts.at(4).second),
               MsgKind::Information, title, MsgButtons::Ok, owner);
    // The new library is set up as a new one is: its folders still name the Windows
    // computer, so the editor (and its auto-set) waits until both are set here.
    g.dbFilePath = QFileInfo(dest).absoluteFilePath();
    g.dbFileTitle = QFileInfo(dest).fileName();
    g.dbConnectString = MakeConnectString(g.dbFilePath);
    if (enableMenus)
        host.enableLibraryMenus();
    host.setLibraryCaption(LibraryCaption(g.dbFileTitle));
    g.isNewLibrary = True16;
    g.folderSetupStage = 0;
    host.showOutputFolderWindow();
    host.showBaseFolderWindow();
    return true;
}

}  // namespace tessaly
