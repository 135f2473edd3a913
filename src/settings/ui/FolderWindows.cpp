#include "FolderWindows.h"

#include "Fonts.h"

#include "DialogService.h"
#include "Global.h"
#include "Paths.h"
#include "Pickers.h"
#include "Publish.h"
#include "Twips.h"
#include "WindowHost.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QDesktopServices>
#include <QProgressDialog>
#include <QUrl>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaly {

namespace {

QString str(const char *s)
{
    return QString::fromUtf8(s);
}

const FolderWindowSetup kTopFolderF{
    "topFolderF",
    "基準フォルダ設定",
    "基準フォルダ",
    "データの保存されているフォルダを指定ください",
    6870,
    3135,
    {240, 600, 1455, 375},
    {240, 1080, 5415, 495},
    {5760, 1200, 735, 375},
    {240, 2040, 5055, 375},
    {5640, 2400, 975, 495},
    "基準フォルダ設定画面を終了しますか？",
    "基準ﾌｫﾙﾀﾞ設定",
    "基準ﾌｫﾙﾀﾞ設定設定画面を終了しますか？",
    "HTML出力先",
    "HTML出力先",
    "htmlOut",
    &LoadBaseFolder,
    &BrowseBaseFolder,
    &SaveBaseFolder,
    &CloseBaseFolderWindow,
};

const FolderWindowSetup kHtmlOut{
    "htmlOut",
    "HTML出力先",
    "HTML保存先",
    "HTMLファイルの保存先を指定ください",
    6690,
    3045,
    {120, 480, 1455, 375},
    {120, 960, 5415, 495},
    {5640, 1080, 735, 375},
    {120, 2280, 4935, 495},
    {5520, 2280, 975, 495},
    "HTML出力先設定画面を終了しますか？",
    "出力先",
    "HTML出力先設定画面を終了しますか？",
    "基準フォルダ設定",
    "基準ﾌｫﾙﾀ設定",
    "topFolderF",
    &LoadOutputFolder,
    &BrowseOutputFolder,
    &SaveOutputFolder,
    &CloseOutputFolderWindow,
};

QFont gothicFont()
{
    return GothicFont(12);
}

void place(QWidget *w, const int (&r)[4])
{
    placeTwips(w, r[0], r[1], r[2], r[3]);
}

QAction *addItem(QMenu *menu, const QString &name, const QString &caption)
{
    QString text = caption;
    text.replace(QLatin1Char('&'), QLatin1String("&&"));  // "Save & Quit" has no shortcut letter
    QAction *a = menu->addAction(text);
    a->setObjectName(name);
    return a;
}

void addLine(QMenu *menu, const char *name)
{
    addItem(menu, str(name), QStringLiteral("----------------"))->setEnabled(false);
}

}  // namespace

FolderWindow::FolderWindow(WindowHost &host, const FolderWindowSetup &setup, QWidget *parent)
    : QWidget(parent), m_host(host), m_setup(setup)
{
    setObjectName(str(setup.name));
    setWindowTitle(str(setup.caption));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    layout->addWidget(client, 1);

    const QFont gothic = gothicFont();
    auto *label1 = new QLabel(str(setup.label1), client);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setFont(gothic);
    place(label1, setup.label1Rect);
    m_allTop = new QLineEdit(client);
    m_allTop->setObjectName(QStringLiteral("AllTop"));
    m_allTop->setFont(gothic);
    place(m_allTop, setup.allTopRect);
    auto *command1 = new QPushButton(QStringLiteral("参照"), client);
    command1->setObjectName(QStringLiteral("Command1"));
    place(command1, setup.command1Rect);
    auto *label2 = new QLabel(str(setup.label2), client);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setFont(gothic);
    place(label2, setup.label2Rect);
    auto *command2 = new QPushButton(QStringLiteral("設定"), client);
    command2->setObjectName(QStringLiteral("Command2"));
    place(command2, setup.command2Rect);
    // Only the free area of the window opens the 編集 pop-up.
    for (QWidget *w : {static_cast<QWidget *>(label1), static_cast<QWidget *>(label2),
                       static_cast<QWidget *>(command1), static_cast<QWidget *>(command2)})
        w->setContextMenuPolicy(Qt::PreventContextMenu);

    buildMenus();
    layout->setMenuBar(findChild<QMenuBar *>(QStringLiteral("menuBar")));
    layout->menuBar()->setContextMenuPolicy(Qt::PreventContextMenu);
    resize(twipsToPixels(setup.clientWidth), twipsToPixels(setup.clientHeight) + layout->menuBar()->sizeHint().height());

    connect(command1, &QPushButton::clicked, this, &FolderWindow::browse);
    connect(command2, &QPushButton::clicked, this, &FolderWindow::save);

    // The window sees key presses before its controls.
    // (Menus keep their own Esc.)
    installEventFilter(this);
    client->installEventFilter(this);
    for (QWidget *w : client->findChildren<QWidget *>())
        w->installEventFilter(this);

    // Window load.
    if (m_host.global().printerUnavailable) {
        action(QStringLiteral("用紙設定"))->setEnabled(false);
        action(QStringLiteral("印刷"))->setEnabled(false);
    }
    m_library = m_host.global().dbConnectString;
    m_loaded = setup.load(m_host.global(), m_host.dialogs(), this);
    m_allTop->setText(m_loaded.text);
}

