#include "autopilot.h"

#include "boxanswer.h"
#include "console.h"
#include "devicecheck.h"
#include "wizard/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace brimo::sim {
namespace {

constexpr std::chrono::milliseconds kPollInterval{100};
// A user reads a box before answering it.
constexpr std::chrono::milliseconds kReadingTime{700};
// Reads the device again when the utility offers the button back, up to this.
constexpr int kMaxReadClicks = 3;

template <typename Control> Control *control(const QWidget &window, const char *name)
{
    return window.findChild<Control *>(QLatin1String(name));
}

bool isUsable(const QAbstractButton *button)
{
    return button->isVisible() && button->isEnabled();
}

// Picture names in the order the pages come, so a folder listing reads as the run.
QString pictureName(const QString &page)
{
    static const QStringList order = {QStringLiteral("welcome"), QStringLiteral("stage1"),
                                      QStringLiteral("stage2"),  QStringLiteral("stage3"),
                                      QStringLiteral("stage4"),  QStringLiteral("stage5"),
                                      QStringLiteral("complete")};
    const qsizetype index = order.indexOf(page);
    return index < 0 ? page : QStringLiteral("%1-%2").arg(index + 1).arg(page);
}

} // namespace

Autopilot::Autopilot(brimo::MainWindow &window, AutopilotOptions options, QObject *parent)
    : QObject(parent), m_window(window), m_options(std::move(options)),
      m_device(m_options.controlSocket), m_pages(m_options.pictureFolder)
{
    m_poll.setInterval(kPollInterval);
    connect(&m_poll, &QTimer::timeout, this, &Autopilot::tick);
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(m_options.timeout);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no completed update after %1 s (page '%2')")
                 .arg(m_options.timeout.count())
                 .arg(pageName()));
    });
}

void Autopilot::start()
{
    QString error;
    m_systemNumber = m_device.status(&error).value(QStringLiteral("system")).toLatin1();
    if (m_systemNumber.isEmpty()) {
        QTimer::singleShot(0, this, [this, error] {
            fail(QStringLiteral("the simulated device does not answer: ") + error);
        });
        return;
    }
    say(QStringLiteral("simulated device %1 (system number %2), vendor service %3")
            .arg(m_options.controlSocket, QString::fromLatin1(m_systemNumber),
                 m_options.serviceHost));
    m_poll.start();
    m_watchdog.start();
}

void Autopilot::tick()
{
    if (m_step == Step::Done)
        return;
    printNewLog();
    if (handleModal())
        return;
    recordPage();
    const QString page = pageName();
    if (page != m_page) {
        m_page = page;
        m_pageShown.start();
    }
    // On a screen, each page stays long enough for a person to follow the run.
    if (std::chrono::milliseconds(m_pageShown.elapsed()) >= m_options.pace)
        takeStep();
}

void Autopilot::takeStep()
{
    switch (m_step) {
    case Step::Welcome:
        if (pageName() == QLatin1String("welcome") &&
            isUsable(control<QAbstractButton>(m_window, "updateBtn"))) {
            clickLater(control<QAbstractButton>(m_window, "updateBtn"));
            m_step = Step::Stage1;
        }
        break;
    case Step::Stage1:
        onStage1();
        break;
    case Step::Detecting:
        onDetecting();
        break;
    case Step::Stage2:
        onStage2();
        break;
    case Step::Updating:
        onUpdating();
        break;
    case Step::Finishing:
        if (!m_window.state().updateInProgress)
            finish();
        break;
    case Step::Done:
        break;
    }
}

void Autopilot::onStage1()
{
    const QString page = pageName();
    if (page == QLatin1String("stage2")) { // a port was stored: no detection needed
        m_step = Step::Stage2;
    } else if (page == QLatin1String("stage1") &&
               isUsable(control<QAbstractButton>(m_window, "detectBtn"))) {
        clickLater(control<QAbstractButton>(m_window, "detectBtn"));
        m_step = Step::Detecting;
    }
}

void Autopilot::onDetecting()
{
    const QString page = pageName();
    if (page == QLatin1String("stage2"))
        m_step = Step::Stage2;
    else if (page == QLatin1String("stage1") && m_window.state().comPortNumber == -1 &&
             isUsable(control<QAbstractButton>(m_window, "detectBtn")))
        fail(QStringLiteral("the auto detection found no device"));
}

void Autopilot::onStage2()
{
    if (pageName() != QLatin1String("stage2") ||
        !isUsable(control<QAbstractButton>(m_window, "stage2Btn")))
        return;
    if (++m_readClicks > kMaxReadClicks) {
        fail(QStringLiteral("the device read failed %1 times").arg(kMaxReadClicks));
        return;
    }
    setDeviceMode(QStringLiteral("dl"));
    clickLater(control<QAbstractButton>(m_window, "stage2Btn"));
    m_step = Step::Updating;
}

void Autopilot::onUpdating()
{
    const QString page = pageName();
    if (page == QLatin1String("complete"))
        m_step = Step::Finishing;
    else if (page == QLatin1String("stage2") &&
             isUsable(control<QAbstractButton>(m_window, "stage2Btn")))
        m_step = Step::Stage2; // the read gave up or the Internet test failed: again
    else if (isUsable(control<QAbstractButton>(m_window, "stage5Btn")))
        fail(QStringLiteral("the flash gave up"));
}

