// The main window and its dialogs offscreen: log, Internet progress, layout, access keys,
// dialogs answered as a user would, and closing (in a child process: it ends the program).

#include "childscenario.h"
#include "settings/frmabout.h"
#include "settings/frmsettings.h"
#include "settings/registry.h"
#include "wizard/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QStringList kSettings = {"COMPort", "ProxyServer", "ProxyPort"};

// Calls act with the next modal window, from a timer: the code under test is
// blocked in that window's exec() meanwhile.
void whenModalShown(std::function<void(QWidget *)> act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start(10);
}

// Stores the three settings when given; gives them as stored.
QStringList settings(const QStringList &store = {})
{
    QStringList texts;
    for (int i = 0; i < kSettings.size(); ++i) {
        if (!store.isEmpty())
            brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, kSettings[i],
                                    store[i]);
        texts << brimo::getRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey,
                                         kSettings[i]);
    }
    return texts;
}

// The next settings dialog: records what it showed (title, port, entries,
// proxy server and port), types what typed holds (port entry, server, port;
// empty: nothing) and leaves by "OK", "Cancel" or the close box.
void handleSettings(QStringList *shown, const QStringList &typed, const QString &leave)
{
    whenModalShown([=](QWidget *modal) {
        auto &dialog = *qobject_cast<brimo::frmSettings *>(modal);
        QStringList entries;
        for (int i = 0; i < dialog.com->count(); ++i)
            entries << dialog.com->itemText(i);
        *shown = {dialog.windowTitle(),
                  dialog.com->currentIndex() < 0 ? "" : dialog.com->currentText(),
                  entries.join(u','), dialog.txtProxyServer->text(), dialog.txtProxyPort->text()};
        if (!typed.isEmpty()) {
            if (!typed[0].isEmpty())
                dialog.com->setCurrentIndex(dialog.com->findText(typed[0]));
            dialog.txtProxyServer->setText(typed[1]);
            dialog.txtProxyPort->setText(typed[2]);
        }
        if (leave == "OK" || leave == "Cancel")
            (leave == "OK" ? dialog.Command1 : dialog.Command2)->click();
        else
            dialog.close();
    });
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_window = std::make_unique<brimo::MainWindow>(); }
    void logFollowsItsRules_data();
    void logFollowsItsRules();
    void fullLogStartsAfresh_data();
    void fullLogStartsAfresh();
    void internetStateSetsProgress_data();
    void internetStateSetsProgress();
    void firstShowLaysOutTheWelcomePage();
    void accessKeysPressVisibleButtons_data();
    void accessKeysPressVisibleButtons();
    void comBoxOpensOnTheCurrentPort_data();
    void comBoxOpensOnTheCurrentPort();
    void onlyOkStoresTheChoices_data();
    void onlyOkStoresTheChoices();
    void closingTheDialogUnloadsItSoTheNextOpeningReadsAgain();
    void aboutShowsTitleAndVersion();
    void closing_data();
    void closing();

private:
    std::unique_ptr<brimo::MainWindow> m_window;
};

void MainWindowTest::logFollowsItsRules_data()
{
    QTest::addColumn<QStringList>("steps"); // <tick>: of the dots timer; <clear>: as stage 1 does
    QTest::addColumn<QString>("log");
    const QString line = QStringLiteral("Downloading updates");
    const QString dots = QStringLiteral(" . . .");
    QTest::newRow("one line, no leading break") << QStringList{"Connected"} << "Connected";
    QTest::newRow("two lines") << QStringList{"Update process began", "Retrieving"}
                               << "Update process began" + kCrLf + "Retrieving";
    QTest::newRow("empty text on a log adds an empty line") << QStringList{"a", ""} << "a" + kCrLf;
    QTest::newRow("empty text on an empty log") << QStringList{"", ""} << QString();
    QTest::newRow("dots lengthen the last line")
        << QStringList{line, "<tick>", "<tick>", "<tick>"} << line + dots + dots + dots;
    QTest::newRow("the next line starts after the dots")
        << QStringList{line, "<tick>", "Downloaded"} << line + dots + kCrLf + "Downloaded";
    QTest::newRow("an emptied log starts without a break")
        << QStringList{"old", "<clear>", "Update process began"} << "Update process began";
}

