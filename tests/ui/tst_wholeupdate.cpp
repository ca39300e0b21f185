// Whole updates as the user meets them: the real window, its real links and
// the stand-ins (the simulated device on COM 3, the stand-in flash tool in
// this program's folder, the vendor service, the desktop's inhibit service on
// this test's own session bus).
#include "apptestfolder.h"
#include "devsimprocess.h"
#include "logfile.h"
#include "vendorsimprocess.h"

#include "brimoversion.h"
#include "desktop/inhibitservice.h"
#include "driver/windowdriver.h"
#include "platform/singleinstance.h"
#include "session/reallinks.h"
#include "session/sessionwindow.h"
#include "ui/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

using brimo::sim::InhibitService;
using brimo::sim::WindowDriver;

namespace {

const QString kTail = "0011223344556677";

// The world of one update: "COMPort" stored as 3, the device on COM `port`
// in `mode`, the service with an image for the device, the flash tool's
// faults, the services that keep the PC awake; then the window as the
// program opens it, and its user.
class WholeRun {
public:
    WholeRun(const QStringList &toolFaults, const QString &inhibitBy, int port = 3,
             const QString &mode = "dl")
        : m_app(AppTestFolder::WithTool, AppTestFolder::ThisProgram),
          m_device(port, {"--system-number", "AB12CD34", "--tail", kTail, "--mode", mode}),
          m_service({"--image", "AB12CD34:0:" + kTail}),
          m_inhibit(inhibitBy, [this] { return int(m_app.logLines().size()); }),
          m_places{
              m_app.path(),      m_service.hostPort(),        m_data.filePath("brimo-update.lock"),
              m_device.comDir(), m_data.filePath("registry"), brimo::Wine()}
    {
        m_app.setFaults(toolFaults);
        // The user's own folders: where each update leaves its log, and the
        // single-copy lock.
        qputenv("XDG_DATA_HOME", m_data.path().toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_data.path().toUtf8());
        // The stand-in tool finds COM 3 as the utility does.
        qputenv("BRIMO_COM_DIR", m_places.comFolder.toUtf8());
        brimo::RegistryStore(m_places.settingsFile).setValue("COMPort", "3");
    }

    bool isReady() const
    {
        return m_device.isReady() && m_service.isListening() && m_inhibit.isReady();
    }

    // The program as it starts: the lock, then the window and its session.
    WindowDriver &open()
    {
        m_lock.emplace(m_places.lockPath);
        m_lock->tryLock();
        m_window = std::make_unique<brimo::MainWindow>();
        m_links = std::make_unique<brimo::RealLinks>(m_places, m_window->winId(), m_lock->handle());
        m_session = std::make_unique<brimo::UpdateSession>(*m_window, m_links->links());
        m_window->attach(*m_session);
        QObject::connect(m_window.get(), &brimo::MainWindow::ended,
                         [this] { endedAfter = toolRuns(); });
        m_window->show();
        m_user = std::make_unique<WindowDriver>(*m_window);
        return *m_user;
    }

    // The flash tool's runs when the program ended (see toolRuns()).
    QString endedAfter = QStringLiteral("not ended");

