#pragma once
// Window sizes and control positions are given in twips: 1440 per inch at the
// screen's logical DPI (15 twips per pixel at 96 DPI).
#include <QRect>
#include <QSize>

class QWidget;

namespace tessaly {

int twipsToPixels(int twips);
QSize twipsToPixels(int widthTwips, int heightTwips);
QRect twipsRect(int left, int top, int width, int height);
// Places a control at a position given in twips (left, top, width, height).
void placeTwips(QWidget *w, int left, int top, int width, int height);

}  // namespace tessaly
