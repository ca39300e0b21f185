#pragma once

// The world around a test of the whole window (a settings file, a COM folder
// with simulated devices, the stand-in flash tool beside this test program and
// the stand-in vendor service, named in the environment the way the utility
// looks for them), the real main window with its user (the window driver),
// and a path of that user through the wizard as a row of a table.

#include "apptestfolder.h"
#include "childscenario.h"
#include "devsimprocess.h"
#include "vendorsimprocess.h"

#include "driver/windowdriver.h"
#include "settings/registry.h"
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <map>
#include <memory>
#include <optional>

using brimo::sim::WindowDriver;

// A table's lists are texts joined by "|". In an expected log, a line that
// ends in kNow stands for its text and the date and time of the last minutes;
// <size>, for the size of the served image.
inline QStringList items(const QString &joined)
{
    return joined.isEmpty() ? QStringList() : joined.split(u'|');
}
inline const QString kNow = QStringLiteral("<now>");
inline const QString kBegan = QStringLiteral("Update process began ") + kNow;
inline const QString kUpToStage2 =
    kBegan + "|Retrieving existing registry value|Registry value returned: COM 3";
inline const QString kToTheFlash =
    kUpToStage2 + "|Connecting to the Internet|Connected|Internet connection test successful|"
                  "Downloading updates|Connected|Downloaded <size> bytes|Updating device with the "
                  "latest update|Checking update integrity|Checking system number|Updating device.";
inline const QString kCompletion = "|Cleaning up|Update process completed " + kNow;
inline const QString kTerminateBox = "The Brimo update utility is in the process of updating your "
                                     "device\r\n\r\nTerminate update process?";

class WizardRig {
public:
    // A world of its own, or the one the parent of a child scenario made.
    enum World { OwnWorld, ParentsWorld };
    explicit WizardRig(World world = OwnWorld)
    {
        if (world == ParentsWorld)
            return;
        m_app.emplace(AppTestFolder::WithTool, AppTestFolder::ThisProgram);
        qputenv("BRIMO_COM_DIR", m_comDir.path().toUtf8());
        qputenv("BRIMO_REGISTRY_FILE", m_settingsDir.filePath("registry").toUtf8());
    }
    ~WizardRig() { qunsetenv("BRIMO_SERVICE_HOST"); }

    // A row's steps, in order. The world first: "COMPort=3"; a device "dl@3"
    // ("normal", "dl" or "camera" on COM n); "service" with an image for the
    // device, or for "service=ZZ99YY88"; "service=none" (nothing listens);
    // "fault=404" for the service's next answer; the flash tool's faults
    // "tool=ok;exit 5". Then the user's: a button to press (and wait for the
    // stages it runs); "dialog=3" (in the next settings dialog: port 3, OK);
    // "attempts=4" (the count so far); "follows" (the user switches the device
    // as the boxes say); "close" (the window system's close request), "exit"
    // (the menu command) or a service fault for the next answers ("hang"), at
    // once or "@" a log line; any other step goes to `other`. The boxes are
    // answered in order, "<answer> <text>"; each question is tried with Escape
    // and its close box first, which must leave it open.
    using Other = std::function<void(WizardRig &, const QString &)>;
    void run(const QString &steps, const QString &boxes = {}, const Other &other = {})
    {
        answer(items(boxes));
        const QString userSteps = arrange(steps);
        QVERIFY(m_ready);
        for (const QString &step : items(userSteps)) {
            const QString value = step.section(u'=', 1);
            if (step.startsWith(QLatin1String("tool=")))
                m_app->setFaults(value.split(u';'));
            else if (step.startsWith(QLatin1String("attempts=")))
                open().attemptCount = static_cast<qint16>(value.toInt());
            else if (step == QLatin1String("follows"))
                QObject::connect(&user(), &WindowDriver::boxShown, m_user.get(),
                                 [this](const WindowDriver::Box &box) { follow(box.text); });
            else if (step.startsWith(QLatin1String("dialog=")))
                user().inNextDialog(choosePort(value));
            else if (step == QLatin1String("close") || step.contains(u'@'))
                hook(step.section(u'@', 0, 0), step.section(u'@', 1));
            else if (!user().control(step) && other)
                other(*this, step);
            else
                QVERIFY2(user().run(step), qPrintable(step));
        }
    }
    // The world's steps; gives the user's.
    QString arrange(const QString &steps)
    {
        QStringList rest = items(steps);
        for (; !rest.isEmpty(); rest.removeFirst()) {
            const QString step = rest.first(), value = step.section(u'=', 1);
            if (step.startsWith(QLatin1String("COMPort=")))
                store(QStringLiteral("COMPort"), value);
            else if (step.startsWith(QLatin1String("tool=")))
                m_app->setFaults(value.split(u';'));
            else if (step == QLatin1String("service=none"))
                qputenv("BRIMO_SERVICE_HOST", "127.0.0.1:9");
            else if (step.startsWith(QLatin1String("service")))
                m_ready = startVendor(value.isEmpty() ? "AB12CD34" : value) && m_ready;
            else if (step.startsWith(QLatin1String("fault=")))
                setServiceFault(value, 1);
            else if (QStringList{"normal", "dl", "camera"}.contains(step.section(u'@', 0, 0)))
                m_ready =
                    plugDevice(step.section(u'@', 1).toInt(), step.section(u'@', 0, 0)) && m_ready;
            else
                break;
        }
        // Ports without a device lead nowhere, so that no test ever opens a
        // serial port of the machine it runs on.
        for (int port = 1; port <= 16; ++port) {
            if (m_devices.count(port) == 0)
                QFile::link(m_comDir.filePath("absent"),
                            m_comDir.filePath(QString("com%1").arg(port)));
        }
        return rest.join(u'|');
    }

