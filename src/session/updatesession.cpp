#include "session/updatesession.h"

#include "device/detect.h"
#include "platform/keepawake.h"
#include "session/localetext.h"

#include <QRegularExpression>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace brimo {

namespace {

using Step = SessionWindow::Step;
using Box = SessionWindow::Box;

constexpr qint16 kScanSeconds = 3;
constexpr qint16 kDetectSecondsPerPort = 1;
constexpr qint16 kLastDetectedPort = 16;
constexpr qint16 kReadAttemptLimit = 5;
constexpr qint16 kFlashAttemptLimit = 3;
constexpr unsigned long kPauseMs = 1000;

} // namespace

UpdateSession::UpdateSession(SessionWindow &window, const Settings &stored,
                             const QString &appFolder)
    : m_window(window), m_stored(stored), m_flashPort(stored.comPort), m_device(window, appFolder),
      m_webservice(window, appFolder)
{
    m_webservice.setProxy({stored.proxyServer, stored.proxyPort});
    MSComm1.setSettings(QStringLiteral("9600,N,8,1"));
}

void UpdateSession::autoDetect()
{
    comPortNumber = detect();
    if (comPortNumber > 0)
        checkStage(advance());
}

// --- the stage sequence -----------------------------------------------------

qint16 UpdateSession::incrementStage(qint16 whatStage)
{
    qint16 next = 0;
    if (qAddOverflow(whatStage, qint16{1}, &next))
        throw std::overflow_error("stage counter overflow");
    return next;
}

qint16 UpdateSession::decrementStage(qint16 whatStage)
{
    qint16 previous = 0;
    if (qSubOverflow(whatStage, qint16{1}, &previous))
        throw std::overflow_error("stage counter overflow");
    return previous;
}

qint16 UpdateSession::advance()
{
    currentStage = incrementStage(currentStage);
    return currentStage;
}

void UpdateSession::whileBusy(const std::function<void()> &work)
{
    updateInProgress = true;
    work();
    updateInProgress = false;
}

void UpdateSession::checkStage(qint16 whatStage)
{
    whileBusy([this, whatStage] {
        bool downloaded = false;
        for (Next next = whatStage; next;) {
            downloaded = downloaded || *next == 4;
            next = runStage(*next);
        }
        // The download's last steps, after the flash it led to.
        if (downloaded) {
            m_window.setDotsEnabled(false);
            attemptCount = 0;
        }
    });
}

UpdateSession::Next UpdateSession::runStage(qint16 whatStage)
{
    m_window.setProgress(0);
    m_window.showStage(whatStage);
    switch (whatStage) {
    case 1:
        return runPortStage();
    case 2:
        m_window.showStep(Step::DownloadMode);
        return std::nullopt;
    case 3:
        return runInternetStage();
    case 4:
        return runDownloadStage();
    case 5:
        return runFlashStage();
    default:
        m_window.showStep(Step::Welcome);
        return std::nullopt;
    }
}