    // The log from the read to the flash tool's run.
    QStringList toTheFlash() const
    {
        const QByteArray image = VendorSimProcess::bodyOf(
            m_service.get("/ws/updatedevice.asp?SystemCodeString=AB12CD34"));
        return QStringLiteral("Connecting to the Internet|Connected|Internet connection test "
                              "successful|Downloading updates|Connected|Downloaded %1 bytes|"
                              "Updating device with the latest update|Checking update integrity|"
                              "Checking system number|Updating device.")
            .arg(image.size())
            .split(u'|');
    }
    // Each run of the flash tool: "r3" a read on COM 3, "w3:5" a write ending in 5.
    QString toolRuns() const
    {
        QStringList runs;
        for (const QString &run : m_app.logLines())
            runs << QStringLiteral("%1%2:%3").arg(run.contains("[-r]") ? "r" : "w",
                                                  run.section(u'[', 5, 5).chopped(2),
                                                  run.section(u' ', -1));
        return runs.join(u',').remove(":0");
    }
    QString holds() const { return m_inhibit.holds(); }
    // The device's end of COM `port`, as the PC names it.
    QString comLine(int port) const
    {
        return QFileInfo(m_device.comDir() + QStringLiteral("/com%1").arg(port)).symLinkTarget();
    }
    // The user flips the device's switch.
    void switchDevice(const QString &mode) const { m_device.send("mode " + mode); }
    // What the device holds: its flash writes and its identity.
    QString device() const
    {
        const QMap<QString, QString> status = m_device.status();
        return status.value("writes") + ' ' + status.value("system") + status.value("tail");
    }
    // What a copy of the program started now does.
    QString secondCopy() const
    {
        QProcess copy;
        brimo::test::endWithThisTest(copy);
        copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
        const bool ended = copy.waitForFinished(5000) && copy.exitCode() == 0;
        copy.kill();
        copy.waitForFinished();
        return ended ? "ends at once" : "still running";
    }

private:
    QTemporaryDir m_data;
    AppTestFolder m_app;
    DevSimProcess m_device;
    VendorSimProcess m_service;
    InhibitService m_inhibit;
    brimo::Places m_places;
    std::optional<brimo::SingleInstance> m_lock;
    // The session and its links go before the window they show themselves in.
    std::unique_ptr<brimo::MainWindow> m_window;
    std::unique_ptr<brimo::RealLinks> m_links;
    std::unique_ptr<brimo::UpdateSession> m_session;
    std::unique_ptr<WindowDriver> m_user;
};

// The log's lines from the read on, each time and date cut off.
QStringList logFromTheRead(const WindowDriver &user)
{
    QStringList lines = user.logLines().mid(3);
    for (QString &line : lines)
        line = line.startsWith("Update process completed ") ? "Update process completed" : line;
    return lines;
}

} // namespace

class TestWholeUpdate : public QObject {
    Q_OBJECT
private slots:
    void updatesTheDeviceMovedToAnotherPort();
    void endedDuringTheFlash_data();
    void endedDuringTheFlash();
};

// The device was moved to another socket since the last run: the read on the
// stored COM 3 fails, the search finds the device on COM 2, where it is read
// and written. The write takes three seconds; meanwhile the user clicks on
// the "&File" menu: the dots move, but the menu opens only once the tool has
// ended. The portal keeps the PC from sleeping through each run of the tool,
// and from shutting down through the write.
void TestWholeUpdate::updatesTheDeviceMovedToAnotherPort()
{
    WholeRun run({"ok", "ok", "delay 3000"}, "portal", 2, "normal");
    QVERIFY(run.isReady());
    WindowDriver &user = run.open();
    user.answer(QMessageBox::Ok, "Unable to detect the Brimo device on Com X, please remove the "
                                 "power, wait 10 seconds, select NORMAL mode and reinsert the "
                                 "power.");
    user.answer(QMessageBox::Ok, brimo::kDownloadModeRequest);
    user.whenLogShows(
        "Brimo device has been detected on COM 2", [&] { run.switchDevice("dl"); }, -1);
    QStringList bar;
    QObject::connect(user.control<QProgressBar>("ProgressBar"), &QProgressBar::valueChanged,
                     [&bar](int value) { bar << QString::number(value); });
    bool held = false;
    user.whenLogShows(
        "Updating device.",
        [&] {
            QWidget &window = user.window();
            // Offscreen no window is active after a box; the user's is.
            QApplication::setActiveWindow(&window);
            const QMenuBar *menus = static_cast<QMainWindow &>(window).menuBar();
            const QPoint file = menus->actionGeometry(menus->actions()[0]).center() + menus->pos();
            // The highlight follows the mouse at once; the click waits.
            QTest::mouseMove(window.windowHandle(), file);
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, file);
            held = !QApplication::activePopupWidget() && menus->activeAction();
        },
        500);
    QVERIFY(user.run("updateBtn") && user.run("stage2Btn"));

    const QStringList found = {"Unable to retrieve information from the Brimo device",
                               "Attempting to auto detect the Brimo device", "Scanning COM port 1",
                               "Scanning COM port 2", "Brimo device has been detected on COM 2"};
    QCOMPARE(logFromTheRead(user),
             found + run.toTheFlash() + QStringList({"Cleaning up", "Update process completed"}));
    QCOMPARE(user.surprises(), QStringList());
    QVERIFY(user.logText().contains(". . .\nCleaning up"));
    QVERIFY(held);
    QTRY_COMPARE(QApplication::activePopupWidget()->objectName(), QString("file"));
    QApplication::activePopupWidget()->close();
    QCOMPARE(run.toolRuns(), QString("r3:3,r2,w2"));
    QCOMPARE(run.device(), "1 AB12CD34" + kTail);
    QCOMPARE(run.holds(), QString("sleep 0-1,sleep 1-2,shutdown 2-3"));
    // The search moves the bar; each request's states move it, the stages set
    // it in between.
    const QString request = "10,20,30,40,50,60,80,90,100";
    QCOMPARE(bar.join(u','),
             "0,6,12,100,0,33," + request + ",66,100,0," + request + ",0,20,40,60,80,100");
    QCOMPARE(QDir(QCoreApplication::applicationDirPath()).entryList({"nf*"}, QDir::Files),
             QStringList());
    // The log file has the log as it stands, CR LF and dots included, and for
    // whoever helps the user a head, the system number, the service's answers
    // and the flash tool's runs.
    const QString app = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    const QString tool =
        "Flash tool: \"" + app + "/sirfflashcl.exe\" \"" + app + "/nf.dat\" -b 57600 -l ";
    QCOMPARE(notesIn(newestLogFile(), user.logText()),
             QStringList(
                 {"Brimo update utility " BRIMO_VERSION_TEXT " on " + QSysInfo::prettyProductName(),
                  "COM ports:", "  COM 2: " + run.comLine(2), "Proxy: the system's settings",
                  tool + "3 -r -f 0x080000 -t 0x080020 -> exit code 3",
                  tool + "2 -r -f 0x080000 -t 0x080020 -> exit code 0",
                  "System number: AB12CD34 (41 42 31 32 43 44 33 34)", "Ping: HTTP/1.1 200 OK",
                  "Download for AB12CD34: HTTP/1.1 200 OK", tool + "2 -o 0 -c 0 -> exit code 0"}));
}

