#include "driver/windowdriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QWindow>

#include <memory>

namespace brimo::sim {

WindowDriver::WindowDriver(QWidget &window, QObject *parent) : QObject(parent), m_window(window)
{
    connect(&m_look, &QTimer::timeout, this, &WindowDriver::look);
    m_look.start(20); // often enough that a box is answered before anyone would notice it
}

bool WindowDriver::press(const QString &name)
{
    QPointer<QAbstractButton> button = control<QAbstractButton>(name);
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    // Through the window, as the window system delivers a click: a modal box
    // in front, or input the window holds back, applies to it.
    later([button] {
        if (QWidget *top = button ? button->window() : nullptr)
            QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              button->mapTo(top, button->rect().center()));
    });
    return true;
}

bool WindowDriver::choose(const QString &name)
{
    QPointer<QAction> action = control<QAction>(name);
    if (action && action->isEnabled())
        later([action] {
            if (action)
                action->trigger();
        });
    return action && action->isEnabled();
}

void WindowDriver::requestClose()
{
    later([this] {
        if (QWindow *handle = m_window.windowHandle())
            handle->close();
    });
}

void WindowDriver::later(std::function<void()> action)
{
    ++m_running;
    QTimer::singleShot(0, this, [this, action = std::move(action)] {
        action();
        --m_running;
    });
}

// --- message boxes and dialogs ---------------------------------------------

QString WindowDriver::Box::whole() const
{
    const QMetaEnum names = QMetaEnum::fromType<QMessageBox::StandardButtons>();
    QStringList shown;
    for (int button = QMessageBox::FirstButton; button <= QMessageBox::LastButton; button <<= 1) {
        if (buttons.testFlag(QMessageBox::StandardButton(button)))
            shown << names.valueToKey(button) + QString(defaultButton == button ? "*" : "");
    }
    return QStringLiteral("[%1] [%2] [%3] %4")
        .arg(caption, QLatin1String(QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(icon)),
             shown.join(u' '), text);
}

void WindowDriver::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    const bool fresh = modal != m_seen;
    m_seen = modal;
    auto *dialog = qobject_cast<QDialog *>(modal);
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        handleBox(*box, fresh);
    } else if (dialog && fresh) {
        ++m_dialogsSeen;
        if (m_dialogActions.isEmpty())
            dialog->reject();
        else
            m_dialogActions.dequeue()(*dialog);
    }
}

void WindowDriver::handleBox(QMessageBox &box, bool fresh)
{
    QMessageBox::StandardButton choice = QMessageBox::NoButton;
    if (fresh) {
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        for (QAbstractButton *button : box.buttons()) {
            if (const auto *push = qobject_cast<QPushButton *>(button); push && push->isDefault())
                defaultButton = box.standardButton(button);
        }
        m_boxes << Box{box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                       defaultButton};
        emit boxShown(m_boxes.constLast());
        const Answer answer = m_answers.isEmpty() ? Answer{} : m_answers.dequeue();
        if (!answer.text.isEmpty() && answer.text != box.text())
            m_surprises << QStringLiteral("expected the box \"%1\", saw \"%2\"")
                               .arg(answer.text, box.text());
        choice = answer.button;
    }
    if (choice == QMessageBox::NoButton && m_boxHandler) {
        choice = m_boxHandler(box);
        if (choice == QMessageBox::NoButton)
            return; // the user is still reading
    } else if (choice == QMessageBox::NoButton && fresh) {
        m_surprises << QStringLiteral("a box nobody expected: ") + box.text();
    }
    QAbstractButton *button = box.button(choice) ? box.button(choice) : box.button(QMessageBox::No);
    if (!button && !box.buttons().isEmpty())
        button = box.buttons().constFirst();
    if (button)
        button->click();
}

// --- the activity log ------------------------------------------------------

QString WindowDriver::withoutDots(QString line)
{
    static const QRegularExpression dots(QStringLiteral("( \\. \\. \\.)+$"));
    return line.remove(dots);
}

QStringList WindowDriver::logLines() const
{
    const QString text = logText();
    QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = withoutDots(line);
    return lines;
}

void WindowDriver::whenLogShows(const QString &line, std::function<void()> action, int delayMs)
{
    QPlainTextEdit *box = log();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(box, &QPlainTextEdit::textChanged, this, [=] {
        if (withoutDots(box->document()->lastBlock().text()) != line)
            return;
        disconnect(*connection);
        if (delayMs < 0)
            action();
        else
            QTimer::singleShot(delayMs, this, action);
    });
}

} // namespace brimo::sim
