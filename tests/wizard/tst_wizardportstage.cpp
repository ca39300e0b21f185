// Stage 1 of the wizard, driven through the real window: the stored COM port,
// the single-port scan and the auto detection over COM1 to COM16.
#include "wizardrig.h"

namespace {

const QString kBlank = QStringLiteral("Blank registry value returned");
const QStringList kBlankStage1{kBegan, kRetrieving, kBlank};

} // namespace

class TestWizardPortStage : public QObject {
    Q_OBJECT
private slots:
    void storedComPort_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("port"); // 0: stage 1 again
        QTest::addColumn<QStringList>("logAfterRetrieving");

        const QString returned = QStringLiteral("Registry value returned: COM ");
        const auto invalid = [&](const QString &text) {
            return QStringList{returned + text, text + "is not a valid COM port number"};
        };
        // Written with the system's decimal separator, as the user's system stores it.
        const QString twoAndAHalf = QStringLiteral("2") + QLocale::system().decimalPoint() + u'5';
        QTest::newRow("port 3") << "3" << 3 << QStringList{returned + "3"};
        QTest::newRow("half to even") << twoAndAHalf << 2 << QStringList{returned + twoAndAHalf};
        QTest::newRow("leading blank") << " 7" << 7 << QStringList{returned + " 7"};
        QTest::newRow("empty value") << "" << 0 << QStringList{kBlank};
        QTest::newRow("port name") << "COM3" << 0 << invalid("COM3");
        QTest::newRow("beyond 16 bits") << "99999" << 0 << invalid("99999");
    }
    void storedComPort()
    {
        QFETCH(QString, stored);
        QFETCH(int, port);
        QFETCH(QStringList, logAfterRetrieving);
        WizardRig rig;
        WizardRig::storeComPort(stored);
        const auto window = WizardRig::openWindow();

        const int stage = port > 0 ? 2 : 1;
        COMPARE_LOG(*window, (QStringList{kBegan, kRetrieving} + logAfterRetrieving));
        QCOMPARE(window->state().currentStage, qint16(stage));
        QCOMPARE(window->state().comPortNumber, qint16(port));
        QCOMPARE(window->state().updateInProgress, false);
        QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage %1 of 5:").arg(stage));
        // A value that is no port number is cleared.
        QCOMPARE(WizardRig::storedComPort(), port > 0 ? stored : QString());
        QVERIFY(window->stageWindow->isVisible() && !window->welcomeWindow->isVisible());
        QCOMPARE(window->stage2Btn->isVisible(), stage == 2);
        QCOMPARE(window->stage1Btn->isVisible(), stage == 1);
        QCOMPARE(window->detectBtn->isVisible(), stage == 1 && stored.isEmpty());
        if (stage == 2) {
            QCOMPARE(window->info->text(),
                     kDownloadModeBox + "\r\n\r\nPress the '&Update device' button to continue.");
            QCOMPARE(window->settingsDialog().com->currentText(), QString::number(port));
        } else if (stored.isEmpty()) {
            QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Settings"));
            QCOMPARE(window->info->text(),
                     QStringLiteral("The Brimo update utility has no COM port set, please ensure "
                                    "your Brimo device is plugged into a COM port and is switched "
                                    "to 'NORMAL' mode. \r\n\r\nPress the 'Auto &detect' button to "
                                    "begin device detection."));
        } else {
            // The page keeps the text it had.
            QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Scan"));
            QVERIFY(window->info->text().startsWith(QStringLiteral("During this process")));
        }
    }

    void otherStageNumbersShowTheWelcomePage_data()
    {
        QTest::addColumn<int>("stage");
        QTest::newRow("0") << 0;
        QTest::newRow("6") << 6;
        QTest::newRow("-1") << -1;
    }
    void otherStageNumbersShowTheWelcomePage()
    {
        QFETCH(int, stage);
        WizardRig rig;
        const auto window = WizardRig::openWindow(); // stage 1, no port stored
        window->state().currentStage = qint16(stage);
        window->checkStage(window->state().currentStage);

        QVERIFY(window->welcomeWindow->isVisible() && window->updateBtn->isVisible());
        for (QWidget *widget :
             QWidgetList{window->stageWindow, window->completedWindow, window->detectBtn,
                         window->stage1Btn, window->stage2Btn, window->stage5Btn})
            QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
        QVERIFY(!window->state().updateInProgress);
        QCOMPARE(window->state().currentStage, qint16(stage));

        // From 0 the welcome button starts stage 1 again, with a fresh log.
        window->addText(QStringLiteral("an earlier line"));
        QTest::mouseClick(window->updateBtn, Qt::LeftButton);
        QCOMPARE(window->state().currentStage, qint16(stage + 1));
        QCOMPARE(window->stageWindow->isVisible(), stage == 0);
        if (stage == 0)
            COMPARE_LOG(*window, (kBlankStage1));
    }

    void scanOfTheChosenPort_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("found");
        QTest::newRow("device streaming") << "normal" << true;
        QTest::newRow("device silent") << "camera" << false;
    }
    void scanOfTheChosenPort()
    {
        QFETCH(QString, mode);
        QFETCH(bool, found);
        WizardRig rig;
        QVERIFY(rig.plugDevice(3, mode));
        rig.leaveOtherPortsEmpty();
        const auto window = WizardRig::openWindow();
        BoxAnswerer user;

        // No port known yet: the button opens the settings dialog and logs nothing.
        user.inNextDialog(choosePortInSettings(QStringLiteral("3")));
        QTest::mouseClick(window->stage1Btn, Qt::LeftButton);
        QCOMPARE(user.dialogsSeen(), 1);
        QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Scan"));
        QVERIFY(window->stage1Btn->isEnabled() && window->detectBtn->isEnabled());
        COMPARE_LOG(*window, (kBlankStage1));

        QTest::mouseClick(window->stage1Btn, Qt::LeftButton);

        COMPARE_LOG(
            *window,
            (kBlankStage1 + QStringList{"Scanning COM port 3",
                                        found ? "Brimo device has been detected on COM 3"
                                              : "Unable to detect the Brimo device on COM 3, press "
                                                "'Auto detect' to search all ports"}));
        QCOMPARE(window->state().currentStage, qint16(found ? 2 : 1));
        QCOMPARE(window->stage2Btn->isVisible(), found);
        QCOMPARE(window->detectBtn->isVisible(), !found);
        QVERIFY(found || window->stage1Btn->isEnabled());
        QCOMPARE(window->settingsDialog().com->currentText(), QStringLiteral("3"));
        QVERIFY(!window->state().updateInProgress && user.seen().isEmpty());
        QCOMPARE(rig.device(3).status().value(QStringLiteral("open")), QStringLiteral("no"));
    }

    void autoDetect_data()
    {
        QTest::addColumn<int>("devicePort");
        QTest::addColumn<bool>("found");
        QTest::newRow("device on COM5") << 5 << true;
        // A device beyond the sixteen ports is never looked for.
        QTest::newRow("no device on COM1 to COM16") << 17 << false;
    }
    void autoDetect()
    {
        QFETCH(int, devicePort);
        QFETCH(bool, found);
        WizardRig rig;
        QVERIFY(rig.plugDevice(devicePort));
        rig.leaveOtherPortsEmpty();
        const auto window = WizardRig::openWindow();
        BoxAnswerer user;
        QSignalSpy progress(window->ProgressBar, &QProgressBar::valueChanged);

        QTest::mouseClick(window->detectBtn, Qt::LeftButton);

        const int stage = found ? 2 : 1;
        COMPARE_LOG(*window, (kBlankStage1 + detectionLines(found ? 5 : 16, found)));
        QCOMPARE(WizardRig::storedComPort(), found ? QStringLiteral("5") : QString());
        QCOMPARE(window->state().comPortNumber, qint16(found ? 5 : -1));
        QCOMPARE(window->state().currentStage, qint16(stage));
        QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage %1 of 5:").arg(stage));
        QVERIFY(!window->state().updateInProgress);
        QCOMPARE(window->stage2Btn->isVisible(), found);
        QCOMPARE(window->detectBtn->isEnabled(), !found);
        if (found) {
            QList<int> values;
            for (const QList<QVariant> &change : progress)
                values << change.at(0).toInt();
            // The detection's steps, its 100, then stage 2 opening at 0.
            QCOMPARE(values, (QList<int>{6, 12, 19, 25, 31, 100, 0}));
            QCOMPARE(window->settingsDialog().com->currentText(), QStringLiteral("5"));
            return;
        }
        // With no port known the stage button asks for the settings again.
        QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Settings"));
        QTest::mouseClick(window->stage1Btn, Qt::LeftButton);
        QCOMPARE(user.dialogsSeen(), 1);
        QCOMPARE(logLines(*window).size(), kBlankStage1.size() + 18);
    }
};

QTEST_MAIN(TestWizardPortStage)
#include "tst_wizardportstage.moc"
