#include "Cli.h"

#include "Database.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QFileInfo>

#include <map>
#include <memory>

namespace tessaly::cli {

namespace {
struct Entry {
    QString usage;
    QString summary;
    CommandFn fn;
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
                       QStringList valueOptions)
{
    registry()[QString::fromUtf8(name)] = Entry{QString::fromUtf8(usage), QString::fromUtf8(summary), std::move(fn)};
    valueOptionList() << valueOptions;
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
        fail(QStringLiteral("ライブラリファイル「%1」がありません。").arg(full));
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

int Context::fail(const QString &message)
{
    err << "tessaly-cli: " << message << Qt::endl;
    return 1;
}

static void printHelp(QTextStream &out)
{
    out << "Usage: tessaly-cli COMMAND [OPTIONS] ARGS...\n\n"
           "Tessaly keeps a library of media folders (category > genre > title) and\n"
           "publishes it as an album site. Commands:\n\n";
    for (const auto &[name, e] : registry())
        out << "  " << e.usage << "\n      " << e.summary << "\n";
    out << "\nOptions for every command:\n"
           "  --yes     answer Yes to every question (default: No)\n"
           "  --help    show this text\n";
    out.flush();
}

}  // namespace tessaly::cli

int main(int argc, char **argv)
{
    using namespace tessaly;
    using namespace tessaly::cli;
    // Drawing the demo's photos needs fonts, hence a GUI application, but never a display.
    const bool needsGui = argc > 1 && qstrcmp(argv[1], "demo") == 0;
    if (needsGui)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> appPtr(needsGui ? new QGuiApplication(argc, argv)
                                                      : new QCoreApplication(argc, argv));
    QCoreApplication &app = *appPtr;
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList raw = app.arguments().mid(1);
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
        err << "tessaly-cli: unknown command '" << name << "' (see tessaly-cli --help)" << Qt::endl;
        return 2;
    }

    QStringList args, options;
    const QStringList valueOpts = ValueOptions();
    for (int i = 0; i < raw.size(); ++i) {
        const QString &a = raw.at(i);
        if (a == QLatin1String("--")) {
            args << raw.mid(i + 1);
            break;
        }
        if (a.startsWith(QLatin1String("--"))) {
            if (valueOpts.contains(a) && i + 1 < raw.size())
                options << a + QLatin1Char('=') + raw.at(++i);
            else
                options << a;
        } else {
            args << a;
        }
    }
    if (options.contains(QStringLiteral("--help"))) {
        out << "Usage: tessaly-cli " << it->second.usage << "\n  " << it->second.summary << Qt::endl;
        return 0;
    }

    ConsoleDialogService dialogs(options.contains(QStringLiteral("--yes")) ? MsgAnswer::Yes : MsgAnswer::No);
    Context ctx{args, options, Global{}, &dialogs, out, err};
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
