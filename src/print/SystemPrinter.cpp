#include "SystemPrinter.h"

namespace tessaly {

std::unique_ptr<PrinterSettings> CreateSystemPrinterSettings()
{
    return std::make_unique<NoPrinterSettings>();
}

}  // namespace tessaly
