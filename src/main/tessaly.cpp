#include "AppIcon.h"
#include "Global.h"
#include "Library.h"
#include "MainWindow.h"
#include "PrintWindow.h"
#include "QtDialogService.h"
#include "Splash.h"
#include "SystemPrinter.h"
#include "Usage.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

tessaly::UsageText usageText()
{
    tessaly::UsageText t;
    t.program = QStringLiteral("tessaly");
    t.synopsis = QStringLiteral("[LIB]");
    t.whatisEn = QStringLiteral("photo and video folder library with an album site generator");
    t.whatisJa = QStringLiteral("写真・動画フォルダのライブラリとアルバムサイト作成");
    t.aboutEn = QStringLiteral("Starts Tessaly, the desktop program with a Japanese user interface. With LIB, that "
                               "library file opens at once, as File > Open would open it. tessaly-cli does the same "
                               "work from the command line.");
    t.aboutJa = QStringLiteral("Tessaly のウィンドウを開きます。LIB を指定すると、ﾌｧｲﾙ > 開く と同じように、"
                               "そのライブラリファイルをすぐに開きます。コマンドラインからは tessaly-cli で同じ処理ができます。");
    t.options << tessaly::UsageEntry{QStringLiteral("--help"), QStringLiteral("show this text"),
                                     QStringLiteral("この説明を表示します")}
              << tessaly::UsageEntry{QStringLiteral("--version"), QStringLiteral("show the version"),
                                     QStringLiteral("バージョンを表示します")};
    return t;
}

// In the language --help speaks; the windows themselves are always Japanese.
int usageError(const QString &en, const QString &ja)
{
    const bool jaLocale = tessaly::UsageLanguage() == tessaly::UsageLang::Ja;
    const QString text = jaLocale ? QStringLiteral("tessaly: %1\n使い方: tessaly [LIB]\n").arg(ja)
                                  : QStringLiteral("tessaly: %1\nusage: tessaly [LIB]\n").arg(en);
    std::fputs(text.toLocal8Bit().constData(), stderr);
    return 2;
}

// Options are answered before any window or display is needed. Returns the exit code,
// or -1 to start the program.
int handleOptions(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (tessaly::PrintManPageIfAsked(args, usageText(), QStringLiteral(TESSALY_VERSION)))
        return 0;
    int names = 0;
    bool optionsEnd = false;
    for (const QString &a : args) {
        if (optionsEnd || !a.startsWith(QLatin1Char('-')) || a.size() == 1) {
            ++names;
        } else if (a == QLatin1String("--")) {
            optionsEnd = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(tessaly::HelpText(usageText(), tessaly::UsageLanguage()).toLocal8Bit().constData(), stdout);
            return 0;
        } else if (a == QLatin1String("--version")) {
            std::printf("tessaly %s\n", TESSALY_VERSION);
            return 0;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usageError(QStringLiteral("unknown option '%1'").arg(a), QStringLiteral("オプション「%1」はありません").arg(a));
        }
    }
    // One library at a time: a second name would be dropped without a word.
    if (names > 1)
        return usageError(QStringLiteral("too many arguments"), QStringLiteral("引数が多すぎます"));
    return -1;
}

}  // namespace

int main(int argc, char **argv)
{
    using namespace tessaly;
    if (const int rc = handleOptions(argc, argv); rc >= 0)
        return rc;
    QApplication app(argc, argv);
    InstallQtJapaneseTranslations();
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tessaly"));
    QApplication::setWindowIcon(AppIcon());

    Global g;
    g.programFolder = QApplication::applicationDirPath();
    QtDialogService dialogs;
    std::unique_ptr<PrinterSettings> printer = CreateSystemPrinterSettings();

    ShowStartupSplash();
    g.folderSetupStage = 0;

    htmlCrtMain::setPrintHandler(PrintWindowImage);
    htmlCrtMain main(g, dialogs, *printer);
    main.watchSessionEnd();
    main.startUp();
    main.show();
    // A library named on the command line (a file manager's "open with") opens at once.
    QStringList args = QApplication::arguments().mid(1);
    args.removeAll(QStringLiteral("--"));
    if (!args.isEmpty())
        main.openNamedLibrary(args.first());
    return app.exec();
}
