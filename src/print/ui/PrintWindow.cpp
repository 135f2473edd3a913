#include "PrintWindow.h"

#include "PaperCodes.h"
#include "PrinterSettings.h"
#include "prtPaperM.h"

#include <QDir>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>

namespace tessaly {

namespace {

// The window without a menu bar of its own at its top.
QRect ClientArea(QWidget *window)
{
    QRect area = window->rect();
    for (QMenuBar *bar : window->findChildren<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (bar->isVisible() && bar->geometry().top() <= 0)
            area.setTop(qMax(area.top(), bar->geometry().bottom() + 1));
    }
    return area;
}

}  // namespace

void PrintWindowImage(QWidget *window, PrinterSettings &settings)
{
    if (!window || settings.GetPrinterName().isEmpty())
        return;
    const QPixmap image = window->grab(ClientArea(window));
    if (image.isNull())
        return;

    // The page is laid out here on the printer's paper and orientation; the job then
    // goes to the printer with the user's options for it, as lp would send it. (Qt's
    // own CUPS job loses the landscape request on the way.)
    QPageSize::PageSizeId paper = QPageSize::A4;
    if (const PaperEntry *entry = FindPaperCode(settings.GetPrinterPaperSize()))
        paper = entry->pageSize;
    const QPageLayout::Orientation orientation =
        settings.GetPrinterOrientation() == OrientLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tessaly-print-XXXXXX"));
    if (!dir.isValid())
        return;
    const QString pdf = dir.filePath(QStringLiteral("window.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setDocName(window->windowTitle());
        printer.setPageLayout(QPageLayout(QPageSize(paper), orientation, QMarginsF(10, 10, 10, 10),
                                          QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&printer))
            return;
        // As large as the printable area allows, keeping the window's proportions.
        const QRect page = painter.viewport();
        QSize size = image.size();
        size.scale(page.size(), Qt::KeepAspectRatio);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRect(page.topLeft(), size), image);
        if (!painter.end())
            return;
    }
    PrintOnDefaultPrinter(pdf, window->windowTitle());
}

}  // namespace tessaly
