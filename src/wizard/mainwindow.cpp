#include "wizard/mainwindow.h"

#include "device/device.h"
#include "platform/keepawake.h"
#include "settings/frmabout.h"
#include "settings/registry.h"
#include "webservice/webservice.h"
#include "wizard/accesskeylabel.h"
#include "wizard/appearance.h"
#include "wizard/messagebox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QStyle>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace brimo {

namespace {

constexpr int kClientWidth = 8310;
constexpr int kClientHeight = 4965;
constexpr int kDotsInterval = 2000;
constexpr unsigned long kStatePauseMs = 200;

// Positions are kept in twips, as the window was laid out; 15 make a pixel.
int px(int twips)
{
    return twips / 15;
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QWidget *panel(QWidget *parent, const char *name, const QRect &geometry, const QColor &colour,
               const QString &accessibleName)
{
    auto *widget = place(new QWidget(parent), name, geometry);
    setBackground(widget, colour);
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const QRect &geometry, const QString &text,
              const QColor &colour)
{
    auto *widget = place(new AccessKeyLabel(text, parent), name, geometry);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setWordWrap(true);
    setTextColour(widget, colour);
    return widget;
}

// A page's title strip: grey 160 with its heading in bold.
QLabel *titleStrip(QWidget *page, const char *stripName, int width, const char *labelName,
                   const QString &text)
{
    QWidget *strip = panel(page, stripName, twips(0, 0, width, 495), greyLevel(160), text);
    QLabel *title =
        label(strip, labelName, twips(120, 120, width - 240, 375), text, highlightTextColour());
    title->setFont(verdanaFont(12, true));
    return title;
}

QPushButton *footerButton(QWidget *footer, const char *name, int left, int width,
                          const QString &caption)
{
    auto *button = place(new QPushButton(caption, footer), name, twips(left, 75, width, 375));
    button->hide();
    return button;
}

void yellowFrame(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *frame = place(new QFrame(parent), name, geometry);
    frame->setStyleSheet(QStringLiteral("QFrame { border: 1px solid rgb(255, 255, 0); }"));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(applicationTitle());
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // A fixed single border: no resizing, no minimise or maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    createControls();
    createMenus();
    setFixedSize(sizeHint());

    m_flashPort = storedSetting(kComPortValue);
    m_device = std::make_unique<device>(*this, QCoreApplication::applicationDirPath());
    m_webservice = std::make_unique<webservice>(*this, QCoreApplication::applicationDirPath());
    m_webservice->setProxy({storedSetting(kProxyServerValue), storedSetting(kProxyPortValue)});
    loadWindow();

    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen()->availableGeometry()));
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAccessibleName(applicationTitle());
    client->setFixedSize(px(kClientWidth), px(kClientHeight));
    client->setFont(verdanaFont(9.75));
    setBackground(client, greyLevel(128));
    setCentralWidget(client);

    progressDots = new QTimer(this);
    progressDots->setObjectName(QStringLiteral("progressDots"));
    progressDots->setInterval(kDotsInterval);
    connect(progressDots, &QTimer::timeout, this, &MainWindow::onDotsTick);

    createCompletedPage(client);
    createWelcomePage(client);
    createStagePage(client);
    createFooter(client);
    createHeader(client);
    Line1 = place(new QFrame(client), "Line1", QRect(px(120), px(960), px(8160 - 120), 1));
    setBackground(Line1, yellow());

    connect(updateBtn, &QPushButton::clicked, this, &MainWindow::updateBtnClick);
    connect(stage1Btn, &QPushButton::clicked, this, &MainWindow::stage1BtnClick);
    connect(detectBtn, &QPushButton::clicked, this, &MainWindow::detectBtnClick);
    connect(stage2Btn, &QPushButton::clicked, this, &MainWindow::stage2BtnClick);
    connect(stage5Btn, &QPushButton::clicked, this, &MainWindow::stage5BtnClick);
#if QT_CONFIG(sessionmanager)
    // The end of the session waits while the image is written: on Windows
    // the system then shows the reason the flash gives.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager &session) {
        if (KeepAwake::blocksShutdown())
            session.cancel();
    });
#endif
}

void MainWindow::createCompletedPage(QWidget *client)
{
    completedWindow = panel(client, "completedWindow", twips(120, 1080, 8055, 3255), greyLevel(144),
                            QStringLiteral("Update complete"));
    titleStrip(completedWindow, "Picture3", 8055, "completedTitle",
               QStringLiteral("Update complete"));
    completedText = label(completedWindow, "completedText", twips(120, 600, 7815, 2535), QString(),
                          windowBackgroundColour());
}

