#pragma once

#include "settings/settingsstore.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace brimo {

// The wizard's stages in their order. The stage counter holds any 16-bit
// number: every one but the five stages shows the welcome page.
enum class Stage : qint16 { Welcome = 0, Port, DownloadMode, Internet, Download, Flash };
inline constexpr qint16 kStageCount = 5;
static_assert(static_cast<qint16>(Stage::Flash) == kStageCount);

// The request to put the device into download mode: in the box after a
// failed read has found the device again, and opening stage 2's page.
inline const QString kDownloadModeRequest =
    QStringLiteral("Please remove power to the Brimo device, wait 10 seconds, switch it to the "
                   "'D/L' position and re-apply power.");

// Whoever shows the update session to the user: the log, the progress bar,
// the moving dots, the session's steps, its boxes and the settings dialog.
// The session holds nothing of the window; every box and dialog is modal and
// returns the answer.
class SessionWindow {
public:
    // A step of the session as the window shows it: its page, the page's text
    // and the footer's buttons (which are shown, which of the port search's
    // two take a click, the first stage's caption).
    enum class Step {
        Welcome,      // the welcome page
        PortStage,    // stage 1's page, its button shown
        PortUnknown,  // no port stored: the settings or the auto detection
        PortStored,   // a port stored: the button scans it
        PortSilent,   // the scan heard nothing: the auto detection offered
        PortChosen,   // a port chosen in the settings: the first stage scans it
        Searching,    // a scan or an auto detection runs
        Searched,     // the scan has ended
        NotFound,     // the auto detection found nothing
        Found,        // the auto detection found the device
        DownloadMode, // stage 2: switch to D/L, then read the device
        Reading,      // the device is read: its button hidden
        ReadAgain,    // found again after a failed read: stage 2's text anew
        ReadGivenUp,  // the reads gave up: the button again
        Internet,     // stage 3
        Download,     // stage 4
        Flash,        // stage 5
        Completed,    // the completion page
        FlashGivenUp, // the flash gave up: the button repeats it
    };
    static constexpr int kStepCount = static_cast<int>(Step::FlashGivenUp) + 1;
    // OK without an icon, OK with the stop icon, or Yes and No.
    enum class Box { Ok, Stop, YesNo };

    virtual ~SessionWindow() = default;

    // Appends one line to the activity log.
    virtual void addText(const QString &whatText) = 0;
    // One line for whoever helps the user: the update's log file has it, the
    // window's log does not.
    virtual void supportNote(const QString &line) = 0;
    // Sets the progress bar (0 to 100).
    virtual void setProgress(int value) = 0;
    // Switches the dots that show that the update is still at work.
    virtual void setDotsEnabled(bool enabled) = 0;
    // Empties the log for an update begun at `began`, whose log file starts:
    // one line saying why that file cannot be kept, or the empty text.
    virtual QString beginLog(const QDateTime &began) = 0;
    // The stage header, also written for a number that shows no stage.
    virtual void showStage(Stage stage) = 0;
    virtual void showStep(Step step) = 0;
    // A box with the application title as its caption: true when answered Yes.
    virtual bool showBox(const QString &text, Box box) = 0;
    // The settings dialog, showing `shown`, its ports 1 to 16 and then
    // `morePorts`: what the user chose, or nothing when the dialog was left
    // without OK.
    virtual std::optional<Settings> chooseSettings(const Settings &shown,
                                                   const QList<int> &morePorts) = 0;
    // While held, the user's clicks and keys wait: the flash tool runs.
    virtual void holdInput(bool held) = 0;
    // Asks the window to close, as the user would; the session says whether it may.
    virtual void askToClose() = 0;

protected:
    SessionWindow() = default;
    SessionWindow(const SessionWindow &) = default;
    SessionWindow &operator=(const SessionWindow &) = default;
};

} // namespace brimo
