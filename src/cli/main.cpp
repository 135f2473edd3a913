#include "Cli.h"
#include "JetImport.h"

#include "Database.h"
#include "Language.h"
#include "MediaModule.h"
#include "Paths.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <map>
#include <memory>

namespace tessaly::cli {

namespace {
struct Entry {
    QString usage;
    QString summary;
    CommandFn fn;
    QString summaryJa;
    UsageSpec spec;
};
std::map<QString, Entry> &registry()
{
    static std::map<QString, Entry> r;
    return r;
}
QStringList &valueOptionList()
{
    static QStringList l;
    return l;
}
}  // namespace

CliCommand::CliCommand(const char *name, const char *usage, const char *summary, CommandFn fn,
                       QStringList valueOptions, const char *summaryJa)
{
    UsageSpec spec = ParseUsageLine(QString::fromUtf8(usage));
    for (const QString &o : valueOptions) {
        spec.flags.removeAll(o);
        if (!spec.valueOptions.contains(o))
            spec.valueOptions << o;
    }
    valueOptionList() << spec.valueOptions;
    registry()[QString::fromUtf8(name)] = Entry{QString::fromUtf8(usage), QString::fromUtf8(summary), std::move(fn),
                                                QString::fromUtf8(summaryJa), spec};
}

QStringList ValueOptions()
{
    return valueOptionList();
}

QString Context::optionValue(const QString &name) const
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString &o : options)
        if (o.startsWith(prefix))
            return o.mid(prefix.size());
    return QString();
}

bool Context::openLibrary(const QString &path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    if (!IsNormalFile(full)) {
        const QFileInfo fi(full);
        if (fi.isDir())
            fail(QCoreApplication::translate("cli", "「%1」はフォルダです。ライブラリファイルを指定してください。").arg(full));
        else if (fi.isFile())
            fail(QCoreApplication::translate("cli", "「%1」は隠しファイル (名前が「.」で始まるファイル) のため、ライブラリとして開けません。").arg(full));
        else if (fi.exists())
            fail(QCoreApplication::translate("cli", "「%1」はファイルではありません。").arg(full));
        else
            fail(QCoreApplication::translate("cli", "ライブラリファイル「%1」がありません。").arg(full));
        return false;
    }
    try {
        CheckLibraryFile(full);
    } catch (const DbError &e) {
        fail(e.message());
        return false;
    }
    g.dbFilePath = full;
    g.dbFileTitle = QFileInfo(full).fileName();
    g.dbConnectString = MakeConnectString(full);
    return true;
}

namespace {
// Takes what a quiet run does not print.
class NullDevice : public QIODevice {
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override { return len; }
};
}  // namespace

QTextStream &Context::summary()
{
    if (!quiet)
        return out;
    static NullDevice device;
    static QTextStream sink;
    if (!device.isOpen()) {
        device.open(QIODevice::WriteOnly);
        sink.setDevice(&device);
    }
    return sink;
}

int Context::fail(const QString &message)
{
    err << "tessaly-cli: " << message << Qt::endl;
    return 1;
}

bool Context::folderArgument(const QString &arg, QString *folder)
{
    const FolderText judged = JudgeFolderText(arg, QDir::currentPath());
    *folder = judged.path;
    if (judged.fault == FolderTextFault::OtherSystem)
        fail(displayText(OtherSystemFolderMessage(judged.path)));
    else if (judged.fault != FolderTextFault::None)
        fail(QCoreApplication::translate("cli", "ﾌｫﾙﾀﾞが選択されていません！"));
    return judged.fault == FolderTextFault::None;
}

int Context::usageError(const QString &why)
{
    err << "tessaly-cli: " << why << '\n' << QCoreApplication::translate("cli", "使い方: ", "usage error") << "tessaly-cli " << usage << Qt::endl;
    return 2;
}

