// Finding the device in stage 1: the single-port scan and the auto detection
// over COM1 to COM16.
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"

#include "device/detect.h"
#include "settings/registry.h"

#include <QProgressBar>
#include <QPushButton>

namespace brimo {

namespace {

constexpr qint16 kScanSeconds = 3;
constexpr qint16 kDetectSecondsPerPort = 1;
constexpr qint16 kLastDetectedPort = 16;

} // namespace

void MainWindow::stage1BtnClick()
{
    detectBtn->setEnabled(false);
    stage1Btn->setEnabled(false);
    m_state.updateInProgress = true;

    if (m_state.comPortNumber < 1) {
        showSettings();
    } else {
        const QString port = QString::number(m_state.comPortNumber);
        addText(QStringLiteral("Scanning COM port ") + port);
        if (probePort(MSComm1, m_state.comPortNumber, kScanSeconds)) {
            addText(QStringLiteral("Brimo device has been detected on COM ") + port);
            setSettingsPort(m_state.comPortNumber);
            advance();
        } else {
            addText(QStringLiteral("Unable to detect the Brimo device on COM ") + port +
                    QStringLiteral(", press 'Auto detect' to search all ports"));
            detectBtn->show();
        }
    }

    m_state.updateInProgress = false;
    stage1Btn->setEnabled(true);
    detectBtn->setEnabled(true);
}

void MainWindow::detectBtnClick()
{
    m_state.comPortNumber = detect();
    if (m_state.comPortNumber > 0) {
        setSettingsPort(m_state.comPortNumber);
        advance();
    }
}

qint16 MainWindow::detect()
{
    detectBtn->setEnabled(false);
    stage1Btn->setEnabled(false);
    m_state.updateInProgress = true;
    addText(QStringLiteral("Attempting to auto detect the Brimo device"));

    for (qint16 port = 1; port <= kLastDetectedPort; ++port) {
        setProgress(static_cast<int>(roundHalfEven(port * 100.0 / kLastDetectedPort)));
        addText(QStringLiteral("Scanning COM port ") + QString::number(port));
        if (probePort(MSComm1, port, kDetectSecondsPerPort)) {
            return deviceFoundOn(port);
        }
    }

    stage1Btn->setText(QStringLiteral("&Settings"));
    addText(QStringLiteral("Unable to auto detect the Brimo device"));
    m_state.updateInProgress = false;
    detectBtn->setEnabled(true);
    stage1Btn->setEnabled(true);
    return -1;
}

qint16 MainWindow::deviceFoundOn(qint16 port)
{
    const QString number = QString::number(port);
    setProgress(100);
    addText(QStringLiteral("Brimo device has been detected on COM ") + number);
    storeSetting(kComPortValue, number);
    m_state.comPortNumber = port;
    setSettingsPort(port);
    // The auto detection button stays disabled: the device has been found.
    stage1Btn->setEnabled(true);
    m_state.updateInProgress = false;
    return port;
}

} // namespace brimo
