#pragma once

#include "driver/windowdriver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>

namespace brimo::sim {

// Plays the user of the utility's window through one whole update, through
// the window driver: starts it, lets it find the device, switches the
// simulated device as the window asks, answers the message boxes, then checks
// that the device holds the new image with its own identity. It looks at the
// window from a timer, as a user looks at the screen, and acts on each page
// once the stage of the last press has returned.
class Autopilot : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString device;  // the simulated device's control interface, HOST:PORT
        QString flash;   // the simulated device's flash file
        QString service; // the vendor service the utility uses, HOST:PORT
        QString out;     // where the pictures of the pages go
        int timeoutS = 180;
        int paceMs = 0; // how long each page and box is shown before acting on it
    };

    Autopilot(QWidget &window, Options options, QObject *parent = nullptr);
    void start();

signals:
    // 0 when the device holds the new image; emitted once.
    void finished(int exitCode);

private:
    void look();
    void showBox(const WindowDriver::Box &box);
    QMessageBox::StandardButton answer(const QMessageBox &box);
    void act(const QString &page);
    bool usable(const QString &button) const;
    void press(const QString &button);
    QString page() const;
    void picture(const QString &name, QWidget &widget);
    bool setDevice(const QString &mode);
    void printLog(bool all);
    void finish();
    void fail(const QString &why);

    QWidget &m_window;
    WindowDriver m_driver;
    Options m_options;
    QTimer m_look;
    QTimer m_watchdog;
    QByteArray m_systemNumber;
    QString m_page; // the page in view
    QElapsedTimer m_pageShown;
    QElapsedTimer m_boxShown;
    QSet<QString> m_pictures;
    QStringList m_boxTexts;
    int m_detections = 0;
    int m_reads = 0;
    int m_downloads = 0;
    qsizetype m_linesPrinted = 0;
    bool m_done = false;
};

// One line of narration on stderr.
void say(const QString &line);

} // namespace brimo::sim
