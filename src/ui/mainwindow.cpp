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
#include <QThread>
#include <QTimer>

#include <iterator>

namespace brimo {

namespace {

constexpr int kClientWidth = 8310;
constexpr int kClientHeight = 4965;
constexpr int kDotsInterval = 2000;
constexpr unsigned long kStatePauseMs = 200;
// Characters the log holds at most, each line break counted as CR LF; a line
// that would pass it starts a fresh log.
constexpr qsizetype kLogCapacity = 65535;

// The footer's buttons in the order they are created (and tabbed through),
// with what their click asks of the session.
struct FooterButton {
    const char *name;
    int left;
    int width;
    const char *caption;
    void (UpdateSession::*command)();
};
const FooterButton kFooter[] = {
    {"stage5Btn", 6360, 1815, "&Update device", &UpdateSession::repeat},
    {"stage2Btn", 6360, 1815, "&Update device", &UpdateSession::readDevice},
    {"detectBtn", 4440, 1815, "Auto &detect", &UpdateSession::autoDetect},
    {"stage1Btn", 6360, 1815, "&Scan", &UpdateSession::scan},
    {"updateBtn", 5880, 2295, "&Update Brimo unit", &UpdateSession::start},
};
enum Footer { Stage5, Stage2, Detect, Scan, Update };
constexpr int bit(Footer button)
{
    return 1 << button;
}
constexpr int kKeep = -1;

// What each step of the session shows, in the order of SessionWindow::Step:
// the page, the footer's buttons shown, those of the port search that take a
// click, the first stage's caption and the page's text (none: as they are).
enum Page { Keep = -1, Welcome, Stage, Completed }; // the pages in their stack
struct StepView {
    SessionWindow::Step step;
    Page page;
    int shown;
    int enabled;
    const char *scanCaption;
    QString text;
};

const StepView &viewOf(SessionWindow::Step step)
{
    using S = SessionWindow::Step;
    static const QString downloadMode =
        kDownloadModeRequest +
        QStringLiteral("\r\n\r\nPress the '&Update device' button to continue.");
    static const StepView views[] = {
        {S::Welcome, Page::Welcome, bit(Update), kKeep, nullptr, {}},
        {S::PortUnknown, Page::Stage, bit(Scan) | bit(Detect), kKeep, "&Settings",
         QStringLiteral("The Brimo update utility has no COM port set, please ensure your Brimo "
                        "device is plugged into a COM port and is switched to 'NORMAL' mode. "
                        "\r\n\r\nPress the 'Auto &detect' button to begin device detection.")},
        {S::PortStored, Page::Stage, bit(Scan), kKeep, "&Scan", {}},
        {S::PortSilent, Page::Keep, bit(Scan) | bit(Detect), kKeep, nullptr, {}},
        {S::PortChosen, Page::Keep, kKeep, kKeep, "&Scan", {}},
        {S::Searching, Page::Keep, kKeep, 0, nullptr, {}},
        {S::Searched, Page::Keep, kKeep, bit(Scan) | bit(Detect), nullptr, {}},
        {S::NotFound, Page::Keep, kKeep, bit(Scan) | bit(Detect), "&Settings", {}},
        {S::Found, Page::Keep, kKeep, bit(Scan), nullptr, {}},
        {S::DownloadMode, Page::Keep, bit(Stage2), kKeep, nullptr, downloadMode},
        {S::Reading, Page::Keep, 0, kKeep, nullptr, downloadMode},
        {S::ReadGivenUp, Page::Keep, bit(Stage2), kKeep, nullptr, {}},
        {S::Internet, Page::Keep, 0, kKeep, nullptr,
         QStringLiteral("Retrieving remote information from Brimo to be uploaded to your device.")},
        {S::Download, Page::Keep, 0, kKeep, nullptr,
         QStringLiteral("We are now about to download the latest database for your Brimo unit."
                        "\r\n\r\nThis process can take up to 5 minutes depending on your "
                        "connection speed.")},
        {S::Flash, Page::Keep, 0, kKeep, nullptr,
         QStringLiteral("The database has now been collected and the Brimo unit will now be "
                        "updated.\r\n\r\nThis process may take up to 5 minutes.")},
        {S::Completed, Page::Completed, 0, kKeep, nullptr,
         QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                        "information.\r\n\r\nPlease remove the power from the Brimo unit, wait "
                        "10 seconds and change the mode selection switch to either 'normal' or "
                        "'camera'.")},
        {S::FlashGivenUp, Page::Keep, bit(Stage5), kKeep, nullptr, {}},
    };
    const StepView &view = views[static_cast<int>(step)];
    Q_ASSERT(view.step == step);
    return view;
}

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