static UsageText usageText()
{
    UsageText t;
    t.program = QStringLiteral("tessaly-cli");
    t.synopsis = QStringLiteral("COMMAND [OPTIONS] ARGS...");
    t.whatisEn = QStringLiteral("command-line tool for Tessaly album libraries");
    t.whatisJa = QStringLiteral("Tessaly のアルバムライブラリを扱うコマンドラインツール");
    t.aboutEn = QStringLiteral("Tessaly keeps a library of media folders (category > genre > title) and publishes it "
                               "as an album site. A command prints its summary on standard output, and warnings, "
                               "errors and other messages on standard error; with -q (--quiet) it prints only "
                               "warnings, errors and the questions it answered, so a run with nothing to report "
                               "prints nothing (what show, "
                               "check, image-size and poster are asked to list is still printed). Usage errors exit "
                               "with status 2, failures with 1. Everything is said in Japanese under a Japanese "
                               "locale (LC_ALL, LC_MESSAGES or LANG starting with ja), in English otherwise.");
    t.aboutJa = QStringLiteral("Tessaly はメディアフォルダ(カテゴリー > ジャンル > タイトル)のライブラリを作り、"
                               "アルバムサイトとして書き出します。各コマンドはまとめを標準出力に、警告・エラー・その他の"
                               "メッセージを標準エラーに出します。-q (--quiet) を付けると警告・エラーと代わりに答えた質問だけを出すので、"
                               "知らせることのない実行は何も表示しません(show・check・image-size・poster の一覧は"
                               "表示します)。使い方の誤りは終了コード 2、処理の失敗は 1 で終わります。"
                               "表示は日本語のロケール(LC_ALL・LC_MESSAGES・LANG が ja で始まる)では日本語、"
                               "それ以外では英語です。");
    for (const auto &[name, e] : registry())
        t.commands << UsageEntry{e.usage, e.summary, e.summaryJa};
    t.options << UsageEntry{QStringLiteral("--yes"), QStringLiteral("answer Yes to every question (default: No)"),
                            QStringLiteral("すべての質問に「はい」と答えます(既定は「いいえ」)")}
              << UsageEntry{QStringLiteral("-q, --quiet"),
                            QStringLiteral("print only warnings, errors and the questions answered: no summary, no progress, no notes"),
                            QStringLiteral("警告・エラーと代わりに答えた質問だけを表示します(まとめ・進み具合・お知らせは表示しません)")}
              << UsageEntry{QStringLiteral("--help"), QStringLiteral("show this text, or a command's usage"),
                            QStringLiteral("この説明、またはコマンドの使い方を表示します")}
              << UsageEntry{QStringLiteral("--version"), QStringLiteral("show the version"),
                            QStringLiteral("バージョンを表示します")};
    return t;
}

static void printHelp(QTextStream &out)
{
    out << HelpText(usageText(), UsageLanguage());
    out.flush();
}

}  // namespace tessaly::cli

// A quiet run shows no chatter of the toolkit's own either (a cron job has no
// XDG_RUNTIME_DIR, and Qt says so); its critical messages still come through.
static void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

