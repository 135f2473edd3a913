#include "SystemPrinter.h"

#include "prtPaperM.h"

namespace tessaly {

std::unique_ptr<PrinterSettings> CreateSystemPrinterSettings()
{
    return std::make_unique<prtPaperM>();
}

}  // namespace tessaly
