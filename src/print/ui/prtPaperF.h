#pragma once
// prtPaperF: sets the default printer's paper size and orientation. It opens on what the
// printer has now, and 実行 writes only the settings the user changed in it.
#include <QWidget>

class QComboBox;
class QLabel;

namespace tessaly {

class WindowHost;

class prtPaperF : public QWidget {
    Q_OBJECT
public:
    explicit prtPaperF(WindowHost &host, QWidget *parent = nullptr);

private:
    void Combo2_Click();
    void Command1_Click();

    WindowHost &m_host;
    QComboBox *m_paper = nullptr;        // Combo1
    QComboBox *m_orientation = nullptr;  // Combo2
    QLabel *m_direction = nullptr;       // Label7
    int m_paperShown = -1, m_orientationShown = -1;  // as opened
};

}  // namespace tessaly
