#pragma once

// The world of a whole-window test (settings file, simulated devices, flash
// tool beside this program, vendor service, named in the environment as the
// utility looks for them), the real window with its user, paths as table rows.

#include "apptestfolder.h"
#include "childscenario.h"
#include "devsimprocess.h"
#include "vendorsimprocess.h"

#include "desktop/inhibitservice.h"
#include "driver/windowdriver.h"
#include "platform/singleinstance.h"
#include "session/updatesession.h"
#include "settings/registry.h"
#include "ui/mainwindow.h"
#include "ui/startupcheck.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <unistd.h>

using brimo::sim::InhibitService;
using brimo::sim::WindowDriver;

// A table's lists are texts joined by "|". In an expected log a line that ends
// in kNow stands for its text and a date of this year, and <size> for the size
// of the served image.
inline QStringList items(const QString &joined)
{
    return joined.isEmpty() ? QStringList() : joined.split(u'|');
}
inline const QString kNow = QStringLiteral("<now>");
inline const QString kBegan = "Update process began " + kNow;
inline const QString kBlank =
    kBegan + "|Retrieving existing registry value|Blank registry value returned";
inline const QString kUpToStage2 =
    kBegan + "|Retrieving existing registry value|Registry value returned: COM 3";
inline const QString kToTheFlash =
    kUpToStage2 + "|Connecting to the Internet|Connected|Internet connection test successful|"
                  "Downloading updates|Connected|Downloaded <size> bytes|Updating device with the "
                  "latest update|Checking update integrity|Checking system number|Updating device.";
inline const QString kCompletion = "|Cleaning up|Update process completed " + kNow;
// The box a row expects whole, from "<answer> <text>": "Ok", or "Stop" with
// its icon, for OK alone; "Yes" or "No" for a question.
inline QString expectedBox(const QString &row)
{
    const QString answer = row.section(u' ', 0, 0);
    return QStringLiteral("[Brimo update utility] [%1] [%2] %3")
        .arg(answer == "Stop" ? "Critical" : "NoIcon",
             answer == "Yes" || answer == "No" ? "Yes* No" : "Ok*", row.section(u' ', 1));
}
inline const QString kTerminateBox = "The Brimo update utility is in the process of updating your "
                                     "device\r\n\r\nTerminate update process?";
