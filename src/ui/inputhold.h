#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

class QEvent;

namespace brimo {

// While it lives, the user's clicks, keys and shortcuts wait: it takes them
// before any window sees them and hands them on, in order, when it ends, as
// the platform queues input for a program that is busy. Painting, timers and
// close requests go on meanwhile, and so does the input of a box that a close
// request opens.
class InputHold : public QObject {
public:
    InputHold();
    ~InputHold() override;

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override;

private:
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_held;
};

} // namespace brimo
