#pragma once
#include <QImage>
#include <QString>

namespace tessaly {

// Writes an image as a GIF89a file (Qt reads GIF but does not write it).
bool WriteGif(const QImage &image, const QString &path);

}  // namespace tessaly
