#include "session/updatesession.h"

#include "device/devicefacts.h"
#include "device/identityrecord.h"
#include "session/localetext.h"

#include "brimoversion.h"

#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSysInfo>

#include <chrono>
#include <iterator>
#include <limits>
#include <stdexcept>

namespace brimo {

namespace {

using Step = SessionWindow::Step;
using Box = SessionWindow::Box;
using namespace std::chrono_literals;

constexpr qint16 kScanSeconds = 3;
constexpr qint16 kDetectSecondsPerPort = 1;
constexpr qint16 kLastDetectedPort = 16;
constexpr qint16 kReadAttemptLimit = 5;
constexpr qint16 kFlashAttemptLimit = 3;
constexpr std::chrono::milliseconds kPause = 1000ms;
constexpr std::chrono::milliseconds kStatePause = 200ms;

// The progress bar at each state of a web request (see InetControl); any
// other state, 11 the error among them, puts it back to 0.
constexpr int kStateProgress[] = {0, 10, 20, 30, 40, 50, 60, 80, 80, 90, 100, 0, 100};

Stage step(Stage whatStage, qint16 by)
{
    qint16 next = 0;
    if (qAddOverflow(static_cast<qint16>(whatStage), by, &next))
        throw std::overflow_error("stage counter overflow");
    return static_cast<Stage>(next);
}

} // namespace

UpdateSession::UpdateSession(SessionWindow &window, const SessionLinks &links)
    : m_window(window), m_links(links)
{}

// --- the stage sequence -----------------------------------------------------

Stage UpdateSession::incrementStage(Stage whatStage)
{
    return step(whatStage, 1);
}

Stage UpdateSession::decrementStage(Stage whatStage)
{
    return step(whatStage, -1);
}

Stage UpdateSession::advance()
{
    currentStage = incrementStage(currentStage);
    return currentStage;
}

UpdateSession::Outcome UpdateSession::checkStage(Stage whatStage)
{
    const QScopedValueRollback busy(updateInProgress, true);
    bool downloaded = false;
    for (Next next = whatStage; next && !m_ended; next = runStage(*next))
        downloaded = downloaded || *next == Stage::Download;
    // The download's last steps, after the flash it led to.
    if (downloaded && !m_ended) {
        m_window.setDotsEnabled(false);
        attemptCount = 0;
    }
    return outcome();
}

UpdateSession::Next UpdateSession::runStage(Stage whatStage)
{
    m_window.setProgress(0);
    m_window.showStage(whatStage);
    switch (whatStage) {
    case Stage::Port:
        return runPortStage();
    case Stage::DownloadMode:
        m_window.showStep(Step::DownloadMode);
        return std::nullopt;
    case Stage::Internet:
        return runInternetStage();
    case Stage::Download:
        return runDownloadStage();
    case Stage::Flash:
        return runFlashStage();
    case Stage::Welcome:
        break;
    }
    m_window.showStep(Step::Welcome);
    return std::nullopt;
}

UpdateSession::Next UpdateSession::runPortStage()
{
    // Each update started has a log file of its own.
    const QDateTime began = QDateTime::currentDateTime();
    const QString unkept = m_window.beginLog(began);
    noteWhereItRuns();
    m_window.showStep(Step::PortStage);
    addText(QStringLiteral("Update process began ") + generalDateText(began));
    if (!unkept.isEmpty())
        addText(unkept);
    addText(QStringLiteral("Retrieving existing registry value"));
    // Read now, not at start-up: another program may have stored a port since.
    const QString stored = m_links.store.value(kComPortValue);
    if (stored.isEmpty()) {
        m_window.showStep(Step::PortUnknown);
        addText(QStringLiteral("Blank registry value returned"));
        return std::nullopt;
    }

    m_window.showStep(Step::PortStored);
    addText(QStringLiteral("Registry value returned: COM ") + stored);
    const std::optional<qint16> port = portNumberFromText(stored);
    if (!port) {
        // No blank before "is": "COM3is not a valid COM port number" is the
        // line users and their helpers know.
        addText(stored + QStringLiteral("is not a valid COM port number"));
        storePort(QString());
        return std::nullopt;
    }
    comPortNumber = *port;
    return advance();
}

UpdateSession::Next UpdateSession::runInternetStage()
{
    m_window.showStep(Step::Internet);
    m_window.setProgress(33);
    const response answer = m_links.service.ping(stateListener());
    noteAnswer(QStringLiteral("Ping"), answer);
    if (m_ended)
        return std::nullopt;
    if (!answer.problem.isEmpty())
        addText(answer.problem);
    if (answer.iResponseCode == 200) {
        addText(QStringLiteral("Internet connection test successful"));
        // Two steps on purpose: the bar passes 66 on its way to 100.
        m_window.setProgress(66);
        m_window.setProgress(100);
        return advance();
    }

    addText(QStringLiteral("Internet connection test failed"));
    m_window.showBox(QStringLiteral("The Brimo update utility could not connect to the Internet to "
                                    "retrieve updates for your device.\r\n\r\nEnsure that you "
                                    "have connected to the internet and press the 'Update "
                                    "device' button to try again."),
                     Box::Stop);
    // Back to the device read: the user starts the chain again from there.
    currentStage = Stage::DownloadMode;
    return currentStage;
}

UpdateSession::Next UpdateSession::runDownloadStage()
{
    m_window.showStep(Step::Download);
    addText(QStringLiteral("Downloading updates"));
    m_window.setDotsEnabled(true);
    response answer = m_links.service.UpdateDevice(m_systemNumber, stateListener());
    noteAnswer(QStringLiteral("Download for ") + m_systemNumber, answer);
    if (m_ended)
        return std::nullopt;
    if (!answer.problem.isEmpty())
        addText(answer.problem);
    m_image = std::move(answer.objDF);
    if (m_image) {
        addText(QStringLiteral("Downloaded %1 bytes").arg(m_image->size()));
        m_window.setProgress(100);
        return advance();
    }
    // The service refused the device: what it says, then the end.
    if (answer.iResponseCode == 500) {
        m_window.showBox(answer.strContent, Box::Stop);
        return endAfterPause();
    }

    m_window.setProgress(100);
    addText(QStringLiteral("Downloaded 0 bytes"));
    addText(QStringLiteral("Aborting update"));
    if (!m_window.showBox(QStringLiteral("Unable to collect database file, please ensure any "
                                         "firewall applications are configured to allow the Brimo "
                                         "update utility full internet access.\r\n\r\nWould "
                                         "you like to retry?"),
                          Box::YesNo))
        return endAfterPause();
    addText(QStringLiteral("Attempting retry"));
    // From the opening again: header, progress at 0, a new request.
    return currentStage;
}

UpdateSession::Next UpdateSession::endAfterPause()
{
    addText(QStringLiteral("Closing update utility."));
    m_links.pauses.pause(kPause);
    m_ended = true;
    return std::nullopt;
}

UpdateSession::Next UpdateSession::runFlashStage()
{
    m_window.showStep(Step::Flash);
    addText(QStringLiteral("Updating device with the latest update"));
    if (uploadData()) {
        showCompletion();
        return std::nullopt;
    }
    if (m_ended)
        return std::nullopt;

    ++attemptCount;
    addText(QStringLiteral("Unable to update Brimo device"));
    m_window.setProgress(0);
    if (attemptCount < kFlashAttemptLimit) {
        m_window.showBox(QStringLiteral("Ready to update the Brimo with the latest updates.\r\n"
                                        "\r\nPlease remove power, wait 10 seconds, ensure the "
                                        "'D/L' mode is selected and reapply power."),
                         Box::Ok);
        return currentStage;
    }

    // Two blanks after "down." as the utility has always written it.
    m_window.showBox(QStringLiteral("Communication error. The utility will now shut down.  Please "
                                    "run this update utility again to perform the update."),
                     Box::Ok);
    attemptCount = 0;
    m_window.showStep(Step::FlashGivenUp);
    // Still busy, so the window asks before it goes; after a No the user can
    // try again with the stage's button.
    m_window.askToClose();
    return std::nullopt;
}

// The image checked, the device's identity put into it, and written.
bool UpdateSession::uploadData()
{
    addText(QStringLiteral("Checking update integrity"));
    m_window.setProgress(20);
    if (!m_image || m_image->size() < kMinimumImageSize) {
        addText(QStringLiteral("Update size is incorrect"));
        return false;
    }
    addText(QStringLiteral("Checking system number"));
    m_window.setProgress(40);
    const QByteArray number = m_systemNumber.toLatin1();
    QString problem = identityProblem(number, m_image->strRegEnd);
    if (!m_image->hasIdentity())
        problem = QStringLiteral("The update holds no identity record");
    if (!problem.isEmpty()) {
        addText(problem);
        return false;
    }
    addText(QStringLiteral("Updating device."));
    m_window.setProgress(60);
    if (!writeImage(identityRecord(number, m_image->strRegEnd)))
        return false;
    addText(QStringLiteral("Cleaning up"));
    m_window.setProgress(80);
    return true;
}

bool UpdateSession::writeImage(const QByteArray &record)
{
    m_window.setDotsEnabled(true);
    // The flash tool runs: input waits until it has ended.
    m_window.holdInput(true);
    // The port the device was read on this run: one stored earlier may be
    // stale, the device moved to another socket and found again.
    const ImageWrite write =
        m_links.device.uploadData(*m_image, record, QString::number(m_readPort));
    m_window.holdInput(false);
    m_window.setDotsEnabled(false);
    noteToolRun(write.tool);
    if (!m_ended && !write.failure.isEmpty())
        addText(write.failure);
    return write.written && !m_ended;
}

void UpdateSession::showCompletion()
{
    m_links.pauses.pause(kPause);
    m_window.setProgress(100);
    addText(QStringLiteral("Update process completed ") +
            generalDateText(QDateTime::currentDateTime()));
    m_links.pauses.pause(kPause);
    attemptCount = 0;
    m_window.showStep(Step::Completed);
}

// --- finding the device -----------------------------------------------------

UpdateSession::Outcome UpdateSession::scan()
{
    m_window.showStep(Step::Searching);
    {
        const QScopedValueRollback busy(updateInProgress, true);
        if (comPortNumber < 1)
            showSettings();
        else
            scanStoredPort();
    }
    if (m_ended)
        return Outcome::Ends;
    m_window.showStep(Step::Searched);
    return Outcome::Waits;
}

bool UpdateSession::listenTo(qint16 port, qint16 seconds)
{
    addText(QStringLiteral("Scanning COM port ") + QString::number(port));
    return m_links.probe.probePort(port, seconds);
}

void UpdateSession::scanStoredPort()
{
    const QString port = QString::number(comPortNumber);
    const bool heard = listenTo(comPortNumber, kScanSeconds);
    if (m_ended)
        return;
    if (heard) {
        addText(QStringLiteral("Brimo device has been detected on COM ") + port);
        checkStage(advance());
        return;
    }
    addText(QStringLiteral("Unable to detect the Brimo device on COM ") + port +
            QStringLiteral(", press 'Auto detect' to search all ports"));
    sayWhyNotFound();
    m_window.showStep(Step::PortSilent);
}

UpdateSession::Outcome UpdateSession::autoDetect()
{
    comPortNumber = detect();
    if (comPortNumber > 0)
        return checkStage(advance());
    return outcome();
}

qint16 UpdateSession::detect()
{
    m_window.showStep(Step::Searching);
    const QScopedValueRollback busy(updateInProgress, true);
    addText(QStringLiteral("Attempting to auto detect the Brimo device"));
    qint16 found = -1;
    for (qint16 port = 1; port <= kLastDetectedPort && found < 0 && !m_ended; ++port) {
        m_window.setProgress(static_cast<int>(roundHalfEven(port * 100.0 / kLastDetectedPort)));
        if (listenTo(port, kDetectSecondsPerPort))
            found = port;
    }
    if (found < 0 && !m_ended)
        found = detectAbove16();
    if (m_ended)
        return -1;
    if (found < 0) {
        m_window.showStep(Step::NotFound);
        addText(QStringLiteral("Unable to auto detect the Brimo device"));
        sayWhyNotFound();
        return -1;
    }
    m_window.setProgress(100);
    addText(QStringLiteral("Brimo device has been detected on COM ") + QString::number(found));
    storePort(QString::number(found));
    comPortNumber = found;
    // The auto detection's button stays off: the device has been found.
    m_window.showStep(Step::Found);
    return found;
}

// COM1 to COM16 are where the device has always been looked for; a PC that
// has seen a few serial adapters gives a new one a higher number. Those are
// listened to the same way after the sixteen, the bar staying full.
qint16 UpdateSession::detectAbove16()
{
    for (const int port : portsAbove16()) {
        if (m_ended)
            break;
        if (listenTo(static_cast<qint16>(port), kDetectSecondsPerPort))
            return static_cast<qint16>(port);
    }
    return -1;
}

QList<int> UpdateSession::portsAbove16()
{
    QList<int> ports;
    for (const ComPortInfo &port : m_links.probe.ports()) {
        if (port.number > kLastDetectedPort && port.number <= std::numeric_limits<qint16>::max())
            ports << port.number;
    }
    return ports;
}

void UpdateSession::sayWhyNotFound()
{
    const QList<ComPortInfo> ports = m_links.probe.ports();
    if (ports.isEmpty())
        addText(QStringLiteral("This PC has no COM port: the Brimo device's USB driver may be "
                               "missing, or its cable unplugged"));
    for (const ComPortInfo &port : ports) {
        if (m_links.probe.state(port.number) == ComPortState::InUse)
            addText(QStringLiteral("COM %1 is in use by another program: close that program and "
                                   "try again")
                        .arg(port.number));
    }
}

// --- reading the device -----------------------------------------------------

UpdateSession::Outcome UpdateSession::readDevice()
{
    // Every attempt counts, also those that found no device; after a failed
    // read the device is looked for again, and read again at once.
    do {
        if (const std::optional<Outcome> done = readOnce())
            return *done;
    } while (attemptCount < kReadAttemptLimit);
    m_window.showStep(Step::ReadGivenUp);
    attemptCount = 0;
    return Outcome::Waits;
}

std::optional<UpdateSession::Outcome> UpdateSession::readOnce()
{
    ++attemptCount;
    m_window.showStep(Step::Reading);
    // The flash tool runs: input waits until it has ended.
    m_window.holdInput(true);
    const IdentityRead read = m_links.device.downloadData(comPortNumber);
    m_window.holdInput(false);
    noteToolRun(read.tool);
    if (m_ended)
        return Outcome::Ends;
    if (!read.failure.isEmpty())
        addText(read.failure);
    if (read.systemNumber) {
        m_readPort = comPortNumber;
        m_systemNumber = *read.systemNumber;
        m_window.supportNote(
            QStringLiteral("System number: %1 (%2)")
                .arg(m_systemNumber, QString::fromLatin1(m_systemNumber.toLatin1().toHex(' '))));
        addText(QStringLiteral("Connecting to the Internet"));
        return checkStage(advance());
    }
    addText(QStringLiteral("Unable to retrieve information from the Brimo device"));
    // "Com X" as it stands: the box has never named the port.
    m_window.showBox(
        QStringLiteral("Unable to detect the Brimo device on Com X, please remove the power, "
                       "wait 10 seconds, select NORMAL mode and reinsert the power."),
        Box::Ok);
    if (detect() > 0) {
        m_window.showBox(kDownloadModeRequest, Box::Ok);
        m_window.showStep(Step::ReadAgain);
    }
    if (m_ended)
        return Outcome::Ends;
    return std::nullopt;
}

void UpdateSession::noteToolRun(const std::optional<ToolReport> &tool)
{
    if (!tool)
        return;
    const CommandResult &run = tool->result;
    m_window.supportNote(
        QStringLiteral("Flash tool: %1 -> %2")
            .arg(tool->commandLine, run.started ? QStringLiteral("exit code %1").arg(run.exitCode)
                                                : QStringLiteral("not started: ") + run.errorText));
    // The user's session is ending: the tool has been waited for, and its
    // result stands for nothing.
    if (run.cutShort)
        m_ended = true;
}

void UpdateSession::noteAnswer(const QString &request, const response &answer)
{
    m_window.supportNote(
        request + QStringLiteral(": ") +
        (answer.statusLine.isEmpty() ? QStringLiteral("no answer") : answer.statusLine));
}

// What whoever helps the user asks first; a proxy as host and port alone,
// whatever else its setting holds.
void UpdateSession::noteWhereItRuns()
{
    m_window.supportNote(QStringLiteral("Brimo update utility %1 on %2, %3 %4")
                             .arg(QLatin1String(BRIMO_VERSION_TEXT), QSysInfo::prettyProductName(),
                                  QSysInfo::kernelType(), QSysInfo::kernelVersion()));
    const QList<ComPortInfo> ports = m_links.probe.ports();
    m_window.supportNote(ports.isEmpty() ? QStringLiteral("COM ports: none")
                                         : QStringLiteral("COM ports:"));
    for (const ComPortInfo &port : ports)
        m_window.supportNote(QStringLiteral("  ") + comPortSummary(port));
    const std::optional<NamedProxy> proxy = namedProxy(m_links.store);
    m_window.supportNote(QStringLiteral("Proxy: ") +
                         (proxy ? QStringLiteral("%1:%2").arg(proxy->host).arg(proxy->port)
                                : QStringLiteral("the system's settings")));
}

// --- the web requests' states -----------------------------------------------

UpdateService::StateListener UpdateSession::stateListener()
{
    return [this](qint16 state) { transferState(state); };
}

void UpdateSession::transferState(qint16 state)
{
    if (state == 4)
        addText(QStringLiteral("Connected"));
    const bool known = state >= 0 && state < static_cast<qint16>(std::size(kStateProgress));
    m_window.setProgress(known ? kStateProgress[state] : 0);
    // Each early state holds the window a moment, events and all.
    if (state >= 1 && state <= 6)
        m_links.pauses.pause(kStatePause);
}

// --- settings and closing ---------------------------------------------------

void UpdateSession::storePort(const QString &port)
{
    m_links.store.setValue(kComPortValue, port);
}

void UpdateSession::showSettings()
{
    // Read as the dialog opens: the store keeps no copy here.
    Settings shown = m_links.store.settings();
    if (comPortNumber > 0)
        shown.comPort = QString::number(comPortNumber);
    const std::optional<Settings> chosen = m_window.chooseSettings(shown, portsAbove16());
    if (!chosen)
        return;
    if (!chosen->comPort.isEmpty()) {
        comPortNumber = static_cast<qint16>(chosen->comPort.toInt());
        storePort(QString::number(comPortNumber));
        m_window.showStep(Step::PortChosen);
    }
    m_links.store.setValue(kProxyServerValue, chosen->proxyServer);
    m_links.store.setValue(kProxyPortValue, chosen->proxyPort);
}

bool UpdateSession::mayClose()
{
    if (!m_ended && updateInProgress &&
        !m_window.showBox(QStringLiteral("The Brimo update utility is in the process of "
                                         "updating your device\r\n\r\nTerminate update "
                                         "process?"),
                          Box::YesNo))
        return false;
    m_ended = true;
    m_links.service.cancel();
    m_links.probe.cancel();
    return true;
}

std::optional<qint16> portNumberFromText(const QString &text, const QLocale &locale)
{
    const QString separator = QRegularExpression::escape(locale.decimalPoint());
    const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?)([0-9]*)(?:%1([0-9]*))?\\s*$").arg(separator));
    const QRegularExpressionMatch match = number.match(text);
    const QString whole = match.captured(2);
    const QString fraction = match.captured(3);
    if (!match.hasMatch() || (whole.isEmpty() && fraction.isEmpty()))
        return std::nullopt;
    // Converted in the C locale so that digit grouping of the system locale
    // can never turn "2.5" into 25.
    bool ok = false;
    const double value = QStringLiteral("%1%2.%3")
                             .arg(match.captured(1), whole.isEmpty() ? QStringLiteral("0") : whole,
                                  fraction.isEmpty() ? QStringLiteral("0") : fraction)
                             .toDouble(&ok);
    const double rounded = roundHalfEven(value);
    if (!ok || rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace brimo