void MainWindow::createWelcomePage(QWidget *client)
{
    welcomeWindow = panel(client, "welcomeWindow", twips(120, 1080, 8055, 3255), greyLevel(144),
                          QStringLiteral("Welcome"));
    titleStrip(welcomeWindow, "Picture2", 8055, "welcomeLabel", applicationTitle());
    welcomeInfo = label(welcomeWindow, "welcomeInfo", twips(120, 600, 7815, 2535), QString(),
                        windowBackgroundColour());
}

void MainWindow::createLog()
{
    Text1 = place(new QPlainTextEdit(stageWindow), "Text1", twips(3000, 0, 5055, 2985));
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setFont(msSansSerifFont());
    Text1->setFrameShape(QFrame::NoFrame);
    Text1->setAccessibleName(QStringLiteral("Activity log"));
    QPalette palette = Text1->palette();
    palette.setColor(QPalette::Base, greyLevel(144));
    palette.setColor(QPalette::Text, greyLevel(224));
    Text1->setPalette(palette);
}

void MainWindow::createStagePage(QWidget *client)
{
    stageWindow = panel(client, "stageWindow", twips(120, 1080, 8055, 3255),
                        applicationWorkspaceColour(), QStringLiteral("Update stage"));
    createLog();
    QWidget *infoContainer = panel(stageWindow, "infoContainer", twips(30, 30, 2835, 3195),
                                   Qt::white, QStringLiteral("Stage information"));
    stageHeader = titleStrip(infoContainer, "stageContainer", 2895, "stageHeader",
                             QStringLiteral("Stage 1 of 6:"));
    info = label(infoContainer, "info", twips(120, 600, 2655, 2535),
                 QStringLiteral("During this process this application will attempt to connect "
                                "to the internet to retrieve remote updates for your Brimo "
                                "device."),
                 Qt::black);
    ProgressBar = place(new QProgressBar(stageWindow), "ProgressBar", twips(4080, 3000, 3975, 255));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    yellowFrame(stageWindow, "Shape1", twips(0, 0, 2895, 3255));
    QLabel *progress = label(stageWindow, "progress", twips(3000, 3000, 1095, 255),
                             QStringLiteral("Progress:"), Qt::white);
    progress->setAutoFillBackground(true);
    setBackground(progress, greyLevel(144));
}

void MainWindow::createFooter(QWidget *client)
{
    QWidget *footer = panel(client, "footer", twips(0, kClientHeight - 495, kClientWidth, 495),
                            greyLevel(64), QStringLiteral("Buttons"));
    footer->setFont(msSansSerifFont());
    stage5Btn = footerButton(footer, "stage5Btn", 6360, 1815, QStringLiteral("&Update device"));
    stage2Btn = footerButton(footer, "stage2Btn", 6360, 1815, QStringLiteral("&Update device"));
    detectBtn = footerButton(footer, "detectBtn", 4440, 1815, QStringLiteral("Auto &detect"));
    stage1Btn = footerButton(footer, "stage1Btn", 6360, 1815, QStringLiteral("&Scan"));
    updateBtn = footerButton(footer, "updateBtn", 5880, 2295, QStringLiteral("&Update Brimo unit"));
    updateBtn->show();
    copyright =
        label(footer, "copyright", twips(120, 120, 2295, 315), QString(), windowBackgroundColour());
}

void MainWindow::createHeader(QWidget *client)
{
    header = place(new QLabel(client), "header", twips(0, 0, 8295, 975));
    header->setPixmap(QPixmap(QStringLiteral(":/assets/banner.png")));
    header->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    header->setFont(msSansSerifFont());
    header->setAccessibleName(applicationTitle());
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    QLabel *logo = place(new QLabel(header), "logo", twips(240, 120, 2490, 750));
    logo->setPixmap(QPixmap(QStringLiteral(":/assets/logo.png")));
    logo->setAccessibleName(QStringLiteral("Brimo"));
}

void MainWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("file"));
    file->setAccessibleName(QStringLiteral("File"));
    file->addAction(QStringLiteral("&Settings"), this, &MainWindow::showSettings)
        ->setObjectName(QStringLiteral("settings"));
    file->addAction(QStringLiteral("&Exit"), this, &QWidget::close)
        ->setObjectName(QStringLiteral("exit"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("help"));
    help->setAccessibleName(QStringLiteral("Help"));
    help->addAction(QStringLiteral("&About"), this, &MainWindow::showAbout)
        ->setObjectName(QStringLiteral("about"));
}

