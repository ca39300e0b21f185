#pragma once

#include "device/device.h"
#include "platform/serialcontrol.h"
#include "session/sessionwindow.h"
#include "settings/registry.h"
#include "webservice/webservice.h"

#include <QLocale>
#include <QString>

#include <functional>
#include <optional>

namespace brimo {

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
    // `stored`: the settings as read at start-up; the flash goes to the port
    // stored then, or without one to the port the device was found on.
    // `appFolder`: where the flash tool is and the work file goes.
    UpdateSession(SessionWindow &window, const Settings &stored, const QString &appFolder);

    // The footer's buttons: the welcome page's, the scan (the settings while
    // no port is known), the auto detection, the device read, the stage again.
    void start() { checkStage(advance()); }
    void scan();
    void autoDetect();
    void readDevice();
    void repeat() { checkStage(currentStage); }
    // The settings menu: the dialog shows the port in use before the stored
    // one, and OK stores what was chosen.
    void showSettings();
    // The window is asked to close. False when the user, asked because an
    // update is under way, keeps it; else the web request under way is
    // cancelled and the window ends the program.
    bool mayClose();

    // Runs stage `whatStage` and the stages it leads to, until one waits for
    // the user; any number but 1 to 5 shows the welcome page.
    void checkStage(qint16 whatStage);
    static qint16 incrementStage(qint16 whatStage);
    // Offered beside incrementStage; no stage of the wizard goes back by it.
    static qint16 decrementStage(qint16 whatStage);

private:
    // The stage to run next; nothing: the session waits for the user.
    using Next = std::optional<qint16>;

    Next runStage(qint16 whatStage);
    Next runPortStage();
    Next runInternetStage();
    Next runDownloadStage();
    Next runFlashStage();
    qint16 advance();
    void whileBusy(const std::function<void()> &work);

    qint16 detect();
    bool flash();
    void showCompletion();
    [[noreturn]] void endAfterPause();
    void storePort(const QString &port);
    void addText(const QString &whatText) { m_window.addText(whatText); }

    SessionWindow &m_window;
    Settings m_stored;
    const QString m_flashPort;
    device m_device;
    webservice m_webservice;
    SerialControl MSComm1;

    qint16 currentStage = 0;
    bool updateInProgress = false;
    qint16 comPortNumber = 0;
    // One count for the device reads (up to 5) and the flash attempts (up to
    // 3): reads that succeeded count against the flash.
    qint16 attemptCount = 0;
    // From the last identity read and the last download.
    QString m_systemNumber;
    std::optional<deviceFile> m_image;
};

// The port number a stored "COMPort" text stands for: an optionally signed
// decimal number, blanks around it allowed, with the locale's decimal
// separator before an optional fraction, rounded halves to even. Anything
// else, and a number outside 16 bits, gives no port.
std::optional<qint16> portNumberFromText(const QString &text,
                                         const QLocale &locale = QLocale::system());

// Ends the program at once: no close handler runs, nothing is saved, nothing
// is waited for, and a flash tool that is running goes on to its end. The PC
// is no longer kept awake.
[[noreturn]] void endProgramNow(int exitCode = 0);

} // namespace brimo
