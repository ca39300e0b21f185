// Stages 3 to 5: the Internet test, the download of the update image and the
// flash, ending on the completion page.
#include "wizard/inputhold.h"
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"
#include "wizard/messagebox.h"

#include "device/device.h"
#include "webservice/webservice.h"

#include <QLabel>
#include <QPushButton>
#include <QThread>

namespace brimo {

namespace {

constexpr unsigned long kPauseMs = 1000;
constexpr qint16 kFlashAttemptLimit = 3;

} // namespace

void MainWindow::runInternetStage()
{
    stage2Btn->hide();
    info->setText(
        QStringLiteral("Retrieving remote information from Brimo to be uploaded to your device."));
    m_state.updateInProgress = true;
    setProgress(33);

    const bool connected =
        m_webservice->ping().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
    if (connected) {
        addText(QStringLiteral("Internet connection test successful"));
        setProgress(66);
        setProgress(100);
        advance();
        return;
    }

    addText(QStringLiteral("Internet connection test failed"));
    showMessage(this,
                QStringLiteral("The Brimo update utility could not connect to the Internet to "
                               "retrieve updates for your device.") +
                    kCrLf + kCrLf +
                    QStringLiteral("Ensure that you have connected to the internet and press the "
                                   "'Update device' button to try again."),
                MessageStyle::CriticalOk);
    // Back to the device read: the user starts the chain again from there.
    m_state.currentStage = 2;
    checkStage(m_state.currentStage);
}

void MainWindow::runDownloadStage()
{
    m_state.updateInProgress = true;
    info->setText(
        QStringLiteral("We are now about to download the latest database for your Brimo unit.") +
        kCrLf + kCrLf +
        QStringLiteral(
            "This process can take up to 5 minutes depending on your connection speed."));
    addText(QStringLiteral("Downloading updates"));
    setDotsEnabled(true);

    response answer = m_webservice->UpdateDevice(m_systemNumber);
    m_image = std::move(answer.objDF);

    if (m_image) {
        addText(QStringLiteral("Downloaded %1 bytes").arg(m_image->size()));
        setProgress(100);
        advance();
    } else if (answer.iResponseCode != 500) {
        setProgress(100);
        addText(QStringLiteral("Downloaded 0 bytes"));
        addText(QStringLiteral("Aborting update"));
        if (!askDownloadRetry()) {
            endAfterPause();
        }
        addText(QStringLiteral("Attempting retry"));
        // From the opening again: header, progress at 0, a new request.
        checkStage(m_state.currentStage);
    } else {
        showServiceMessage(answer.strContent);
        endAfterPause();
    }

    setDotsEnabled(false);
    attemptCount = 0;
    m_state.updateInProgress = false;
}

bool MainWindow::askDownloadRetry()
{
    const QString question =
        QStringLiteral("Unable to collect database file, please ensure any firewall applications "
                       "are configured to allow the Brimo update utility full internet access.") +
        kCrLf + kCrLf + QStringLiteral("Would you like to retry?");
    return showMessage(this, question, MessageStyle::YesNo) == QMessageBox::Yes;
}

void MainWindow::endAfterPause()
{
    addText(QStringLiteral("Closing update utility."));
    m_image.reset();
    QThread::msleep(kPauseMs);
    endProgramNow();
}

void MainWindow::runFlashStage()
{
    m_state.updateInProgress = true;
    info->setText(QStringLiteral("The database has now been collected and the Brimo unit will now "
                                 "be updated.") +
                  kCrLf + kCrLf + QStringLiteral("This process may take up to 5 minutes."));
    addText(QStringLiteral("Updating device with the latest update"));
    stage5Btn->hide();

    if (flashDevice()) {
        showCompletion();
        return;
    }

    ++attemptCount;
    addText(QStringLiteral("Unable to update Brimo device"));
    setProgress(0);
    if (attemptCount < kFlashAttemptLimit) {
        showMessage(this,
                    QStringLiteral("Ready to update the Brimo with the latest updates.") + kCrLf +
                        kCrLf +
                        QStringLiteral("Please remove power, wait 10 seconds, ensure the 'D/L' "
                                       "mode is selected and reapply power."),
                    MessageStyle::Ok);
        checkStage(m_state.currentStage);
        return;
    }

    showMessage(this,
                QStringLiteral("Communication error. The utility will now shut down.  Please run "
                               "this update utility again to perform the update."),
                MessageStyle::Ok);
    attemptCount = 0;
    stage5Btn->show();
    // Still busy, so the window asks before it goes; after a No the user
    // can try again with stage5Btn.
    close();
}

bool MainWindow::flashDevice()
{
    // The flash tool runs: input waits until it has ended.
    const InputHold hold;
    const QString port =
        m_flashPort.isEmpty() ? QString::number(m_state.comPortNumber) : m_flashPort;
    return m_image && m_device->uploadData(*m_image, m_systemNumber, port);
}

void MainWindow::showCompletion()
{
    QThread::msleep(kPauseMs);
    setProgress(100);
    addText(QStringLiteral("Update process completed ") +
            generalDateText(QDateTime::currentDateTime()));
    QThread::msleep(kPauseMs);
    attemptCount = 0;
    completedText->setText(
        QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                       "information.") +
        kCrLf + kCrLf +
        QStringLiteral("Please remove the power from the Brimo unit, wait 10 seconds and change "
                       "the mode selection switch to either 'normal' or 'camera'."));
    completedWindow->show();
    completedWindow->raise();
}

} // namespace brimo
