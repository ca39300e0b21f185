#include "driver/windowdriver.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QWindow>

#include <memory>

namespace brimo::sim {

namespace {

// Often enough that a box is answered before anyone would notice it.
constexpr int kLookIntervalMs = 20;

} // namespace

WindowDriver::WindowDriver(QWidget &window, QObject *parent) : QObject(parent), m_window(window)
{
    connect(&m_look, &QTimer::timeout, this, &WindowDriver::look);
    m_look.start(kLookIntervalMs);
}

bool WindowDriver::isShown(const QString &name) const
{
    const QWidget *widget = control(name);
    return widget && widget->isVisible();
}

bool WindowDriver::press(const QString &name)
{
    QPointer<QAbstractButton> button = control<QAbstractButton>(name);
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    later([button] {
        if (!button)
            return;
        // Through the window, as the window system delivers a click: a modal
        // box in front or input held back by the window applies to it.
        QWidget *top = button->window();
        const QPoint centre = button->mapTo(top, button->rect().center());
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
    });
    return true;
}

bool WindowDriver::choose(const QString &name)
{
    QPointer<QAction> action = control<QAction>(name);
    if (!action || !action->isEnabled())
        return false;
    later([action] {
        if (action)
            action->trigger();
    });
    return true;
}

void WindowDriver::requestClose()
{
    later([this] {
        if (QWindow *handle = m_window.windowHandle())
            handle->close();
    });
}

bool WindowDriver::waitUntilIdle(int timeoutMs)
{
    return QTest::qWaitFor([this] { return isIdle(); }, timeoutMs);
}

bool WindowDriver::run(const QString &name, int timeoutMs)
{
    return press(name) && waitUntilIdle(timeoutMs);
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

void WindowDriver::answer(QMessageBox::StandardButton button, const QString &text)
{
    m_answers.enqueue({button, text});
}

void WindowDriver::inNextDialog(std::function<void(QDialog &)> action)
{
    m_dialogActions.enqueue(std::move(action));
}

QStringList WindowDriver::boxTexts() const
{
    QStringList texts;
    for (const Box &box : m_boxes)
        texts << box.text;
    return texts;
}

void WindowDriver::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    const bool fresh = modal != m_seen;
    m_seen = modal;
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        handleBox(*box, fresh);
    else if (auto *dialog = qobject_cast<QDialog *>(modal); dialog && fresh)
        handleDialog(*dialog);
}

void WindowDriver::handleBox(QMessageBox &box, bool fresh)
{
    QMessageBox::StandardButton choice = QMessageBox::NoButton;
    if (fresh) {
        m_boxes << Box{box.windowTitle(), box.text(), box.icon(), box.standardButtons()};
        emit boxShown(m_boxes.constLast());
        if (!m_answers.isEmpty())
            choice = queuedAnswer(box.text());
    }
    if (choice == QMessageBox::NoButton && m_boxHandler) {
        choice = m_boxHandler(box);
        if (choice == QMessageBox::NoButton)
            return; // the user is still reading
    } else if (choice == QMessageBox::NoButton && fresh) {
        m_surprises << QStringLiteral("a box nobody expected: ") + box.text();
    }
    QAbstractButton *button = box.button(choice);
    if (!button) {
        button = box.button(QMessageBox::No);
        if (!button && !box.buttons().isEmpty())
            button = box.buttons().constFirst();
    }
    if (button)
        button->click();
}

QMessageBox::StandardButton WindowDriver::queuedAnswer(const QString &text)
{
    const Answer answer = m_answers.dequeue();
    if (!answer.text.isEmpty() && answer.text != text)
        m_surprises << QStringLiteral("expected the box \"%1\", saw \"%2\"").arg(answer.text, text);
    return answer.button;
}

void WindowDriver::handleDialog(QDialog &dialog)
{
    ++m_dialogsSeen;
    if (m_dialogActions.isEmpty())
        dialog.reject();
    else
        m_dialogActions.dequeue()(dialog);
}

// --- the activity log ------------------------------------------------------

QPlainTextEdit *WindowDriver::log() const
{
    return control<QPlainTextEdit>(QStringLiteral("Text1"));
}

QString WindowDriver::withoutDots(QString line)
{
    static const QRegularExpression dots(QStringLiteral("( \\. \\. \\.)+$"));
    return line.remove(dots);
}

QString WindowDriver::logText() const
{
    return log() ? log()->toPlainText() : QString();
}

QStringList WindowDriver::logLines() const
{
    const QString text = logText();
    QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = withoutDots(line);
    return lines;
}

bool WindowDriver::waitForLogLine(const QString &line, int timeoutMs)
{
    return QTest::qWaitFor([&] { return logLines().contains(line); }, timeoutMs);
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
