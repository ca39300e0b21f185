#include "autopilot.h"

#include "devicecheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>

#include <cstdio>

namespace brimo::sim {
namespace {

constexpr int kLookMs = 100;
// A user reads a box before answering it.
constexpr int kReadingMs = 700;
// Reads the device again when the window offers the button back, up to this.
constexpr int kMostReads = 3;
// A user asks for a download again a few times, not for ever.
constexpr int kMostDownloads = 3;

// Picture names in the order the pages come, so a folder listing reads as the run.
QString pictureName(const QString &page)
{
    static const QStringList order = {QStringLiteral("welcome"), QStringLiteral("stage1"),
                                      QStringLiteral("stage2"),  QStringLiteral("stage3"),
                                      QStringLiteral("stage4"),  QStringLiteral("stage5"),
                                      QStringLiteral("complete")};
    return QStringLiteral("%1-%2").arg(order.indexOf(page) + 1).arg(page);
}

} // namespace

void say(const QString &line)
{
    std::fprintf(stderr, "autopilot: %s\n", qPrintable(line));
    std::fflush(stderr);
}

Autopilot::Autopilot(QWidget &window, Options options, QObject *parent)
    : QObject(parent), m_window(window), m_driver(window), m_options(std::move(options))
{
    m_look.setInterval(kLookMs);
    connect(&m_look, &QTimer::timeout, this, &Autopilot::look);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no completed update after %1 s").arg(m_options.timeoutS));
    });
    connect(&m_driver, &WindowDriver::boxShown, this, &Autopilot::showBox);
    m_driver.setBoxHandler([this](QMessageBox &box) { return answer(box); });
}

void Autopilot::start()
{
    m_systemNumber = deviceStatus(m_options.device, QStringLiteral("system")).toLatin1();
    if (m_systemNumber.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            fail(
                QStringLiteral("the simulated device at %1 does not answer").arg(m_options.device));
        });
        return;
    }
    say(QStringLiteral("simulated device %1 (system number %2), vendor service %3")
            .arg(m_options.device, QString::fromLatin1(m_systemNumber), m_options.service));
    m_look.start();
    m_watchdog.start(m_options.timeoutS * 1000);
}

void Autopilot::look()
{
    printLog(false);
    if (QApplication::activeModalWidget())
        return; // the driver hands each box to answer()
    const QString view = page();
    if (view != m_page) {
        m_page = view;
        m_pageShown.start();
        if (!view.isEmpty() && view != u"complete")
            picture(pictureName(view), m_window);
    }
    // On a screen, each page stays long enough for a person to follow.
    if (m_pageShown.elapsed() >= m_options.paceMs && m_driver.isIdle())
        act(view);
}

void Autopilot::showBox(const WindowDriver::Box &box)
{
    m_boxShown.start();
    say(QStringLiteral("message box: ") + box.whole().simplified());
    if (!m_boxTexts.contains(box.text)) { // one picture of each text
        m_boxTexts << box.text;
        picture(QStringLiteral("message-%1").arg(m_boxTexts.size()),
                *QApplication::activeModalWidget());
    }
}

// As the box says: first the device, then the answer, after a user's reading
// time. A running update is never terminated; a failed download is retried
// a few times. NoButton leaves the box open for now.
QMessageBox::StandardButton Autopilot::answer(const QMessageBox &box)
{
    const QString text = box.text();
    if (m_done || m_boxShown.elapsed() < qMax(kReadingMs, m_options.paceMs))
        return QMessageBox::NoButton;
    if (text.contains(QLatin1String("NORMAL mode")) && !setDevice(QStringLiteral("normal")))
        return QMessageBox::NoButton;
    if (text.contains(QLatin1String("'D/L'")) && !setDevice(QStringLiteral("dl")))
        return QMessageBox::NoButton;
    QMessageBox::StandardButton choice = QMessageBox::Ok;
    if (text.contains(QLatin1String("Terminate update process?")))
        choice = QMessageBox::No;
    else if (text.contains(QLatin1String("Would you like to retry?")) &&
             ++m_downloads >= kMostDownloads)
        fail(QStringLiteral("no image after %1 downloads").arg(kMostDownloads));
    else if (text.contains(QLatin1String("Would you like to retry?")))
        choice = QMessageBox::Yes;
    else if (text.contains(QLatin1String("will now shut down")))
        fail(QStringLiteral("the utility gave up: ") + text);
    else if (page() == u"stage4") // the service's own message; the utility ends after it
        fail(QStringLiteral("the vendor service refused the download: ") + text);
    if (m_done || !box.button(choice))
        return QMessageBox::NoButton;
    say(QStringLiteral("answering '%1'").arg(box.button(choice)->text()));
    return choice;
}