void FolderWindow::libraryChanged()
{
    Global &g = m_host.global();
    if (m_library == g.dbConnectString)
        return;
    m_library = g.dbConnectString;
    m_loaded = m_setup.load(g, m_host.dialogs(), this);
    m_allTop->setText(m_loaded.text);
}

void FolderWindow::buildMenus()
{
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));

    QMenu *file = bar->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    file->setObjectName(QStringLiteral("ファイル"));
    connect(addItem(file, QStringLiteral("設定"), QStringLiteral("設定(Save & Quit)")), &QAction::triggered, this,
            &FolderWindow::save);
    addLine(file, "line");
    connect(addItem(file, QStringLiteral("用紙設定"), QStringLiteral("用紙設定")), &QAction::triggered, this,
            [this] { m_host.showWindow(QStringLiteral("prtPaperF")); });
    connect(addItem(file, QStringLiteral("印刷"), QStringLiteral("印刷")), &QAction::triggered, this,
            &FolderWindow::askPrint);
    addLine(file, "line0");
    connect(addItem(file, QStringLiteral("閉じる"), QStringLiteral("閉じる(Quit)")), &QAction::triggered, this,
            &FolderWindow::askClose);
    connect(addItem(file, QStringLiteral("終了"), QStringLiteral("終了(End)")), &QAction::triggered, this,
            &FolderWindow::askEnd);

    m_editMenu = bar->addMenu(QStringLiteral("編集"));
    m_editMenu->setObjectName(QStringLiteral("編集"));
    connect(addItem(m_editMenu, QStringLiteral("データ編集"), QStringLiteral("データ編集")), &QAction::triggered, this,
            [this] { openInstead(QStringLiteral("dataSet")); });
    connect(addItem(m_editMenu, str(m_setup.otherItem), str(m_setup.otherCaption)), &QAction::triggered, this,
            [this] { openInstead(str(m_setup.otherWindow)); });

    QMenu *help = bar->addMenu(QStringLiteral("ヘルプ"));
    help->setObjectName(QStringLiteral("ヘルプ"));
    connect(addItem(help, QStringLiteral("ヘルプ1"), QStringLiteral("ヘルプ")), &QAction::triggered, this,
            [this] { m_host.showHelp(); });
    connect(addItem(help, QStringLiteral("このソフトについて"), QStringLiteral("このソフトについて")),
            &QAction::triggered, this, [this] { m_host.showAbout(); });
}

QAction *FolderWindow::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

void FolderWindow::browse()
{
    m_allTop->setText(m_setup.browse(m_host.global(), m_host.dialogs(), m_allTop->text(), this));
}

void FolderWindow::save()
{
    // The box holds a folder of the library it was read from; never saved into another.
    if (m_library != m_host.global().dbConnectString) {
        libraryChanged();
        m_host.dialogs().message(QStringLiteral("開いているライブラリが変わったため、フォルダを読み直しました。") + QStringLiteral("\n\r")
                                     + QStringLiteral("保存は行いませんでした。フォルダを確かめてから、もう一度設定してください。"),
                                 MsgKind::Exclamation, windowTitle(), MsgButtons::Ok, this);
        return;
    }
    const SaveResult r = m_setup.save(m_host.global(), m_host.dialogs(), m_allTop->text(), m_loaded, this);
    if (r.outcome == SaveOutcome::ChangedElsewhere) {
        m_loaded = r.current;
        m_allTop->setText(m_loaded.text);
    } else if (r.outcome == SaveOutcome::Saved) {
        close();
    }
}

