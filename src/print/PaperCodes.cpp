#include "PaperCodes.h"

namespace tessaly {

const QList<PaperEntry> &PaperList()
{
    static const QList<PaperEntry> list = {
        {QStringLiteral("LETTER"), 1, QStringLiteral("na_letter_8.5x11in"), QPageSize::Letter},
        {QStringLiteral("LETTERSMALL"), 2, QStringLiteral("na_letter_8.5x11in"), QPageSize::Letter},
        {QStringLiteral("A3"), 8, QStringLiteral("iso_a3_297x420mm"), QPageSize::A3},
        {QStringLiteral("A4"), 9, QStringLiteral("iso_a4_210x297mm"), QPageSize::A4},
        {QStringLiteral("A4SMALL"), 10, QStringLiteral("iso_a4_210x297mm"), QPageSize::A4},
        {QStringLiteral("A5"), 11, QStringLiteral("iso_a5_148x210mm"), QPageSize::A5},
        {QStringLiteral("B4"), 12, QStringLiteral("jis_b4_257x364mm"), QPageSize::JisB4},
        {QStringLiteral("B5"), 13, QStringLiteral("jis_b5_182x257mm"), QPageSize::JisB5},
        {QStringLiteral("NOTE"), 18, QStringLiteral("na_letter_8.5x11in"), QPageSize::Letter},
        {QStringLiteral("JAPANESE_POSTCARD"), 43, QStringLiteral("jpn_hagaki_100x148mm"), QPageSize::Postcard},
    };
    return list;
}

const QList<OrientationEntry> &OrientationList()
{
    static const QList<OrientationEntry> list = {
        {QStringLiteral("PORTRAIT"), OrientPortrait},
        {QStringLiteral("LANDSCAPE"), OrientLandscape},
    };
    return list;
}

const PaperEntry *FindPaperCode(int16_t code)
{
    for (const PaperEntry &e : PaperList()) {
        if (e.code == code)
            return &e;
    }
    return nullptr;
}

int16_t PaperCodeForPwgMedia(const QString &pwgMedia)
{
    // The first entry of a size in list order is its plain code.
    for (const PaperEntry &e : PaperList()) {
        if (e.pwgMedia == pwgMedia)
            return e.code;
    }
    return -1;
}

int16_t OrientationCodeForIpp(int orientationRequested)
{
    switch (orientationRequested) {
    case 3:
    case 6:  // reverse portrait
        return OrientPortrait;
    case 4:
    case 5:  // reverse landscape
        return OrientLandscape;
    default:
        return -1;
    }
}

int IppOrientationForCode(int16_t code)
{
    switch (code) {
    case OrientPortrait:
        return 3;
    case OrientLandscape:
        return 4;
    default:
        return 0;
    }
}

}  // namespace tessaly