    progressDots = new QTimer(this);
    progressDots->setObjectName(QStringLiteral("progressDots"));
    progressDots->setInterval(kDotsInterval);
    connect(progressDots, &QTimer::timeout, this, [this] {
        m_supportLog.append(QStringLiteral(" . . ."));
        appendToLog(QStringLiteral(" . . ."));
    });
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
    auto *frame = place(new QFrame(stageWindow), "Shape1", twips(0, 0, 2895, 3255));
    frame->setStyleSheet(QStringLiteral("QFrame { border: 1px solid rgb(255, 255, 0); }"));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    QLabel *progress = label(stageWindow, "progress", twips(3000, 3000, 1095, 255),
                             QStringLiteral("Progress:"), Qt::white);
    progress->setAutoFillBackground(true);
    setBackground(progress, greyLevel(144));
    return stageWindow;
}

void MainWindow::createFooter(QWidget *client)
{
    QWidget *footer = panel(client, "footer", twips(0, kClientHeight - 495, kClientWidth, 495),
                            greyLevel(64), QStringLiteral("Buttons"));
    footer->setFont(msSansSerifFont());
    for (int i = 0; i < int(std::size(kFooter)); ++i) {
        const FooterButton &row = kFooter[i];
        m_buttons[i] = place(new QPushButton(QLatin1String(row.caption), footer), row.name,
                             twips(row.left, 75, row.width, 375));
        connect(m_buttons[i], &QPushButton::clicked, this,
                [this, command = row.command] { (m_session->*command)(); });
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

void MainWindow::showStage(qint16 stage)
{
    stageHeader->setText(QStringLiteral("Stage %1 of 5:").arg(stage));
}

void MainWindow::showStep(Step step)
{
    const StepView &view = viewOf(step);
    if (view.page != Page::Keep)
        m_pages->setCurrentIndex(view.page);
    // Those hidden first, so that none is shown beside one on its way out.
    for (bool shown : {false, true}) {
        for (int i = 0; i < int(std::size(m_buttons)) && view.shown != kKeep; ++i) {
            if (bool(view.shown & bit(Footer(i))) == shown)
                m_buttons[i]->setVisible(shown);
        }
    }
    for (Footer button : {Detect, Scan}) {
        if (view.enabled != kKeep)
            m_buttons[button]->setEnabled(view.enabled & bit(button));
    }
    if (view.scanCaption)
        m_buttons[Scan]->setText(QLatin1String(view.scanCaption));
    if (!view.text.isEmpty())
        (view.page == Page::Completed ? completedText : info)->setText(view.text);
}

bool MainWindow::showBox(const QString &text, Box box)
{
    // A stop box may carry the service's own words.
    return showMessage(this, box == Box::Stop ? cutToFit(text) : text, box) == QMessageBox::Yes;
}

std::optional<Settings> MainWindow::chooseSettings(const Settings &shown)
{
    frmSettings dialog(shown, this);
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

// --- window events ----------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Line1->setGeometry(0, header->height(), header->width(), 1);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_session->mayClose())
        endProgramNow(0);
    event->ignore();
}

} // namespace brimo
