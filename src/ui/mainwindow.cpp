#include "ui/mainwindow.h"

#include "platform/keepawake.h"
#include "ui/accesskeylabel.h"
#include "ui/appearance.h"
#include "ui/frmabout.h"
#include "ui/frmsettings.h"
#include "ui/messagebox.h"
#include "ui/pictures.h"

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
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>

#include <iterator>

namespace brimo {

namespace {

constexpr int kClientWidth = 8310;
constexpr int kClientHeight = 4965;
constexpr int kDotsInterval = 2000;
// Characters the log holds at most, each line break counted as CR LF; a line
// that would pass it starts a fresh log.
constexpr qsizetype kLogCapacity = 65535;

// The footer's buttons in the order they are created (and tabbed through),
// with what their click asks of the session.
enum Footer { Stage5, Stage2, Detect, Scan, Update };
struct FooterButton {
    Footer button;
    const char *name;
    int left;
    int width;
    const char *caption;
    UpdateSession::Outcome (UpdateSession::*command)();
};
constexpr FooterButton kFooter[] = {
    {Stage5, "stage5Btn", 6360, 1815, "&Update device", &UpdateSession::repeat},
    {Stage2, "stage2Btn", 6360, 1815, "&Update device", &UpdateSession::readDevice},
    {Detect, "detectBtn", 4440, 1815, "Auto &detect", &UpdateSession::autoDetect},
    {Scan, "stage1Btn", 6360, 1815, "&Scan", &UpdateSession::scan},
    {Update, "updateBtn", 5880, 2295, "&Update Brimo unit", &UpdateSession::start},
};
constexpr int bit(Footer button)
{
    return 1 << button;
}
constexpr int kAllStageButtons = bit(Stage5) | bit(Stage2) | bit(Detect) | bit(Scan);

// The pages in their stack; Keep leaves the page shown as it is.
enum class Page { Keep = -1, Welcome, Stage, Completed };

// What each step of the session shows: the page; the footer's buttons shown
// and hidden, those of the port search that take a click and those that do
// not (any other button left as it is); the first stage's caption and the
// page's text (none: as they are).
struct StepView {
    SessionWindow::Step step;
    Page page;
    int show;
    int hide;
    int enable;
    int disable;
    const char *scanCaption;
    const char *text;
};
using S = SessionWindow::Step;
// Stage 2's text names its button as the button carries it, "&" and all.
constexpr char kDownloadModePage[] =
    "Please remove power to the Brimo device, wait 10 seconds, switch it to the 'D/L' position "
    "and re-apply power.\r\n\r\nPress the '&Update device' button to continue.";
constexpr std::array<StepView, SessionWindow::kStepCount> kSteps = {{
    {S::Welcome, Page::Welcome, bit(Update), kAllStageButtons, 0, 0, nullptr, nullptr},
    {S::PortStage, Page::Stage, bit(Scan), bit(Update) | bit(Stage2), 0, 0, nullptr, nullptr},
    // The first sentence ends in a blank before its line breaks, as ever.
    {S::PortUnknown, Page::Keep, bit(Detect), 0, 0, 0, "&Settings",
     "The Brimo update utility has no COM port set, please ensure your Brimo device is plugged "
     "into a COM port and is switched to 'NORMAL' mode. \r\n\r\nPress the 'Auto &detect' "
     "button to begin device detection."},
    {S::PortStored, Page::Keep, 0, 0, 0, 0, "&Scan", nullptr},
    {S::PortSilent, Page::Keep, bit(Detect), 0, 0, 0, nullptr, nullptr},
    {S::PortChosen, Page::Keep, 0, 0, 0, 0, "&Scan", nullptr},
    {S::Searching, Page::Keep, 0, 0, 0, bit(Scan) | bit(Detect), nullptr, nullptr},
    {S::Searched, Page::Keep, 0, 0, bit(Scan) | bit(Detect), 0, nullptr, nullptr},
    {S::NotFound, Page::Keep, 0, 0, bit(Scan) | bit(Detect), 0, "&Settings", nullptr},
    {S::Found, Page::Keep, 0, 0, bit(Scan), 0, nullptr, nullptr},
    {S::DownloadMode, Page::Keep, bit(Stage2), bit(Detect) | bit(Scan), 0, 0, nullptr,
     kDownloadModePage},
    {S::Reading, Page::Keep, 0, bit(Stage2), 0, 0, nullptr, nullptr},
    {S::ReadAgain, Page::Keep, 0, 0, 0, 0, nullptr, kDownloadModePage},
    {S::ReadGivenUp, Page::Keep, bit(Stage2), 0, 0, 0, nullptr, nullptr},
    {S::Internet, Page::Keep, 0, bit(Stage2), 0, 0, nullptr,
     "Retrieving remote information from Brimo to be uploaded to your device."},
    {S::Download, Page::Keep, 0, 0, 0, 0, nullptr,
     "We are now about to download the latest database for your Brimo unit.\r\n\r\nThis "
     "process can take up to 5 minutes depending on your connection speed."},
    {S::Flash, Page::Keep, 0, bit(Stage5), 0, 0, nullptr,
     "The database has now been collected and the Brimo unit will now be updated.\r\n\r\nThis "
     "process may take up to 5 minutes."},
    {S::Completed, Page::Completed, 0, 0, 0, 0, nullptr,
     "Your Brimo unit has been successfully updated with the latest information.\r\n\r\nPlease "
     "remove the power from the Brimo unit, wait 10 seconds and change the mode selection switch "
     "to either 'normal' or 'camera'."},
    {S::FlashGivenUp, Page::Keep, bit(Stage5), 0, 0, 0, nullptr, nullptr},
}};
// A row for every step, each in its step's place.
constexpr bool inStepOrder()
{
    for (std::size_t i = 0; i < kSteps.size(); ++i) {
        if (static_cast<std::size_t>(kSteps[i].step) != i)
            return false;
    }
    return true;
}
static_assert(inStepOrder(), "kSteps holds one row per step, in the steps' order");

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

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(applicationTitle());
    setWindowIcon(pictureIcon(QStringLiteral("icon")));
    // A fixed single border: no resizing, no minimise or maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAccessibleName(applicationTitle());
    client->setFixedSize(px(kClientWidth), px(kClientHeight));
    client->setFont(verdanaFont(9.75));
    setBackground(client, greyLevel(128));
    setCentralWidget(client);

