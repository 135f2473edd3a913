#include "prtPaperF.h"

#include "PaperCodes.h"
#include "PrinterSettings.h"
#include "Twips.h"
#include "WindowHost.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace tessaly {

namespace {

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, Qt::Alignment align)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(align | Qt::AlignVCenter);
    return l;
}

}  // namespace

prtPaperF::prtPaperF(WindowHost &host, QWidget *parent)
    : QWidget(parent), m_host(host)
{
    setObjectName(QStringLiteral("prtPaperF"));
    setWindowTitle(QStringLiteral("用紙設定"));

    const QString printerName = m_host.printer().GetPrinterName();

    placeTwips(addLabel(this, "Label1", QStringLiteral("プリンタ名"), Qt::AlignRight), 120, 240, 1095, 255);
    placeTwips(addLabel(this, "Label3", printerName, Qt::AlignLeft), 1320, 240, 3375, 255);
    placeTwips(addLabel(this, "Label2", QStringLiteral("用紙"), Qt::AlignRight), 120, 720, 1095, 255);
    m_paper = new QComboBox(this);
    m_paper->setObjectName(QStringLiteral("Combo1"));
    for (const PaperEntry &e : PaperList())
        m_paper->addItem(e.text, int(e.code));
    // What the printer has now; none chosen for a paper with no code (Legal, ...).
    m_paper->setCurrentIndex(m_paper->findData(int(m_host.printer().GetPrinterPaperSize())));
    placeTwips(m_paper, 1320, 660, 2415, 330);
    // The printer is named again beside the orientation, halfway between the two lists.
    placeTwips(addLabel(this, "Label4", QStringLiteral("プリンタ名"), Qt::AlignRight), 120, 1290, 1095, 255);
    placeTwips(addLabel(this, "Label6", printerName, Qt::AlignLeft), 1320, 1290, 3375, 255);

    placeTwips(addLabel(this, "Label5", QStringLiteral("印刷方向"), Qt::AlignRight), 120, 1860, 1095, 255);
    m_orientation = new QComboBox(this);
    m_orientation->setObjectName(QStringLiteral("Combo2"));
    for (const OrientationEntry &e : OrientationList())
        m_orientation->addItem(e.text, int(e.code));
    placeTwips(m_orientation, 1320, 1800, 2415, 330);
    m_direction = addLabel(this, "Label7", QString(), Qt::AlignLeft);
    placeTwips(m_direction, 3855, 1860, 600, 255);
    connect(m_orientation, &QComboBox::currentIndexChanged, this, &prtPaperF::Combo2_Click);
    m_orientation->setCurrentIndex(m_orientation->findData(int(m_host.printer().GetPrinterOrientation())));
    Combo2_Click();
    m_paperShown = m_paper->currentIndex();
    m_orientationShown = m_orientation->currentIndex();

    auto *run = new QPushButton(QStringLiteral("実行"), this);
    run->setObjectName(QStringLiteral("Command1"));
    placeTwips(run, 3360, 2520, 1335, 495);
    connect(run, &QPushButton::clicked, this, &prtPaperF::Command1_Click);
}

void prtPaperF::Combo2_Click()
{
    const int index = m_orientation->currentIndex();
    m_direction->setText(index < 0 ? QString() : index == 0 ? QStringLiteral("縦") : QStringLiteral("横"));
}

void prtPaperF::Command1_Click()
{
    // A setting shown as the printer has it stays as the user set it (or did not: a printer
    // with no orientation asked for shows PORTRAIT, the way its pages come out).
    PrinterSettings &printer = m_host.printer();
    if (m_paper->currentIndex() != m_paperShown)
        printer.SetPrinterPaperSize(int16_t(m_paper->currentData().toInt()));
    if (m_orientation->currentIndex() != m_orientationShown)
        printer.SetPrinterOrientation(int16_t(m_orientation->currentData().toInt()));
    close();
}

}  // namespace tessaly
