#pragma once
#include <QWidget>

class QTextBrowser;

namespace tessaly {

struct Global;

// HelpWork: the program's help viewer, showing the help document beside the program.
class HelpWork : public QWidget {
    Q_OBJECT
public:
    explicit HelpWork(const Global &g, QWidget *parent = nullptr);
    static QString helpFilePath(const Global &g);
    QTextBrowser *browser() const { return m_browser; }
    void showFirstPage();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextBrowser *m_browser;
};

}  // namespace tessaly
