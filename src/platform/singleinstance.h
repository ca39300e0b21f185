#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QLocalServer;

namespace brimo {

// The test for another running copy of the utility: a lock that the system
// lets go of when its last holder ends in any way. A flash tool the utility
// starts holds it too where it can (runHidden() hands it on), so a copy
// started while a tool still writes ends at once rather than take the same
// port; where it cannot (a Windows tool run through Wine, whose background
// processes would keep it long after), the utility itself waits for the tool.
//
// On Linux and macOS a lock on a file (Places::lockPath), per user; on
// Windows a named object for the whole PC, named after that path: the
// work file beside the program is shared by every user.
class SingleInstance {
public:
    enum class Lock {
        Taken,         // this copy runs
        Held,          // another copy of this user's holds it, or a tool it left
        HeldByAnother, // another user's copy holds it (Windows)
        Unavailable,   // the lock cannot be set up: error() says why
    };

    explicit SingleInstance(const QString &lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    Lock tryLock();
    QString error() const { return m_error; }

    // The copy that holds the lock: `comeForward` runs each time a copy
    // started later finds the lock held.
    void answerLaterCopies(std::function<void()> comeForward);
    // A copy that found the lock held asks the one that holds it to come to
    // the front; false when that one cannot be reached (another user's, on
    // Windows, whose window this user could not see anyway).
    bool askToComeForward();
    // The lock held, as a program started now would inherit it: a descriptor
    // or a Windows handle; -1 when none is held.
    qintptr handle() const { return m_handle; }

private:
    QString beaconName() const;
    // Lets the copy that holds the lock take the foreground (Windows).
    static void letOthersComeForward();

    QString m_path;
    QString m_error;
    qintptr m_handle = -1;
    std::unique_ptr<QLocalServer> m_beacon;
};

} // namespace brimo
