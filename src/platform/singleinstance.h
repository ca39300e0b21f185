#pragma once

#include <QLockFile>
#include <QString>

namespace brimo {

// The test for another running copy of the utility: a lock file in the temp
// folder. $BRIMO_INSTANCE_LOCK names another lock file, so that tests and
// scripts can run copies side by side without meeting a user's copy.
//
// The utility ends without running destructors (a running flash tool must not
// be killed), so its lock file stays behind; the next copy finds the process
// that wrote it gone and takes the lock over.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());

    // True when this copy is now the only one; false when another holds the lock.
    bool tryLock();

    static QString defaultLockPath();

private:
    QLockFile m_lock;
};

} // namespace brimo
