// The main window and its dialogs offscreen: the log, the Internet progress,
// the layout, the service's message, and the dialogs used as a user would.
#include "platform/serialcontrol.h"
#include "wizardrig.h"

namespace {

const QString kCut =
    "\r\n\r\n(The rest of this message is not shown: it is too long for this box.)";
constexpr int kCapacity = brimo::MainWindow::kLogCapacity;

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<WizardRig>();
        m_window = &m_rig->open();
        m_user = &m_rig->user();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { m_rig.reset(); }

    void logFollowsItsRules_data()
    {
        QTest::addColumn<QStringList>("steps"); // <tick>: of the dots timer; <clear>: as stage 1
        QTest::addColumn<QString>("log");
        QTest::newRow("one line, no leading break") << items("Connected") << "Connected";
        QTest::newRow("two lines") << items("Began|Retrieving") << "Began\r\nRetrieving";
        QTest::newRow("empty text adds an empty line") << items("a|") << "a\r\n";
        QTest::newRow("empty text on an empty log") << items("|") << QString();
        QTest::newRow("dots lengthen the last line")
            << items("Downloading|<tick>|<tick>|<tick>") << "Downloading . . . . . . . . .";
        QTest::newRow("the next line starts after the dots")
            << items("Downloading|<tick>|Downloaded") << "Downloading . . .\r\nDownloaded";
        QTest::newRow("an emptied log starts without a break")
            << items("old|<clear>|Began") << "Began";
        QStringList many;
        for (int i = 0; i < 80; ++i)
            many << QStringLiteral("Scanning COM port %1").arg(i);
        QTest::newRow("more lines than the box shows") << many << many.join("\r\n");
        // 65 lines of 1000 characters and their breaks leave room for 405 more.
        const QStringList full(65, QString(1000, u'a'));
        QTest::newRow("filled to the last character: every line kept")
            << full + QStringList{QString(405, u'c')}
            << full.join("\r\n") + "\r\n" + QString(405, u'c');
        QTest::newRow("one character more: a fresh log")
            << full + QStringList{QString(406, u'c')} << QString(406, u'c');
        QTest::newRow("a line longer than the whole log keeps its beginning")
            << QStringList{"S3", "S3" + QString(kCapacity, u'F')}
            << "S3" + QString(kCapacity - 2, u'F');
    }
    void logFollowsItsRules()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, log);
        m_user->control("welcomeWindow")->hide();
        m_user->control("stageWindow")->show();
        auto *box = m_user->control<QPlainTextEdit>("Text1");
        for (const QString &step : steps) {
            if (step == "<tick>")
                QVERIFY(QMetaObject::invokeMethod(m_window->findChild<QTimer *>("progressDots"),
                                                  "timeout"));
            else if (step == "<clear>")
                box->clear();
            else
                m_window->addText(step);
        }
        QCOMPARE(m_window->logText(), log);
        QCOMPARE(box->toPlainText(), QString(log).replace("\r\n", "\n"));
        // The end of the newest line is in view, the log scrolled as far as it takes.
        QVERIFY(box->textCursor().atEnd() && box->viewport()->rect().contains(box->cursorRect()));
        QVERIFY(box->verticalScrollBar()->value() > 0 || log.size() < 1000);
    }

    void internetStateSetsProgress_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("progress");
        const QList<int> values = {0, 10, 20, 30, 40, 50, 60, 80, 80, 90, 100, 0, 100, 0};
        for (int state = 0; state < values.size(); ++state)
            QTest::addRow("state %d", state) << state << values[state];
    }
    void internetStateSetsProgress()
    {
        QFETCH(int, state);
        QFETCH(int, progress);
        auto *bar = m_user->control<QProgressBar>("ProgressBar");
        bar->setValue(55);
        m_window->addText(QStringLiteral("Testing"));
        QElapsedTimer clock;
        clock.start();
        emit m_window->internetControl().stateChanged(static_cast<qint16>(state));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(bar->value(), progress);
        QCOMPARE(m_window->logText(), state == 4 ? "Testing\r\nConnected" : "Testing");
        // States 1 to 6 pause the window for 200 ms.
        QVERIFY2(state >= 1 && state <= 6 ? elapsed >= 195 : elapsed < 190,
                 qPrintable(QString::number(elapsed)));
    }

    void firstShowLaysOutTheWelcomePage()
    {
        const QRect banner = m_user->control("header")->geometry();
        QCOMPARE(m_user->control("Line1")->geometry(),
                 QRect(0, banner.bottom() + 1, banner.width(), 1));
        QVERIFY(m_user->isShown("welcomeWindow") && !m_user->isShown("stageWindow") &&
                !m_user->isShown("completedWindow"));
        QCOMPARE(m_user->control<QProgressBar>("ProgressBar")->value(), 100);
        QCOMPARE(m_user->control<brimo::SerialControl>("MSComm1")->settings(), "9600,N,8,1");
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Brimo update utility"));
        // Every control by its name, with the text it starts with.
        for (const QString &control : items(
                 "welcomeInfo=This application will guide you through the necessary steps to "
                 "update your Brimo device.\r\n\r\nPlease click the '&Update Brimo unit' button "
                 "in the bottom right corner of this application to begin the update process.|"
                 "welcomeLabel=Brimo update utility|completedTitle=Update complete|progress="
                 "Progress:|copyright=Copyright \u00a9 Brimo|info=During this process this "
                 "application will attempt to connect to the internet to retrieve remote updates "
                 "for your Brimo device.|shown=updateBtn|updateBtn=&Update Brimo unit|stage1Btn="
                 "&Scan|detectBtn=Auto &detect|stage2Btn=&Update device|stage5Btn=&Update device|"
                 "file=&File|settings=&Settings|exit=&Exit|help=&Help|about=&About|completedText=|"
                 "Picture2=|Picture3=|stageContainer=|infoContainer=|logo=|objInet=|client="))
            QCOMPARE(control.section(u'=', 0, 0) + u'=' +
                         m_rig->actual(control.section(u'=', 0, 0)),
                     control);
        // The colours of the window, the footer, the banner's line, the frame
        // round the stage information and its title strip.
        m_user->control("welcomeWindow")->hide();
        m_user->control("stageWindow")->show();
        const QImage picture = m_window->grab().toImage();
        QStringList colours;
        for (const auto &[name, at] : {std::pair{"client", QPoint(2, 68)},
                                       {"footer", {1, 1}},
                                       {"Line1", {1, 0}},
                                       {"Shape1", {0, 100}},
                                       {"stageContainer", {1, 1}}})
            colours << picture.pixelColor(m_user->control(name)->mapTo(m_window, at)).name();
        QCOMPARE(colours.join(u' '), "#808080 #404040 #ffff00 #ffff00 #a0a0a0");
    }

    void serviceMessageIsShownAsTextThatFits_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const QString markup = "<h1>Error</h1><img src=\"//server/share/x.png\"><b>No update</b>";
        QString words;
        for (int i = 0; words.size() < 5000; ++i)
            words += QStringLiteral("word%1 ").arg(i);
        const QString lines = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13"
                              "\r\n14\r\n15";
        QTest::newRow("markup, as its text") << markup << markup;
        QTest::newRow("very long, cut") << words << words.left(600).trimmed() + kCut;
        QTest::newRow("15 lines, whole") << lines << lines;
        QTest::newRow("more lines, cut") << lines + "\r\n16\r\n17" << lines + kCut;
        QTest::newRow("one endless word, cut and broken")
            << QString(3000, u'W') << QStringList(15, QString(40, u'W')).join(u'\n') + kCut;
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
        m_window->showCritical(message);
        QCOMPARE(m_user->boxTexts(), QStringList{shown});
        QCOMPARE(m_user->boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(m_user->boxes()[0].caption, QStringLiteral("Brimo update utility"));
        QVERIFY(format == Qt::PlainText && fits);
    }

    void settingsOpenOnTheCurrentPortAndOnlyOkStores_data()
    {
        // The port in use, the settings stored when the dialog opens, what the
        // user types (port, proxy server, proxy port) and how he leaves, then
        // the settings stored and the port in use.
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("was");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("leave"); // "OK", "Cancel" or the close box
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<int>("port");
        const QStringList old = items("5|old.proxy|3128"), chosen = items("12|proxy.net|8080");
        QTest::newRow("the stored port; OK stores the choices")
            << 0 << old << chosen << "OK" << chosen << 12;
        QTest::newRow("the current port before the stored one; emptied proxy boxes")
            << 3 << old << items("||") << "OK" << items("3||") << 3;
        QTest::newRow("after a failed detection, nothing stored: no port to store")
            << -1 << items("||") << items("|p|x") << "OK" << items("|p|x") << -1;
        QTest::newRow("Cancel stores nothing") << 0 << old << chosen << "Cancel" << old << 0;
        QTest::newRow("the close box neither") << 0 << old << chosen << "close" << old << 0;
    }
    void settingsOpenOnTheCurrentPortAndOnlyOkStores()
    {
        QFETCH(int, current);
        QFETCH(QStringList, was);
        QFETCH(QStringList, typed);
        QFETCH(QString, leave);
        QFETCH(QStringList, stored);
        QFETCH(int, port);
        const QStringList names = items("COMPort|ProxyServer|ProxyPort");
        for (int i = 0; i < 3; ++i)
            WizardRig::store(names[i], was[i]);
        m_window->state().comPortNumber = static_cast<qint16>(current);
        m_user->control<QPushButton>("stage1Btn")->setText(QStringLiteral("&Settings"));
        QStringList seen;
        m_user->inNextDialog([&](QDialog &dialog) {
            auto *com = dialog.findChild<QComboBox *>("com");
            seen << dialog.windowTitle() << com->currentText();
            for (int i = 0; i < com->count(); ++i)
                seen << com->itemText(i);
            for (QObject *child : dialog.findChildren<QObject *>())
                seen << child->property("title").toString() + child->property("text").toString();
            if (!typed[0].isEmpty())
                com->setCurrentIndex(com->findText(typed[0]));
            dialog.findChild<QLineEdit *>("txtProxyServer")->setText(typed[1]);
            dialog.findChild<QLineEdit *>("txtProxyPort")->setText(typed[2]);
            if (leave == "close")
                dialog.windowHandle()->close();
            else
                dialog.findChild<QPushButton *>(leave == "OK" ? "Command1" : "Command2")->click();
        });
        QVERIFY(m_user->choose("settings") && m_user->waitUntilIdle());
        seen.removeAll(QString());
        QCOMPARE(seen.join(u'|'),
                 items("Brimo update utility settings|" +
                       (current > 0 ? QString::number(current) : was[0]) +
                       "|1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16|Settings|COM "
                       "Port:|Proxy settings:|Proxy server (leave blank for "
                       "none)|" +
                       was[1] + "|Proxy port (leave blank for none)|" + was[2] + "|&OK|&Cancel")
                     .filter(QRegularExpression("."))
                     .join(u'|'));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(WizardRig::setting(names[i]), stored[i]);
        QCOMPARE(m_window->state().comPortNumber, qint16(port));
        // A port chosen on "&OK" makes the first stage's button scan it.
        QCOMPARE(m_rig->actual("stage1Btn"), port > 0 && leave == "OK" ? "&Scan" : "&Settings");
    }

    void dialogLoadedByTheStageKeepsItsControlsUntilClosed()
    {
        // The port stage loads the dialog hidden; the menu then shows it as it
        // is, and once closed the next opening reads the store again.
        WizardRig::store("ProxyServer", "first.proxy");
        m_rig->run("COMPort=3|updateBtn");
        WizardRig::store("ProxyServer", "second.proxy");
        QStringList seen;
        for (int opening = 0; opening < 2; ++opening) {
            m_user->inNextDialog([&seen](QDialog &dialog) {
                seen << dialog.findChild<QComboBox *>("com")->currentText()
                     << dialog.findChild<QLineEdit *>("txtProxyServer")->text();
                dialog.reject();
            });
            QVERIFY(m_user->choose("settings") && m_user->waitUntilIdle());
        }
        QCOMPARE(seen.join(u'|'), "3|first.proxy|3|second.proxy");
    }

    void aboutShowsTitleAndVersion()
    {
        QStringList seen;
        m_user->inNextDialog([&seen](QDialog &dialog) {
            seen << dialog.windowTitle() << dialog.findChild<QLabel *>("infoTitle")->text()
                 << dialog.findChild<QLabel *>("info")->text();
            dialog.windowHandle()->close();
        });
        QVERIFY(m_user->choose("about") && m_user->waitUntilIdle());
        QCOMPARE(seen.join(u'|'), "About Brimo update utility|Brimo update utility|Brimo update "
                                  "utility v2.1\r\n\r\nPlease find more information at "
                                  "http://www.brimo.example/");
    }

private:
    std::unique_ptr<WizardRig> m_rig;
    brimo::MainWindow *m_window = nullptr;
    WindowDriver *m_user = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
