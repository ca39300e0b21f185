#pragma once

#include <QMessageBox>
#include <QString>

namespace brimo {

// The kinds of message box the wizard shows; every one carries the
// application title as its caption.
enum class MessageStyle {
    Ok,         // OK, no icon: instructions before a retry
    YesNo,      // Yes and No, no icon: questions
    CriticalOk, // OK with the stop icon: failures that send the user back
};

// Shows a modal box owned by parent and returns the button the user chose.
QMessageBox::StandardButton showMessage(QWidget *parent, const QString &text, MessageStyle style);

} // namespace brimo
