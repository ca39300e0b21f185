#pragma once

#include "image/devicefile.h"
#include "platform/reporter.h"
#include "platform/serialcontrol.h"
#include "settings/frmsettings.h"
#include "wizard/shared.h"
#include "wizard/supportlog.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace brimo {

class device;
class webservice;

// The utility's one window: banner, the welcome / stage / completion pages,
// the footer with the wizard's buttons, and the controls the rest of the
// program drives (log, progress bar, dots timer, serial control).
// Its object name is "main"; the class is named otherwise because on Windows
// Qt's entry point turns the token main into qMain in the file that defines
// main().
class MainWindow : public QMainWindow, public Reporter {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // --- activity log and what the core reports -----------------------------
    void addText(const QString &whatText) override;
    void setProgress(int value) override;
    void setDotsEnabled(bool enabled) override;
    void transferState(qint16 state) override;
    quintptr nativeWindow() override { return winId(); }
    // The log exactly as its lines stand, separated by CR LF.
    QString logText() const { return m_log; }
    // Characters the log holds at most; a line that would pass it starts a
    // fresh log.
    static constexpr int kLogCapacity = 65535;

    // --- stage sequence ----------------------------------------------------
    void checkStage(qint16 &whatStage);
    static qint16 incrementStage(qint16 whatStage);
    // Offered beside incrementStage; no stage of the wizard goes back by it.
    static qint16 decrementStage(qint16 whatStage);
    qint16 detect();

    // --- shared state and objects ------------------------------------------
    SharedState &state() { return m_state; }
    webservice &webService() { return *m_webservice; }
    qint16 attemptCount = 0;
    // The service's message with a refusal: whatever the server sent, shown
    // as text that fits the screen.
    void showServiceMessage(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Button handlers of the stages.
    void updateBtnClick();
    void stage1BtnClick();
    void detectBtnClick();
    void stage2BtnClick();
    void stage5BtnClick();
    // The settings dialog, loaded (hidden) when first touched.
    frmSettings &settingsDialog();
    // Shows the settings dialog modally, as the menu command does, and takes
    // over what the user chose there.
    void showSettings();
    void applySettings(const frmSettings::Settings &chosen);
    void showAbout();

    void createControls();
    void createCompletedPage(QWidget *client);
    void createWelcomePage(QWidget *client);
    void createStagePage(QWidget *client);
    void createLog();
    void createFooter(QWidget *client);
    void createHeader(QWidget *client);
    void createMenus();
    void loadWindow();
    void onDotsTick();
    // Appends text to the log as it stands; false when it would not fit.
    bool appendToLog(const QString &text);
    // Empties the log: the text box and the text kept beside it.
    void clearLog();
    // The stages that carry themselves out (Internet test, download, flash).
    void runInternetStage();
    void runDownloadStage();
    void runFlashStage();
    void advance();
    // The two runs of the flash tool.
    bool readIdentity();
    bool flashDevice();
    // Pieces of the stages above.
    void runPortStage();
    void showDownloadModePage();
    QString downloadModeInstructions() const;
    void showWelcomePage();
    void setSettingsPort(qint16 port);
    qint16 deviceFoundOn(qint16 port);
    bool askDownloadRetry();
    [[noreturn]] void endAfterPause();
    void showCompletion();

    // Controls, named as the rest of the program refers to them.
    QTimer *progressDots = nullptr;
    QWidget *completedWindow = nullptr;
    QLabel *completedText = nullptr;
    QWidget *welcomeWindow = nullptr;
    QLabel *welcomeInfo = nullptr;
    QWidget *stageWindow = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QLabel *stageHeader = nullptr;
    QLabel *info = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QPushButton *stage5Btn = nullptr;
    QPushButton *stage2Btn = nullptr;
    QPushButton *detectBtn = nullptr;
    QPushButton *stage1Btn = nullptr;
    QPushButton *updateBtn = nullptr;
    QLabel *copyright = nullptr;
    QLabel *header = nullptr;
    QFrame *Line1 = nullptr;
    SerialControl MSComm1{this};

    SharedState m_state;
    std::unique_ptr<device> m_device;
    std::unique_ptr<webservice> m_webservice;
    // The flash goes to the "COMPort" stored at start-up, or without one to
    // the port the device was found on.
    QString m_flashPort;
    // From the last identity read and the last download.
    QString m_systemNumber;
    std::optional<deviceFile> m_image;
    // Cleared by the dialog's own end, also while the window's destructor
    // deletes it, when a slot of this window could no longer run.
    QPointer<frmSettings> m_settingsDialog;
    // The log's text with its CR LF separators (the text box keeps paragraphs).
    QString m_log;
    // Each update's log on disk, all of it, also what the box drops when full.
    SupportLog m_supportLog;
};

// Ends the program at once: no close handler runs, nothing is saved, nothing
// is waited for, and a flash tool that is running goes on to its end. The PC
// is no longer kept awake.
[[noreturn]] void endProgramNow(int exitCode = 0);

} // namespace brimo
