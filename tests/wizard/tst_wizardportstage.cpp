// Stage 1 of the wizard, driven through the real window: the stored COM port,
// the single-port scan and the auto detection over COM1 to COM16.
#include "boxanswerer.h"
#include "wizardrig.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

using brimo::main;

namespace {

const QString kBegan = QStringLiteral("Update process began ") + kNow;
const QString kRetrieving = QStringLiteral("Retrieving existing registry value");
const QString kNoPortInfo =
    QStringLiteral("The Brimo update utility has no COM port set, please ensure your Brimo device "
                   "is plugged into a COM port and is switched to 'NORMAL' mode. \r\n\r\nPress the "
                   "'Auto &detect' button to begin device detection.");
const QString kDownloadModeInfo =
    QStringLiteral("Please remove power to the Brimo device, wait 10 seconds, switch it to the "
                   "'D/L' position and re-apply power.\r\n\r\nPress the '&Update device' button to "
                   "continue.");

QString comBoxText(main &window)
{
    return window.settingsDialog().com->currentText();
}

} // namespace

class TestWizardPortStage : public QObject {
    Q_OBJECT
private slots:
    void storedComPort_data();
    void storedComPort();
    void otherStageNumbersShowTheWelcomePage_data();
    void otherStageNumbersShowTheWelcomePage();
    void scanOfTheChosenPort_data();
    void scanOfTheChosenPort();
    void autoDetectFindsTheDeviceOnCom5();
    void autoDetectWithNoDeviceAnywhere();
};

void TestWizardPortStage::storedComPort_data()
{
    QTest::addColumn<QString>("stored"); // "<none>": no value at all
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("logAfterRetrieving");
    QTest::addColumn<QString>("storedAfter");

    const QString blank = QStringLiteral("Blank registry value returned");
    QTest::newRow("port 3") << "3" << 2 << 3 << QStringList{"Registry value returned: COM 3"}
                            << "3";
    // Written with the system's decimal separator, as the user's system stores it.
    const QString twoAndAHalf = QStringLiteral("2") + QLocale::system().decimalPoint() + u'5';
    QTest::newRow("fraction, half to even")
        << twoAndAHalf << 2 << 2 << QStringList{"Registry value returned: COM " + twoAndAHalf}
        << twoAndAHalf;
    QTest::newRow("leading blank")
        << " 7" << 2 << 7 << QStringList{"Registry value returned: COM  7"} << " 7";
    QTest::newRow("no value") << "<none>" << 1 << 0 << QStringList{blank} << "";
    QTest::newRow("empty value") << "" << 1 << 0 << QStringList{blank} << "";
    QTest::newRow("port name") << "COM3" << 1 << 0
                               << QStringList{"Registry value returned: COM COM3",
                                              "COM3is not a valid COM port number"}
                               << "";
    QTest::newRow("beyond 16 bits")
        << "99999" << 1 << 0
        << QStringList{"Registry value returned: COM 99999", "99999is not a valid COM port number"}
        << "";
}

void TestWizardPortStage::storedComPort()
{
    QFETCH(QString, stored);
    QFETCH(int, stage);
    QFETCH(int, port);
    QFETCH(QStringList, logAfterRetrieving);
    QFETCH(QString, storedAfter);

    WizardRig rig;
    if (stored != QStringLiteral("<none>"))
        WizardRig::storeComPort(stored);
    const auto window = WizardRig::openWindow();
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);

    COMPARE_LOG(*window, (QStringList{kBegan, kRetrieving} + logAfterRetrieving));
    QCOMPARE(window->state().currentStage, qint16(stage));
    QCOMPARE(window->state().comPortNumber, qint16(port));
    QCOMPARE(window->state().updateInProgress, false);
    QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage %1 of 5:").arg(stage));
    QCOMPARE(WizardRig::storedComPort(), storedAfter);
    QVERIFY(window->stageWindow->isVisible());
    QVERIFY(!window->welcomeWindow->isVisible());
    QVERIFY(!window->updateBtn->isVisible());
    QCOMPARE(window->stage2Btn->isVisible(), stage == 2);
    QCOMPARE(window->stage1Btn->isVisible(), stage == 1);
    if (stage == 2) {
        QCOMPARE(window->info->text(), kDownloadModeInfo);
        QCOMPARE(comBoxText(*window), QString::number(port));
        QVERIFY(!window->detectBtn->isVisible());
    } else if (stored.trimmed().isEmpty() || stored == QStringLiteral("<none>")) {
        QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Settings"));
        QCOMPARE(window->info->text(), kNoPortInfo);
        QVERIFY(window->detectBtn->isVisible());
    } else {
        // The page keeps the text it had, and the detection button its state.
        QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Scan"));
        QVERIFY(window->info->text().startsWith(QStringLiteral("During this process")));
        QVERIFY(!window->detectBtn->isVisible());
    }
}

