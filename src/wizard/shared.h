#pragma once

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
// The request to put the device into download mode: on stage 2's page, and in
// the box after a failed read has found the device again.
inline const QString kDownloadModeRequest =
    QStringLiteral("Please remove power to the Brimo device, wait 10 seconds, switch it to the "
                   "'D/L' position and re-apply power.");

} // namespace brimo
