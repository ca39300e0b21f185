#pragma once

// The real window offscreen and its update session, whose links are the
// doubles of fakelinks.h, with its user: one process, no stand-in. The
// trace gets, in order, every log line, every call of a link, every box
// (whole, with what the window shows behind it), what the window shows
// whenever the session waits for the user ("="), and "ends" when the program
// would end.

#include "fakelinks.h"
#include "logfile.h"

#include "platform/keepawake.h"

#include "driver/windowdriver.h"
#include "session/updatesession.h"
#include "ui/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

using brimo::sim::WindowDriver;

class SessionRig {
public:
    // The Yes or No for each question, in order; OK boxes are answered OK.
    QQueue<bool> answers;

    // `stored`: the settings as the program finds them when it starts.
    explicit SessionRig(const QMap<QString, QString> &stored = {})
        : store(trace, stored), session(window, {device, service, probe, store, pauses}),
          user(window)
    {
        // The user's own data folder, where each update leaves its log file.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        window.attach(session);
        window.show();
        trace.look = [this] { return bar() + clickable(); };
        QObject::connect(log(), &QPlainTextEdit::textChanged, &user, [this] { noteLines(); });
        QObject::connect(&window, &brimo::MainWindow::ended, &user,
                         [this] { trace.lines << QStringLiteral("ends"); });
        QObject::connect(&user, &WindowDriver::boxShown, &user,
                         [this](const WindowDriver::Box &box) {
                             trace.lines << "? " + box.whole() + ' ' + sight();
                         });
        user.setBoxHandler([this](QMessageBox &box) {
            if (box.standardButtons() != (QMessageBox::Yes | QMessageBox::No))
                return QMessageBox::Ok;
            return next(answers, false) ? QMessageBox::Yes : QMessageBox::No;
        });
    }

    // Presses the button and waits until the session waits for the user again.
    bool press(const QString &button)
    {
        const bool done = user.run(button);
        if (trace.lines.value(trace.lines.size() - 1) != QLatin1String("ends"))
            trace.lines << "= " + sight();
        return done;
    }

    // What the window shows: the page (with its header and text), the footer's
    // buttons (disabled ones marked "!", the first stage's with its caption),
    // the bar and the dots.
    QString sight() const
    {
        QStringList parts{page()};
        for (const QPushButton *button : buttons()) {
            if (button->isVisible())
                parts << (button->isEnabled() ? QString() : QStringLiteral("!")) +
                             button->objectName() +
                             (button->objectName() == "stage1Btn" ? '(' + button->text() + ')'
                                                                  : QString());
        }
        return '[' + parts.join(u' ') + ' ' + bar() + ']';
    }

    // The bar, as a share of its whole, and the dots while they move.
    QString bar() const
    {
        const auto *progress = user.control<QProgressBar>("ProgressBar");
        QString seen = QString::number(progress->value() * 100 / progress->maximum()) + '%';
        if (user.control<QTimer>("progressDots")->isActive())
            seen += QStringLiteral(" dots");
        return seen;
    }

    // While a link's call runs: any button that would start a second run
    // beside it, "+" and its name.
    QString clickable() const
    {
        QString open;
        for (const QPushButton *button : buttons()) {
            if (button->isVisible() && button->isEnabled())
                open += " +" + button->objectName();
        }
        return open;
    }

    QList<QPushButton *> buttons() const
    {
        QList<QPushButton *> all;
        for (const char *name : {"updateBtn", "stage1Btn", "detectBtn", "stage2Btn", "stage5Btn"})
            all << user.control<QPushButton>(name);
        return all;
    }

    QPlainTextEdit *log() const { return user.control<QPlainTextEdit>("Text1"); }

    // The windows on screen: each one's name, and the text of a notice; and
    // whether a shutdown is held back.
    static QString onScreen()
    {
        QStringList shown;
        for (const QWidget *window : QApplication::topLevelWidgets()) {
            const QLabel *text = window->findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
            if (window->isVisible())
                shown << window->objectName() +
                             (window->objectName() == "stillWriting" ? ": " + text->text() : "");
        }
        return shown.join(u' ') + (brimo::KeepAwake::blocksShutdown() ? " (no shutdown)" : "");
    }

    Trace trace;
    FakeDevice device{trace};
    FakeService service{trace};
    FakeProbe probe{trace};
    FakeStore store;
    FakePauses pauses{trace};
    brimo::MainWindow window;
    brimo::UpdateSession session;
    WindowDriver user;

private:
    // A page and its text by a short name; a text not known here in full.
    QString page() const
    {
        static const QMap<QString, QString> texts = {
            {"During this process this application will attempt to connect to the internet to "
             "retrieve remote updates for your Brimo device.",
             "start"},
            {"The Brimo update utility has no COM port set, please ensure your Brimo device is "
             "plugged into a COM port and is switched to 'NORMAL' mode. \r\n\r\nPress the 'Auto "
             "&detect' button to begin device detection.",
             "no port"},
            {brimo::kDownloadModeRequest + "\r\n\r\nPress the '&Update device' button to continue.",
             "D/L"},
            {"Retrieving remote information from Brimo to be uploaded to your device.", "Internet"},
            {"We are now about to download the latest database for your Brimo unit.\r\n\r\nThis "
             "process can take up to 5 minutes depending on your connection speed.",
             "download"},
            {"The database has now been collected and the Brimo unit will now be updated.\r\n\r\n"
             "This process may take up to 5 minutes.",
             "flash"},
            {"Your Brimo unit has been successfully updated with the latest information.\r\n\r\n"
             "Please remove the power from the Brimo unit, wait 10 seconds and change the mode "
             "selection switch to either 'normal' or 'camera'.",
             "updated"},
        };
        const auto text = [](const QWidget *label) {
            const QString shown = static_cast<const QLabel *>(label)->text();
            return texts.value(shown, shown);
        };
        if (user.isShown("welcomeWindow"))
            return QStringLiteral("welcome");
        if (user.isShown("completedWindow"))
            return "completed: " + text(user.control("completedText"));
        return user.control<QLabel>("stageHeader")->text() + ' ' + text(user.control("info"));
    }

    // The log's new lines, a date and time as "<now>".
    void noteLines()
    {
        const QStringList lines = user.logLines();
        if (lines.size() < m_logged)
            m_logged = 0;
        for (; m_logged < lines.size(); ++m_logged) {
            QString line = lines[m_logged];
            for (const char *dated : {"Update process began ", "Update process completed "}) {
                if (line.startsWith(QLatin1String(dated)) &&
                    line.contains(QDate::currentDate().toString("yy")))
                    line = QLatin1String(dated) + QStringLiteral("<now>");
            }
            trace.lines << line;
        }
    }

    qsizetype m_logged = 0;
    QTemporaryDir m_data;
};