void MainWindowTest::logFollowsItsRules()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, log);
    for (const QString &step : steps) {
        if (step == "<tick>")
            QVERIFY(QMetaObject::invokeMethod(m_window->progressDots, "timeout"));
        else if (step == "<clear>")
            m_window->Text1->clear();
        else
            m_window->addText(step);
    }
    QCOMPARE(m_window->logText(), log);
    QCOMPARE(m_window->Text1->toPlainText(), QString(log).replace(kCrLf, QStringLiteral("\n")));
    QVERIFY(m_window->Text1->textCursor().atEnd()); // the last line in view
}

void MainWindowTest::fullLogStartsAfresh_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("linesThatFit"); // n lines of length L take n * L + (n - 1) * 2
    QTest::addColumn<QString>("next");     // does not fit: starts a fresh log
    const int capacity = brimo::MainWindow::kLogCapacity;
    QTest::newRow("long lines") << 1000 << (capacity + 2) / 1002 << QString(1000, u'!');
    QTest::newRow("a line longer than the whole log keeps its beginning")
        << 19 << 1 << QStringLiteral("S3") + QString(capacity, u'F');
}

void MainWindowTest::fullLogStartsAfresh()
{
    QFETCH(int, lineLength);
    QFETCH(int, linesThatFit);
    QFETCH(QString, next);
    for (int i = 0; i < linesThatFit; ++i)
        m_window->addText(QString(lineLength, QChar(u'a' + i % 26)));
    QCOMPARE(m_window->logText().size(), linesThatFit * (lineLength + 2) - 2);
    m_window->addText(next);
    QCOMPARE(m_window->logText(), next.left(brimo::MainWindow::kLogCapacity));
    QCOMPARE(m_window->Text1->toPlainText(), m_window->logText());
}

void MainWindowTest::internetStateSetsProgress_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("progress");
    QTest::addColumn<bool>("pauses");
    const QList<int> values = {0, 10, 20, 30, 40, 50, 60, 80, 80, 90, 100, 0, 100};
    for (int state = 0; state < values.size(); ++state)
        QTest::addRow("state %d", state) << state << values[state] << (state >= 1 && state <= 6);
    QTest::newRow("unknown state 13") << 13 << 0 << false;
}

void MainWindowTest::internetStateSetsProgress()
{
    QFETCH(int, state);
    QFETCH(int, progress);
    QFETCH(bool, pauses);
    m_window->ProgressBar->setValue(55);
    const QString before = QStringLiteral("Testing internet connection");
    m_window->addText(before);
    QElapsedTimer clock;
    clock.start();
    emit m_window->objInet.stateChanged(static_cast<qint16>(state));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(m_window->ProgressBar->value(), progress);
    QCOMPARE(m_window->logText(), state == 4 ? before + kCrLf + "Connected" : before);
    QVERIFY2(pauses ? elapsed >= 195 : elapsed < 190, qPrintable(QString::number(elapsed)));
}

