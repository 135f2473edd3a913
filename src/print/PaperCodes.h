#pragma once
// The paper and orientation codes of the printer window's lists, and what each code
// means to CUPS (PWG media names, orientation-requested values) and to QPrinter.
#include <QList>
#include <QPageSize>
#include <QString>
#include <cstdint>

namespace tessaly {

constexpr int16_t OrientPortrait = 1;
constexpr int16_t OrientLandscape = 2;

struct PaperEntry {
    QString text;        // list text, e.g. "A4"
    int16_t code;        // e.g. 9
    QString pwgMedia;    // PWG media name of the size, e.g. "iso_a4_210x297mm"
    QPageSize::PageSizeId pageSize;
};

struct OrientationEntry {
    QString text;        // "PORTRAIT" / "LANDSCAPE"
    int16_t code;        // 1 / 2
};

// The paper list of the printer window, in list order.
const QList<PaperEntry> &PaperList();
// The orientation list of the printer window, in list order.
const QList<OrientationEntry> &OrientationList();

// The entry of a paper code, or null for a code the list does not have.
const PaperEntry *FindPaperCode(int16_t code);

// The code for a PWG media name. Several codes share one size (LETTER, LETTERSMALL
// and NOTE are all letter sized); a size reads back as the plain code of the list
// (LETTER, A4). -1 for a name with no code.
int16_t PaperCodeForPwgMedia(const QString &pwgMedia);

// orientation-requested (3 portrait, 4 landscape) <-> code (1, 2); -1 / 0 otherwise. The
// reversed ones (6, 5) read as the nearest code.
int16_t OrientationCodeForIpp(int orientationRequested);
int IppOrientationForCode(int16_t code);

}  // namespace tessaly
