#pragma once

#include <QThread>

#include <chrono>

namespace brimo {

// The pauses the update makes on purpose: plain waits in which the window
// handles nothing, not even a repaint.
class Pauses {
public:
    virtual ~Pauses() = default;
    virtual void pause(std::chrono::milliseconds length) = 0;

protected:
    Pauses() = default;
    Pauses(const Pauses &) = default;
    Pauses &operator=(const Pauses &) = default;
};

// The thread sleeps.
class SleepPauses : public Pauses {
public:
    void pause(std::chrono::milliseconds length) override
    {
        QThread::msleep(static_cast<unsigned long>(length.count()));
    }
};

} // namespace brimo