void MainWindowTest::firstShowLaysOutTheWelcomePage()
{
    brimo::MainWindow &w = *m_window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect banner = w.header->geometry();
    QCOMPARE(w.Line1->geometry(), QRect(0, banner.bottom() + 1, banner.width(), 1));
    QVERIFY(w.welcomeWindow->isVisible());
    QVERIFY(!w.stageWindow->isVisible() && !w.completedWindow->isVisible());
    for (QPushButton *button : w.footer->findChildren<QPushButton *>())
        QVERIFY2(button->isVisible() == (button == w.updateBtn), qPrintable(button->objectName()));
    QCOMPARE(w.ProgressBar->value(), 100);
    QCOMPARE(w.MSComm1.settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(w.welcomeInfo->text(),
             "This application will guide you through the necessary steps to update your "
             "Brimo device.\r\n\r\nPlease click the '&Update Brimo unit' button in the bottom "
             "right corner of this application to begin the update process.");
}

void MainWindowTest::accessKeysPressVisibleButtons_data()
{
    QTest::addColumn<QString>("button"); // the one visible of those that carry "&U"
    QTest::newRow("Alt+U: update Brimo unit") << "updateBtn";
    QTest::newRow("Alt+U: update device, the others hidden") << "stage5Btn";
}

void MainWindowTest::accessKeysPressVisibleButtons()
{
    QFETCH(QString, button);
    brimo::MainWindow &w = *m_window;
    // Only the key's routing is under test here, not what the stages do.
    for (QPushButton *each : w.footer->findChildren<QPushButton *>()) {
        QObject::disconnect(each, &QPushButton::clicked, &w, nullptr);
        each->setVisible(each->objectName() == button);
    }
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy clicked(w.findChild<QPushButton *>(button), &QPushButton::clicked);
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QTRY_COMPARE(clicked.count(), 1);
}

void MainWindowTest::comBoxOpensOnTheCurrentPort_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("storedPort");
    QTest::addColumn<int>("shown"); // 0: no choice
    QTest::newRow("no current port: the stored one") << 0 << "5" << 5;
    QTest::newRow("the current port before the stored one") << 3 << "5" << 3;
    QTest::newRow("nothing stored, no current port") << 0 << QString() << 0;
    QTest::newRow("after a failed detection (-1): the stored one") << -1 << "7" << 7;
}

void MainWindowTest::comBoxOpensOnTheCurrentPort()
{
    QFETCH(int, current);
    QFETCH(QString, storedPort);
    QFETCH(int, shown);
    settings({storedPort, "proxy.example.net", "8080"});
    m_window->state().comPortNumber = static_cast<qint16>(current);
    QStringList seen;
    handleSettings(&seen, {}, "Cancel");
    m_window->settings->trigger();
    QCOMPARE(seen,
             (QStringList{"Brimo update utility settings", shown ? QString::number(shown) : "",
                          "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16", "proxy.example.net", "8080"}));
}

void MainWindowTest::onlyOkStoresTheChoices_data()
{
    QTest::addColumn<QString>("leave");
    QTest::addColumn<QStringList>("typed"); // port entry (empty: none chosen), server, port
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("stage1Caption");
    const QStringList before = {"", "old.proxy", "3128"};
    const QStringList changed = {"9", "new.proxy", "1"};
    const QStringList chosen = {"12", "proxy.example.net", "8080"};
    const QStringList emptied = {"4", "", ""};
    const QStringList noPort = {"", "p", "not a number"};
    QTest::newRow("OK: port 12 and a proxy") << "OK" << chosen << chosen << 12 << "&Scan";
    QTest::newRow("OK: emptied proxy boxes") << "OK" << emptied << emptied << 4 << "&Scan";
    QTest::newRow("OK, no port chosen") << "OK" << noPort << noPort << 0 << "&Settings";
    for (const char *leave : {"Cancel", "close box"})
        QTest::newRow(leave) << leave << changed << before << 0 << "&Settings";
}

void MainWindowTest::onlyOkStoresTheChoices()
{
    QFETCH(QString, leave);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, stored);
    QFETCH(int, portNumber);
    QFETCH(QString, stage1Caption);
    settings({"", "old.proxy", "3128"});
    m_window->stage1Btn->setText(QStringLiteral("&Settings"));
    QStringList seen;
    handleSettings(&seen, typed, leave);
    m_window->showSettings();
    QCOMPARE(settings(), stored);
    QCOMPARE(m_window->state().comPortNumber, qint16(portNumber));
    QCOMPARE(m_window->stage1Btn->text(), stage1Caption);
}

