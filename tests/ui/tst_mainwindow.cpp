// The main window offscreen: its log, dots, progress from the Internet
// control, layout, access keys, and what closing it does (in a child process,
// because closing ends the program).

#include "childscenario.h"
#include "modalwatch.h"
#include "settingsfile.h"
#include "wizard/mainwindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using brimo::test::report;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void showAndWait(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addTextJoinsLinesWithCrLf_data();
    void addTextJoinsLinesWithCrLf();
    void addTextAfterTheLogWasEmptiedStartsWithoutBreak();
    void dotsLengthenTheLastLine_data();
    void dotsLengthenTheLastLine();
    void dotsTimerTicksEveryTwoSeconds();
    void fullLogStartsAfresh_data();
    void fullLogStartsAfresh();
    void lineLongerThanTheLogKeepsItsBeginning();

    void internetStateSetsProgress_data();
    void internetStateSetsProgress();

    void criticalMessageCarriesTheTitleAndStopIcon();
    void loadingShowsTheWelcomePage();
    void lineLiesUnderTheBanner();
    void windowIsFixedAndCentred();
    void accessKeysPressVisibleButtons_data();
    void accessKeysPressVisibleButtons();
    void everyControlHasAnAccessibleName();

    void closing_data();
    void closing();

private:
    std::unique_ptr<brimo::main> m_window;
};

void MainWindowTest::init()
{
    m_window = std::make_unique<brimo::main>();
}

void MainWindowTest::cleanup()
{
    m_window.reset();
}

void MainWindowTest::addTextJoinsLinesWithCrLf_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("log");
    QTest::newRow("nothing") << QStringList{} << QString();
    QTest::newRow("one line, no leading break") << QStringList{"Connected"} << "Connected";
    QTest::newRow("two lines") << QStringList{"Update process began", "Retrieving"}
                               << "Update process began" + kCrLf + "Retrieving";
    QTest::newRow("empty text on a non-empty log adds an empty line")
        << QStringList{"a", ""} << "a" + kCrLf;
    QTest::newRow("empty text on an empty log leaves it empty") << QStringList{"", ""} << QString();
    QTest::newRow("empty line in the middle")
        << QStringList{"a", "", "b"} << "a" + kCrLf + kCrLf + "b";
}

void MainWindowTest::addTextJoinsLinesWithCrLf()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, log);
    for (const QString &line : lines)
        m_window->addText(line);
    QCOMPARE(m_window->logText(), log);
    // The text box shows the same lines.
    QCOMPARE(m_window->Text1->toPlainText(), QString(log).replace(kCrLf, QStringLiteral("\n")));
    QCOMPARE(m_window->Text1->textCursor().position(),
             m_window->Text1->document()->characterCount() - 1);
}

void MainWindowTest::addTextAfterTheLogWasEmptiedStartsWithoutBreak()
{
    m_window->addText(QStringLiteral("old"));
    m_window->Text1->clear();
    m_window->addText(QStringLiteral("Update process began"));
    QCOMPARE(m_window->logText(), QStringLiteral("Update process began"));
}

void MainWindowTest::dotsLengthenTheLastLine_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("log");
    const QString line = QStringLiteral("Downloading updates");
    const QString dots = QStringLiteral(" . . .");
    QTest::newRow("one tick") << 1 << QString() << line + dots;
    QTest::newRow("three ticks") << 3 << QString() << line + dots + dots + dots;
    QTest::newRow("the next line starts after the dots")
        << 2 << "Downloaded" << line + dots + dots + kCrLf + "Downloaded";
}

void MainWindowTest::dotsLengthenTheLastLine()
{
    QFETCH(int, ticks);
    QFETCH(QString, next);
    QFETCH(QString, log);
    m_window->addText(QStringLiteral("Downloading updates"));
    for (int i = 0; i < ticks; ++i)
        QVERIFY(QMetaObject::invokeMethod(m_window->progressDots, "timeout"));
    if (!next.isEmpty())
        m_window->addText(next);
    QCOMPARE(m_window->logText(), log);
}