    // The window as the program opens it, with its user and the boxes' answers.
    brimo::MainWindow &open()
    {
        if (m_window)
            return *m_window;
        m_window = std::make_unique<brimo::MainWindow>();
        m_window->show();
        m_user = std::make_unique<WindowDriver>(*m_window);
        answer(m_boxes, false);
        QObject::connect(m_user.get(), &WindowDriver::boxShown, m_user.get(),
                         [this] { tryToEscape(); });
        m_progress = std::make_unique<QSignalSpy>(m_user->control<QProgressBar>("ProgressBar"),
                                                  &QProgressBar::valueChanged);
        return *m_window;
    }
    WindowDriver &user()
    {
        open();
        return *m_user;
    }
    qsizetype imageSize() const { return m_imageSize; }
    // The answers to the boxes to come, in order: "<answer> <text>".
    void answer(const QStringList &boxes, bool more = true)
    {
        if (more)
            m_boxes += boxes;
        for (const QString &box : m_user ? boxes : QStringList())
            m_user->answer(box.startsWith("Yes")  ? QMessageBox::Yes
                           : box.startsWith("No") ? QMessageBox::No
                                                  : QMessageBox::Ok,
                           box.section(u' ', 1));
    }

    // The whole log, the boxes, and what `after` names (see actual()), or
    // "completed": the completion page and a device with the new image.
    void verify(const QString &log, const QString &after)
    {
        const QStringList expected =
            items(QString(log).replace("<size>", QString::number(m_imageSize)));
        QCOMPARE(withNow(m_user->logLines(), expected), expected);
        QCOMPARE(m_user->surprises(), QStringList());
        QCOMPARE(m_user->boxes().size(), m_boxes.size());
        QCOMPARE(m_escapedBoxes, QStringList());
        QVERIFY(!m_window->state().updateInProgress);
        checkAfter(after);
    }
    void checkAfter(const QString &after)
    {
        for (const QString &check : items(after)) {
            const QString name = check.section(u'=', 0, 0);
            if (check == QLatin1String("completed"))
                verifyCompleted();
            else if (name != QLatin1String("ends"))
                QTRY_COMPARE(name + u'=' + actual(name), check);
        }
    }

    // "<control>" (its text); "shown" (the stage buttons shown); "COMPort";
    // "port" (comPortNumber); "attempts"; "tool" (the flash tool's runs:
    // "r3:3,w4" is a read of COM3 ending in exit code 3, then a write to
    // COM4); "toolAtEnd" (its runs when the program had ended); "popup" (the
    // menu open); "bar" (the
    // progress bar's values since the window opened); "writes@3" (the device's).
    QString actual(const QString &name)
    {
        QStringList values;
        if (name == QLatin1String("shown")) {
            for (const char *button :
                 {"updateBtn", "stage1Btn", "detectBtn", "stage2Btn", "stage5Btn"})
                values << (m_user->isShown(QLatin1String(button)) ? button : "");
        } else if (name == QLatin1String("tool")) {
            for (const QString &run : m_app->logLines())
                values << QStringLiteral("%1%2:%3").arg(run.contains("[-r]") ? "r" : "w",
                                                        run.section(u'[', 5, 5).chopped(2),
                                                        run.section(u' ', -1));
            return values.join(u',').remove(QStringLiteral(":0"));
        } else if (name == QLatin1String("toolAtEnd")) {
            return m_toolAtEnd;
        } else if (name == QLatin1String("popup")) {
            return QApplication::activePopupWidget()
                       ? QApplication::activePopupWidget()->objectName()
                       : "";
        } else if (name == QLatin1String("bar")) {
            for (const QList<QVariant> &change : *m_progress)
                values << change.at(0).toString();
        } else if (name.startsWith(QLatin1String("writes@"))) {
            return m_devices.at(name.section(u'@', 1).toInt())->status().value("writes");
        } else if (name == QLatin1String("COMPort")) {
            return setting(name);
        } else if (name == QLatin1String("port") || name == QLatin1String("attempts")) {
            return QString::number(name == QLatin1String("port") ? m_window->state().comPortNumber
                                                                 : m_window->attemptCount);
        } else if (QObject *control = m_window->findChild<QObject *>(name)) {
            for (const char *property : {"text", "currentText", "title"}) {
                if (control->property(property).isValid())
                    return control->property(property).toString();
            }
        }
        values.removeAll(QString());
        return values.join(u',');
    }

