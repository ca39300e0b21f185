#pragma once

#include "platform/reporter.h"
#include "settings/registry.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace brimo {

// The request to put the device into download mode: on stage 2's page, and in
// the box after a failed read has found the device again.
inline const QString kDownloadModeRequest =
    QStringLiteral("Please remove power to the Brimo device, wait 10 seconds, switch it to the "
                   "'D/L' position and re-apply power.");

// Whoever shows the update session to the user: beside what the core reports,
// the session's steps, its boxes and the settings dialog. The session holds
// nothing of the window; every box and dialog is modal and returns the answer.
class SessionWindow : public Reporter {
public:
    // A step of the session as the window shows it: its page, the page's text
    // and the footer's buttons (which are shown, which of the port search's
    // two take a click, the first stage's caption).
    enum class Step {
        Welcome,      // the welcome page
        PortUnknown,  // stage 1, no port stored: the settings or the auto detection
        PortStored,   // stage 1, a port stored: scan it
        PortSilent,   // the scan heard nothing: the auto detection offered
        PortChosen,   // a port chosen in the settings: the first stage scans it
        Searching,    // a scan or an auto detection runs
        Searched,     // the scan has ended
        NotFound,     // the auto detection found nothing
        Found,        // the auto detection found the device
        DownloadMode, // stage 2: switch to D/L, then read the device
        Reading,      // the device is read (stage 2's text again, no button)
        ReadGivenUp,  // the reads gave up: the button again
        Internet,     // stage 3
        Download,     // stage 4
        Flash,        // stage 5
        Completed,    // the completion page
        FlashGivenUp, // the flash gave up: the button repeats it
    };
    // OK without an icon, OK with the stop icon, or Yes and No.
    enum class Box { Ok, Stop, YesNo };

    // Empties the log for an update begun at `began`, whose log file starts:
    // one line saying why that file cannot be kept, or the empty text.
    virtual QString beginLog(const QDateTime &began) = 0;
    // The stage header, "Stage <stage> of 5:".
    virtual void showStage(qint16 stage) = 0;
    virtual void showStep(Step step) = 0;
    // A box with the application title as its caption: true when answered Yes.
    virtual bool showBox(const QString &text, Box box) = 0;
    // The settings dialog, showing `shown`: what the user chose, or nothing
    // when the dialog was left without OK.
    virtual std::optional<Settings> chooseSettings(const Settings &shown) = 0;
    // While held, the user's clicks and keys wait: the flash tool runs.
    virtual void holdInput(bool held) = 0;
    // Asks the window to close, as the user would; the session says whether it may.
    virtual void askToClose() = 0;
};

} // namespace brimo