void MainWindowTest::dotsTimerTicksEveryTwoSeconds()
{
    QVERIFY(!m_window->progressDots->isActive());
    QCOMPARE(m_window->progressDots->interval(), 2000);
    m_window->addText(QStringLiteral("Flashing"));
    QElapsedTimer clock;
    clock.start();
    m_window->setDotsEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->logText(), QStringLiteral("Flashing . . ."), 5000);
    QVERIFY(clock.elapsed() >= 1900);
    m_window->setDotsEnabled(false);
    QVERIFY(!m_window->progressDots->isActive());
}

void MainWindowTest::fullLogStartsAfresh_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("linesThatFit");
    // n lines of length L take n * L + (n - 1) * 2 characters.
    const int capacity = brimo::main::kLogCapacity;
    QTest::newRow("long lines") << 1000 << (capacity + 2) / 1002;
    QTest::newRow("short lines") << 98 << (capacity + 2) / 100;
}

void MainWindowTest::fullLogStartsAfresh()
{
    QFETCH(int, lineLength);
    QFETCH(int, linesThatFit);
    for (int i = 0; i < linesThatFit; ++i)
        m_window->addText(QString(lineLength, QChar(u'a' + i % 26)));
    const qsizetype filled = m_window->logText().size();
    QCOMPARE(filled, linesThatFit * (lineLength + 2) - 2);
    QVERIFY(filled <= brimo::main::kLogCapacity);

    const QString overflow = QStringLiteral("Downloaded 1234 bytes");
    const QString padded = overflow + QString(lineLength - overflow.size(), QLatin1Char('!'));
    m_window->addText(padded);
    QCOMPARE(m_window->logText(), padded);
    QCOMPARE(m_window->Text1->toPlainText(), padded);
}

void MainWindowTest::lineLongerThanTheLogKeepsItsBeginning()
{
    m_window->addText(QStringLiteral("Downloading updates"));
    const QString huge = QStringLiteral("S3") + QString(brimo::main::kLogCapacity, u'F');
    m_window->addText(huge);
    QCOMPARE(m_window->logText(), huge.left(brimo::main::kLogCapacity));
    m_window->addText(QStringLiteral("next"));
    QCOMPARE(m_window->logText(), QStringLiteral("next"));
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
    QTest::newRow("negative state") << -1 << 0 << false;
}

void MainWindowTest::internetStateSetsProgress()
{
    QFETCH(int, state);
    QFETCH(int, progress);
    QFETCH(bool, pauses);
    m_window->ProgressBar->setValue(55);
    m_window->addText(QStringLiteral("Testing internet connection"));

    QElapsedTimer clock;
    clock.start();
    emit m_window->objInet.stateChanged(static_cast<qint16>(state));
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(m_window->ProgressBar->value(), progress);
    const QString expectedLog = state == 4 ? "Testing internet connection" + kCrLf + "Connected"
                                           : QStringLiteral("Testing internet connection");
    QCOMPARE(m_window->logText(), expectedLog);
    if (pauses)
        QVERIFY2(elapsed >= 195, qPrintable(QString::number(elapsed)));
    else
        QVERIFY2(elapsed < 190, qPrintable(QString::number(elapsed)));
}

