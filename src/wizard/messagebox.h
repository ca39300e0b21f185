#pragma once

#include <QMessageBox>
#include <QString>

namespace brimo {

// The kinds of message box the wizard shows; every one carries the
// application title as its caption.
enum class MessageStyle {
    Ok,         // OK, no icon: instructions before a retry
    YesNo,      // Yes and No, no icon: questions, answered only by Yes or No
    CriticalOk, // OK with the stop icon: failures that send the user back
};

// Shows a modal box owned by parent, its text as plain text, and returns the
// button the user chose.
QMessageBox::StandardButton showMessage(QWidget *parent, const QString &text, MessageStyle style);

// The text, or as much of it as a box can show on a small screen with a note
// that the rest was cut; a word longer than a line broken where the line ends.
QString cutToFit(const QString &text);

} // namespace brimo