    static QString setting(const QString &name)
    {
        return brimo::getRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name);
    }
    static void store(const QString &name, const QString &text)
    {
        brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name, text);
    }

    // Each line that `expected` has as kNow, and `actual` with the date and
    // time of the last minutes, becomes kNow.
    static QStringList withNow(QStringList actual, const QStringList &expected)
    {
        const QDateTime now = QDateTime::currentDateTime();
        for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
            const QString prefix = expected[i].chopped(kNow.size());
            for (int back = 0; back < 600 && expected[i].endsWith(kNow); ++back) {
                if (actual[i] == prefix + brimo::generalDateText(now.addSecs(-back)))
                    actual[i] = expected[i];
            }
        }
        return actual;
    }

    // One row of a table with the columns steps, boxes, log and after. Where
    // the program ends ("ends=at once" or "ends=a second later" after the
    // last line) it runs in a child process of this test program (the "row"
    // scenario, childRow()), which reports what it saw as it comes.
    static void runRow(const Other &other = {})
    {
        QFETCH(QString, steps);
        QFETCH(QString, boxes);
        QFETCH(QString, log);
        QFETCH(QString, after);
        WizardRig rig;
        if (!after.contains(QLatin1String("ends="))) {
            rig.run(steps, boxes, other);
            rig.verify(log, after);
            return;
        }
        const QString userSteps = rig.arrange(steps);
        QVERIFY(rig.m_ready);
        const auto child = brimo::test::runScenario(
            "row", {"BRIMO_TEST_STEPS=" + userSteps, "BRIMO_TEST_BOXES=" + boxes}, 90000);
        const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();
        rig.m_toolAtEnd = rig.actual("tool");
        QVERIFY2(child.finished && child.exitStatus == QProcess::NormalExit && child.exitCode == 0,
                 qPrintable(child.output));
        QMap<QString, QStringList> seen;
        qint64 askedAt = 0, closingAt = 0;
        for (const QString &line : child.output.split(u'\n')) {
            const QStringList fields = line.split(u'\t');
            seen[fields.value(1)] << fields.value(2);
            const qint64 at = fields[0].toLongLong();
            askedAt = fields.value(1) == "ASK" || fields.value(1) == "BOX" ? at : askedAt;
            closingAt = fields.value(2) == "Closing update utility." ? at : closingAt;
        }
        const QStringList expected = items(log.replace("<size>", QString::number(rig.m_imageSize)));
        QCOMPARE(withNow(seen["LOG"], expected), expected);
        QStringList texts;
        for (const QString &box : items(boxes))
            texts << box.section(u' ', 1).replace("\r\n", "/");
        QCOMPARE(seen["BOX"], texts);
        const bool atOnce = after.contains(QLatin1String("ends=at once"));
        const qint64 waited = endedAt - (atOnce ? askedAt : closingAt);
        QVERIFY2(atOnce ? waited < 1000 : waited >= 1000 && waited < 3000,
                 qPrintable(QString::number(waited)));
        rig.checkAfter(after);
    }
    static int childRow()
    {
        const auto report = [](const QString &kind, const QString &text) {
            brimo::test::report(QStringLiteral("%1\t%2\t%3")
                                    .arg(QDateTime::currentMSecsSinceEpoch())
                                    .arg(kind, QString(text).replace("\r\n", "/")));
        };
        WizardRig rig(ParentsWorld);
        rig.m_ask = [&] { report("ASK", {}); };
        rig.answer(items(qEnvironmentVariable("BRIMO_TEST_BOXES")));
        QObject::connect(&rig.user(), &WindowDriver::boxShown, [&](const WindowDriver::Box &box) {
            report("BOX", box.text + rig.m_escaped);
        });
        qsizetype reported = 0;
        QObject::connect(rig.m_user->control<QPlainTextEdit>("Text1"), &QPlainTextEdit::textChanged,
                         [&] {
                             const QStringList lines = rig.m_user->logLines();
                             for (reported = lines.size() < reported ? 0 : reported;
                                  reported < lines.size(); ++reported)
                                 report("LOG", lines[reported]);
                         });
        rig.run(qEnvironmentVariable("BRIMO_TEST_STEPS"));
        report("RETURNED", {});
        return 3;
    }

