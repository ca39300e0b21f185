#pragma once

#include "platform/keepawake.h"
#include "session/sessionwindow.h"
#include "session/updatesession.h"
#include "ui/inputhold.h"
#include "ui/supportlog.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace brimo {

// The utility's one window: banner, the welcome / stage / completion pages,
// the footer with the wizard's buttons, the log and the menus. It shows the
// update session it is attached to and passes it the user's commands.
// Its object name is "main"; the class is named otherwise because on Windows
// Qt's entry point turns the token main into qMain in the file that defines
// main().
class MainWindow : public QMainWindow, public SessionWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    // The session the buttons, the settings menu and a close request go to.
    void attach(UpdateSession &session) { m_session = &session; }
    // Brings what the program shows to the front: the window, or the notice
    // that stays while the flash tool finishes.
    void comeForward();

    void addText(const QString &whatText) override;
    void supportNote(const QString &line) override { m_supportLog.addLine(line); }
    void setProgress(int value) override;
    void setDotsEnabled(bool enabled) override;
    QString beginLog(const QDateTime &began) override;
    void showStage(Stage stage) override;
    void showStep(Step step) override;
    bool showBox(const QString &text, Box box) override;
    std::optional<Settings> chooseSettings(const Settings &shown,
                                           const QList<int> &morePorts) override;
    void holdInput(bool held) override;
    void askToClose() override { close(); }

signals:
    // The session has ended, and the program ends with it: the window is
    // gone, and nothing of the session runs any more.
    void ended();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createProgressDots();
    void createPages(QWidget *client);
    QWidget *createStagePage();
    void createLog(QWidget *stageWindow);
    void createFooter(QWidget *client);
    void createHeader(QWidget *client);
    void createMenus();
    // Appends text to the log as it stands; false when it would not fit.
    bool appendToLog(const QString &text);
    // Runs the user's command in the session; its end is the program's.
    void run(UpdateSession::Outcome (UpdateSession::*command)());
    void end();

    // Controls, named as the rest of the program refers to them.
    QTimer *progressDots = nullptr;
    // The welcome, stage and completion pages, one shown at a time.
    QStackedWidget *m_pages = nullptr;
    QLabel *completedText = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QLabel *stageHeader = nullptr;
    QLabel *info = nullptr;
    QProgressBar *ProgressBar = nullptr;
    // stage5Btn, stage2Btn, detectBtn, stage1Btn, updateBtn: the footer's
    // table in mainwindow.cpp, in its order.
    static constexpr int kFooterButtons = 5;
    std::array<QPushButton *, kFooterButtons> m_buttons{};
    QLabel *header = nullptr;
    QWidget *Line1 = nullptr;

    UpdateSession *m_session = nullptr;
    // Commands under way, one inside another while a wait runs the window's events.
    int m_commands = 0;
    std::optional<InputHold> m_hold;
    // Shown once the window has gone while the flash tool still runs; it
    // keeps the PC awake and holds back a shutdown, its reason shown there.
    std::unique_ptr<QWidget> m_stillWriting;
    std::optional<KeepAwake> m_stillWritingHold;
    // Each update's log on disk, all of it, also what the box drops when full.
    SupportLog m_supportLog;
};

} // namespace brimo