int main(int argc, char **argv)
{
    using namespace tessaly;
    using namespace tessaly::cli;
    for (int i = 1; i < argc && qstrcmp(argv[i], "--") != 0; ++i)
        if (qstrcmp(argv[i], "-q") == 0 || qstrcmp(argv[i], "--quiet") == 0)
            qInstallMessageHandler(quietMessages);
    // Drawing the demo's photos needs fonts, hence a GUI application, but never a display;
    // every other command starts without Qt Gui.
    const MediaApi *gui = nullptr;
    if (argc > 1 && qstrcmp(argv[1], "demo") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        gui = LoadMediaModule();  // the demo itself reports a missing module
    }
    std::unique_ptr<QCoreApplication> appPtr(gui ? gui->newGuiApplication(argc, argv)
                                                 : new QCoreApplication(argc, argv));
    QCoreApplication &app = *appPtr;
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList raw = app.arguments().mid(1);
    // The conversion's child, run by import-jet and by the program's 開く.
    if (raw.value(0) == QLatin1String("--jet-child"))
        return RunJetConversionChild(raw.mid(1));
    // Not before: the conversion's child speaks its parent's language (a window's: Japanese).
    InstallMessageLanguage();
    if (PrintManPageIfAsked(raw, usageText(), QStringLiteral(TESSALY_VERSION)))
        return 0;
    if (raw.isEmpty() || raw.first() == QLatin1String("--help") || raw.first() == QLatin1String("-h")
        || raw.first() == QLatin1String("help")) {
        printHelp(out);
        return raw.isEmpty() ? 2 : 0;
    }
    if (raw.first() == QLatin1String("--version")) {
        out << "tessaly-cli " << TESSALY_VERSION << Qt::endl;
        return 0;
    }
    const QString name = raw.takeFirst();
    auto it = registry().find(name);
    if (it == registry().end()) {
        err << "tessaly-cli: "
            << QCoreApplication::translate("cli", "コマンド「%1」はありません (tessaly-cli --help を参照)").arg(name)
            << Qt::endl;
        return 2;
    }

    ConsoleDialogService dialogs;
    Context ctx{{}, {}, Global{}, &dialogs, out, err, it->second.usage};
    // Every option and argument count is checked against the usage line.
    const UsageSpec &spec = it->second.spec;
    QString usageFault;
    for (int i = 0; i < raw.size(); ++i) {
        const QString &a = raw.at(i);
        if (a == QLatin1String("--")) {
            ctx.args << raw.mid(i + 1);
            break;
        }
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            ctx.args << a;
            continue;
        }
        const QString option = a.section(QLatin1Char('='), 0, 0);
        if (spec.valueOptions.contains(option)) {
            if (a.contains(QLatin1Char('=')))
                ctx.options << a;
            else if (i + 1 < raw.size())
                ctx.options << a + QLatin1Char('=') + raw.at(++i);
            else if (usageFault.isEmpty())
                usageFault = QCoreApplication::translate("cli", "オプション「%1」には値が必要です").arg(a);
        } else if (spec.flags.contains(a) || a == QLatin1String("--yes") || a == QLatin1String("--help")) {
            ctx.options << a;
        } else if (a == QLatin1String("-q") || a == QLatin1String("--quiet")) {
            ctx.quiet = true;
        } else if (usageFault.isEmpty()) {
            usageFault = QCoreApplication::translate("cli", "オプション「%1」はありません").arg(a);
        }
    }
    if (ctx.options.contains(QStringLiteral("--help"))) {
        out << QCoreApplication::translate("cli", "使い方: ", "help") << "tessaly-cli " << it->second.usage << "\n  "
            << (UsageLanguage() == UsageLang::Ja && !it->second.summaryJa.isEmpty() ? it->second.summaryJa
                                                                                      : it->second.summary)
            << Qt::endl;
        return 0;
    }
    if (usageFault.isEmpty() && ctx.args.size() < spec.minArgs)
        usageFault = QCoreApplication::translate("cli", "引数が足りません");
    if (usageFault.isEmpty() && spec.maxArgs >= 0 && ctx.args.size() > spec.maxArgs)
        usageFault = QCoreApplication::translate("cli", "引数が多すぎます");
    if (!usageFault.isEmpty())
        return ctx.usageError(usageFault);

    dialogs = ConsoleDialogService(ctx.hasOption(QStringLiteral("--yes")) ? MsgAnswer::Yes : MsgAnswer::No, ctx.quiet);
    if (ctx.quiet)
        TerminalProgress::silence();
    ctx.g.programFolder = QCoreApplication::applicationDirPath();
    try {
        const int rc = it->second.fn(ctx);
        out.flush();
        err.flush();
        return rc;
    } catch (const DbError &e) {
        return ctx.fail(e.message());
    }
}