    createProgressDots();
    createPages(client);
    createFooter(client);
    createHeader(client);
    Line1 = place(new QFrame(client), "Line1", QRect(px(120), px(960), px(8160 - 120), 1));
    setBackground(Line1, yellow());
    createMenus();
    setFixedSize(sizeHint());
#if QT_CONFIG(sessionmanager)
    // The end of the session waits while the image is written: on Windows
    // the system then shows the reason the flash gives.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [](QSessionManager &session) {
        if (KeepAwake::blocksShutdown())
            session.cancel();
    });
#endif
    showStep(Step::Welcome);
    ProgressBar->setValue(100);
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen()->availableGeometry()));
}

void MainWindow::createProgressDots()
{
    progressDots = new QTimer(this);
    progressDots->setObjectName(QStringLiteral("progressDots"));
    progressDots->setInterval(kDotsInterval);
    connect(progressDots, &QTimer::timeout, this, [this] {
        m_supportLog.append(QStringLiteral(" . . ."));
        appendToLog(QStringLiteral(" . . ."));
    });
}

void MainWindow::createPages(QWidget *client)
{
    m_pages = place(new QStackedWidget(client), "pages", twips(120, 1080, 8055, 3255));
    QWidget *welcomeWindow =
        panel(m_pages, "welcomeWindow", QRect(), greyLevel(144), QStringLiteral("Welcome"));
    titleStrip(welcomeWindow, "Picture2", 8055, "welcomeLabel", applicationTitle());
    label(welcomeWindow, "welcomeInfo", twips(120, 600, 7815, 2535),
          QStringLiteral("This application will guide you through the necessary steps to update "
                         "your Brimo device.\r\n\r\nPlease click the '%1' button in the bottom "
                         "right corner of this application to begin the update process.")
              .arg(QLatin1String(kFooter[Update].caption)),
          windowBackgroundColour());
    m_pages->addWidget(welcomeWindow);
    m_pages->addWidget(createStagePage());
    QWidget *completedWindow = panel(m_pages, "completedWindow", QRect(), greyLevel(144),
                                     QStringLiteral("Update complete"));
    titleStrip(completedWindow, "Picture3", 8055, "completedTitle",
               QStringLiteral("Update complete"));
    completedText = label(completedWindow, "completedText", twips(120, 600, 7815, 2535), QString(),
                          windowBackgroundColour());
    m_pages->addWidget(completedWindow);
}

