#pragma once

#include "session/sessionwindow.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace brimo {

// Lines of the log and of the boxes' texts end in CR LF.
inline const QString kCrLf = QStringLiteral("\r\n");

// Shows a modal box owned by parent, with the application title as its
// caption and its text as plain text, and returns the button the user chose:
// OK without an icon for instructions before a retry, OK with the stop icon
// for failures that send the user back, Yes and No for questions (answered
// only by Yes or No).
QMessageBox::StandardButton showMessage(QWidget *parent, const QString &text,
                                        SessionWindow::Box box);

// The text, or as much of it as a box can show on a small screen with a note
// that the rest was cut; a word longer than a line broken where the line ends.
QString cutToFit(const QString &text);

// What stays on screen once the window has gone while the flash tool still
// runs: no button, and no close box that would close it. It goes with the
// program, when the tool has ended.
class StillWritingNotice : public QWidget {
public:
    StillWritingNotice();

protected:
    void closeEvent(QCloseEvent *event) override;
};

} // namespace brimo