private:
    bool startVendor(const QString &imageFor)
    {
        m_vendor = std::make_unique<VendorSimProcess>(
            QStringList{"--image", imageFor + ":0:0011223344556677"});
        qputenv("BRIMO_SERVICE_HOST", m_vendor->hostPort().toUtf8());
        const QString image = QStringLiteral("/ws/updatedevice.asp?SystemCodeString=AB12CD34");
        m_imageSize = VendorSimProcess::bodyOf(m_vendor->get(image)).size();
        return m_vendor->isListening();
    }
    bool plugDevice(int port, const QString &mode)
    {
        m_devices[port] =
            std::make_unique<DevSimProcess>(port,
                                            QStringList{"--system-number", "AB12CD34", "--tail",
                                                        "0011223344556677", "--mode", mode},
                                            m_comDir.path());
        return m_devices[port]->isReady();
    }
    // Through the service's address alone, as a child of the test knows it.
    static void setServiceFault(const QString &mode, int count)
    {
        QTcpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        const QString host = qEnvironmentVariable("BRIMO_SERVICE_HOST");
        socket.connectToHost(host.section(u':', 0, 0), quint16(host.section(u':', 1).toUInt()));
        socket.waitForConnected(5000);
        socket.write(QStringLiteral("GET /sim/fault?mode=%1&count=%2 HTTP/1.1\r\n\r\n")
                         .arg(mode)
                         .arg(count)
                         .toLatin1());
        while (socket.waitForReadyRead(5000))
            socket.readAll();
    }
    void hook(const QString &action, const QString &line)
    {
        const auto act = [this, action] {
            if (m_ask)
                m_ask();
            if (action == QLatin1String("exit"))
                m_user->choose(QStringLiteral("exit"));
            else if (action == QLatin1String("close"))
                m_user->requestClose();
            else
                setServiceFault(action, 3);
        };
        if (!line.isEmpty()) {
            user().whenLogShows(line, act, action == "close" || action == "exit" ? 300 : -1);
            return;
        }
        act();
        user().waitUntilIdle();
    }
    void tryToEscape()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        m_escaped.clear();
        if (!box || box->standardButtons() != (QMessageBox::Yes | QMessageBox::No))
            return;
        QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        box->windowHandle()->close();
        if (!box->isVisible()) {
            m_escaped = QStringLiteral(" (closed by Escape or its close box)");
            m_escapedBoxes << box->text();
        }
    }
    void follow(const QString &box)
    {
        for (auto &[port, device] : m_devices) {
            if (box.contains(QLatin1String("select NORMAL mode")))
                device->send(QStringLiteral("mode normal"));
            else if (box.contains(QLatin1String("'D/L' position")))
                device->send(QStringLiteral("mode dl"));
        }
    }
    static std::function<void(QDialog &)> choosePort(const QString &port)
    {
        return [port](QDialog &dialog) {
            auto *com = dialog.findChild<QComboBox *>(QStringLiteral("com"));
            com->setCurrentIndex(com->findText(port));
            QTest::mouseClick(dialog.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        };
    }
    void verifyCompleted()
    {
        QCOMPARE(actual("completedText"),
                 "Your Brimo unit has been successfully updated with the latest information.\r\n"
                 "\r\nPlease remove the power from the Brimo unit, wait 10 seconds and change the "
                 "mode selection switch to either 'normal' or 'camera'.");
        QVERIFY(m_user->isShown("completedWindow") && actual("shown").isEmpty());
        QCOMPARE(actual("stageHeader") + actual("attempts") + actual("ProgressBar"),
                 QStringLiteral("Stage 5 of 5:0100%"));
        QVERIFY(m_window->state().currentStage == 5 && !QFile::exists(m_app->workFilePath()));
        QVERIFY(!m_user->control<QTimer>("progressDots")->isActive());
        // The device holds the new image and still its own identity: the image
        // came with a blank identity record, so the utility must have rebuilt it.
        const QMap<QString, QString> status = m_devices.begin()->second->status();
        QCOMPARE(status.value("system") + status.value("tail"), "AB12CD340011223344556677");
    }

    QTemporaryDir m_comDir;
    QTemporaryDir m_settingsDir;
    std::optional<AppTestFolder> m_app;
    std::unique_ptr<VendorSimProcess> m_vendor;
    qsizetype m_imageSize = 0;
    std::map<int, std::unique_ptr<DevSimProcess>> m_devices;
    QStringList m_boxes;
    QString m_toolAtEnd;
    QString m_escaped;
    QStringList m_escapedBoxes;
    bool m_ready = true;
    std::function<void()> m_ask;
    // Closed before the devices and the service it talks to.
    std::unique_ptr<brimo::MainWindow> m_window;
    std::unique_ptr<WindowDriver> m_user;
    std::unique_ptr<QSignalSpy> m_progress;
};