inline const QString kRetryBox = "Unable to collect database file, please ensure any firewall "
                                 "applications are configured to allow the Brimo update utility "
                                 "full internet access.\r\n\r\nWould you like to retry?";

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
        // The user's own data folder, where each update leaves its log.
        qputenv("XDG_DATA_HOME", m_settingsDir.path().toUtf8());
        qputenv("BRIMO_INSTANCE_LOCK", m_settingsDir.filePath("brimo-update.lock").toUtf8());
    }
    ~WizardRig()
    {
        ::alarm(0);
        qunsetenv("BRIMO_SERVICE_HOST");
    }

    // A row's steps. The world's come first: "COMPort=3"; a device "dl@3"
    // (mode "normal", "dl" or "camera" on COM n); "service" with an image for
    // the device, or for "service=ZZ99YY88"; "fault=404" for the service's
    // next answer ("fault=404*4": four); the flash tool's faults, "tool=ok;exit
    // 5"; the PC kept awake, "inhibit=portal" (InhibitService), or a child
    // with "inhibit=no bus"; "user=65534" to run that child as another user.
    // Then the user's, with the window open: a button (pressed, its stages
    // waited for); "tool=..."; "dialog=3" (the next settings dialog: port 3,
    // OK); "seen:<control>=<value>" (as check() takes it); "close" (the window system's request),
    // "exit" (the menu's), a service fault ("hang") or a device switched ("dl@4") "@" a log line;
    // any other step goes to `other`. With `world`, the user's are the caller's.
    using Other = std::function<void(WizardRig &, const QString &)>;
    QStringList run(const QString &steps, const QString &boxes = {}, const Other &other = {},
                    bool world = false)
    {
        QStringList rest = items(steps);
        for (QString step, value; !rest.isEmpty(); rest.removeFirst()) {
            step = rest.first(), value = step.section(u'=', 1);
            const QString mode = step.section(u'@', 0, 0);
            if (step.startsWith("COMPort="))
                store("COMPort", value);
            else if (step.startsWith("tool="))
                m_app->setFaults(value.split(u';'));
            else if (step.startsWith("fault="))
                setServiceFault(value.section(u'*', 0, 0), qMax(1, value.section(u'*', 1).toInt()));
            else if (step == "inhibit=no bus")
                m_childEnvironment << "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent";
            else if (step.startsWith("inhibit="))
                m_ready = keepAwakeBy(value) && m_ready;
            else if (step.startsWith("user="))
                m_childWrapper = {"setpriv", "--reuid=" + value, "--regid=" + value,
                                  "--clear-groups"};
            else if (step.startsWith("service"))
                m_ready = startVendor(value.isEmpty() ? "AB12CD34" : value) && m_ready;
            else if (step == "leftover")
                QFile(m_app->filePath("nf-0ld000.download")).open(QIODevice::WriteOnly);
            else if (kModes.contains(mode) && step.count(u'@') == 1)
                m_ready = plugDevice(step.section(u'@', 1).toInt(), mode) && m_ready;
            else
                break;
        }
        // Ports without a device lead nowhere: no test ever opens a port of the machine.
        for (int port = 1; port <= 16; ++port) {
            if (m_devices.count(port) == 0)
                QFile::link(m_comDir.filePath("absent"),
                            m_comDir.filePath(QString("com%1").arg(port)));
        }
        if (world || !m_ready)
            return rest;
        open(items(boxes));
        for (const QString &step : rest) {
            noteStall(0, step);
            const QString action = step.section(u'@', 0, 0);
            const QString at = step.section(u'@', kModes.contains(action) ? 2 : 1);
            const auto act = [this, action, port = step.section(u'@', 1, 1).toInt()] {
                if (action == "exit")
                    m_user->choose("exit");
                else if (action == "close")
                    m_user->requestClose();
                else if (kModes.contains(action))
                    m_devices.at(port)->send("mode " + action);
                else
                    setServiceFault(action, 3);
            };
            if (step.startsWith("tool="))
                m_app->setFaults(step.section(u'=', 1).split(u';'));
            else if (step.startsWith("dialog="))
                m_user->inNextDialog([step](QDialog &dialog) {
                    auto *com = dialog.findChild<QComboBox *>("com");
                    com->setCurrentIndex(com->findText(step.section(u'=', 1)));
                    QTest::mouseClick(dialog.findChild<QPushButton *>("Command1"), Qt::LeftButton);
                });
            else if (step.startsWith("seen:"))
                check(step.mid(5));
            else if (!at.isEmpty())
                m_user->whenLogShows(at, act, action == "close" || action == "exit" ? 300 : -1);
            else if (!m_user->control(step) && other)
                other(*this, step);
            else if (!m_user->run(step))
                m_ready = false;
        }
        return {};
    }

    // The window and its session as the program opens them, with its user,
    // who answers the boxes in order ("<answer> <text>") and tries each
    // question with Escape and its close box first, which must leave it open.
    brimo::MainWindow &open(const QStringList &boxes = {})
    {
        if (m_window)
            return *m_window;
        m_window = std::make_unique<brimo::MainWindow>();
        m_session = std::make_unique<brimo::UpdateSession>(*m_window, brimo::storedSettings(),
                                                           QCoreApplication::applicationDirPath());
        m_window->attach(*m_session);
        m_window->show();
        m_user = std::make_unique<WindowDriver>(*m_window);
        // A row that goes wrong may leave the window waiting in a box or a
        // transfer nobody ends, or stall it altogether: the system's alarm
        // stops it after a minute, saying what it waited for.
        noteStall(0, m_stall[0]);
        std::signal(SIGALRM, stopStalledRow);
        ::alarm(60);
        QObject::connect(m_user->control<QPlainTextEdit>("Text1"), &QPlainTextEdit::textChanged,
                         m_user.get(),
                         [this] { noteStall(1, m_user->logText().section(u'\n', -1)); });
        QObject::connect(m_user.get(), &WindowDriver::boxShown, m_user.get(),
                         [this](const WindowDriver::Box &box) { noteStall(2, box.text); });
        answer(*m_user, boxes);
        QObject::connect(m_user.get(), &WindowDriver::boxShown, m_user.get(), [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box->standardButtons() != (QMessageBox::Yes | QMessageBox::No))
                return;
            QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
            box->windowHandle()->close();
            if (!box->isVisible())
                m_escaped << " (closed by Escape or its close box: " + box->text() + ")";
        });
        QObject::connect(m_user->control<QProgressBar>("ProgressBar"), &QProgressBar::valueChanged,
                         m_user.get(), [this](int value) { m_bar << QString::number(value); });
        QObject::connect(m_user->control<QPlainTextEdit>("Text1"), &QPlainTextEdit::textChanged,
                         m_user.get(), [this] {
                             if (m_user->logText().endsWith("\nConnected"))
                                 m_bar << "Connected";
                         });
        return *m_window;
    }
    WindowDriver &user() { return open(), *m_user; }
    brimo::UpdateSession &session() { return open(), *m_session; }

    // Each of `after` has its value (see actual()); "completed" stands for
    // the completion page and a device with the new image.
    void check(const QString &after)
    {
        for (QString item : items(after)) {
            if (item == "completed")
                item = "stageHeader=Stage 5 of 5:|ProgressBar=100%|shown=|leftovers=|"
                       "progressDots=false|identity=AB12CD340011223344556677|"
                       "completedText=Your Brimo unit has been successfully updated with the "
                       "latest information.\r\n\r\nPlease remove the power from the Brimo unit, "
                       "wait 10 seconds and change the mode selection switch to either 'normal' "
                       "or 'camera'.";
            for (const QString &one : items(item)) {
                const QString name = one.section(u'=', 0, 0);
                if (name != "ends")
                    QTRY_COMPARE(name + u'=' + actual(name), one);
            }
        }
    }

    // "<control>": its text (or title, or being active, or shown); "shown" and
    // "disabled": those of the stage buttons; "com": the port the settings
    // dialog opens on (the port in use, else the one stored); "leftovers": the
    // work file or downloaded images beside the program; a setting; "tool":
    // the flash tool's runs ("r3:3,w4" a read on COM3 ending in 3, a write to
    // COM4), "toolAtEnd" those when the program had ended; "popup": the menu
    // open; "bar": the progress bar's values since the window opened,
    // "Connected" where the log says so; "writes" and "identity" of the device
    // on COM3; "inhibit": the holds on the PC's sleep (InhibitService);
    // "secondCopy": what a copy of the program started when the program had
    // ended did.
    QString actual(const QString &name)
    {
        QStringList values;
        if (name == "shown" || name == "disabled") {
            for (const char *button :
                 {"updateBtn", "stage1Btn", "detectBtn", "stage2Btn", "stage5Btn"}) {
                const QWidget *c = m_user->control(button);
                values << ((name == "shown" ? c->isVisible() : !c->isEnabled()) ? button : "");
            }
        } else if (name == "tool") {
            for (const QString &run : m_app->logLines())
                values << QStringLiteral("%1%2:%3").arg(run.contains("[-r]") ? "r" : "w",
                                                        run.section(u'[', 5, 5).chopped(2),
                                                        run.section(u' ', -1));
            return values.join(u',').remove(":0");
        } else if (name == "bar") {
            values = m_bar;
        } else if (name == "leftovers") {
            values = QDir(m_app->path()).entryList({"nf*"}, QDir::Files);
        } else if (name == "writes" || name == "identity") {
            const auto status = m_devices.at(3)->status();
            values << (name == "writes" ? status.value("writes")
                                        : status.value("system") + status.value("tail"));
        } else if (name == "com") {
            m_user->inNextDialog([&values](QDialog &dialog) {
                values << dialog.findChild<QComboBox *>("com")->currentText();
                dialog.reject();
            });
            m_user->choose("settings");
            m_user->waitUntilIdle();
        } else if (name == "toolAtEnd" || name == "popup" || name == "COMPort" ||
                   name.startsWith("Proxy") || name == "inhibit" || name == "secondCopy") {
            QWidget *popup = QApplication::activePopupWidget();
            values << (name == "toolAtEnd"    ? m_toolAtEnd
                       : name == "secondCopy" ? m_secondCopy
                       : name == "inhibit"    ? (m_inhibit ? m_inhibit->holds() : QString())
                       : name == "popup"      ? (popup ? popup->objectName() : QString())
                                              : setting(name));
        } else if (const QObject *control = m_window->findChild<QObject *>(name)) {
            for (const char *property : {"text", "currentText", "title", "active", "visible"}) {
                if (values.isEmpty() && control->property(property).isValid())
                    values << control->property(property).toString();
            }
        }
        values.removeAll(QString());
        return values.join(u',');
    }

    // The log files' folder, and the newest file there as text.
    static QString logFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/logs";
    }
    static QString logFile()
    {
        const QStringList names = QDir(logFolder()).entryList(QDir::Files, QDir::Name);
        QFile file(logFolder() + u'/' + names.value(names.size() - 1));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "no log file";
    }

    static QString setting(const QString &name)
    {
        return brimo::getRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name);
    }
    static void store(const QString &name, const QString &text)
    {
        brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name, text);
    }

    // A table of rows with the columns steps (as run() takes them), boxes (in
    // order, "<answer> <text>"), log and after (as check() takes it). A row
    // where the program ends ("ends=at once", or "ends=a second later" after
    // its last line) runs in a child process of this test program, the "row"
    // scenario (childRow()), which reports as it goes.
    static void columns()
    {
        for (const char *column : {"steps", "boxes", "log", "after"})
            QTest::addColumn<QString>(column);
    }
    static void runRow(const Other &other = {})
    {
        QFETCH(QString, steps);
        QFETCH(QString, boxes);
        QFETCH(QString, log);
        QFETCH(QString, after);
        WizardRig rig;
        QStringList seen[3], texts; // the log, the boxes and the rest a child reports
        for (const QString &box : items(boxes))
            texts << expectedBox(box);
        if (!after.contains("ends=")) {
            rig.run(steps, boxes, other);
            // Idle: a close request would ask nothing.
            QVERIFY(rig.m_ready && rig.m_session->mayClose());
            QCOMPARE(rig.m_user->surprises(), QStringList());
            seen[0] = rig.m_user->logLines();
            for (const WindowDriver::Box &box : rig.m_user->boxes())
                seen[1] << box.whole();
            // The log file has the log as it stands, CR LF and dots included.
            QCOMPARE(logFile(), rig.m_user->logText().replace(u'\n', "\r\n"));
        } else {
            const QString userSteps = rig.run(steps, {}, {}, true).join(u'|');
            if (!rig.m_childWrapper.isEmpty() && ::geteuid() != 0)
                QSKIP("Only the superuser can run the program as another user");
            const auto child = brimo::test::runScenario(
                "row",
                QStringList{"BRIMO_TEST_STEPS=" + userSteps, "BRIMO_TEST_BOXES=" + boxes} +
                    rig.m_childEnvironment,
                90000, rig.m_childWrapper);
            const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();
            rig.m_toolAtEnd = rig.actual("tool");
            if (after.contains("secondCopy="))
                rig.m_secondCopy = rig.startSecondCopy();
            QVERIFY2(rig.m_ready && child.finished && child.exitCode == 0,
                     qPrintable(child.output));
            qint64 lastAt = 0; // of the last report: the program ends after it
            for (const QString &line : child.output.split(u'\n')) {
                const QStringList fields = line.split(u'\t');
                const int kind = int(QStringList{"LOG", "BOX"}.indexOf(fields.value(1)));
                seen[kind < 0 ? 2 : kind] << fields.value(2);
                lastAt = fields.size() == 3 ? fields[0].toLongLong() : lastAt;
            }
            texts.replaceInStrings("\r\n", "/");
            // Every line is in the log file, however the program ended; no
            // line, no file.
            const QString file = logFile();
            QStringList kept = file == "no log file" ? QStringList() : file.split("\r\n");
            for (QString &line : kept)
                line = WindowDriver::withoutDots(line);
            QCOMPARE(kept, seen[0]);
            const qint64 waited = endedAt - lastAt;
            QVERIFY2(after.contains("at once") ? waited < 1000 : waited >= 1000 && waited < 3000,
                     qPrintable(QString::number(waited)));
        }
        const QStringList expected = items(log.replace("<size>", QString::number(rig.m_imageSize)));
        for (qsizetype i = 0; i < qMin(seen[0].size(), expected.size()); ++i) {
            const QString prefix = expected[i].chopped(kNow.size()),
                          year = QDate::currentDate().toString("yy");
            if (expected[i].endsWith(kNow) && seen[0][i].startsWith(prefix) &&
                seen[0][i].mid(prefix.size()).contains(year))
                seen[0][i] = expected[i];
        }
        QCOMPARE(seen[0], expected);
        QCOMPARE(seen[1], texts);
        QCOMPARE(rig.m_escaped, QStringList());
        rig.check(after);
        // No request ever carries a login.
        QVERIFY(!rig.m_vendor || !rig.m_vendor->requests().toLower().contains("authorization"));
    }
    static int childRow()
    {
        const auto report = [](const QString &kind, const QString &text) {
            brimo::test::report(QStringLiteral("%1\t%2\t%3")
                                    .arg(QDateTime::currentMSecsSinceEpoch())
                                    .arg(kind, QString(text).replace("\r\n", "/")));
        };
        const QStringList boxes = items(qEnvironmentVariable("BRIMO_TEST_BOXES"));
        // As the program starts, before its window: one copy at a time, and
        // the right to write beside itself.
        brimo::SingleInstance instance;
        if (!instance.tryLock())
            return 4;
        {
            QWidget noWindowYet;
            WindowDriver user(noWindowYet);
            answer(user, boxes);
            QObject::connect(&user, &WindowDriver::boxShown,
                             [&](const WindowDriver::Box &box) { report("BOX", box.whole()); });
            if (!brimo::checkApplicationFolder())
                return 0;
        }
        WizardRig rig(ParentsWorld);
        rig.open(boxes);
        QObject::connect(rig.m_user.get(), &WindowDriver::boxShown,
                         [&](const WindowDriver::Box &box) {
                             report("BOX", box.whole() + rig.m_escaped.join(u' '));
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
        // A close request still to come ends the program in here.
        return QTest::qWaitFor([] { return false; }, 3000) ? 0 : 3;
    }

private:
    // What a stalled row says when the alarm ends it.
    static inline char s_stalled[2048] = "";
    static void stopStalledRow(int)
    {
        ::write(STDERR_FILENO, s_stalled, std::strlen(s_stalled));
        std::_Exit(1);
    }
    void noteStall(int part, const QString &text)
    {
        m_stall[part] = text;
        const QString said = QStringLiteral("FAIL: still waiting after a minute for %1; the log "
                                            "ends \"%2\"; the last box: \"%3\"\n")
                                 .arg(m_stall[0], m_stall[1], m_stall[2]);
        qstrncpy(s_stalled, said.toUtf8().constData(), sizeof s_stalled);
    }
    static inline const QStringList kModes = {"normal", "dl", "camera"};
    static void answer(WindowDriver &user, const QStringList &boxes)
    {
        for (const QString &box : boxes)
            user.answer(box.startsWith("Yes")  ? QMessageBox::Yes
                        : box.startsWith("No") ? QMessageBox::No
                                               : QMessageBox::Ok,
                        box.section(u' ', 1));
    }
    bool keepAwakeBy(const QString &services)
    {
        m_inhibit = std::make_unique<InhibitService>(
            services, [this] { return int(m_app->logLines().size()); });
        return m_inhibit->isReady();
    }
    // The program itself, started as the user would: does it end at once?
    static QString startSecondCopy()
    {
        QProcess copy;
        brimo::test::endWithThisTest(copy);
        copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
        const bool ended = copy.waitForFinished(5000) && copy.exitCode() == 0;
        copy.kill();
        copy.waitForFinished();
        return ended ? "ends at once" : "still running";
    }
    bool startVendor(const QString &imageFor)
    {
        m_vendor = std::make_unique<VendorSimProcess>(
            QStringList{"--image", imageFor + ":0:0011223344556677"});
        qputenv("BRIMO_SERVICE_HOST", m_vendor->hostPort().toUtf8());
        m_imageSize = VendorSimProcess::bodyOf(
                          m_vendor->get("/ws/updatedevice.asp?SystemCodeString=AB12CD34"))
                          .size();
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
        VendorSimProcess::setFault(qEnvironmentVariable("BRIMO_SERVICE_HOST"), mode, count);
    }

    QTemporaryDir m_comDir;
    QTemporaryDir m_settingsDir;
    std::optional<AppTestFolder> m_app;
    // Counts the tool's runs in m_app, so it goes first.
    std::unique_ptr<InhibitService> m_inhibit;
    std::unique_ptr<VendorSimProcess> m_vendor;
    qsizetype m_imageSize = 0;
    std::map<int, std::unique_ptr<DevSimProcess>> m_devices;
    QStringList m_escaped;
    QString m_toolAtEnd;
    QString m_secondCopy;
    QStringList m_childEnvironment;
    QStringList m_childWrapper;
    QStringList m_stall{"the window", "", ""}; // the step waited for, the log's end, the last box
    bool m_ready = true;
    // Closed before the devices and the service it talks to, the session
    // before the window it shows itself in.
    std::unique_ptr<brimo::MainWindow> m_window;
    std::unique_ptr<brimo::UpdateSession> m_session;
    std::unique_ptr<WindowDriver> m_user;
    QStringList m_bar;
};
