#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

class QDialog;

namespace brimo::sim {

// Plays the user of the utility's window, for the whole-run tests and the
// demo's autopilot: presses its buttons by object name, answers its message
// boxes, reads and watches its activity log ("Text1"). Qt Widgets and Qt Test
// only, so it runs wherever the window does. The stages run inside the click
// that starts them, and every box waits in an event loop of its own, so a press
// is carried out later, from the event loop, and boxes are found by a timer
// that looks at the screen in whatever event loop the window waits.
class WindowDriver : public QObject {
    Q_OBJECT
public:
    // One message box as the user saw it.
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        // The box whole: "[caption] [icon] [buttons, the default one starred] text".
        QString whole() const;
    };
    // Chooses the answer to a box that no queued answer covers; NoButton
    // leaves the box open for now, to be asked again at the next look.
    using BoxHandler = std::function<QMessageBox::StandardButton(QMessageBox &)>;

    explicit WindowDriver(QWidget &window, QObject *parent = nullptr);

    QWidget &window() const { return m_window; }
    // A control of the window by its object name, or nullptr.
    template <typename Control = QWidget> Control *control(const QString &name) const
    {
        return m_window.findChild<Control *>(name);
    }
    bool isShown(const QString &name) const { return control(name) && control(name)->isVisible(); }

    // Clicks the visible, enabled button `name` later, from the event loop.
    bool press(const QString &name);
    // Chooses the menu command `name` (an action's object name) in the same way.
    bool choose(const QString &name);
    // Asks the window to close as the window system does (its close box).
    void requestClose();
    // Every press and command so far has returned, with the stages it ran.
    bool isIdle() const { return m_running == 0; }
    bool waitUntilIdle(int timeoutMs = kLongWaitMs)
    {
        return QTest::qWaitFor([this] { return isIdle(); }, timeoutMs);
    }
    // press() and waitUntilIdle() together.
    bool run(const QString &name, int timeoutMs = kLongWaitMs)
    {
        return press(name) && waitUntilIdle(timeoutMs);
    }

    // The answer to the next box, which should say `text` (when given; if not,
    // it is answered all the same and counted in surprises()).
    void answer(QMessageBox::StandardButton button, const QString &text = QString())
    {
        m_answers.enqueue({button, text});
    }
    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }
    // The user's action in the next dialog that is no box; without, Cancel.
    void inNextDialog(std::function<void(QDialog &)> action)
    {
        m_dialogActions.enqueue(std::move(action));
    }
    const QList<Box> &boxes() const { return m_boxes; }
    // Boxes that said what no queued answer expected, or came unasked: these
    // were answered No where offered (never ending an update by surprise),
    // else by their first button.
    const QStringList &surprises() const { return m_surprises; }
    int dialogsSeen() const { return m_dialogsSeen; }

    // The log as it stands, lines separated by "\n", the dots included.
    QString logText() const { return log() ? log()->toPlainText() : QString(); }
    // The log's lines without the dots the timer adds to the last line.
    QStringList logLines() const;
    bool waitForLogLine(const QString &line, int timeoutMs = kLongWaitMs)
    {
        return QTest::qWaitFor([&] { return logLines().contains(line); }, timeoutMs);
    }
    // Runs `action` once, `delayMs` after the log's last line reads `line`
    // (dots aside); with a negative delay at once, before the window's next step.
    void whenLogShows(const QString &line, std::function<void()> action, int delayMs = 0);

    static QString withoutDots(QString line);
    static constexpr int kLongWaitMs = 120000;

signals:
    void boxShown(const brimo::sim::WindowDriver::Box &box);

private:
    void look();
    void handleBox(QMessageBox &box, bool fresh);
    void later(std::function<void()> action);
    QPlainTextEdit *log() const { return control<QPlainTextEdit>(QStringLiteral("Text1")); }

    struct Answer {
        QMessageBox::StandardButton button;
        QString text;
    };

    QWidget &m_window;
    QTimer m_look;
    int m_running = 0;
    QQueue<Answer> m_answers;
    BoxHandler m_boxHandler;
    QQueue<std::function<void(QDialog &)>> m_dialogActions;
    QPointer<QWidget> m_seen; // the modal window of the last look
    QList<Box> m_boxes;
    QStringList m_surprises;
    int m_dialogsSeen = 0;
};

} // namespace brimo::sim