// Yes to the close question while the tool writes: the window goes at once,
// a notice stays, a copy started meanwhile ends at once, and the tool's exit
// code is the log file's last line. The application asked to quit (the
// user's session ending; last, as it stays so for this program). Either way
// nothing of the session runs after the tool's run, which goes on to its
// end: the program ends only then, the PC kept awake and the lock held
// meanwhile, and nothing is logged as done.
void TestWholeUpdate::endedDuringTheFlash_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("a close, Yes") << true;
    QTest::newRow("a request to quit") << false;
}

void TestWholeUpdate::endedDuringTheFlash()
{
    QFETCH(bool, closed);
    WholeRun run({"ok", "delay 3000"}, "portal");
    QVERIFY(run.isReady());
    WindowDriver &user = run.open();
    user.answer(QMessageBox::Yes);
    QString meanwhile;
    user.whenLogShows(
        "Updating device.",
        [&, closed] { closed ? user.requestClose() : QCoreApplication::exit(); }, 300);
    user.whenLogShows(
        "Updating device.",
        [&, closed] {
            const QWidget *notice = QApplication::activeWindow();
            if (closed)
                meanwhile = user.window().isVisible()
                                ? "the window still shown"
                                : run.secondCopy() + ", " + (notice ? notice->objectName() : "");
        },
        800);
    QVERIFY(user.run("updateBtn") && user.run("stage2Btn"));
    QCOMPARE(run.endedAfter, QString("r3,w3"));
    QCOMPARE(logFromTheRead(user), run.toTheFlash());
    QCOMPARE(meanwhile, closed ? "ends at once, stillWriting" : "");
    QVERIFY(!closed || newestLogFile().endsWith(" -o 0 -c 0 -> exit code 0"));
    QCOMPARE(run.device(), "1 AB12CD34" + kTail);
    // After the close, the notice holds back a shutdown too, until the end.
    QCOMPARE(run.holds(),
             closed ? "sleep 0-1,shutdown 1-2,shutdown 1-2" : "sleep 0-1,shutdown 1-2");
}

QTEST_MAIN(TestWholeUpdate)
#include "tst_wholeupdate.moc"
