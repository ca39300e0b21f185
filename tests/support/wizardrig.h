#pragma once

// The world around one test of the whole window: a settings file, a COM folder
// with simulated devices, an application folder with the stand-in flash tool
// and the stand-in vendor service, all named in the environment the way the
// utility looks for them; the real main window on top, a user who answers its
// message boxes, and the log lines and texts the tests expect.

#include "apptestfolder.h"
#include "devsimprocess.h"
#include "vendorsimprocess.h"

#include "settings/frmsettings.h"
#include "settings/registry.h"
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <map>
#include <memory>

inline const QString kSystemNumber = QStringLiteral("AB12CD34");
inline const QString kTail = QStringLiteral("0011223344556677");

// In an expected log, a line that ends in kNow stands for its text followed by
// the date and time in the system's general date format.
inline const QString kNow = QStringLiteral("<now>");
inline const QString kBegan = QStringLiteral("Update process began ") + kNow;
inline const QString kRetrieving = QStringLiteral("Retrieving existing registry value");
inline const QString kTerminateBox =
    QStringLiteral("The Brimo update utility is in the process of updating your device\r\n\r\n"
                   "Terminate update process?");
inline const QString kNoInternetBox =
    QStringLiteral("The Brimo update utility could not connect to the Internet to retrieve updates "
                   "for your device.\r\n\r\nEnsure that you have connected to the internet and "
                   "press the 'Update device' button to try again.");
inline const QString kDownloadModeBox =
    QStringLiteral("Please remove power to the Brimo device, wait 10 seconds, switch it to the "
                   "'D/L' position and re-apply power.");

// The log up to stage 2 with "COMPort" holding 3, and on to the download's answer.
inline const QStringList kUpToStage2{kBegan, kRetrieving, "Registry value returned: COM 3"};
inline const QStringList kToTheDownload =
    kUpToStage2 + QStringList{"Connecting to the Internet", "Connected",
                              "Internet connection test successful", "Downloading updates",
                              "Connected"};
inline const QStringList kFlashAttempt{"Updating device with the latest update",
                                       "Checking update integrity", "Checking system number",
                                       "Updating device."};

// The auto detection's lines when it scans COM1 to `lastPort`.
inline QStringList detectionLines(int lastPort, bool found)
{
    QStringList lines{QStringLiteral("Attempting to auto detect the Brimo device")};
    for (int port = 1; port <= lastPort; ++port)
        lines << QStringLiteral("Scanning COM port %1").arg(port);
    lines << (found ? QStringLiteral("Brimo device has been detected on COM %1").arg(lastPort)
                    : QStringLiteral("Unable to auto detect the Brimo device"));
    return lines;
}

class WizardRig {
public:
    // Named in the environment too, so that a child scenario of the same test
    // program finds it.
    static constexpr const char *kAppFolderVariable = "BRIMO_TEST_APP_FOLDER";

    WizardRig()
    {
        qputenv("BRIMO_COM_DIR", m_comDir.path().toUtf8());
        qputenv("BRIMO_REGISTRY_FILE", m_settingsDir.filePath(QStringLiteral("registry")).toUtf8());
        qputenv(kAppFolderVariable, m_app.path().toUtf8());
    }
    ~WizardRig()
    {
        qunsetenv("BRIMO_SERVICE_HOST");
        qunsetenv(kAppFolderVariable);
    }

    AppTestFolder &app() { return m_app; }
    VendorSimProcess &vendor() { return *m_vendor; }
    DevSimProcess &device(int port) { return *m_devices.at(port); }
    // The size of the image the service hands out for the device.
    qsizetype imageSize() const { return m_imageSize; }
    QStringList toolRuns() const
    {
        QStringList runs = m_app.logLines();
        for (QString &run : runs)
            run = run.section(QStringLiteral("] "), 1);
        return runs;
    }

