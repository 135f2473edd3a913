#include "Splash.h"

#include "Fonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaly {

static QLabel *label(QWidget *parent, const char *name, const QString &text, int pointSize, bool bold = false)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = GothicFont(pointSize);
    f.setBold(bold);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    return l;
}

QString frmSplash::versionText()
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QStringLiteral(TESSALY_VERSION);
}

frmSplash::frmSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("Tessaly"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xF4, 0xF1, 0xE8));
    setPalette(p);
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(36, 28, 36, 24);
    box->setSpacing(10);
    box->addWidget(label(this, "lblProductName", QStringLiteral("Tessaly"), 26, true));
    box->addWidget(label(this, "lblProduct", QStringLiteral("写真・動画フォルダのアルバム作成"), 12));
    box->addWidget(label(this, "lblVersion", versionText(), 11));
    box->addSpacing(8);
    box->addWidget(label(this, "lblCompany", QStringLiteral("制作: Tessaly 開発チーム"), 10));
    box->addWidget(label(this, "lblCopyright", QStringLiteral("Copyright © 2026 Tessaly"), 10));
    box->addSpacing(8);
    box->addWidget(label(this, "lblWarning",
                         QStringLiteral("警告: このプログラムは著作権法および国際条約により保護されています。"), 9));
    setFixedSize(sizeHint().expandedTo(QSize(460, 280)));
}

void frmSplash::showCentered()
{
    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        move(r.center() - rect().center());
    }
    show();
    raise();
    // Shown over another window, it must still take the key that closes it.
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void frmSplash::mousePressEvent(QMouseEvent *)
{
    close();
}

void frmSplash::keyPressEvent(QKeyEvent *)
{
    close();
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit closed();
}

qint64 ShowStartupSplash(int minimumMs)
{
    frmSplash splash;
    QElapsedTimer shown;  // monotonic: unaffected by the wall clock passing midnight
    QEventLoop wait;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &wait, [&] {
        if (shown.elapsed() > minimumMs)
            wait.quit();
        else
            timer.start(int(minimumMs - shown.elapsed()) + 1);
    });
    QObject::connect(&splash, &frmSplash::closed, &wait, &QEventLoop::quit);
    splash.showCentered();
    shown.start();
    timer.start(minimumMs + 1);
    wait.exec();
    const qint64 stayed = shown.elapsed();
    splash.close();
    return stayed;
}

}  // namespace tessaly
