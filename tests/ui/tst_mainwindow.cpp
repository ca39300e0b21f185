// The window and its dialogs offscreen, used as a user would (its session's
// links are doubles); the log's date as the session writes it.
#include "platform/singleinstance.h"
#include "session/localetext.h"
#include "sessionrig.h"
#include "ui/accesskeylabel.h"
#include "ui/startupcheck.h"

namespace {

const QString kCut =
    "\r\n\r\n(The rest of this message is not shown: it is too long for this box.)";

QStringList items(const QString &joined)
{
    return joined.isEmpty() ? QStringList() : joined.split(u'|');
}

// Each "name=value": the window's control of that name has that text (or
// title, or state of being shown).
void check(const QWidget &window, const QString &expected)
{
    for (const QString &one : items(expected)) {
        const QObject *control = window.findChild<QObject *>(one.section(u'=', 0, 0));
        QVERIFY2(control, qPrintable(one));
        QString value;
        for (const char *property : {"text", "title", "active", "visible"}) {
            if (value.isEmpty() && control->property(property).isValid())
                value = control->property(property).toString();
        }
        QCOMPARE(one.section(u'=', 0, 0) + u'=' + value, one);
    }
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<SessionRig>();
        m_window = &m_rig->window;
        m_user = &m_rig->user;
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { m_rig.reset(); }

    void logFollowsItsRules_data()
    {
        QTest::addColumn<QStringList>("steps"); // <tick>: of the dots timer
        QTest::addColumn<QString>("log");
        QTest::newRow("one line, no leading break") << items("Connected") << "Connected";
        QTest::newRow("empty text adds an empty line") << items("a|") << "a\r\n";
        QTest::newRow("dots lengthen the last line")
            << items("Downloading|<tick>|<tick>|<tick>") << "Downloading . . . . . . . . .";
        QTest::newRow("the next line starts after the dots")
            << items("Downloading|<tick>|Downloaded") << "Downloading . . .\r\nDownloaded";
        // 65 lines of 1000 characters and their breaks leave room for 405 more.
        const QStringList full(65, QString(1000, u'a'));
        QTest::newRow("filled to the last character: every line kept")
            << full + QStringList{QString(405, u'c')}
            << full.join("\r\n") + "\r\n" + QString(405, u'c');
        QTest::newRow("one character more: a fresh log")
            << full + QStringList{QString(406, u'c')} << QString(406, u'c');
    }
    void logFollowsItsRules()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, log);
        m_user->control("stageWindow")->show();
        auto *box = m_user->control<QPlainTextEdit>("Text1");
        for (const QString &step : steps) {
            if (step == "<tick>")
                QVERIFY(QMetaObject::invokeMethod(m_window->findChild<QTimer *>("progressDots"),
                                                  "timeout"));
            else
                m_window->addText(step);
        }
        QCOMPARE(box->toPlainText(), QString(log).replace("\r\n", "\n"));
        // The end of the newest line is in view, the log scrolled as far as it takes.
        QVERIFY(box->textCursor().atEnd() && box->viewport()->rect().contains(box->cursorRect()));
        QVERIFY(box->verticalScrollBar()->value() > 0 || log.size() < 1000);
    }

    // An update's log file keeps what the box drops when it starts afresh, and
    // the newest 20 files stay, by their times whatever their names say, for
    // the user's eyes only; where it cannot be kept, the log says so once and
    // the update goes on.
    void logFileKeepsTheWholeUpdate_data()
    {
        QTest::addColumn<int>("oldFiles");     // -1: a file stands where the folder goes
        QTest::addColumn<int>("ahead");        // the first ones, written a year ahead of the clock
        QTest::addColumn<int>("firstRemoved"); // of the six that go
        // Each file is an hour older than the one before, and its name sorts after it.
        QTest::newRow("past the box's capacity; the newest 20 kept") << 25 << 0 << 19;
        QTest::newRow("a clock once set ahead: its files go first") << 25 << 10 << 4;
        QTest::newRow("no folder for it: one line, the update goes on") << -1 << 0 << 0;
    }
    void logFileKeepsTheWholeUpdate()
    {
        QFETCH(int, oldFiles);
        QFETCH(int, ahead);
        QFETCH(int, firstRemoved);
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/logs";
        QVERIFY(QDir().mkpath(oldFiles < 0 ? QFileInfo(folder).path() : folder));
        QFile blocker(folder);
        QVERIFY(oldFiles >= 0 || blocker.open(QIODevice::WriteOnly));
        const auto name = [](int i) {
            return QString("update-20200101-%1.log").arg(i, 6, 10, QChar(u'0'));
        };
        QStringList kept;
        for (int i = 0; i < oldFiles; ++i) {
            QFile file(folder + u'/' + name(i));
            const QDateTime time = QDateTime::currentDateTime().addSecs(-3600 * i);
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.setFileTime(time.addYears(i < ahead ? 1 : 0),
                                     QFileDevice::FileModificationTime));
            if (i < firstRemoved || i >= firstRemoved + 6)
                kept << name(i);
        }
        QVERIFY(m_user->run("updateBtn"));
        const QStringList read = items("Retrieving existing registry value|Blank registry value "
                                       "returned");
        if (oldFiles < 0) {
            QCOMPARE(m_user->logLines().mid(1),
                     QStringList("This update's log cannot be kept: there is no folder " +
                                 QDir::toNativeSeparators(folder)) +
                         read);
            QCOMPARE(m_rig->sight(), "[Stage 1 of 5: no port stage1Btn(&Settings) detectBtn 0%]");
            return;
        }
        const QStringList lines(70, QString(1000, u'a'));
        for (const QString &line : lines)
            m_window->addText(line);
        QVERIFY(
            QMetaObject::invokeMethod(m_window->findChild<QTimer *>("progressDots"), "timeout"));
        // After the file's head, the log, all of it.
        QStringList logged = newestLogFile().split("\r\n");
        logged = logged.mid(logged.indexOf(QRegularExpression("Update process began .*")) + 1);
        QCOMPARE(logged, read + lines.mid(0, 69) + QStringList(lines[69] + " . . ."));
        QVERIFY(m_user->logText().size() < 10000);
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QCOMPARE(files.mid(0, files.size() - 1), kept);
        // The owner's, the group's and the others' rights, as Qt's flags have them.
        const auto rights = [](const QString &path) {
            return QString::number(QFileInfo(path).permissions() & 0x7077, 16);
        };
        QCOMPARE(rights(folder) + ' ' + rights(folder + u'/' + files.last()), "7000 6000");
    }

    void firstShowLaysOutTheWelcomePageAndAboutTheVersion()
    {
        const QRect banner = m_user->control("header")->geometry();
        QCOMPARE(m_user->control("Line1")->geometry(),
                 QRect(0, banner.bottom() + 1, banner.width(), 1));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Brimo update utility"));
        // Every control by its name, with the text it starts with or whether it is shown.
        QCOMPARE(m_rig->sight(), "[welcome updateBtn 100%]");
        check(
            *m_window,
            "welcomeInfo=This application will guide you through the necessary steps to update "
            "your Brimo device.\r\n\r\nPlease click the '&Update Brimo unit' button in the bottom "
            "right corner of this application to begin the update process.|welcomeLabel=Brimo "
            "update utility|completedTitle=Update complete|progress=Progress:|copyright=Copyright "
            "\u00a9 Brimo|info=During this process this application will attempt to connect to "
            "the internet to retrieve remote updates for your Brimo device.|"
            "updateBtn=&Update Brimo unit|stage1Btn=&Scan|detectBtn=Auto &detect|stage2Btn=&Update "
            "device|stage5Btn=&Update device|file=&File|settings=&Settings|exit=&Exit|help=&Help|"
            "about=&About|welcomeWindow=true|stageWindow=false|completedWindow="
            "false|Picture2=true|Picture3=false|stageContainer=false|progressDots=false");
        // The log, light grey on grey.
        const QPalette log = m_user->control("Text1")->palette();
        QCOMPARE(log.color(QPalette::Text).name() + log.color(QPalette::Base).name(),
                 "#e0e0e0#909090");
        // What a screen reader calls each part of the window that has a name of its own.
        QStringList names;
        for (const QWidget *part : m_window->findChildren<QWidget *>())
            names << part->objectName() + u'=' + part->accessibleName();
        QCOMPARE(names.filter(QRegularExpression("=.")).join(u'|'),
                 "client=Brimo update utility|completedWindow=Update complete|Picture3=Update "
                 "complete|stageWindow=Update stage|Text1=Activity log|infoContainer=Stage "
                 "information|stageContainer=Stage 1 of 6:|ProgressBar=Progress|welcomeWindow="
                 "Welcome|Picture2=Brimo update utility|footer=Buttons|header=Brimo update "
                 "utility|logo=Brimo|file=File|help=Help");
        QStringList about;
        m_user->inNextDialog([&about](QDialog &dialog) {
            const QLabel *title = dialog.findChild<QLabel *>("infoTitle");
            const QLabel *info = dialog.findChild<QLabel *>("info");
            about << dialog.windowTitle() << title->text() << info->text();
            dialog.windowHandle()->close();
            QCOMPARE(QList<QRect>({title->geometry(), info->geometry()}),
                     QList<QRect>({{8, 6, 424, 24}, {8, 40, 424, 80}}));
        });
        QVERIFY(m_user->choose("about") && m_user->waitUntilIdle());
        QCOMPARE(about.join(u'|'), "About Brimo update utility|Brimo update utility|Brimo update "
                                   "utility v2.1\r\n\r\nPlease find more information at "
                                   "http://www.brimo.example/");
    }

    void serviceMessageIsShownAsTextThatFits_data()
    {
        QTest::addColumn<QString>("message"); // served with a refusal, read in its box
        QTest::addColumn<QString>("shown");
        const QString markup = "<h1>Error</h1><img src=\"//server/share/x.png\"><b>No update</b>";
        QString words;
        for (int i = 0; words.size() < 5000; ++i)
            words += QStringLiteral("word%1 ").arg(i);
        const QString lines = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13"
                              "\r\n14\r\n15";
        QTest::newRow("markup, as its text") << markup << markup;
        QTest::newRow("very long, cut") << words << words.left(600).trimmed() + kCut;
        QTest::newRow("more lines, cut") << lines + "\r\n16\r\n17" << lines + kCut;
        const QString address = "See http://www.brimo.example/updates/AB12CD34/readme.html";
        QTest::newRow("a long address, whole") << address << address;
        QTest::newRow("one endless word, cut and broken")
            << QString(3000, u'W') << QStringList(10, QString(60, u'W')).join(u'\n') + kCut;
    }
    void serviceMessageIsShownAsTextThatFits()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        bool fits = false;
        Qt::TextFormat format = Qt::AutoText;
        m_user->setBoxHandler([&](QMessageBox &box) {
            fits = box.screen()->availableGeometry().contains(box.frameGeometry());
            format = box.textFormat();
            return QMessageBox::Ok;
        });
        m_window->showBox(message, brimo::SessionWindow::Box::Stop);
        QCOMPARE(m_user->boxes().size(), 1);
        QCOMPARE(m_user->boxes()[0].whole(), "[Brimo update utility] [Critical] [Ok*] " + shown);
        QVERIFY(format == Qt::PlainText && fits);
    }

    void settingsOpenOnTheCurrentPortAndOnlyOkStores_data()
    {
        // The settings stored at start-up (port, proxy server and port), the
        // update started (the stored port in use), what the user types and
        // how he leaves; then what is stored, where the dialog opens and the
        // first stage's button.
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("was");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("leave"); // "OK", "Cancel" or the close box
        QTest::addColumn<QString>("after");
        const auto row = [](const char *name, bool started, const char *was, const char *typed,
                            const char *leave, const char *after) {
            QTest::newRow(name) << started << QString(was) << QString(typed) << QString(leave)
                                << QString(after);
        };
        row("the stored port; OK stores the choices", false, "5|old|3128", "1|new|8080", "OK",
            "1|new|8080|1|&Scan");
        // "03" is port 3, which the box offers; the text itself it does not.
        row("the current port before the stored one; emptied proxy boxes", true, "03|old|3128",
            "||", "OK", "3|||3|&Scan");
        for (const char *leave : {"Cancel", "close"})
            row(leave, false, "5|old|3128", "12|new|8080", leave, "5|old|3128|5|&Settings");
    }
    void settingsOpenOnTheCurrentPortAndOnlyOkStores()
    {
        QFETCH(bool, started);
        QFETCH(QString, was);
        QFETCH(QString, typed);
        QFETCH(QString, leave);
        QFETCH(QString, after);
        const QStringList stored = items(was), chosen = items(typed),
                          names = items("COMPort|ProxyServer|ProxyPort");
        m_rig = std::make_unique<SessionRig>(QMap<QString, QString>{
            {names[0], stored[0]}, {names[1], stored[1]}, {names[2], stored[2]}});
        m_user = &m_rig->user;
        QVERIFY(!started || m_user->run("updateBtn"));
        m_user->control<QPushButton>("stage1Btn")->setText(QStringLiteral("&Settings"));
        QStringList seen;
        m_user->inNextDialog([&](QDialog &dialog) {
            auto *com = dialog.findChild<QComboBox *>("com");
            seen << dialog.windowTitle() << com->currentText();
            for (int i = 0; i < com->count(); ++i)
                seen << com->itemText(i);
            for (QObject *child : dialog.findChildren<QObject *>())
                seen << child->property("title").toString() + child->property("text").toString();
            for (const char *name : {"welcomeWindow", "Picture2", "welcomeLabel", "Frame1",
                                     "Frame2", "Label1", "Label2"})
                seen << (dialog.findChild<QWidget *>(name) ? "" : name); // each control named
            if (!chosen[0].isEmpty())
                com->setCurrentIndex(com->findText(chosen[0]));
            dialog.findChild<QLineEdit *>("txtProxyServer")->setText(chosen[1]);
            dialog.findChild<QLineEdit *>("txtProxyPort")->setText(chosen[2]);
            if (leave == "close")
                dialog.windowHandle()->close();
            else
                dialog.findChild<QPushButton *>(leave == "OK" ? "Command1" : "Command2")->click();
        });
        QVERIFY(m_user->choose("settings") && m_user->waitUntilIdle());
        seen.removeAll(QString());
        const QString opensOn = started ? stored[0].mid(1) : stored[0];
        QCOMPARE(seen, items("Brimo update utility settings|" + opensOn +
                             "|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|Settings|COM Port:|Proxy "
                             "settings:|Proxy server (leave blank for none)|" +
                             stored[1] + "|Proxy port (leave blank for none)|" + stored[2] +
                             "|&OK|&Cancel"));
        QStringList now;
        for (const QString &name : names)
            now << m_rig->store.values.value(name);
        m_user->inNextDialog([&now](QDialog &dialog) {
            now << dialog.findChild<QComboBox *>("com")->currentText();
            dialog.reject();
        });
        QVERIFY(m_user->choose("settings") && m_user->waitUntilIdle());
        now << m_user->control<QPushButton>("stage1Btn")->text();
        QCOMPARE(now.join(u'|'), after);
    }

    // Any stage number but 1 to 5 shows the welcome page, whatever was shown
    // (here the first stage's page, every stage button the other way round),
    // and writes the header all the same.
    void otherStagesShowTheWelcomePage()
    {
        for (qint16 stage : std::initializer_list<qint16>{0, 6}) {
            m_rig->session.checkStage(brimo::Stage::Port);
            for (QWidget *button : m_window->findChildren<QWidget *>(QRegularExpression("Btn$")))
                button->setVisible(!button->isVisible());
            m_rig->session.checkStage(static_cast<brimo::Stage>(stage));
            QCOMPARE(m_rig->sight(), "[welcome updateBtn 0%]");
            QCOMPARE(m_user->control<QLabel>("stageHeader")->text(),
                     QStringLiteral("Stage %1 of 5:").arg(stage));
        }
    }

    // Before its window, the program ends with one box that says why when it
    // cannot make sure it runs alone, or cannot write beside itself.
    void startUpRefusals_data()
    {
        QTest::addColumn<bool>("lock");
        QTest::addColumn<QString>("box");
        QTest::newRow("no lock") << true
                                 << "The Brimo update utility cannot make sure that no other copy "
                                    "of it runs:\r\n<nowhere>: No such file or directory\r\n\r\n"
                                    "Please restart the PC and start the utility again.";
        QTest::newRow("a folder it cannot write to")
            << false
            << "The Brimo update utility cannot write to its folder:\r\n<nowhere>\r\n\r\nPlease "
               "install it in a folder you can write to.";
    }
    void startUpRefusals()
    {
        QFETCH(bool, lock);
        QFETCH(QString, box);
        const QString nowhere = QDir::toNativeSeparators(m_data.filePath("none/brimo-update.lock"));
        brimo::SingleInstance instance(nowhere);
        QVERIFY(lock ? brimo::takeSingleCopyLock(instance) == 1
                     : !brimo::checkApplicationFolder(nowhere));
        QCOMPARE(m_user->boxes().size(), 1);
        QCOMPARE(m_user->boxes()[0].whole(),
                 "[Brimo update utility] [NoIcon] [Ok*] " + box.replace("<nowhere>", nowhere));
    }

    // A second copy, started while the first copy's window is behind another,
    // brings that window to the front and ends.
    void secondCopyBringsTheFirstForward()
    {
        brimo::SingleInstance first(m_data.filePath("brimo-update.lock"));
        QCOMPARE(first.tryLock(), brimo::SingleInstance::Lock::Taken);
        first.answerLaterCopies([this] { m_window->comeForward(); });
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        qputenv("XDG_RUNTIME_DIR", m_data.path().toUtf8());
        qputenv("BRIMO_REGISTRY_FILE", m_data.filePath("registry").toUtf8());
        QProcess copy;
        copy.start(QStringLiteral(BRIMO_APP_DIR "/brimo-update"), {});
        QTRY_COMPARE_WITH_TIMEOUT(copy.state(), QProcess::NotRunning, 10000);
        QCOMPARE(copy.exitCode(), 0);
        QTRY_COMPARE(QApplication::activeWindow(), m_window);
    }

    // A screen reader reads a label without its markers: "&&" is a literal
    // "&", "&x" is "x", and a last "&" stays as it is.
    void labelsReadWithoutAccessKeyMarkers()
    {
        for (const auto &[caption, name] :
             {std::pair{"Press 'Auto &detect'", "Press 'Auto detect'"}, {"R&&D &", "R&D &"}}) {
            brimo::AccessKeyLabel label(caption);
            QCOMPARE(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Name),
                     QString(name));
        }
    }

    void logDateAndTimeCarryNoTimeZone()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(19, 40, 47));
        for (const char *name : {"en_US", "en_GB", "de_DE", "ja_JP", "C"}) {
            const QString text = brimo::generalDateText(when, QLocale(QLatin1String(name)));
            QVERIFY2(text.contains("47") && !text.contains(when.timeZoneAbbreviation()) &&
                         text == text.trimmed(),
                     qPrintable(text));
        }
    }

private:
    QTemporaryDir m_data;
    std::unique_ptr<SessionRig> m_rig;
    brimo::MainWindow *m_window = nullptr;
    WindowDriver *m_user = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
