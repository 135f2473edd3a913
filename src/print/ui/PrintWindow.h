#pragma once
// Printing a window: a picture of its client area on the default printer, on the
// paper size and in the orientation the printer is set to.
class QWidget;

namespace tessaly {

class PrinterSettings;

// Prints the image of window on the default printer; does nothing when there is none.
void PrintWindowImage(QWidget *window, PrinterSettings &printer);

}  // namespace tessaly
