#include "AppIcon.h"
#include "Global.h"
#include "MainWindow.h"
#include "PrintWindow.h"
#include "QtDialogService.h"
#include "Splash.h"
#include "SystemPrinter.h"

#include <QApplication>

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
    return app.exec();
}
