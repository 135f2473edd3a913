#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace tessaly {

static double logicalDpi()
{
    if (const QScreen *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInch();
    return 96.0;
}

int twipsToPixels(int twips)
{
    return int(std::lround(twips * logicalDpi() / 1440.0));
}

QSize twipsToPixels(int widthTwips, int heightTwips)
{
    return QSize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsRect(left, top, width, height));
}

}  // namespace tessaly
