// Whole updates through the real window, from the device read to the
// completion page, against the simulated device, the stand-in flash tool and
// the stand-in vendor service: the Internet test, the download, the flash and
// their retries.
#include "wizardrig.h"

#include <QAction>
#include <QtTest>

using brimo::main;

namespace {

const QString kFlashFailedBox =
    QStringLiteral("Ready to update the Brimo with the latest updates.\r\n\r\nPlease remove power, "
                   "wait 10 seconds, ensure the 'D/L' mode is selected and reapply power.");
const QString kGiveUpBox =
    QStringLiteral("Communication error. The utility will now shut down.  Please run this update "
                   "utility again to perform the update.");
const QStringList kFlashAttempt{"Updating device with the latest update",
                                "Checking update integrity", "Checking system number",
                                "Updating device."};
const QStringList kFailedFlash = kFlashAttempt + QStringList{"Unable to update Brimo device"};
const QStringList kCompletion =
    kFlashAttempt + QStringList{"Cleaning up", QStringLiteral("Update process completed ") + kNow};

} // namespace

class TestWizardUpdate : public QObject {
    Q_OBJECT
private slots:
    void successfulUpdateFromWelcomeToCompletion();
    void internetTestFailsAndTheUserGoesRoundAgain();
    void flashFailuresReachTheLimitThenRepeatWithAFreshCount();
    void closeRequestDeclinedWhileBusy_data();
    void closeRequestDeclinedWhileBusy();
    void portChosenDuringTheRunReadsThereButFlashesTheStartPort();

private:
    static QStringList toTheFlash(const WizardRig &rig)
    {
        return kToTheDownload +
               QStringList{QStringLiteral("Downloaded %1 bytes").arg(rig.imageSize())};
    }
    static void verifyCompleted(WizardRig &rig, main &window);
};

void TestWizardUpdate::verifyCompleted(WizardRig &rig, main &window)
{
    QVERIFY(window.completedWindow->isVisible());
    QCOMPARE(window.completedText->text(),
             QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                            "information.\r\n\r\nPlease remove the power from the Brimo unit, wait "
                            "10 seconds and change the mode selection switch to either 'normal' "
                            "or 'camera'."));
    QCOMPARE(window.ProgressBar->value(), 100);
    QCOMPARE(window.state().currentStage, qint16(5));
    QCOMPARE(window.stageHeader->text(), QStringLiteral("Stage 5 of 5:"));
    QCOMPARE(window.attemptCount, qint16(0));
    QVERIFY(!window.progressDots->isActive());
    QCOMPARE(window.state().updateInProgress, false);
    for (QPushButton *button :
         {window.updateBtn, window.stage1Btn, window.detectBtn, window.stage2Btn, window.stage5Btn})
        QVERIFY2(!button->isVisible(), qPrintable(button->objectName()));
    QVERIFY(!QFile::exists(rig.app().workFilePath()));

    // The device holds the new image and still its own identity: the image
    // came with a blank identity record, so the utility must have rebuilt it.
    const QMap<QString, QString> status = rig.device(3).status();
    QCOMPARE(status.value(QStringLiteral("writes")), QStringLiteral("1"));
    QCOMPARE(status.value(QStringLiteral("system")), kSystemNumber);
    QCOMPARE(status.value(QStringLiteral("tail")), kTail);
}

void TestWizardUpdate::successfulUpdateFromWelcomeToCompletion()
{
    WizardRig rig;
    QVERIFY(rig.arrangeUpdate());
    const auto window = WizardRig::openWindow();
    BoxAnswerer user;
    QStringList headers;
    connect(&window->objInet, &brimo::InetControl::stateChanged, this, [&] {
        if (headers.isEmpty() || headers.constLast() != window->stageHeader->text())
            headers << window->stageHeader->text();
    });

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    COMPARE_LOG(*window, (toTheFlash(rig) + kCompletion));
    QCOMPARE(headers, (QStringList{"Stage 3 of 5:", "Stage 4 of 5:"}));
    QVERIFY(user.seen().isEmpty());
    verifyCompleted(rig, *window);
    QCOMPARE(rig.toolRuns(), (QStringList{readRun(3), writeRun(3)}));
    const QByteArray requests = rig.vendor().requests();
    QVERIFY(requests.contains("GET /ws/ping.asp? HTTP/1.1"));
    QVERIFY(requests.contains("GET /ws/updatedevice.asp?SystemCodeString=AB12CD34 HTTP/1.1"));
}