// Message boxes run their own event loop inside a stage; this timer still
// fires there, and the box is answered after a user's reading time.
bool Autopilot::handleModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (!box) {
        say(QStringLiteral("closing an unexpected dialog '%1'").arg(modal->windowTitle()));
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        return true;
    }
    if (box != m_box) {
        m_box = box;
        m_boxShown.start();
        say(QStringLiteral("message box: ") + box->text().replace(QLatin1String("\r\n"), " "));
        if (!m_boxTexts.contains(box->text())) { // one picture of each text is enough
            m_boxTexts.insert(box->text());
            m_pages.save(QStringLiteral("message-%1").arg(m_boxTexts.size()), box);
        }
    } else if (std::chrono::milliseconds(m_boxShown.elapsed()) >=
               std::max(kReadingTime, m_options.pace)) {
        answer(box);
    }
    return true;
}

void Autopilot::answer(QMessageBox *box)
{
    const BoxAnswer reply = answerFor(box->text(), box->standardButtons());
    if (!reply.deviceMode.isEmpty())
        setDeviceMode(reply.deviceMode);
    if (m_step == Step::Done) // the device could not be switched
        return;
    QAbstractButton *button = box->button(reply.button);
    if (!button) {
        fail(QStringLiteral("a message box without a button to answer it"));
        return;
    }
    const QString text = box->text();
    // On the download stage a box other than the retry question carries the
    // service's refusal, after which the utility ends itself (exit code 0).
    if (m_window.state().currentStage == 4 && reply.button != QMessageBox::Yes) {
        fail(QStringLiteral("the vendor service refused the download: ") + text);
        return;
    }
    say(QStringLiteral("answering '%1'").arg(button->text()));
    m_box = nullptr;
    button->click();
    if (reply.givesUp)
        fail(QStringLiteral("the utility gave up: ") + text);
}

QString Autopilot::pageName() const
{
    if (control<QWidget>(m_window, "completedWindow")->isVisible())
        return QStringLiteral("complete");
    if (control<QWidget>(m_window, "stageWindow")->isVisible())
        return QStringLiteral("stage%1").arg(m_window.state().currentStage);
    if (control<QWidget>(m_window, "welcomeWindow")->isVisible())
        return QStringLiteral("welcome");
    return {};
}

void Autopilot::recordPage()
{
    const QString page = pageName();
    // The completion page is taken once the run is over, with its final progress.
    if (page.isEmpty() || (page == QLatin1String("complete") && m_step != Step::Done))
        return;
    m_pages.record(pictureName(page), &m_window);
}

void Autopilot::finish()
{
    m_step = Step::Done;
    m_poll.stop();
    m_watchdog.stop();
    printNewLog();
    m_pages.record(pictureName(QStringLiteral("complete")), &m_window);
    say(QStringLiteral("the completion page is shown; checking the device"));
    const DeviceVerdict verdict =
        checkDevice(m_device, m_options.flashFile, m_options.serviceHost, m_systemNumber);
    for (const QString &line : verdict.lines)
        say(line);
    say(QStringLiteral("pictures: ") + m_pages.files().join(QLatin1String(", ")));
    if (!verdict.ok) {
        printStatus();
        say(QStringLiteral("FAILED: the device does not hold the new image"));
    }
    emit finished(verdict.ok ? 0 : 1);
}

void Autopilot::fail(const QString &why)
{
    if (m_step == Step::Done)
        return;
    m_step = Step::Done;
    m_poll.stop();
    m_watchdog.stop();
    printNewLog();
    m_pages.save(QStringLiteral("failure"), &m_window);
    printStatus();
    say(QStringLiteral("FAILED: ") + why);
    emit finished(1);
}

void Autopilot::setDeviceMode(const QString &mode)
{
    // As the instructions say: power off, set the switch, power on again.
    QString error;
    const bool done = m_device.command(QStringLiteral("power off"), &error) &&
                      m_device.command(QStringLiteral("mode ") + mode, &error) &&
                      m_device.command(QStringLiteral("power on"), &error);
    if (done)
        say(QStringLiteral("device switched to %1")
                .arg(mode == QLatin1String("dl") ? "D/L" : mode.toUpper()));
    else
        fail(QStringLiteral("cannot switch the device to %1: %2").arg(mode, error));
}

// The click runs from the event loop, not inside this timer's slot: the stage
// it starts runs nested for minutes, and a timer does not fire again while its
// own slot is still running.
void Autopilot::clickLater(QAbstractButton *button)
{
    say(QStringLiteral("clicking '%1'").arg(button->text()));
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

void Autopilot::printNewLog()
{
    const QString log = m_window.logText();
    if (!log.startsWith(m_logShown)) { // the log was cleared
        m_logShown.clear();
        printLog(QStringLiteral("\n"));
    }
    QString fresh = log.mid(m_logShown.size());
    m_logShown = log;
    if (m_step == Step::Done)
        fresh += QLatin1Char('\n');
    printLog(fresh.replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void Autopilot::printStatus()
{
    QString error;
    const QString status = m_device.send(QStringLiteral("status"), &error);
    say(QStringLiteral("device status: ") + (status.isEmpty() ? error : status));
}

} // namespace brimo::sim