void TestWizardPortStage::otherStageNumbersShowTheWelcomePage_data()
{
    QTest::addColumn<int>("stage");
    QTest::newRow("0") << 0;
    QTest::newRow("6") << 6;
    QTest::newRow("-1") << -1;
}

void TestWizardPortStage::otherStageNumbersShowTheWelcomePage()
{
    QFETCH(int, stage);
    WizardRig rig;
    const auto window = WizardRig::openWindow();
    QTest::mouseClick(window->updateBtn, Qt::LeftButton); // stage 1, no port stored
    QVERIFY(window->detectBtn->isVisible());

    window->state().currentStage = qint16(stage);
    window->checkStage(window->state().currentStage);

    QVERIFY(window->welcomeWindow->isVisible());
    QVERIFY(!window->stageWindow->isVisible());
    QVERIFY(!window->completedWindow->isVisible());
    QVERIFY(window->updateBtn->isVisible());
    for (QPushButton *button :
         {window->detectBtn, window->stage1Btn, window->stage2Btn, window->stage5Btn})
        QVERIFY2(!button->isVisible(), qPrintable(button->objectName()));
    QCOMPARE(window->state().updateInProgress, false);
    QCOMPARE(window->state().currentStage, qint16(stage));

    // From 0 the welcome button starts stage 1 again, with a fresh log.
    window->addText(QStringLiteral("an earlier line"));
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);
    QCOMPARE(window->state().currentStage, qint16(stage + 1));
    QCOMPARE(window->stageWindow->isVisible(), stage + 1 == 1);
    if (stage + 1 == 1)
        COMPARE_LOG(*window, ({kBegan, kRetrieving, "Blank registry value returned"}));
}

void TestWizardPortStage::scanOfTheChosenPort_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("found");
    QTest::newRow("device streaming") << "normal" << true;
    QTest::newRow("device silent") << "camera" << false;
}

void TestWizardPortStage::scanOfTheChosenPort()
{
    QFETCH(QString, mode);
    QFETCH(bool, found);
    WizardRig rig;
    QVERIFY(rig.plugDevice(3, mode).isReady());
    rig.leaveOtherPortsEmpty();
    const auto window = WizardRig::openWindow();
    BoxAnswerer user;
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);

    // No port known yet: the button opens the settings dialog and logs nothing.
    user.inNextDialog(choosePortInSettings(QStringLiteral("3")));
    QTest::mouseClick(window->stage1Btn, Qt::LeftButton);
    QCOMPARE(user.dialogsSeen(), 1);
    QCOMPARE(window->state().comPortNumber, qint16(3));
    QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Scan"));
    QVERIFY(window->stage1Btn->isEnabled());
    QVERIFY(window->detectBtn->isEnabled());
    QCOMPARE(window->state().updateInProgress, false);
    COMPARE_LOG(*window, ({kBegan, kRetrieving, "Blank registry value returned"}));

    QTest::mouseClick(window->stage1Btn, Qt::LeftButton);

    QStringList expected{kBegan, kRetrieving, "Blank registry value returned",
                         "Scanning COM port 3"};
    if (found) {
        expected << "Brimo device has been detected on COM 3";
        QCOMPARE(window->state().currentStage, qint16(2));
        QVERIFY(window->stage2Btn->isVisible());
        QCOMPARE(comBoxText(*window), QStringLiteral("3"));
    } else {
        expected << "Unable to detect the Brimo device on COM 3, press 'Auto detect' to search all "
                    "ports";
        QCOMPARE(window->state().currentStage, qint16(1));
        QVERIFY(window->detectBtn->isVisible());
        QVERIFY(window->stage1Btn->isEnabled());
    }
    COMPARE_LOG(*window, (expected));
    QCOMPARE(window->state().updateInProgress, false);
    QCOMPARE(user.seen().size(), 0);
    QCOMPARE(rig.device(3).status().value(QStringLiteral("open")), QStringLiteral("no"));
}

