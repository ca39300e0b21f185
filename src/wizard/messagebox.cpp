#include "wizard/messagebox.h"

namespace brimo {

namespace {

const QString kApplicationTitle = QStringLiteral("Brimo update utility");

} // namespace

QMessageBox::StandardButton showMessage(QWidget *parent, const QString &text, MessageStyle style)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (style) {
    case MessageStyle::Ok:
        break;
    case MessageStyle::YesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case MessageStyle::CriticalOk:
        icon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(icon, kApplicationTitle, text, buttons, parent);
    // Closing a question by its close box or with Escape answers No.
    if (style == MessageStyle::YesNo) {
        box.setEscapeButton(QMessageBox::No);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace brimo
