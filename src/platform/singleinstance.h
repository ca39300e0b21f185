#pragma once

#include <QString>
#include <QtGlobal>

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
    // The lock held, as a program started now would inherit it: a descriptor
    // or a Windows handle; -1 when none is held.
    qintptr handle() const { return m_handle; }

private:
    QString m_path;
    QString m_error;
    qintptr m_handle = -1;
};

} // namespace brimo