void TestWizardPortStage::autoDetectFindsTheDeviceOnCom5()
{
    WizardRig rig;
    QVERIFY(rig.plugDevice(5).isReady());
    rig.leaveOtherPortsEmpty();
    const auto window = WizardRig::openWindow();
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);

    QSignalSpy progress(window->ProgressBar, &QProgressBar::valueChanged);
    QTest::mouseClick(window->detectBtn, Qt::LeftButton);

    QList<int> values;
    for (const QList<QVariant> &change : progress)
        values << change.at(0).toInt();
    // The detection's steps, its 100, then stage 2 opening at 0.
    QCOMPARE(values, (QList<int>{6, 12, 19, 25, 31, 100, 0}));
    COMPARE_LOG(*window, ({kBegan, kRetrieving, "Blank registry value returned",
                           "Attempting to auto detect the Brimo device", "Scanning COM port 1",
                           "Scanning COM port 2", "Scanning COM port 3", "Scanning COM port 4",
                           "Scanning COM port 5", "Brimo device has been detected on COM 5"}));
    QCOMPARE(WizardRig::storedComPort(), QStringLiteral("5"));
    QCOMPARE(window->state().comPortNumber, qint16(5));
    QCOMPARE(comBoxText(*window), QStringLiteral("5"));
    QCOMPARE(window->state().currentStage, qint16(2));
    QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage 2 of 5:"));
    QVERIFY(window->stage2Btn->isVisible());
    QVERIFY(!window->detectBtn->isEnabled());
    QCOMPARE(window->state().updateInProgress, false);
}

void TestWizardPortStage::autoDetectWithNoDeviceAnywhere()
{
    WizardRig rig;
    // A device beyond the sixteen ports is never looked for.
    QVERIFY(rig.plugDevice(17).isReady());
    rig.leaveOtherPortsEmpty();
    const auto window = WizardRig::openWindow();
    BoxAnswerer user;
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);

    QTest::mouseClick(window->detectBtn, Qt::LeftButton);

    QStringList expected{kBegan, kRetrieving, "Blank registry value returned",
                         "Attempting to auto detect the Brimo device"};
    for (int port = 1; port <= 16; ++port)
        expected << QStringLiteral("Scanning COM port %1").arg(port);
    expected << "Unable to auto detect the Brimo device";
    COMPARE_LOG(*window, (expected));
    QCOMPARE(window->state().comPortNumber, qint16(-1));
    QCOMPARE(window->stage1Btn->text(), QStringLiteral("&Settings"));
    QCOMPARE(WizardRig::storedComPort(), QString());
    QCOMPARE(window->state().currentStage, qint16(1));
    QCOMPARE(window->state().updateInProgress, false);
    QVERIFY(window->detectBtn->isEnabled());
    QVERIFY(window->stage1Btn->isEnabled());

    // With no port known the stage button asks for the settings again.
    user.inNextDialog([](QDialog *dialog) { dialog->reject(); });
    QTest::mouseClick(window->stage1Btn, Qt::LeftButton);
    QCOMPARE(user.dialogsSeen(), 1);
    QCOMPARE(logLines(*window).size(), expected.size());
}

QTEST_MAIN(TestWizardPortStage)
#include "tst_wizardportstage.moc"