UpdateSession::Next UpdateSession::runPortStage()
{
    // Each update started has a log file of its own.
    const QDateTime began = QDateTime::currentDateTime();
    const QString unkept = m_window.beginLog(began);
    const QString stored = m_stored.comPort;
    m_window.showStep(stored.isEmpty() ? Step::PortUnknown : Step::PortStored);
    addText(QStringLiteral("Update process began ") + generalDateText(began));
    if (!unkept.isEmpty())
        addText(unkept);
    addText(QStringLiteral("Retrieving existing registry value"));
    if (stored.isEmpty()) {
        addText(QStringLiteral("Blank registry value returned"));
        return std::nullopt;
    }

    addText(QStringLiteral("Registry value returned: COM ") + stored);
    const std::optional<qint16> port = portNumberFromText(stored);
    if (!port) {
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
    if (m_webservice.ping().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        addText(QStringLiteral("Internet connection test successful"));
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
    currentStage = 2;
    return currentStage;
}

UpdateSession::Next UpdateSession::runDownloadStage()
{
    m_window.showStep(Step::Download);
    addText(QStringLiteral("Downloading updates"));
    m_window.setDotsEnabled(true);
    response answer = m_webservice.UpdateDevice(m_systemNumber);
    m_image = std::move(answer.objDF);
    if (m_image) {
        addText(QStringLiteral("Downloaded %1 bytes").arg(m_image->size()));
        m_window.setProgress(100);
        return advance();
    }
    // The service refused the device: what it says, then the end.
    if (answer.iResponseCode == 500) {
        m_window.showBox(answer.strContent, Box::Stop);
        endAfterPause();
    }

    m_window.setProgress(100);
    addText(QStringLiteral("Downloaded 0 bytes"));
    addText(QStringLiteral("Aborting update"));
    if (!m_window.showBox(QStringLiteral("Unable to collect database file, please ensure any "
                                         "firewall applications are configured to allow the Brimo "
                                         "update utility full internet access.\r\n\r\nWould "
                                         "you like to retry?"),
                          Box::YesNo))
        endAfterPause();
    addText(QStringLiteral("Attempting retry"));
    // From the opening again: header, progress at 0, a new request.
    return currentStage;
}

void UpdateSession::endAfterPause()
{
    addText(QStringLiteral("Closing update utility."));
    m_image.reset();
    QThread::msleep(kPauseMs);
    endProgramNow();
}

UpdateSession::Next UpdateSession::runFlashStage()
{
    m_window.showStep(Step::Flash);
    addText(QStringLiteral("Updating device with the latest update"));
    if (flash()) {
        showCompletion();
        return std::nullopt;
    }

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

bool UpdateSession::flash()
{
    // The flash tool runs: input waits until it has ended.
    m_window.holdInput(true);
    const QString port = m_flashPort.isEmpty() ? QString::number(comPortNumber) : m_flashPort;
    const bool flashed = m_image && m_device.uploadData(*m_image, m_systemNumber, port);
    m_window.holdInput(false);
    return flashed;
}

void UpdateSession::showCompletion()
{
    QThread::msleep(kPauseMs);
    m_window.setProgress(100);
    addText(QStringLiteral("Update process completed ") +
            generalDateText(QDateTime::currentDateTime()));
    QThread::msleep(kPauseMs);
    attemptCount = 0;
    m_window.showStep(Step::Completed);
}

// --- finding the device -----------------------------------------------------

void UpdateSession::scan()
{
    m_window.showStep(Step::Searching);
    whileBusy([this] {
        if (comPortNumber < 1) {
            showSettings();
            return;
        }
        const QString port = QString::number(comPortNumber);
        addText(QStringLiteral("Scanning COM port ") + port);
        if (probePort(MSComm1, comPortNumber, kScanSeconds)) {
            addText(QStringLiteral("Brimo device has been detected on COM ") + port);
            checkStage(advance());
            return;
        }
        addText(QStringLiteral("Unable to detect the Brimo device on COM ") + port +
                QStringLiteral(", press 'Auto detect' to search all ports"));
        m_window.showStep(Step::PortSilent);
    });
    m_window.showStep(Step::Searched);
}

qint16 UpdateSession::detect()
{
    m_window.showStep(Step::Searching);
    qint16 found = -1;
    whileBusy([this, &found] {
        addText(QStringLiteral("Attempting to auto detect the Brimo device"));
        for (qint16 port = 1; port <= kLastDetectedPort && found < 0; ++port) {
            m_window.setProgress(static_cast<int>(roundHalfEven(port * 100.0 / kLastDetectedPort)));
            addText(QStringLiteral("Scanning COM port ") + QString::number(port));
            if (probePort(MSComm1, port, kDetectSecondsPerPort))
                found = port;
        }
        if (found < 0) {
            m_window.showStep(Step::NotFound);
            addText(QStringLiteral("Unable to auto detect the Brimo device"));
            return;
        }
        m_window.setProgress(100);
        addText(QStringLiteral("Brimo device has been detected on COM ") + QString::number(found));
        storePort(QString::number(found));
        comPortNumber = found;
        // The auto detection's button stays off: the device has been found.
        m_window.showStep(Step::Found);
    });
    return found;
}

// --- reading the device -----------------------------------------------------

void UpdateSession::readDevice()
{
    // Every attempt counts, also those that found no device; after a failed
    // read the device is looked for again, and read again at once.
    do {
        ++attemptCount;
        m_window.showStep(Step::Reading);
        // The flash tool runs: input waits until it has ended.
        m_window.holdInput(true);
        const std::optional<QString> systemNumber = m_device.downloadData(comPortNumber);
        m_window.holdInput(false);
        if (systemNumber) {
            m_systemNumber = *systemNumber;
            addText(QStringLiteral("Connecting to the Internet"));
            checkStage(advance());
            return;
        }
        addText(QStringLiteral("Unable to retrieve information from the Brimo device"));
        m_window.showBox(
            QStringLiteral("Unable to detect the Brimo device on Com X, please remove the power, "
                           "wait 10 seconds, select NORMAL mode and reinsert the power."),
            Box::Ok);
        if (detect() > 0) {
            m_window.showBox(kDownloadModeRequest, Box::Ok);
            m_window.showStep(Step::Reading);
        }
    } while (attemptCount < kReadAttemptLimit);
    m_window.showStep(Step::ReadGivenUp);
    attemptCount = 0;
}

// --- settings and closing ---------------------------------------------------

void UpdateSession::storePort(const QString &port)
{
    m_stored.comPort = port;
    storeSetting(kComPortValue, port);
}

void UpdateSession::showSettings()
{
    Settings shown = m_stored;
    if (comPortNumber > 0)
        shown.comPort = QString::number(comPortNumber);
    const std::optional<Settings> chosen = m_window.chooseSettings(shown);
    if (!chosen)
        return;
    if (!chosen->comPort.isEmpty()) {
        comPortNumber = static_cast<qint16>(chosen->comPort.toInt());
        storePort(QString::number(comPortNumber));
        m_window.showStep(Step::PortChosen);
    }
    storeSetting(kProxyServerValue, m_stored.proxyServer = chosen->proxyServer);
    storeSetting(kProxyPortValue, m_stored.proxyPort = chosen->proxyPort);
    m_webservice.setProxy({chosen->proxyServer, chosen->proxyPort});
}

bool UpdateSession::mayClose()
{
    if (updateInProgress &&
        !m_window.showBox(QStringLiteral("The Brimo update utility is in the process of "
                                         "updating your device\r\n\r\nTerminate update "
                                         "process?"),
                          Box::YesNo))
        return false;
    // The program ends at once: the request under way goes with it, and a
    // downloaded image, which is never flashed now.
    m_webservice.cancel();
    m_webservice.dropDownload();
    m_image.reset();
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

void endProgramNow(int exitCode)
{
    KeepAwake::releaseBeforeExit();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitCode);
}

} // namespace brimo
