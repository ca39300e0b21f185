// The stage sequence: the counter, the common opening and closing of every
// stage run, stages 1 and 2, the welcome page and the buttons that move the
// wizard on.
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"

#include "settings/registry.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <stdexcept>

namespace brimo {

qint16 MainWindow::incrementStage(qint16 whatStage)
{
    qint16 next = 0;
    if (qAddOverflow(whatStage, qint16{1}, &next)) {
        throw std::overflow_error("stage counter overflow");
    }
    return next;
}

qint16 MainWindow::decrementStage(qint16 whatStage)
{
    qint16 previous = 0;
    if (qSubOverflow(whatStage, qint16{1}, &previous)) {
        throw std::overflow_error("stage counter overflow");
    }
    return previous;
}

void MainWindow::advance()
{
    m_state.currentStage = incrementStage(m_state.currentStage);
    checkStage(m_state.currentStage);
}

void MainWindow::updateBtnClick()
{
    advance();
}

void MainWindow::stage5BtnClick()
{
    checkStage(m_state.currentStage);
}

void MainWindow::checkStage(qint16 &whatStage)
{
    m_state.updateInProgress = true;
    setProgress(0);
    stageHeader->setText(QStringLiteral("Stage %1 of 5:").arg(whatStage));

    switch (whatStage) {
    case 1:
        runPortStage();
        break;
    case 2:
        showDownloadModePage();
        break;
    case 3:
        runInternetStage();
        break;
    case 4:
        runDownloadStage();
        break;
    case 5:
        runFlashStage();
        break;
    default:
        showWelcomePage();
        break;
    }
    m_state.updateInProgress = false;
}

void MainWindow::runPortStage()
{
    clearLog();
    welcomeWindow->hide();
    stageWindow->show();
    updateBtn->hide();
    stage1Btn->show();
    stage2Btn->hide();
    // Each update started has a log file of its own.
    const QDateTime began = QDateTime::currentDateTime();
    const QString unkept = m_supportLog.begin(began);
    addText(QStringLiteral("Update process began ") + generalDateText(began));
    if (!unkept.isEmpty())
        addText(unkept);
    addText(QStringLiteral("Retrieving existing registry value"));

    const QString stored = storedSetting(kComPortValue);
    if (stored.isEmpty()) {
        stage1Btn->setText(QStringLiteral("&Settings"));
        info->setText(QStringLiteral("The Brimo update utility has no COM port set, please ensure "
                                     "your Brimo device is plugged into a COM port and is switched "
                                     "to 'NORMAL' mode. ") +
                      kCrLf + kCrLf + QStringLiteral("Press the '") + detectBtn->text() +
                      QStringLiteral("' button to begin device detection."));
        detectBtn->show();
        addText(QStringLiteral("Blank registry value returned"));
        return;
    }

    stage1Btn->setText(QStringLiteral("&Scan"));
    addText(QStringLiteral("Registry value returned: COM ") + stored);
    const std::optional<qint16> port = portNumberFromText(stored);
    if (!port) {
        addText(stored + QStringLiteral("is not a valid COM port number"));
        storeSetting(kComPortValue, QString());
        return;
    }
    m_state.comPortNumber = *port;
    setSettingsPort(m_state.comPortNumber);
    advance();
}

void MainWindow::showDownloadModePage()
{
    detectBtn->hide();
    stage1Btn->hide();
    stage2Btn->show();
    info->setText(downloadModeInstructions());
}

QString MainWindow::downloadModeInstructions() const
{
    return kDownloadModeRequest + kCrLf + kCrLf + QStringLiteral("Press the '") +
           stage2Btn->text() + QStringLiteral("' button to continue.");
}

void MainWindow::showWelcomePage()
{
    welcomeWindow->show();
    stageWindow->hide();
    completedWindow->hide();
    updateBtn->show();
    detectBtn->hide();
    stage1Btn->hide();
    stage2Btn->hide();
    stage5Btn->hide();
}

void MainWindow::setSettingsPort(qint16 port)
{
    settingsDialog().showPort(port);
}

} // namespace brimo
