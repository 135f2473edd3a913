#pragma once
#include <QIcon>

namespace tessaly {

// The program's icon (an album page of four photos), drawn so that no image file is needed.
QIcon AppIcon();

}  // namespace tessaly
