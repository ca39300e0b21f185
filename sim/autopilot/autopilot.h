#pragma once

#include "devicecontrol.h"
#include "pagerecorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <chrono>

class QAbstractButton;
class QMessageBox;

namespace brimo {
class MainWindow;
}

namespace brimo::sim {

struct AutopilotOptions {
    QString controlSocket; // the simulated device's control socket
    QString flashFile;     // the simulated device's flash memory
    QString serviceHost;   // host:port of the vendor service the utility uses
    QString pictureFolder; // where the pictures of the pages go
    std::chrono::seconds timeout{180};
    std::chrono::milliseconds pace{0}; // how long each page is shown before acting on it
};

// Plays the user of the utility's window through one whole update: starts it,
// lets it detect the device, switches the simulated device to D/L, answers the
// message boxes, then checks that the device holds the new image.
//
// It polls the window from a timer rather than reacting to signals, as a user
// looks at the screen: the stages run nested inside button handlers and
// message boxes, and the timer keeps firing in their event loops.
class Autopilot : public QObject {
    Q_OBJECT
public:
    Autopilot(brimo::MainWindow &window, AutopilotOptions options, QObject *parent = nullptr);

    void start();

signals:
    // 0 when the device holds the new image; emitted once.
    void finished(int exitCode);

private:
    enum class Step { Welcome, Stage1, Detecting, Stage2, Updating, Finishing, Done };

    void tick();
    bool handleModal();
    void answer(QMessageBox *box);
    void recordPage();
    QString pageName() const;
    void takeStep();
    void onStage1();
    void onDetecting();
    void onStage2();
    void onUpdating();
    void finish();
    void fail(const QString &why);
    void setDeviceMode(const QString &mode);
    void clickLater(QAbstractButton *button);
    void printNewLog();
    void printStatus();

    brimo::MainWindow &m_window;
    AutopilotOptions m_options;
    DeviceControl m_device;
    PageRecorder m_pages;
    QTimer m_poll;
    QTimer m_watchdog;
    Step m_step = Step::Welcome;
    QByteArray m_systemNumber;
    QString m_logShown;
    int m_readClicks = 0;
    QSet<QString> m_boxTexts;
    QPointer<QMessageBox> m_box;
    QElapsedTimer m_boxShown;
    QString m_page;
    QElapsedTimer m_pageShown;
};

} // namespace brimo::sim
