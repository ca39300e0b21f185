#pragma once

#include "device/detect.h"
#include "device/device.h"
#include "session/pauses.h"
#include "session/sessionwindow.h"
#include "settings/settingsstore.h"
#include "webservice/webservice.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace brimo {

// What the update session reaches the world through, handed in: src/main.cpp
// hands it the real ones, a test its own.
struct SessionLinks {
    DeviceLink &device;
    UpdateService &service;
    PortProbe &probe;
    SettingsStore &store;
    Pauses &pauses;
};

// One update from the welcome page to the completion page: finds the device's
// port, reads its identity, tests the Internet, downloads the image and
// flashes it. The window shows it and passes on the user's commands.
//
// The stages run one after another in a flat loop: each returns the stage to
// run next, or nothing when it waits for the user. A stage that moved on has
// its own last steps (the busy flag down, the download's dots stopped) run
// after every stage it led to, as the user sees them.
class UpdateSession {
public:
    // What follows a command: the session waits for the user, or it has
    // ended and so does the program. Once ended, nothing more of it runs.
    enum class Outcome { Waits, Ends };

    UpdateSession(SessionWindow &window, const SessionLinks &links);

    // The footer's buttons: the welcome page's, the scan (the settings while
    // no port is known), the auto detection, the device read, the stage again.
    Outcome start() { return checkStage(advance()); }
    Outcome scan();
    Outcome autoDetect();
    Outcome readDevice();
    Outcome repeat() { return checkStage(currentStage); }
    // The settings menu: the dialog shows the port in use before the stored
    // one, and OK stores what was chosen.
    void showSettings();
    // The window is asked to close. False when the user, asked because an
    // update is under way, keeps it. Else the session ends: a request or a
    // port search under way stops at once, a flash tool's run is waited for,
    // and the command under way hands back Outcome::Ends.
    bool mayClose();

    // Runs stage `whatStage` and the stages it leads to, until one waits for
    // the user; any number but the five stages shows the welcome page.
    Outcome checkStage(Stage whatStage);
    static Stage incrementStage(Stage whatStage);
    // Offered beside incrementStage; no stage of the wizard goes back by it.
    static Stage decrementStage(Stage whatStage);

private:
    // The stage to run next; nothing: the session waits for the user.
    using Next = std::optional<Stage>;

    Next runStage(Stage whatStage);
    Next runPortStage();
    Next runInternetStage();
    Next runDownloadStage();
    Next runFlashStage();
    Stage advance();
    Next endAfterPause();

    // "Scanning COM port n", then the port listened to for the device.
    bool listenTo(qint16 port, qint16 seconds);
    void scanStoredPort();
    qint16 detect();
    qint16 detectAbove16();
    // After a search that found nothing: the ports another program holds, or
    // that the PC has none.
    void sayWhyNotFound();
    // The ports the PC has above COM16.
    QList<int> portsAbove16();
    // The log file's head: the utility, the system, the ports, the proxy.
    void noteWhereItRuns();
    // A request's answer, for the log file.
    void noteAnswer(const QString &request, const response &answer);
    // One read of the device; what the command does next, when it stops here.
    std::optional<Outcome> readOnce();
    bool uploadData();
    bool writeImage(const QByteArray &record);
    // A run of the flash tool, for the support log. A run the program was
    // asked to quit during ends the session.
    void noteToolRun(const std::optional<ToolReport> &tool);
    void showCompletion();
    void storePort(const QString &port);
    // A state of the web request under way: the log and the progress bar.
    void transferState(qint16 state);
    UpdateService::StateListener stateListener();
    Outcome outcome() const { return m_ended ? Outcome::Ends : Outcome::Waits; }
    void addText(const QString &whatText) { m_window.addText(whatText); }

    SessionWindow &m_window;
    SessionLinks m_links;

    Stage currentStage = Stage::Welcome;
    bool updateInProgress = false;
    qint16 comPortNumber = 0;
    // One count for the device reads (up to 5) and the flash attempts (up to
    // 3): reads that succeeded count against the flash.
    qint16 attemptCount = 0;
    // From the last identity read (the port it succeeded on, where the image
    // goes) and the last download.
    qint16 m_readPort = 0;
    QString m_systemNumber;
    std::optional<deviceFile> m_image;
    bool m_ended = false;
};

// The port number a stored "COMPort" text stands for: an optionally signed
// decimal number, blanks around it allowed, with the locale's decimal
// separator before an optional fraction, rounded halves to even. Anything
// else, and a number outside 16 bits, gives no port.
std::optional<qint16> portNumberFromText(const QString &text,
                                         const QLocale &locale = QLocale::system());

} // namespace brimo
