#pragma once
#include <QSize>
#include <QString>

class QWidget;

namespace tessaly {

class WindowHost;

// Creates the child window of that name, or null when the program has no such window.
QWidget *CreateChildWindow(const QString &name, WindowHost &host);
// The outer size in twips that ShowChildWindow gives the window of that name.
QSize StandardWindowSizeTwips(const QString &name);

}  // namespace tessaly