void MainWindowTest::criticalMessageCarriesTheTitleAndStopIcon()
{
    brimo::test::SeenBox seen;
    brimo::test::answerMessageBox(QMessageBox::Ok, &seen);
    m_window->showCritical(QStringLiteral("Unable to connect to the internet"));
    QVERIFY(seen.shown);
    QCOMPARE(seen.title, QStringLiteral("Brimo update utility"));
    QCOMPARE(seen.text, QStringLiteral("Unable to connect to the internet"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void MainWindowTest::loadingShowsTheWelcomePage()
{
    brimo::main &w = *m_window;
    showAndWait(w);
    QCOMPARE(w.windowTitle(), QStringLiteral("Brimo update utility"));
    QVERIFY(w.welcomeWindow->isVisible());
    QVERIFY(!w.stageWindow->isVisible());
    QVERIFY(!w.completedWindow->isVisible());
    QVERIFY(w.updateBtn->isVisible());
    for (QPushButton *hidden : {w.detectBtn, w.stage1Btn, w.stage2Btn, w.stage5Btn})
        QVERIFY2(!hidden->isVisible(), qPrintable(hidden->objectName()));
    QCOMPARE(w.ProgressBar->value(), 100);
    QCOMPARE(w.MSComm1.settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(w.state().currentStage, qint16(0));
    QCOMPARE(w.state().comPortNumber, qint16(0));
    QVERIFY(!w.state().updateInProgress);
    QCOMPARE(w.attemptCount, qint16(0));
    QCOMPARE(w.welcomeInfo->text(),
             "This application will guide you through the necessary steps to update your "
             "Brimo device." +
                 kCrLf + kCrLf +
                 "Please click the '&Update Brimo unit' button in the bottom right corner of "
                 "this application to begin the update process.");
    QCOMPARE(w.logText(), QString());
}

void MainWindowTest::lineLiesUnderTheBanner()
{
    showAndWait(*m_window);
    const QRect banner = m_window->header->geometry();
    QCOMPARE(m_window->Line1->geometry(), QRect(0, banner.bottom() + 1, banner.width(), 1));
    QCOMPARE(m_window->header->pixmap().size(), QSize(553, 65));
    QCOMPARE(m_window->logo->pixmap().size(), QSize(166, 50));
}

void MainWindowTest::windowIsFixedAndCentred()
{
    showAndWait(*m_window);
    QCOMPARE(m_window->centralWidget()->size(), QSize(554, 331));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    const QPoint screenCentre = m_window->screen()->availableGeometry().center();
    QVERIFY((m_window->geometry().center() - screenCentre).manhattanLength() <= 2);
}

void MainWindowTest::accessKeysPressVisibleButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("Alt+U, update Brimo unit") << "updateBtn" << Qt::Key_U;
    QTest::newRow("Alt+S, scan") << "stage1Btn" << Qt::Key_S;
    QTest::newRow("Alt+D, auto detect") << "detectBtn" << Qt::Key_D;
    QTest::newRow("Alt+U, update device (stage 2)") << "stage2Btn" << Qt::Key_U;
    QTest::newRow("Alt+U, update device (repeat)") << "stage5Btn" << Qt::Key_U;
}

void MainWindowTest::accessKeysPressVisibleButtons()
{
    QFETCH(QString, button);
    QFETCH(Qt::Key, key);
    brimo::main &w = *m_window;
    // Only the key's routing is under test here, not what the stages do.
    QList<QPushButton *> buttons = w.footer->findChildren<QPushButton *>();
    for (QPushButton *each : buttons) {
        QObject::disconnect(each, &QPushButton::clicked, &w, nullptr);
        each->setVisible(each->objectName() == button);
    }
    showAndWait(w);
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    auto *target = w.findChild<QPushButton *>(button);
    QSignalSpy clicked(target, &QPushButton::clicked);
    QTest::keyClick(&w, key, Qt::AltModifier);
    QTRY_COMPARE(clicked.count(), 1);
}

void MainWindowTest::everyControlHasAnAccessibleName()
{
    brimo::main &w = *m_window;
    w.stageWindow->show();
    w.completedText->setText(QStringLiteral("Your Brimo device is up to date."));
    w.info->setText(QStringLiteral("Press the 'Auto &detect' button."));
    const QList<QWidget *> controls = w.findChildren<QWidget *>();
    QVERIFY(controls.size() > 25);
    for (QWidget *control : controls) {
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || control == w.Line1 ||
            control == w.Shape1)
            continue; // Qt's own parts, and the two drawn lines
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(face, qPrintable(control->objectName()));
        const QString spoken = face->text(QAccessible::Name);
        QVERIFY2(!spoken.trimmed().isEmpty(), qPrintable(name));
        QVERIFY2(!spoken.contains(QLatin1Char('&')), qPrintable(name + ": " + spoken));
        if (control == w.info)
            QCOMPARE(spoken, QStringLiteral("Press the 'Auto detect' button."));
    }
}

// --- closing, in a child process -------------------------------------------

namespace {

const QString kQuestion = QStringLiteral("The Brimo update utility is in the process of updating "
                                         "your device\r\n\r\nTerminate update process?");

// Shows the window and asks it to close, the way the scenario names.
int closeScenario(bool busy, QMessageBox::StandardButton answer, bool byMenu)
{
    brimo::main window;
    window.show();
    window.state().updateInProgress = busy;
    brimo::test::SeenBox seen;
    if (busy)
        brimo::test::answerMessageBox(answer, &seen);
    else
        brimo::test::whenModalShown([](QWidget *) { report(QStringLiteral("asked")); }, 500);
    report(QStringLiteral("closing"));
    if (byMenu)
        window.exit->trigger();
    else
        window.close();
    report(QStringLiteral("close returned"));
    if (seen.shown && seen.title == QStringLiteral("Brimo update utility") &&
        seen.text == kQuestion && seen.icon == QMessageBox::NoIcon &&
        seen.buttons == (QMessageBox::Yes | QMessageBox::No))
        report(QStringLiteral("asked as it should"));
    return window.isVisible() ? 5 : 6;
}

// A stage waits with the event loop running (as a web request does) while the
// user asks to close; after No it goes on to its end.
int closeDuringStageScenario()
{
    brimo::main window;
    window.show();
    window.state().updateInProgress = true;
    brimo::test::answerMessageBox(QMessageBox::No);
    QTimer::singleShot(50, &window, &QWidget::close);
    QEventLoop request;
    QTimer::singleShot(1000, &request, &QEventLoop::quit);
    request.exec();
    report(QStringLiteral("stage went on"));
    return window.isVisible() ? 5 : 6;
}

brimo::test::Scenarios scenarios()
{
    return {
        {"idle", [] { return closeScenario(false, QMessageBox::NoButton, false); }},
        {"idle by menu", [] { return closeScenario(false, QMessageBox::NoButton, true); }},
        {"busy, yes", [] { return closeScenario(true, QMessageBox::Yes, false); }},
        {"busy, no", [] { return closeScenario(true, QMessageBox::No, false); }},
        {"busy by menu, no", [] { return closeScenario(true, QMessageBox::No, true); }},
        {"busy in a stage, no", closeDuringStageScenario},
    };
}

} // namespace

void MainWindowTest::closing_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("notSaid");
    const QStringList ended = {"close returned", "asked"};
    QTest::newRow("idle: ends without asking") << "idle" << 0 << QStringList{"closing"} << ended;
    QTest::newRow("idle, Exit menu: ends without asking")
        << "idle by menu" << 0 << QStringList{"closing"} << ended;
    QTest::newRow("busy, Yes: ends") << "busy, yes" << 0 << QStringList{"closing"} << ended;
    QTest::newRow("busy, No: the window stays")
        << "busy, no" << 5 << QStringList{"close returned", "asked as it should"} << QStringList{};
    QTest::newRow("busy, Exit menu, No: the window stays")
        << "busy by menu, no" << 5 << QStringList{"asked as it should"} << QStringList{};
    QTest::newRow("busy in a stage, No: the stage goes on")
        << "busy in a stage, no" << 5 << QStringList{"stage went on"} << QStringList{};
}

void MainWindowTest::closing()
{
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QStringList, said);
    QFETCH(QStringList, notSaid);
    const brimo::test::ChildResult child = brimo::test::runScenario(scenario);
    QVERIFY2(child.finished, qPrintable(child.output));
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
    QVERIFY2(child.exitCode == exitCode, qPrintable(child.output));
    const QStringList lines = child.output.split(QLatin1Char('\n'));
    for (const QString &line : said)
        QVERIFY2(lines.contains(line), qPrintable(line + " missing in:\n" + child.output));
    for (const QString &line : notSaid)
        QVERIFY2(!lines.contains(line), qPrintable(line + " found in:\n" + child.output));
}

int main(int argc, char *argv[])
{
    const brimo::test::TemporarySettingsFile settings;
    QApplication app(argc, argv);
    if (const auto code = brimo::test::runRequestedScenario(scenarios()))
        return *code;
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