void Autopilot::act(const QString &page)
{
    if (page == u"complete")
        finish();
    else if (usable(QStringLiteral("stage5Btn")))
        fail(QStringLiteral("the utility gave up the flash"));
    else if (page == u"welcome" && usable(QStringLiteral("updateBtn")))
        press(QStringLiteral("updateBtn"));
    else if (page == u"stage1" && usable(QStringLiteral("detectBtn")) && m_detections++ > 0)
        fail(QStringLiteral("the auto detection found no device"));
    else if (page == u"stage1" && usable(QStringLiteral("detectBtn")))
        press(QStringLiteral("detectBtn"));
    else if (page == u"stage2" && usable(QStringLiteral("stage2Btn")) && ++m_reads > kMostReads)
        fail(QStringLiteral("the device read failed %1 times").arg(kMostReads));
    else if (page == u"stage2" && usable(QStringLiteral("stage2Btn")) &&
             setDevice(QStringLiteral("dl")))
        press(QStringLiteral("stage2Btn"));
}

bool Autopilot::usable(const QString &button) const
{
    const auto *found = m_driver.control<QAbstractButton>(button);
    return found && found->isVisible() && found->isEnabled();
}

void Autopilot::press(const QString &button)
{
    say(QStringLiteral("clicking '%1'").arg(m_driver.control<QAbstractButton>(button)->text()));
    m_driver.press(button);
}

QString Autopilot::page() const
{
    if (m_driver.isShown(QStringLiteral("completedWindow")))
        return QStringLiteral("complete");
    if (m_driver.isShown(QStringLiteral("stageWindow"))) // its header: "Stage N of 5:"
        return QStringLiteral("stage") +
               m_driver.control<QLabel>(QStringLiteral("stageHeader"))->text().section(u' ', 1, 1);
    return m_driver.isShown(QStringLiteral("welcomeWindow")) ? QStringLiteral("welcome")
                                                             : QString();
}

void Autopilot::picture(const QString &name, QWidget &widget)
{
    if (m_pictures.contains(name))
        return;
    m_pictures.insert(name);
    QDir().mkpath(m_options.out);
    widget.grab().save(QDir(m_options.out).filePath(name + QStringLiteral(".png")));
}

// As the window asks: power off, set the switch, power on again.
bool Autopilot::setDevice(const QString &mode)
{
    for (const QString &command : {QStringLiteral("power off"), QStringLiteral("mode ") + mode,
                                   QStringLiteral("power on")}) {
        if (deviceCommand(m_options.device, command) != u"ok") {
            fail(QStringLiteral("the device does not take '%1'").arg(command));
            return false;
        }
    }
    say(QStringLiteral("device switched to %1").arg(mode == u"dl" ? "D/L" : "NORMAL"));
    return true;
}

// The activity log on stdout, line by line; its last line may still grow.
void Autopilot::printLog(bool all)
{
    const QString text = m_driver.logText();
    const QStringList lines = text.split(u'\n');
    if (lines.size() < m_linesPrinted) // the log was cleared
        m_linesPrinted = 0;
    for (; !text.isEmpty() && m_linesPrinted < lines.size() - (all ? 0 : 1); ++m_linesPrinted)
        std::printf("%s\n", qPrintable(lines[m_linesPrinted]));
    std::fflush(stdout);
}

void Autopilot::finish()
{
    m_done = true;
    m_look.stop();
    m_watchdog.stop();
    printLog(true);
    picture(pictureName(QStringLiteral("complete")), m_window);
    say(QStringLiteral("the completion page is shown; checking the device"));
    const QStringList problems =
        checkDevice(m_options.device, m_options.flash, m_options.service, m_systemNumber);
    for (const QString &problem : problems)
        say(problem);
    if (problems.isEmpty())
        say(QStringLiteral("the device holds the new image, with its own identity %1 put back, "
                           "after one flash write")
                .arg(QString::fromLatin1(m_systemNumber)));
    else
        say(QStringLiteral("FAILED: the device does not hold the new image"));
    emit finished(problems.isEmpty() ? 0 : 1);
}

void Autopilot::fail(const QString &why)
{
    if (m_done)
        return;
    m_done = true;
    m_look.stop();
    m_watchdog.stop();
    printLog(true);
    m_pictures.remove(QStringLiteral("failure"));
    picture(QStringLiteral("failure"), m_window);
    say(QStringLiteral("device status: ") +
        deviceCommand(m_options.device, QStringLiteral("status")));
    say(QStringLiteral("FAILED: ") + why);
    emit finished(1);
}

} // namespace brimo::sim
