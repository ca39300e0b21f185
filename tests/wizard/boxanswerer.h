#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QTimer>

#include <functional>
#include <map>

// Answers the wizard's message boxes as a user would. The boxes are shown
// from inside the stage that is running, so the answers are queued before the
// click that starts it; a timer then watches for each modal box, records what
// it shows and clicks the next queued button. A box that comes when no answer
// is queued is recorded and closed with its first button, so a test that did
// not expect it fails on the record instead of hanging.
class BoxAnswerer : public QObject {
public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };

    BoxAnswerer()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    // The answers for the next boxes, in the order they will appear.
    void queue(std::initializer_list<QMessageBox::StandardButton> answers)
    {
        for (const QMessageBox::StandardButton answer : answers)
            m_answers.enqueue(answer);
    }
    // What the user does in the next modal dialog that is not a message box.
    void inNextDialog(std::function<void(QDialog *)> action) { m_dialogActions.enqueue(action); }
    int dialogsSeen() const { return m_dialogsSeen; }

    // Runs when box number `index` (counted from 0 over every box seen) is
    // open, before it is answered: what the user does while it is shown.
    void onBox(int index, std::function<void()> action) { m_onBox[index] = std::move(action); }

    // Told about every box as it opens, after onBox and before the answer.
    void onEachBox(std::function<void(const Box &)> observer) { m_observer = std::move(observer); }

    const QList<Box> &seen() const { return m_seen; }
    QStringList seenTexts() const
    {
        QStringList texts;
        for (const Box &box : m_seen)
            texts << box.text;
        return texts;
    }
    int pending() const { return int(m_answers.size()); }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_current.data() || !modal->isVisible())
            return;
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            handleDialog(qobject_cast<QDialog *>(modal));
            return;
        }
        m_current = box;
        Box seen{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        if (const auto action = m_onBox.find(int(m_seen.size())); action != m_onBox.end())
            action->second();
        QAbstractButton *button = nullptr;
        if (!m_answers.isEmpty()) {
            seen.answer = m_answers.dequeue();
            button = box->button(seen.answer);
        }
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().constFirst();
        m_seen << seen;
        if (m_observer)
            m_observer(seen);
        if (button)
            button->click();
    }

    void handleDialog(QDialog *dialog)
    {
        if (!dialog)
            return;
        m_current = dialog;
        ++m_dialogsSeen;
        if (m_dialogActions.isEmpty())
            dialog->reject();
        else
            m_dialogActions.dequeue()(dialog);
    }

    QTimer m_timer;
    QQueue<QMessageBox::StandardButton> m_answers;
    QPointer<QWidget> m_current;
    QQueue<std::function<void(QDialog *)>> m_dialogActions;
    int m_dialogsSeen = 0;
    QList<Box> m_seen;
    std::map<int, std::function<void()>> m_onBox;
    std::function<void(const Box &)> m_observer;
};
