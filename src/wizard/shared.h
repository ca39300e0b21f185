#pragma once

#include "settings/registry.h"

#include <QString>
#include <QtGlobal>

namespace brimo {

// The wizard's shared state, one per run.
struct SharedState {
    qint16 currentStage = 0;
    bool updateInProgress = false;
    qint16 comPortNumber = 0;
};

// Lines of the log and of the boxes' texts end in CR LF.
inline const QString kCrLf = QStringLiteral("\r\n");

// The utility's settings, under HKEY_LOCAL_MACHINE\Software\Brimo.
inline QString storedSetting(const QString &name)
{
    return getRegistryValue(kHkeyLocalMachine, kSettingsKey, name, QString());
}
inline void storeSetting(const QString &name, const QString &text)
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, name, text);
}

} // namespace brimo