void MainWindowTest::closingTheDialogUnloadsItSoTheNextOpeningReadsAgain()
{
    // Loaded hidden (as the port stage does), the dialog keeps its controls
    // when the menu shows it; once closed, the next opening reads the store.
    settings({"", "first.proxy", ""});
    m_window->settingsDialog().com->setCurrentText(QStringLiteral("3"));
    settings({"6", "second.proxy", "2"});
    QStringList first;
    QStringList second;
    handleSettings(&first, {}, "Cancel");
    m_window->showSettings();
    QTRY_VERIFY(!m_window->findChild<brimo::frmSettings *>());
    handleSettings(&second, {}, "OK");
    m_window->showSettings();
    QCOMPARE(first.mid(1, 1) + first.mid(3), (QStringList{"3", "first.proxy", ""}));
    QCOMPARE(second.mid(1, 1) + second.mid(3), (QStringList{"6", "second.proxy", "2"}));
    // OK pressed without touching the box saves the port it opened on.
    QCOMPARE(m_window->state().comPortNumber, qint16(6));
}

void MainWindowTest::aboutShowsTitleAndVersion()
{
    QStringList seen;
    whenModalShown([&seen](QWidget *modal) {
        seen = {modal->windowTitle(), qobject_cast<brimo::frmAbout *>(modal)->info->text()};
        modal->close();
    });
    m_window->about->trigger();
    QCOMPARE(seen, (QStringList{"About Brimo update utility",
                                "Brimo update utility v2.1\r\n\r\nPlease find more information "
                                "at http://www.brimo.example/"}));
}

// --- closing, in a child process -------------------------------------------

namespace {

// A stage waits with the event loop running (as a web request does) while the user closes
// the window; reports what was asked and whether the stage went on. 5: the window stayed.
int closeScenario(const QString &name)
{
    brimo::MainWindow window;
    window.show();
    window.state().updateInProgress = name.startsWith(QLatin1String("busy"));
    whenModalShown([name](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        const QString seen = box->windowTitle() + '|' + box->text() + '|' +
                             QString::number(box->icon()) + '|' +
                             QString::number(box->standardButtons());
        brimo::test::report("asked|" + QString(seen).replace(kCrLf, "/"));
        box->button(name.endsWith(QLatin1String("yes")) ? QMessageBox::Yes : QMessageBox::No)
            ->click();
    });
    QTimer::singleShot(50, &window, [&window, name] {
        if (name.contains(QLatin1String("menu")))
            window.exit->trigger();
        else
            window.close();
    });
    QEventLoop stage;
    QTimer::singleShot(1000, &stage, &QEventLoop::quit);
    stage.exec();
    brimo::test::report(QStringLiteral("stage went on"));
    return window.isVisible() ? 5 : 6;
}

} // namespace

void MainWindowTest::closing_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("reports");
    const QString asked = "asked|Brimo update utility|The Brimo update utility is in the process "
                          "of updating your device//Terminate update process?|" +
                          QString::number(QMessageBox::NoIcon) + '|' +
                          QString::number(QMessageBox::Yes | QMessageBox::No);
    const QStringList stayed = {asked, "stage went on"};
    QTest::newRow("idle: ends without asking") << "idle" << 0 << QStringList{};
    QTest::newRow("busy, Yes: ends") << "busy, yes" << 0 << QStringList{asked};
    QTest::newRow("busy, No: the window and the stage go on") << "busy, no" << 5 << stayed;
    QTest::newRow("busy, Exit menu, No: the same") << "busy by menu, no" << 5 << stayed;
}

void MainWindowTest::closing()
{
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QStringList, reports);
    const brimo::test::ChildResult child = brimo::test::runScenario(scenario);
    QVERIFY2(child.finished, qPrintable(child.output));
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
    QVERIFY2(child.exitCode == exitCode, qPrintable(child.output));
    const QRegularExpression reported(QStringLiteral("^(asked|stage went on)"));
    QCOMPARE(child.output.split(u'\n').filter(reported), reports);
}

int main(int argc, char *argv[])
{
    const QTemporaryDir settings; // never the user's settings
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(settings.filePath("registry")));
    QApplication app(argc, argv);
    brimo::test::Scenarios scenarios;
    for (const char *name : {"idle", "busy, yes", "busy, no", "busy by menu, no"})
        scenarios[name] = [name] { return closeScenario(QString::fromLatin1(name)); };
    if (const auto code = brimo::test::runRequestedScenario(scenarios))
        return *code;
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
