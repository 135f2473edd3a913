#include "AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace tessaly {

static QPixmap drawIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x5d, 0x8a));
    p.drawRoundedRect(QRectF(8, 16, 112, 96), 10, 10);
    const QColor photos[] = {QColor(0xf4, 0xd3, 0x5e), QColor(0xee, 0x96, 0x4b), QColor(0x9b, 0xc5, 0x3d),
                             QColor(0xe8, 0xe8, 0xe8)};
    const QPointF corners[] = {{18, 26}, {68, 26}, {18, 68}, {68, 68}};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(photos[i]);
        p.drawRoundedRect(QRectF(corners[i], QSizeF(42, 34)), 3, 3);
    }
    return pm;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(drawIcon(size));
    return icon;
}

}  // namespace tessaly
