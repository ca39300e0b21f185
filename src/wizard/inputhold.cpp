#include "wizard/inputhold.h"

#include <QApplication>
#include <QMouseEvent>

namespace brimo {

namespace {

bool isUserInput(const QEvent &event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
        return true;
    case QEvent::MouseMove:
        // A move with no button down only moves the hover highlight.
        return static_cast<const QMouseEvent &>(event).buttons() != Qt::NoButton;
    default:
        return false;
    }
}

} // namespace

InputHold::InputHold()
{
    qApp->installEventFilter(this);
}

InputHold::~InputHold()
{
    qApp->removeEventFilter(this);
    for (auto &[receiver, event] : m_held) {
        if (receiver)
            QCoreApplication::sendEvent(receiver, event.get());
    }
}

bool InputHold::eventFilter(QObject *receiver, QEvent *event)
{
    // A box opened meanwhile (the question a close request asks) is answered
    // at once; the windows behind it take no input while it is shown.
    if (!isUserInput(*event) || QApplication::activeModalWidget())
        return false;
    m_held.emplace_back(receiver, event->clone());
    return true;
}

} // namespace brimo
