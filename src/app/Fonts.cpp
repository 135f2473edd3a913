#include "Fonts.h"

#include <QStringList>

namespace tessaly {

void InstallJapaneseFontFallback()
{
    static const bool done = [] {
        const QString family = QStringLiteral("ＭＳ Ｐゴシック");
        if (QFont::substitutes(family).isEmpty())
            QFont::insertSubstitutions(family, {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                                QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                                QStringLiteral("Droid Sans Fallback")});
        return true;
    }();
    Q_UNUSED(done);
}

QFont GothicFont(int pointSize)
{
    InstallJapaneseFontFallback();
    return QFont(QStringLiteral("ＭＳ Ｐゴシック"), pointSize);
}

}  // namespace tessaly
