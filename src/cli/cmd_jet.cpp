// import-jet: a library kept on Windows in the Jet format becomes a Tessaly library.
#include "Cli.h"

#include "Database.h"
#include "JetImport.h"
#include "Library.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <climits>
#include <csignal>

namespace tessaly::cli {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void noteStop(int sig)
{
    g_stopSignal = sig;
}

}  // namespace

static int importJetCommand(Context &c)
{
    // Ctrl-C, a logout or a kill ends the child and leaves no temporary beside the target:
    // the conversion sees the signal as a cancel.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction sa {};
        sa.sa_handler = noteStop;
        ::sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
    const QString source = QFileInfo(c.args.at(0)).absoluteFilePath();
    const QString dest = QFileInfo(c.args.at(1)).absoluteFilePath();
    if (QFileInfo::exists(dest) && !c.hasOption(QStringLiteral("--force")))
        return c.fail(QCoreApplication::translate("cli", "「%1」は既にあります。置き換えるには --force を付けてください。").arg(dest));
    JetImportCounts counts;
    try {
        TerminalProgress progress(QCoreApplication::translate("cli", "変換: 行"));
        // The Jet file is parsed by a child, this program again, so that whatever the file
        // does to the parser leaves no half-made library behind.
        counts = ConvertJetLibrary(QCoreApplication::applicationFilePath(), source, TemplatePath(c.g), dest,
                                   c.hasOption(QStringLiteral("--force")),
                                   [&](qint64 done, qint64 total) {
                                       progress.show(int(qMin<qint64>(done, INT_MAX)), int(qMin<qint64>(total, INT_MAX)));
                                   },
                                   [] { return g_stopSignal != 0; });
        progress.finish();
    } catch (const JetImportError &e) {
        const int failed = c.fail(e.message());
        return g_stopSignal ? 128 + g_stopSignal : failed;
    }
    QTextStream &out = c.summary();
    out << QCoreApplication::translate("cli", "変換しました: %1\n    変換先: %2").arg(source, dest) << "\n";
    for (const auto &[table, rows] : counts)
        out << QCoreApplication::translate("cli", "  %1: %2 行").arg(table).arg(rows) << "\n";
    out << QCoreApplication::translate("cli", "次に、写真のフォルダを今置いてある場所を基準フォルダに設定してください。"
                                              "登録済みの Windows のパスはそれに合わせて書き換わります:")
        << "\n  tessaly-cli set-base " << dest << " " << QCoreApplication::translate("cli", "写真のフォルダ") << Qt::endl;
    return 0;
}

static CliCommand importJet("import-jet", "import-jet OLD.mdb NEW.mdb [--force]",
                            "converts a library kept on Windows (Jet .mdb, read only) into a new library; "
                            "--force replaces an existing NEW.mdb",
                            importJetCommand, {},
                            "Windows で使っていたライブラリ(Jet の .mdb、読むだけ)を新しいライブラリに変換します。"
                            "--force: 既にある NEW.mdb を置き換えます");

}  // namespace tessaly::cli
