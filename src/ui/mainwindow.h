#pragma once

#include "session/sessionwindow.h"
#include "session/updatesession.h"
#include "ui/inputhold.h"
#include "ui/supportlog.h"

#include <QMainWindow>

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

    void addText(const QString &whatText) override;
    void setProgress(int value) override;
    void setDotsEnabled(bool enabled) override;
    void transferState(qint16 state) override;
    quintptr nativeWindow() override { return winId(); }
    QString beginLog(const QDateTime &began) override;
    void showStage(qint16 stage) override;
    void showStep(Step step) override;
    bool showBox(const QString &text, Box box) override;
    std::optional<Settings> chooseSettings(const Settings &shown) override;
    void holdInput(bool held) override;
    void askToClose() override { close(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createPages(QWidget *client);
    QWidget *createStagePage();
    void createFooter(QWidget *client);
    void createHeader(QWidget *client);
    void createMenus();
    // Appends text to the log as it stands; false when it would not fit.
    bool appendToLog(const QString &text);

    // Controls, named as the rest of the program refers to them.
    QTimer *progressDots = nullptr;
    // The welcome, stage and completion pages, one shown at a time.
    QStackedWidget *m_pages = nullptr;
    QLabel *completedText = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QLabel *stageHeader = nullptr;
    QLabel *info = nullptr;
    QProgressBar *ProgressBar = nullptr;
    // stage5Btn, stage2Btn, detectBtn, stage1Btn, updateBtn.
    QPushButton *m_buttons[5] = {};
    QLabel *header = nullptr;
    QWidget *Line1 = nullptr;

    UpdateSession *m_session = nullptr;
    std::optional<InputHold> m_hold;
    // Each update's log on disk, all of it, also what the box drops when full.
    SupportLog m_supportLog;
};

} // namespace brimo
