#pragma once
#include <QFont>

namespace tessaly {

// The windows ask for "ＭＳ Ｐゴシック", which is rarely installed here; it falls back to
// a proportional Japanese Gothic rather than to whatever font fontconfig picks first.
void InstallJapaneseFontFallback();
QFont GothicFont(int pointSize);

}  // namespace tessaly