void MainWindow::loadWindow()
{
    m_state.updateInProgress = false;
    for (QPushButton *button : {detectBtn, stage1Btn, stage2Btn, stage5Btn})
        button->hide();
    ProgressBar->setValue(100);
    MSComm1.setSettings(QStringLiteral("9600,N,8,1"));
    m_state.currentStage = 0;
    m_state.comPortNumber = 0;
    stageWindow->hide();
    completedWindow->hide();
    welcomeInfo->setText(
        QStringLiteral("This application will guide you through the necessary steps to update "
                       "your Brimo device.") +
        kCrLf + kCrLf + QStringLiteral("Please click the '") + updateBtn->text() +
        QStringLiteral("' button in the bottom right corner of this application to begin the "
                       "update process."));
    copyright->setText(QStringLiteral("Copyright \u00a9 Brimo"));
}

// --- activity log ---------------------------------------------------------

void MainWindow::clearLog()
{
    Text1->clear();
    m_log.clear();
}

bool MainWindow::appendToLog(const QString &text)
{
    if (m_log.size() + text.size() > kLogCapacity)
        return false;
    Text1->moveCursor(QTextCursor::End);
    Text1->insertPlainText(text);
    // The newest line in view, however long the log has grown.
    Text1->ensureCursorVisible();
    m_log += text;
    return true;
}

void MainWindow::addText(const QString &whatText)
{
    m_supportLog.addLine(whatText);
    const QString line = logText().isEmpty() ? whatText : kCrLf + whatText;
    if (appendToLog(line))
        return;
    clearLog();
    // Only a line longer than the whole log fails twice; it keeps its beginning.
    if (!appendToLog(whatText))
        appendToLog(whatText.left(kLogCapacity));
}

void MainWindow::onDotsTick()
{
    const QString dots = QStringLiteral(" . . .");
    m_supportLog.append(dots);
    appendToLog(dots);
}

void MainWindow::setDotsEnabled(bool enabled)
{
    if (enabled)
        progressDots->start();
    else
        progressDots->stop();
}

// --- progress and messages ------------------------------------------------

void MainWindow::setProgress(int value)
{
    ProgressBar->setValue(value);
}

void MainWindow::transferState(qint16 state)
{
    static constexpr int kProgress[] = {0, 10, 20, 30, 40, 50, 60, 80, 80, 90, 100, 0, 100};
    if (state == 4)
        addText(QStringLiteral("Connected"));
    const bool known = state >= 0 && state < static_cast<qint16>(std::size(kProgress));
    setProgress(known ? kProgress[state] : 0);
    if (state >= 1 && state <= 6)
        QThread::msleep(kStatePauseMs);
}

void MainWindow::showServiceMessage(const QString &text)
{
    showMessage(this, cutToFit(text), MessageStyle::CriticalOk);
}

// --- dialogs --------------------------------------------------------------

frmSettings &MainWindow::settingsDialog()
{
    if (!m_settingsDialog) {
        frmSettings::Settings stored{storedSetting(kComPortValue), storedSetting(kProxyServerValue),
                                     storedSetting(kProxyPortValue)};
        // The port in use comes before the stored one.
        if (m_state.comPortNumber > 0)
            stored.comPort = QString::number(m_state.comPortNumber);
        m_settingsDialog = new frmSettings(stored, this);
    }
    return *m_settingsDialog;
}

void MainWindow::showSettings()
{
    if (settingsDialog().exec() == QDialog::Accepted)
        applySettings(m_settingsDialog->settings());
    // Closing unloads the dialog: the next opening reads the store afresh.
    delete m_settingsDialog;
}

void MainWindow::applySettings(const frmSettings::Settings &chosen)
{
    if (!chosen.comPort.isEmpty()) {
        m_state.comPortNumber = static_cast<qint16>(chosen.comPort.toInt());
        storeSetting(kComPortValue, QString::number(m_state.comPortNumber));
        // With a port known, the first stage's button scans it.
        stage1Btn->setText(QStringLiteral("&Scan"));
    }
    storeSetting(kProxyServerValue, chosen.proxyServer);
    storeSetting(kProxyPortValue, chosen.proxyPort);
    m_webservice->setProxy({chosen.proxyServer, chosen.proxyPort});
}

void MainWindow::showAbout()
{
    auto *dialog = new frmAbout(this);
    dialog->exec();
}

// --- window events --------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Line1->setGeometry(0, header->height(), header->width(), 1);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_state.updateInProgress &&
        showMessage(this,
                    QStringLiteral("The Brimo update utility is in the process of updating your "
                                   "device") +
                        kCrLf + kCrLf + QStringLiteral("Terminate update process?"),
                    MessageStyle::YesNo) != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    // A downloaded image goes with the program: it is never flashed now.
    m_image.reset();
    m_webservice->dropDownload();
    endProgramNow(0);
}

void endProgramNow(int exitCode)
{
    KeepAwake::releaseBeforeExit();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitCode);
}

} // namespace brimo
