#pragma once
#include <memory>

#include "PrinterSettings.h"

namespace tessaly {

// The default printer of this machine.
std::unique_ptr<PrinterSettings> CreateSystemPrinterSettings();

}  // namespace tessaly
