#pragma once
// The default printer's paper size and orientation, in the program's codes
// (paper: DMPAPER_* numbers such as 9 = A4; orientation: 1 portrait, 2 landscape).
// A read gives -1 when there is no default printer or its settings cannot be read, and 0
// for a value with no code (a paper such as Legal); a write that cannot be done does nothing.
#include <QString>
#include <cstdint>

namespace tessaly {

class PrinterSettings {
public:
    virtual ~PrinterSettings() = default;
    virtual int16_t GetPrinterPaperSize() = 0;
    virtual int16_t GetPrinterOrientation() = 0;
    virtual void SetPrinterPaperSize(int16_t code) = 0;
    virtual void SetPrinterOrientation(int16_t code) = 0;
    // The default printer's device name as the printer window shows it; empty for none.
    virtual QString GetPrinterName() { return QString(); }
    // The run starts: what it writes from here on can be put back exactly.
    virtual void RememberSettings() {}
    // The run ends. The last of the program's runs open at once puts back the user's own
    // settings as they were before any of them wrote, where they are still as a run left
    // them; otherwise nothing is written.
    virtual void RestoreSettings() {}
};

// No printer at all: every read gives -1, every write does nothing.
class NoPrinterSettings : public PrinterSettings {
public:
    int16_t GetPrinterPaperSize() override { return -1; }
    int16_t GetPrinterOrientation() override { return -1; }
    void SetPrinterPaperSize(int16_t) override {}
    void SetPrinterOrientation(int16_t) override {}
};

}  // namespace tessaly
