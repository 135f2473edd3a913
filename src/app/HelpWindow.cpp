#include "HelpWindow.h"

#include "Global.h"
#include "Paths.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tessaly {

QString HelpWork::helpFilePath(const Global &g)
{
    return ChildPath(ChildPath(g.programFolder, QStringLiteral("help")), QStringLiteral("index.html"));
}

HelpWork::HelpWork(const Global &g, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HelpWork"));
    setWindowTitle(QStringLiteral("Tessaly ヘルプ"));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(false);
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(m_browser);
    const QString path = helpFilePath(g);
    if (QFileInfo(path).isFile())
        m_browser->setSource(QUrl::fromLocalFile(path));
    else
        m_browser->setPlainText(QStringLiteral("ヘルプファイルが見つかりません: %1").arg(path));
}

void HelpWork::keyPressEvent(QKeyEvent *event)
{
    // Esc closes it, as it closes the program's other windows.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void HelpWork::showFirstPage()
{
    if (!m_browser->source().isEmpty())
        m_browser->home();
    m_browser->verticalScrollBar()->setValue(0);
}

}  // namespace tessaly