void FolderWindow::askClose()
{
    if (m_host.dialogs().ask(str(m_setup.closeQuestion), MsgKind::Question, QString(), this))
        close();
}

void FolderWindow::askEnd()
{
    if (m_host.mayEnd() && m_host.dialogs().ask(QStringLiteral("終了しますか？"), MsgKind::Question, QString(), this))
        m_host.endProgram();
}

void FolderWindow::askPrint()
{
    if (m_host.dialogs().ask(QStringLiteral("この画面を印刷しますか？"), MsgKind::Question, windowTitle(), this))
        m_host.printWindowImage(this);
}

void FolderWindow::openInstead(const QString &name)
{
    m_host.showWindow(name);
    close();
}

bool FolderWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        if (m_host.dialogs().ask(str(m_setup.escQuestion), MsgKind::Question, str(m_setup.escTitle), this))
            close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FolderWindow::contextMenuEvent(QContextMenuEvent *event)
{
    m_editMenu->popup(event->globalPos());
    event->accept();
}

void FolderWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    // The frame may pass on its own close after this window has closed.
    if (m_closed)
        return;
    m_closed = true;
    if (m_setup.closeOpensEditor(m_host.global()))
        m_host.showWindow(QStringLiteral("dataSet"));
}

topFolderF::topFolderF(WindowHost &host, QWidget *parent) : FolderWindow(host, kTopFolderF, parent) {}

htmlOut::htmlOut(WindowHost &host, QWidget *parent) : FolderWindow(host, kHtmlOut, parent)
{
    // After the other items, before 終了.
    QMenu *file = findChild<QMenu *>(QStringLiteral("ファイル"));
    QAction *item = addItem(file, QStringLiteral("公開用にコピー"), QStringLiteral("公開用にコピー"));
    file->removeAction(item);
    file->insertAction(action(QStringLiteral("終了")), item);
    connect(item, &QAction::triggered, this, &htmlOut::publish);
    // Videos can be large for a web space: leaving them out keeps their posters.
    m_videos = addItem(file, QStringLiteral("公開用のコピーにビデオを入れる"), QStringLiteral("公開用のコピーにビデオを入れる"));
    file->removeAction(m_videos);
    file->insertAction(action(QStringLiteral("終了")), m_videos);
    m_videos->setCheckable(true);
    m_videos->setChecked(LastPublishHadVideos(host.global()));
}

void htmlOut::publish()
{
    Global &g = m_host.global();
    DialogService &ds = m_host.dialogs();
    const QString last = LastPublishFolder(g);
    const QString folder = BrowseFolder(g, ds, this, QStringLiteral("公開用のコピーを作るフォルダを指定ください"),
                                        IsFolder(last) ? last : QDir::homePath(), false, true);
    if (folder.isEmpty())
        return;
    // As the output folder is: a folder not there yet is made on Yes (by the copy itself,
    // once it has judged the place).
    if (!QFileInfo::exists(folder)
        && !ds.ask(QStringLiteral("フォルダ「%1」がありません。作成しますか？").arg(folder), MsgKind::Question,
                   kPublishTitle, this))
        return;
    QProgressDialog progress(QStringLiteral("公開用にコピーしています。"), QString(), 0, 1, this);
    progress.setWindowTitle(kPublishTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    PublishSummary summary;
    const bool ok = PublishSite(g, ds, folder, &summary, this, [&](int done, int total) {
        progress.setMaximum(qMax(total, 1));
        progress.setValue(qMin(done, total));
    }, m_videos->isChecked());
    progress.reset();
    if (!summary.started)  // the folder was refused, and the message said why
        return;
    RememberPublishFolder(g, folder, m_videos->isChecked());
    constexpr int kListed = 10;
    MessageRequest r{PublishSummaryText(folder, summary, kListed), ok ? MsgKind::Information : MsgKind::Exclamation,
                     kPublishTitle};
    if (summary.missing.size() > kListed || summary.outside.size() > kListed)
        r.details = (summary.missing + summary.outside).join(QLatin1Char('\n'));
    // To look at the album as a visitor will, before it is uploaded.
    const QString home = ChildPath(folder, QStringLiteral("index.html"));
    if (IsNormalFile(home))
        r.actionButton = QStringLiteral("ブラウザで開く");
    if (ds.message(r, this) == MsgAnswer::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(home));
}

}  // namespace tessaly