void TestWizardUpdate::internetTestFailsAndTheUserGoesRoundAgain()
{
    WizardRig rig;
    QVERIFY(rig.arrangeUpdate());
    const auto window = WizardRig::openWindow();
    QVERIFY(rig.vendor().setFault(QStringLiteral("404")));
    BoxAnswerer user;
    user.queue({QMessageBox::Ok});

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    QCOMPARE(user.seenTexts(), QStringList{kNoInternetBox});
    QCOMPARE(user.seen().constFirst().icon, QMessageBox::Critical);
    QCOMPARE(user.seen().constFirst().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(window->state().currentStage, qint16(2));
    QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage 2 of 5:"));
    QVERIFY(window->stage2Btn->isVisible());
    QCOMPARE(window->state().updateInProgress, false);
    QCOMPARE(window->attemptCount, qint16(1));

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    COMPARE_LOG(*window, (kUpToStage2 +
                          QStringList{"Connecting to the Internet", "Connected",
                                      "Internet connection test failed"} +
                          toTheFlash(rig).mid(kUpToStage2.size()) + kCompletion));
    QCOMPARE(user.seen().size(), 1);
    verifyCompleted(rig, *window);
}

void TestWizardUpdate::flashFailuresReachTheLimitThenRepeatWithAFreshCount()
{
    WizardRig rig;
    QVERIFY(rig.arrangeUpdate());
    const auto window = WizardRig::openWindow();
    // The read, then two failed writes: one read and two flash failures
    // reach the limit of three attempts.
    rig.app().setFaults({QStringLiteral("ok"), QStringLiteral("exit 5"), QStringLiteral("exit 5")});
    BoxAnswerer user;
    user.queue({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::No});

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    COMPARE_LOG(*window, (toTheFlash(rig) + kFailedFlash + kFailedFlash));
    QCOMPARE(user.seenTexts(), (QStringList{kFlashFailedBox, kGiveUpBox, kTerminateBox}));
    QCOMPARE(user.seen()[2].buttons, QMessageBox::Yes | QMessageBox::No);
    for (const BoxAnswerer::Box &box : user.seen())
        QCOMPARE(box.icon, QMessageBox::NoIcon);
    // The close was declined: the window stays on stage 5 with its button.
    QVERIFY(window->isVisible());
    QVERIFY(window->stage5Btn->isVisible());
    QCOMPARE(window->stage5Btn->text(), QStringLiteral("&Update device"));
    QVERIFY(!window->completedWindow->isVisible());
    QCOMPARE(window->state().currentStage, qint16(5));
    QCOMPARE(window->ProgressBar->value(), 0);
    QCOMPARE(window->attemptCount, qint16(0));
    QCOMPARE(window->state().updateInProgress, false);
    QVERIFY(!window->progressDots->isActive());

    // A fresh count: two more failures only ask for another power cycle.
    rig.app().setFaults({QStringLiteral("exit 5"), QStringLiteral("exit 5")});
    user.queue({QMessageBox::Ok, QMessageBox::Ok});
    QTest::mouseClick(window->stage5Btn, Qt::LeftButton);

    COMPARE_LOG(*window, (toTheFlash(rig) + kFailedFlash + kFailedFlash + kFailedFlash +
                          kFailedFlash + kCompletion));
    QCOMPARE(user.seenTexts(), (QStringList{kFlashFailedBox, kGiveUpBox, kTerminateBox,
                                            kFlashFailedBox, kFlashFailedBox}));
    verifyCompleted(rig, *window);
    QCOMPARE(rig.toolRuns(), (QStringList{readRun(3), writeRun(3, 5), writeRun(3, 5),
                                          writeRun(3, 5), writeRun(3, 5), writeRun(3)}));
}

void TestWizardUpdate::closeRequestDeclinedWhileBusy_data()
{
    QTest::addColumn<QString>("whileLogShows");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("vendorFault");
    QTest::addColumn<QStringList>("toolFaults");

    // Slow transfers, so that the request lands in the middle of them.
    QTest::newRow("during the download") << "Downloading updates"
                                         << "Stage 4 of 5:"
                                         << "slow" << QStringList{};
    QTest::newRow("during the flash")
        << "Updating device."
        << "Stage 5 of 5:" << QString() << QStringList{"ok", "delay 3000"};
}

void TestWizardUpdate::closeRequestDeclinedWhileBusy()
{
    QFETCH(QString, whileLogShows);
    QFETCH(QString, header);
    QFETCH(QString, vendorFault);
    QFETCH(QStringList, toolFaults);
    WizardRig rig;
    QVERIFY(rig.arrangeUpdate());
    const auto window = WizardRig::openWindow();
    if (!vendorFault.isEmpty())
        whenLogShows(
            *window, QStringLiteral("Downloading updates"),
            [&] { QVERIFY(rig.vendor().setFault(vendorFault)); }, -1);
    rig.app().setFaults(toolFaults);
    BoxAnswerer user;
    user.queue({QMessageBox::No});
    QString headerAtBox;
    user.onBox(0, [&] { headerAtBox = window->stageHeader->text(); });
    whenLogShows(*window, whileLogShows, [&] { window->close(); });

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    QCOMPARE(user.seenTexts(), QStringList{kTerminateBox});
    QCOMPARE(headerAtBox, header);
    COMPARE_LOG(*window, (toTheFlash(rig) + kCompletion));
    verifyCompleted(rig, *window);
}

void TestWizardUpdate::portChosenDuringTheRunReadsThereButFlashesTheStartPort()
{
    WizardRig rig;
    rig.startVendor();
    QVERIFY(rig.plugDevice(4, QStringLiteral("dl")) && rig.plugDevice(7, QStringLiteral("dl")));
    rig.leaveOtherPortsEmpty();
    // "COMPort" says 4 when the program starts; the user then picks 7.
    WizardRig::storeComPort(QStringLiteral("4"));
    const auto window = WizardRig::openWindow();
    BoxAnswerer user;
    user.inNextDialog(choosePortInSettings(QStringLiteral("7")));
    window->settings->trigger();
    QCOMPARE(window->state().comPortNumber, qint16(7));

    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

    QCOMPARE(rig.toolRuns(), (QStringList{readRun(7), writeRun(4)}));
    QVERIFY(window->completedWindow->isVisible());
    QCOMPARE(rig.device(4).status().value(QStringLiteral("writes")), QStringLiteral("1"));
    QCOMPARE(rig.device(7).status().value(QStringLiteral("writes")), QStringLiteral("0"));
}

QTEST_MAIN(TestWizardUpdate)
#include "tst_wizardupdate.moc"
