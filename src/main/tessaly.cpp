#include "AppIcon.h"
#include "Global.h"
#include "Library.h"
#include "MainWindow.h"
#include "PrintWindow.h"
#include "QtDialogService.h"
#include "Splash.h"
#include "SystemPrinter.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char **argv)
{
    using namespace tessaly;
    QApplication app(argc, argv);
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
    main.startUp();
    main.show();
    // A library named on the command line (a file manager's "open with") opens at once.
    const QStringList args = QApplication::arguments().mid(1);
    if (!args.isEmpty())
        main.openNamedLibrary(args.first());
    return app.exec();
}
