#pragma once

#include <QMessageBox>
#include <QString>

namespace brimo::sim {

// How a user at the simulated device answers one of the utility's message boxes.
struct BoxAnswer {
    QString deviceMode; // switch the device first ("normal", "dl"), or ""
    QMessageBox::StandardButton button = QMessageBox::Ok;
    bool givesUp = false; // the box says the update cannot go on
};

// The answer to a box with `text` offering `buttons`: follow its instruction
// on the device, retry a failed download, never terminate a running update.
BoxAnswer answerFor(const QString &text, QMessageBox::StandardButtons buttons);

} // namespace brimo::sim
