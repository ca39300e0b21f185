#include "boxanswer.h"

namespace brimo::sim {
namespace {

QMessageBox::StandardButton firstOf(QMessageBox::StandardButtons offered,
                                    std::initializer_list<QMessageBox::StandardButton> wanted)
{
    for (QMessageBox::StandardButton button : wanted) {
        if (offered.testFlag(button))
            return button;
    }
    return QMessageBox::NoButton;
}

} // namespace

BoxAnswer answerFor(const QString &text, QMessageBox::StandardButtons buttons)
{
    BoxAnswer answer;
    // The detection that follows this box listens for the NMEA stream.
    if (text.contains(QLatin1String("NORMAL mode")))
        answer.deviceMode = QStringLiteral("normal");
    else if (text.contains(QLatin1String("'D/L'")))
        answer.deviceMode = QStringLiteral("dl");

    if (text.contains(QLatin1String("Terminate update process?"))) {
        answer.button = firstOf(buttons, {QMessageBox::No, QMessageBox::Cancel});
        answer.givesUp = true;
    } else if (text.contains(QLatin1String("Would you like to retry?"))) {
        answer.button = firstOf(buttons, {QMessageBox::Yes, QMessageBox::Ok});
    } else {
        answer.button = firstOf(buttons, {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Close});
        answer.givesUp = text.contains(QLatin1String("will now shut down"));
    }
    return answer;
}

} // namespace brimo::sim
