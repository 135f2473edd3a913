#include "StartWindow.h"

#include "Library.h"
#include "Twips.h"

#include <QPushButton>

namespace tessaly {

frmOpen::frmOpen(Global &g, DialogService &dialogs, LibraryHost &host, QWidget *parent)
    : QWidget(parent), m_g(g), m_dialogs(dialogs), m_host(host)
{
    setObjectName(QStringLiteral("frmOpen"));
    setWindowTitle(QString());
    auto *create = new QPushButton(QStringLiteral("新規作成"), this);
    create->setObjectName(QStringLiteral("Command1"));
    placeTwips(create, 480, 480, 1455, 495);
    auto *open = new QPushButton(QStringLiteral("開　く"), this);
    open->setObjectName(QStringLiteral("Command2"));
    placeTwips(open, 2280, 480, 1455, 495);
    setFixedSize(twipsToPixels(4260, 1500));

    // The start window's buttons leave the menu items as they are.
    connect(create, &QPushButton::clicked, this, [this] {
        m_running = true;
        CreateLibrary(m_g, m_dialogs, m_host, false, this);
        m_running = false;
        close();
    });
    connect(open, &QPushButton::clicked, this, [this] {
        m_running = true;
        OpenLibrary(m_g, m_dialogs, m_host, false, this);
        m_running = false;
        close();
    });
}

void frmOpen::dismiss()
{
    if (!m_running)
        close();
}

}  // namespace tessaly
