#pragma once
#include <QWidget>

namespace tessaly {

// frmSplash: title, version, maker and a warning line; a click or a key closes it.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);
    void showCentered();
    static QString versionText();  // "ﾊﾞｰｼﾞｮﾝ 1.0.0"

signals:
    void closed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

// Shows the splash before the main window and waits on events until more than
// minimumMs have passed on a monotonic clock, or until a click or a key closes it;
// returns the milliseconds it stayed.
qint64 ShowStartupSplash(int minimumMs = 1000);

}  // namespace tessaly
