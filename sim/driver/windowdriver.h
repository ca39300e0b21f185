#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;
class QPlainTextEdit;

namespace brimo::sim {

// Plays the user of the utility's window: presses its buttons by their object
// names, answers its message boxes, reads and watches its activity log
// ("Text1"). It serves the whole-run tests and the demo's autopilot alike, and
// needs nothing but Qt Widgets and Qt Test, so it runs wherever the window does.
//
// The stages run nested inside the click that starts them and inside every
// message box, so a press is carried out later, from the event loop, and the
// boxes are found by looking at the screen every few milliseconds: a timer
// that keeps firing in whatever event loop the window is waiting in.
class WindowDriver : public QObject {
    Q_OBJECT
public:
    // One message box as the user saw it.
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
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
    bool isShown(const QString &name) const;

    // Clicks the visible, enabled button `name` with the mouse, from the event
    // loop: the call returns at once. False when there is no such button.
    bool press(const QString &name);
    // Chooses the menu command `name` (an action's object name) in the same way.
    bool choose(const QString &name);
    // Asks the window to close as the window system does (its close box).
    void requestClose();
    // True when every press and command made so far has returned, with all
    // the stages it ran.
    bool isIdle() const { return m_running == 0; }
    bool waitUntilIdle(int timeoutMs = kLongWaitMs);
    // press() and waitUntilIdle() together.
    bool run(const QString &name, int timeoutMs = kLongWaitMs);

    // Queues the answer to the next box: `button`, after checking that the box
    // says `text` (when given). A box that says something else is answered all
    // the same and counted in surprises().
    void answer(QMessageBox::StandardButton button, const QString &text = QString());
    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }
    // What the user does in the next modal dialog that is not a message box;
    // without it, a dialog is closed by its Cancel.
    void inNextDialog(std::function<void(QDialog &)> action);
    const QList<Box> &boxes() const { return m_boxes; }
    QStringList boxTexts() const;
    // Boxes that said what no queued answer expected, or came unasked: each
    // was answered No where it offered No (never ending an update by
    // surprise), else by its first button.
    const QStringList &surprises() const { return m_surprises; }
    int dialogsSeen() const { return m_dialogsSeen; }

    // The log as it stands, lines separated by "\n", the dots included.
    QString logText() const;
    // The log's lines without the dots the timer adds to the last line.
    QStringList logLines() const;
    bool waitForLogLine(const QString &line, int timeoutMs = kLongWaitMs);
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
    QMessageBox::StandardButton queuedAnswer(const QString &text);
    void handleDialog(QDialog &dialog);
    void later(std::function<void()> action);
    QPlainTextEdit *log() const;

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
