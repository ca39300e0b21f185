#pragma once

#include <QObject>

// Watches every event of the application for the first paint of a top-level
// widget. It names that window and counts its widgets, and once the paint
// has reached the screen it prints "first_paint_ns <monotonic nanoseconds>"
// on stdout and ends the process.
class FirstPaintWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reportAndQuit();

    bool m_seen = false;
};