QWidget *MainWindow::createStagePage()
{
    QWidget *stageWindow = panel(m_pages, "stageWindow", QRect(), applicationWorkspaceColour(),
                                 QStringLiteral("Update stage"));
    createLog(stageWindow);

    QWidget *infoContainer = panel(stageWindow, "infoContainer", twips(30, 30, 2835, 3195),
                                   Qt::white, QStringLiteral("Stage information"));
    // "of 6" is the design text the window always had; every stage run
    // writes the header before the page shows.
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
    auto *frame = place(new QFrame(stageWindow), "Shape1", twips(0, 0, 2895, 3255));
    frame->setStyleSheet(QStringLiteral("QFrame { border: 1px solid rgb(255, 255, 0); }"));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    QLabel *progress = label(stageWindow, "progress", twips(3000, 3000, 1095, 255),
                             QStringLiteral("Progress:"), Qt::white);
    progress->setAutoFillBackground(true);
    setBackground(progress, greyLevel(144));
    return stageWindow;
}

void MainWindow::createLog(QWidget *stageWindow)
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

void MainWindow::createFooter(QWidget *client)
{
    QWidget *footer = panel(client, "footer", twips(0, kClientHeight - 495, kClientWidth, 495),
                            greyLevel(64), QStringLiteral("Buttons"));
    footer->setFont(msSansSerifFont());
    static_assert(std::size(kFooter) == kFooterButtons);
    for (const FooterButton &row : kFooter) {
        // The rows in the order of their buttons.
        Q_ASSERT(&row == &kFooter[row.button]);
        m_buttons[row.button] = place(new QPushButton(QLatin1String(row.caption), footer), row.name,
                                      twips(row.left, 75, row.width, 375));
        connect(m_buttons[row.button], &QPushButton::clicked, this,
                [this, command = row.command] { run(command); });
    }
    label(footer, "copyright", twips(120, 120, 2295, 315), QStringLiteral("Copyright \u00a9 Brimo"),
          windowBackgroundColour());
}

void MainWindow::createHeader(QWidget *client)
{
    header = place(new QLabel(client), "header", twips(0, 0, 8295, 975));
    showPicture(header, QStringLiteral("banner"));
    header->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    header->setFont(msSansSerifFont());
    header->setAccessibleName(applicationTitle());
    QLabel *logo = place(new QLabel(header), "logo", twips(240, 120, 2490, 750));
    showPicture(logo, QStringLiteral("logo"));
    logo->setAccessibleName(QStringLiteral("Brimo"));
}

void MainWindow::createMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("file"));
    file->setAccessibleName(QStringLiteral("File"));
    file->addAction(QStringLiteral("&Settings"), this, [this] { m_session->showSettings(); })
        ->setObjectName(QStringLiteral("settings"));
    file->addAction(QStringLiteral("&Exit"), this, &QWidget::close)
        ->setObjectName(QStringLiteral("exit"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("help"));
    help->setAccessibleName(QStringLiteral("Help"));
    help->addAction(QStringLiteral("&About"), this, [this] { frmAbout(this).exec(); })
        ->setObjectName(QStringLiteral("about"));
}

// --- what the session shows -------------------------------------------------

void MainWindow::showStage(Stage stage)
{
    // The count as the header has always named it.
    static_assert(kStageCount == 5);
    stageHeader->setText(QStringLiteral("Stage ") + QString::number(static_cast<qint16>(stage)) +
                         QStringLiteral(" of 5:"));
}

