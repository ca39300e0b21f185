#pragma once

// Acts on the next modal window from a timer, as a user would: the code under
// test is blocked in that window's exec() meanwhile.

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace brimo::test {

// Calls act with the next modal window that shows up within timeoutMs.
inline void whenModalShown(std::function<void(QWidget *)> act, int timeoutMs = 10000)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, act = std::move(act)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (modal)
            act(modal);
    });
    poll->start();
}

// What a message box showed.
struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next message box by clicking button; records what it showed.
inline void answerMessageBox(QMessageBox::StandardButton button, SeenBox *seen = nullptr)
{
    whenModalShown([button, seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        if (seen)
            *seen = {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        if (QAbstractButton *target = box->button(button))
            target->click();
    });
}

} // namespace brimo::test