    // The service, with an image for a system number (by default the device's).
    void startVendor(const QString &imageFor = kSystemNumber)
    {
        m_vendor = std::make_unique<VendorSimProcess>(
            QStringList{QStringLiteral("--image"), QStringLiteral("%1:0:%2").arg(imageFor, kTail)});
        qputenv("BRIMO_SERVICE_HOST", m_vendor->hostPort().toUtf8());
        m_imageSize = VendorSimProcess::bodyOf(m_vendor->get(imagePath())).size();
    }
    static QString imagePath()
    {
        return QStringLiteral("/ws/updatedevice.asp?SystemCodeString=") + kSystemNumber;
    }

    // A simulated device on COM `port` in mode "normal", "dl" or "camera".
    bool plugDevice(int port, const QString &mode = QStringLiteral("normal"))
    {
        m_devices[port] = std::make_unique<DevSimProcess>(
            port,
            QStringList{QStringLiteral("--system-number"), kSystemNumber, QStringLiteral("--tail"),
                        kTail, QStringLiteral("--mode"), mode},
            m_comDir.path());
        return m_devices[port]->isReady();
    }

    // Ports 1 to 16 without a device lead nowhere, so that no test ever opens
    // a serial port of the machine it runs on.
    void leaveOtherPortsEmpty()
    {
        for (int port = 1; port <= 16; ++port) {
            if (m_devices.count(port) == 0)
                QFile::link(m_comDir.filePath(QStringLiteral("absent%1").arg(port)),
                            m_comDir.filePath(QStringLiteral("com%1").arg(port)));
        }
    }

    // The usual start of an update: the service, the device in D/L mode on
    // COM3, alone, and "COMPort" holding 3.
    bool arrangeUpdate(const QString &imageFor = kSystemNumber)
    {
        startVendor(imageFor);
        const bool plugged = plugDevice(3, QStringLiteral("dl"));
        leaveOtherPortsEmpty();
        storeComPort(QStringLiteral("3"));
        return plugged && m_vendor->isListening();
    }

    static void storeComPort(const QString &text)
    {
        brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey,
                                QStringLiteral("COMPort"), text);
    }
    static QString storedComPort()
    {
        return brimo::getRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey,
                                       QStringLiteral("COMPort"));
    }

    // The window as the program opens it, wired to this folder's flash tool;
    // with `begin`, the welcome page's button pressed.
    static std::unique_ptr<brimo::MainWindow> openWindow(bool begin = true)
    {
        auto window = std::make_unique<brimo::MainWindow>();
        window->useApplicationFolder(qEnvironmentVariable(kAppFolderVariable));
        window->show();
        if (begin)
            QTest::mouseClick(window->updateBtn, Qt::LeftButton);
        return window;
    }

private:
    QTemporaryDir m_comDir;
    QTemporaryDir m_settingsDir;
    AppTestFolder m_app;
    std::unique_ptr<VendorSimProcess> m_vendor;
    qsizetype m_imageSize = 0;
    std::map<int, std::unique_ptr<DevSimProcess>> m_devices;
};

// Answers the wizard's message boxes as a user would. The boxes are shown from
// inside the stage that runs, so the answers are queued before the click that
// starts it; a timer watches for each modal box, records it and clicks the next
// queued button. A box with no answer queued is recorded and closed with its
// first button, so a test that did not expect it fails instead of hanging.
class BoxAnswerer : public QObject {
public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };

    BoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(20);
    }

    void queue(const QList<QMessageBox::StandardButton> &answers) { m_answers.append(answers); }
    // What the user does in the next modal dialog that is not a message box.
    void inNextDialog(std::function<void(QDialog *)> action) { m_dialogActions.enqueue(action); }
    // What the user does while each box is open, before the answer.
    void onEachBox(std::function<void(const Box &)> observer) { m_observer = std::move(observer); }

    int dialogsSeen() const { return m_dialogsSeen; }
    const QList<Box> &seen() const { return m_seen; }
    QStringList seenTexts() const
    {
        QStringList texts;
        for (const Box &box : m_seen)
            texts << box.text;
        return texts;
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_current.data() || !modal->isVisible())
            return;
        m_current = modal;
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return handleDialog(qobject_cast<QDialog *>(modal));
        m_seen << Box{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        if (m_observer)
            m_observer(m_seen.constLast());
        QAbstractButton *button = m_answers.isEmpty() ? nullptr : box->button(m_answers.dequeue());
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().constFirst();
        if (button)
            button->click();
    }

    void handleDialog(QDialog *dialog)
    {
        ++m_dialogsSeen;
        if (dialog && m_dialogActions.isEmpty())
            dialog->reject();
        else if (dialog)
            m_dialogActions.dequeue()(dialog);
    }

    QTimer m_timer;
    QQueue<QMessageBox::StandardButton> m_answers;
    QPointer<QWidget> m_current;
    QQueue<std::function<void(QDialog *)>> m_dialogActions;
    int m_dialogsSeen = 0;
    QList<Box> m_seen;
    std::function<void(const Box &)> m_observer;
};

