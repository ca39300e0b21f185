#include "ui/inputhold.h"

#include <QApplication>
#include <QKeyEvent>
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
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // Alt+F4 left alone turns into the window system's close request on
        // Windows, which is answered at once like the close button.
        const auto &key = static_cast<const QKeyEvent &>(event);
        return key.key() != Qt::Key_F4 || key.modifiers() != Qt::AltModifier;
    }
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