void MainWindow::showStep(Step step)
{
    const StepView &view = kSteps[static_cast<std::size_t>(step)];
    if (view.page != Page::Keep)
        m_pages->setCurrentIndex(static_cast<int>(view.page));
    // Those hidden first, so that none is shown beside one on its way out.
    for (const FooterButton &row : kFooter) {
        if (view.hide & bit(row.button))
            m_buttons[row.button]->hide();
    }
    for (const FooterButton &row : kFooter) {
        if (view.show & bit(row.button))
            m_buttons[row.button]->show();
        if ((view.enable | view.disable) & bit(row.button))
            m_buttons[row.button]->setEnabled(view.enable & bit(row.button));
    }
    if (view.scanCaption)
        m_buttons[Scan]->setText(QLatin1String(view.scanCaption));
    if (view.text)
        (view.page == Page::Completed ? completedText : info)->setText(QLatin1String(view.text));
}

bool MainWindow::showBox(const QString &text, Box box)
{
    // A stop box may carry the service's own words.
    return showMessage(this, box == Box::Stop ? cutToFit(text) : text, box) == QMessageBox::Yes;
}

std::optional<Settings> MainWindow::chooseSettings(const Settings &shown,
                                                   const QList<int> &morePorts)
{
    frmSettings dialog(shown, morePorts, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.settings();
}

void MainWindow::holdInput(bool held)
{
    held ? void(m_hold.emplace()) : m_hold.reset();
}

// --- activity log and progress ----------------------------------------------

QString MainWindow::beginLog(const QDateTime &began)
{
    Text1->clear();
    return m_supportLog.begin(began);
}

bool MainWindow::appendToLog(const QString &text)
{
    // The text box keeps a line break as one character; the log counts CR LF.
    const QTextDocument *log = Text1->document();
    if (log->characterCount() + log->blockCount() - 2 + text.size() > kLogCapacity)
        return false;
    Text1->moveCursor(QTextCursor::End);
    Text1->insertPlainText(text);
    // The newest line in view, however long the log has grown.
    Text1->ensureCursorVisible();
    return true;
}

void MainWindow::addText(const QString &whatText)
{
    m_supportLog.addLine(whatText);
    if (appendToLog(Text1->document()->isEmpty() ? whatText : kCrLf + whatText))
        return;
    Text1->clear();
    // Only a line longer than the whole log fails twice; it keeps its beginning.
    if (!appendToLog(whatText))
        appendToLog(whatText.left(kLogCapacity));
}

void MainWindow::setDotsEnabled(bool enabled)
{
    enabled ? progressDots->start() : progressDots->stop();
}

void MainWindow::setProgress(int value)
{
    ProgressBar->setValue(value);
}

// --- window events ----------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Line1->setGeometry(0, header->height(), header->width(), 1);
}

void MainWindow::comeForward()
{
    QWidget *shown = m_stillWriting ? m_stillWriting.get() : this;
    if (shown == this && isHidden())
        return;
    shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
    shown->raise();
    shown->activateWindow();
}

void MainWindow::run(UpdateSession::Outcome (UpdateSession::*command)())
{
    ++m_commands;
    const UpdateSession::Outcome outcome = (m_session->*command)();
    --m_commands;
    if (outcome == UpdateSession::Outcome::Ends && m_commands == 0)
        end();
}

void MainWindow::end()
{
    // The flash tool has ended by now: nothing more to keep the PC awake for.
    m_stillWritingHold.reset();
    emit ended();
}

// The window itself never closes: when the session may end, the window goes
// at once, and the program ends as soon as no command of the session is
// under way (a web request or a port search stops at once). A run of the
// flash tool is waited for, the PC kept awake meanwhile, with a notice not
// to unplug the device.
void MainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (!m_session->mayClose())
        return;
    hide();
    if (m_hold) {
        m_stillWriting = std::make_unique<StillWritingNotice>();
        m_stillWriting->show();
        m_stillWritingHold.emplace(KeepAwake::Shutdown::Blocked, m_stillWriting->winId());
    }
    if (m_commands == 0)
        end();
}

} // namespace brimo
