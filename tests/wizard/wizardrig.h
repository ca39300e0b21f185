#pragma once

// The world around one wizard test: a settings file, a COM folder with
// simulated devices, an application folder with the stand-in flash tool and
// the stand-in vendor service, all named in the environment the way the
// utility looks for them, and the real main window on top.

#include "apptestfolder.h"
#include "devsimprocess.h"
#include "vendorsimprocess.h"

#include "settings/frmsettings.h"
#include "settings/registry.h"
#include "wizard/mainwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

inline const QString kSystemNumber = QStringLiteral("AB12CD34");
inline const QString kTail = QStringLiteral("0011223344556677");

// In an expected log, a line that ends in kNow stands for its text followed by
// the date and time in the system's general date format.
inline const QString kNow = QStringLiteral("<now>");

class WizardRig {
public:
    // The application folder is named in the environment too, so that a child
    // scenario of the same test program finds it.
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
    QString comDir() const { return m_comDir.path(); }

    // Starts the vendor service with an image for a system number, by default
    // the device's.
    VendorSimProcess &startVendor(const QString &imageFor = kSystemNumber)
    {
        m_vendor = std::make_unique<VendorSimProcess>(
            QStringList{QStringLiteral("--image"), QStringLiteral("%1:0:%2").arg(imageFor, kTail)});
        qputenv("BRIMO_SERVICE_HOST", m_vendor->hostPort().toUtf8());
        m_imageSize = VendorSimProcess::bodyOf(
                          m_vendor->get(QStringLiteral("/ws/updatedevice.asp?SystemCodeString=") +
                                        kSystemNumber))
                          .size();
        return *m_vendor;
    }
    // The size of the image the service hands out for the device.
    qsizetype imageSize() const { return m_imageSize; }
    VendorSimProcess &vendor() { return *m_vendor; }

    // A simulated device on COM `port`, NORMAL or "dl" or "camera".
    DevSimProcess &plugDevice(int port, const QString &mode = QStringLiteral("normal"))
    {
        auto &slot = m_devices[port];
        slot = std::make_unique<DevSimProcess>(port,
                                               QStringList{QStringLiteral("--system-number"),
                                                           kSystemNumber, QStringLiteral("--tail"),
                                                           kTail, QStringLiteral("--mode"), mode},
                                               m_comDir.path());
        return *slot;
    }
    DevSimProcess &device(int port) { return *m_devices.at(port); }

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

    // The window as the program opens it, wired to this folder's flash tool.
    static std::unique_ptr<brimo::main> openWindow()
    {
        auto window = std::make_unique<brimo::main>();
        window->useApplicationFolder(qEnvironmentVariable(kAppFolderVariable));
        window->show();
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

// The log's lines, with the dots that the timer appends to the last line of
// the moment taken off (how many there are depends on timing alone).
inline QString withoutDots(QString line)
{
    static const QRegularExpression dots(QStringLiteral("( \\. \\. \\.)+$"));
    return line.remove(dots);
}

inline QStringList logLines(const brimo::main &window)
{
    QStringList lines = window.logText().split(QStringLiteral("\r\n"));
    for (QString &line : lines)
        line = withoutDots(line);
    return lines;
}

// Empty when the log's lines are the expected ones; else what differs first.
inline QString logMismatch(const QStringList &actual, const QStringList &expected)
{
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') +
                           locale.timeFormat(QLocale::LongFormat);
    const auto where = [&](qsizetype i) {
        return QStringLiteral("line %1 of\n  %2\nexpected\n  %3")
            .arg(i + 1)
            .arg(actual.join(QStringLiteral("\n  ")), expected.join(QStringLiteral("\n  ")));
    };
    for (qsizetype i = 0; i < qMax(actual.size(), expected.size()); ++i) {
        if (i >= actual.size() || i >= expected.size())
            return where(i);
        if (!expected[i].endsWith(kNow)) {
            if (actual[i] != expected[i])
                return where(i);
            continue;
        }
        const QString prefix = expected[i].chopped(kNow.size());
        if (!actual[i].startsWith(prefix))
            return where(i);
        const QDateTime when = locale.toDateTime(actual[i].mid(prefix.size()), format);
        if (!when.isValid() || qAbs(when.secsTo(QDateTime::currentDateTime())) > 600)
            return QStringLiteral("no date and time of now in ") + where(i);
    }
    return {};
}

// Runs `action` once, `delayMs` after the log gains the line `line`: from the
// event loop of whatever the stage is waiting for at that moment. A negative
// delay runs it at once, before the stage takes its next step.
inline void whenLogShows(brimo::main &window, const QString &line, std::function<void()> action,
                         int delayMs = 300)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(window.Text1, &QPlainTextEdit::textChanged, &window,
                                   [&window, line, action, delayMs, connection] {
                                       // The text box itself: it changes first.
                                       const QTextBlock last =
                                           window.Text1->document()->lastBlock();
                                       if (withoutDots(last.text()) != line)
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

#define COMPARE_LOG(window, ...)                                                                   \
    do {                                                                                           \
        const QString mismatch = logMismatch(logLines(window), QStringList __VA_ARGS__);           \
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));                                        \
    } while (false)
