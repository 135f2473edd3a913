#pragma once
// Printing a window: a picture of its client area on the default printer, on the
// paper size and in the orientation the printer is set to.
class QWidget;

namespace tessaly {

class PrinterSettings;
class WindowHost;

// Prints the image of window on the default printer; does nothing when there is none.
void PrintWindowImage(QWidget *window, PrinterSettings &printer);

// The "印刷" menu item of a window: asks whether to print, titled with the window's
// caption, and on Yes has the host print the window's image.
void PrintThisWindow(WindowHost &host, QWidget *window);

}  // namespace tessaly