// A log line without the dots the timer appends to the last line of the
// moment (how many there are depends on timing alone).
inline QString withoutDots(QString line)
{
    static const QRegularExpression dots(QStringLiteral("( \\. \\. \\.)+$"));
    return line.remove(dots);
}

inline QStringList logLines(const brimo::MainWindow &window)
{
    QStringList lines = window.logText().split(QStringLiteral("\r\n"));
    for (QString &line : lines)
        line = withoutDots(line);
    return lines;
}

// The lines with each date and time of now put back as kNow where `expected`
// has it, for a comparison of the whole.
inline QStringList withNow(QStringList actual, const QStringList &expected)
{
    const QLocale locale = QLocale::system();
    const QString format =
        locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + brimo::longTimeFormat();
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        const QString prefix = expected[i].chopped(kNow.size());
        if (!expected[i].endsWith(kNow) || !actual[i].startsWith(prefix))
            continue;
        const QDateTime when = locale.toDateTime(actual[i].mid(prefix.size()), format);
        if (when.isValid() && qAbs(when.secsTo(QDateTime::currentDateTime())) < 600)
            actual[i] = expected[i];
    }
    return actual;
}

#define COMPARE_LINES(actual, expected)                                                            \
    do {                                                                                           \
        const QStringList lines = withNow(actual, expected);                                       \
        QVERIFY2(lines.size() == QStringList(expected).size(), qPrintable(lines.join(u'\n')));     \
        QCOMPARE(lines, QStringList(expected));                                                    \
    } while (false)
#define COMPARE_LOG(window, expected) COMPARE_LINES(logLines(window), expected)

// Runs `action` once, `delayMs` after the log gains the line `line`: from the
// event loop of whatever the stage is waiting for at that moment. A negative
// delay runs it at once, before the stage takes its next step.
inline void whenLogShows(brimo::MainWindow &window, const QString &line, std::function<void()> action,
                         int delayMs = 300)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        QObject::connect(window.Text1, &QPlainTextEdit::textChanged, &window,
                         [&window, line, action, delayMs, connection] {
                             // Read from the text box itself: it changes first.
                             if (withoutDots(window.Text1->document()->lastBlock().text()) != line)
                                 return;
                             QObject::disconnect(*connection);
                             if (delayMs < 0)
                                 action();
                             else
                                 QTimer::singleShot(delayMs, &window, action);
                         });
}

// What the user does in the settings dialog: choose the port, press "&OK".
inline std::function<void(QDialog *)> choosePortInSettings(const QString &port)
{
    return [port](QDialog *dialog) {
        auto *settings = qobject_cast<brimo::frmSettings *>(dialog);
        QVERIFY(settings);
        settings->com->setCurrentIndex(settings->com->findText(port));
        QTest::mouseClick(settings->Command1, Qt::LeftButton);
    };
}

// The flash tool's runs as its log has them, less the work file's path.
inline QString readRun(int port, int exitCode = 0)
{
    return QStringLiteral("[-b] [57600] [-l] [%1] [-r] [-f] [0x080000] [-t] [0x080020] -> exit %2")
        .arg(port)
        .arg(exitCode);
}
inline QString writeRun(int port, int exitCode = 0)
{
    return QStringLiteral("[-b] [57600] [-l] [%1] [-o] [0] [-c] [0] -> exit %2")
        .arg(port)
        .arg(exitCode);
}
