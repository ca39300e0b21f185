// Stage 2's button: reads the device's identity block, and after a failure
// searches the ports again and retries by itself, up to five attempts.
#include "wizard/inputhold.h"
#include "wizard/mainwindow.h"
#include "wizard/messagebox.h"

#include "device/device.h"

#include <QLabel>
#include <QPushButton>

namespace brimo {

namespace {

constexpr qint16 kReadAttemptLimit = 5;

} // namespace

void MainWindow::stage2BtnClick()
{
    ++attemptCount;
    stage2Btn->hide();

    if (readIdentity()) {
        addText(QStringLiteral("Connecting to the Internet"));
        advance();
        return;
    }

    addText(QStringLiteral("Unable to retrieve information from the Brimo device"));
    showMessage(
        this,
        QStringLiteral("Unable to detect the Brimo device on Com X, please remove the "
                       "power, wait 10 seconds, select NORMAL mode and reinsert the power."),
        MessageStyle::Ok);
    if (detect() > 0) {
        showMessage(this, kDownloadModeRequest, MessageStyle::Ok);
        info->setText(downloadModeInstructions());
    }

    if (attemptCount >= kReadAttemptLimit) {
        stage2Btn->show();
        attemptCount = 0;
        return;
    }
    // The retry runs nested inside this attempt, which has nothing left to do
    // once it returns.
    stage2BtnClick();
}

bool MainWindow::readIdentity()
{
    // The flash tool runs: input waits until it has ended.
    const InputHold hold;
    const std::optional<QString> systemNumber = m_device->downloadData(m_state.comPortNumber);
    if (systemNumber)
        m_systemNumber = *systemNumber;
    return systemNumber.has_value();
}

} // namespace brimo
