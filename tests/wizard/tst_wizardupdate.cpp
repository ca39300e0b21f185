// Whole updates through the real window, from the device read to the
// completion page, against the simulated device, the stand-in flash tool and
// the stand-in vendor service: the Internet test, the download, the flash and
// their retries.
#include "wizardrig.h"

namespace {

const QString kFlashFailedBox =
    QStringLiteral("Ready to update the Brimo with the latest updates.\r\n\r\nPlease remove power, "
                   "wait 10 seconds, ensure the 'D/L' mode is selected and reapply power.");
const QString kGiveUpBox =
    QStringLiteral("Communication error. The utility will now shut down.  Please run this update "
                   "utility again to perform the update.");
const QStringList kFailedFlash = kFlashAttempt + QStringList{"Unable to update Brimo device"};
const QStringList kCompletion =
    kFlashAttempt + QStringList{"Cleaning up", QStringLiteral("Update process completed ") + kNow};

} // namespace

class TestWizardUpdate : public QObject {
    Q_OBJECT
private slots:
    void updateCompletes_data()
    {
        QTest::addColumn<QString>("vendorFault"); // "404": set at once, else once downloading
        QTest::addColumn<QStringList>("toolFaults");
        QTest::addColumn<QString>("closeAt"); // the user asks to close as this line shows
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("failedRound"); // log of a round before the one that works

        QTest::newRow("from the welcome page to the completion page")
            << QString() << QStringList{} << QString() << QStringList{} << QStringList{};
        QTest::newRow("Internet test fails, the user goes round again")
            << "404" << QStringList{} << QString() << QStringList{kNoInternetBox}
            << QStringList{"Connecting to the Internet", "Connected",
                           "Internet connection test failed"};
        // Slow transfers, so that the request lands in the middle of them.
        QTest::newRow("close declined during the download")
            << "slow" << QStringList{} << "Downloading updates" << QStringList{kTerminateBox}
            << QStringList{};
        QTest::newRow("close declined during the flash")
            << QString() << QStringList{"ok", "delay 3000"} << "Updating device."
            << QStringList{kTerminateBox} << QStringList{};
    }
    void updateCompletes()
    {
        QFETCH(QString, vendorFault);
        QFETCH(QStringList, toolFaults);
        QFETCH(QString, closeAt);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, failedRound);
        WizardRig rig;
        QVERIFY(rig.arrangeUpdate());
        const auto window = WizardRig::openWindow();
        if (vendorFault == QStringLiteral("404"))
            QVERIFY(rig.vendor().setFault(vendorFault));
        else if (!vendorFault.isEmpty())
            whenLogShows(
                *window, QStringLiteral("Downloading updates"),
                [&] { QVERIFY(rig.vendor().setFault(vendorFault)); }, -1);
        rig.app().setFaults(toolFaults);
        if (!closeAt.isEmpty())
            whenLogShows(*window, closeAt, [&] { window->close(); });
        BoxAnswerer user;
        user.queue({QMessageBox::No}); // where a box has no No, its only button
        QString headerAtBox;
        user.onEachBox(
            [&](const BoxAnswerer::Box &) { headerAtBox = window->stageHeader->text(); });
        QStringList headers;
        connect(&window->objInet, &brimo::InetControl::stateChanged, this,
                [&] { headers << window->stageHeader->text(); });

        QTest::mouseClick(window->stage2Btn, Qt::LeftButton);
        if (!failedRound.isEmpty()) {
            QVERIFY(window->stage2Btn->isVisible());
            QTest::mouseClick(window->stage2Btn, Qt::LeftButton);
        }

        COMPARE_LOG(*window, (kUpToStage2 + failedRound + toTheFlash(rig).mid(kUpToStage2.size()) +
                              kCompletion));
        QCOMPARE(user.seenTexts(), boxes);
        // The request finds the stage that runs.
        if (!closeAt.isEmpty())
            QCOMPARE(headerAtBox,
                     closeAt == kFlashAttempt.constLast() ? "Stage 5 of 5:" : "Stage 4 of 5:");
        headers.removeDuplicates();
        QCOMPARE(headers, (QStringList{"Stage 3 of 5:", "Stage 4 of 5:"}));
        verifyCompleted(rig, *window);
        // Each round reads the device again.
        QCOMPARE(rig.toolRuns(), QStringList(failedRound.isEmpty() ? 1 : 2, readRun(3))
                                     << writeRun(3));
        const QByteArray requests = rig.vendor().requests();
        QVERIFY(requests.contains("GET /ws/ping.asp? HTTP/1.1"));
        QVERIFY(requests.contains("GET /ws/updatedevice.asp?SystemCodeString=AB12CD34 HTTP/1.1"));
    }

    void flashFailuresReachTheLimitThenRepeatWithAFreshCount()
    {
        WizardRig rig;
        QVERIFY(rig.arrangeUpdate());
        const auto window = WizardRig::openWindow();
        // The read, then two failed writes: one read and two flash failures
        // reach the limit of three attempts.
        rig.app().setFaults({"ok", "exit 5", "exit 5"});
        BoxAnswerer user;
        user.queue({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::No});

        QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

        COMPARE_LOG(*window, (toTheFlash(rig) + kFailedFlash + kFailedFlash));
        QCOMPARE(user.seenTexts(), (QStringList{kFlashFailedBox, kGiveUpBox, kTerminateBox}));
        QCOMPARE(user.seen()[2].buttons, QMessageBox::Yes | QMessageBox::No);
        for (const BoxAnswerer::Box &box : user.seen())
            QCOMPARE(box.icon, QMessageBox::NoIcon);
        // The close was declined: the window stays on stage 5 with its button.
        QVERIFY(window->isVisible() && window->stage5Btn->isVisible());
        QVERIFY(!window->completedWindow->isVisible());
        QCOMPARE(window->state().currentStage, qint16(5));
        QCOMPARE(window->ProgressBar->value(), 0);
        QCOMPARE(window->attemptCount, qint16(0));
        QCOMPARE(window->state().updateInProgress, false);
        QVERIFY(!window->progressDots->isActive());

        // A fresh count: two more failures only ask for another power cycle.
        rig.app().setFaults({"exit 5", "exit 5"});
        user.queue({QMessageBox::Ok, QMessageBox::Ok});
        QTest::mouseClick(window->stage5Btn, Qt::LeftButton);

        COMPARE_LOG(*window, (toTheFlash(rig) + kFailedFlash + kFailedFlash + kFailedFlash +
                              kFailedFlash + kCompletion));
        QCOMPARE(user.seenTexts(), (QStringList{kFlashFailedBox, kGiveUpBox, kTerminateBox,
                                                kFlashFailedBox, kFlashFailedBox}));
        verifyCompleted(rig, *window);
        QCOMPARE(rig.toolRuns(), QStringList{readRun(3)} + QStringList(4, writeRun(3, 5))
                                     << writeRun(3));
    }

    void portChosenDuringTheRunReadsThereButFlashesTheStartPort()
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

private:
    static QStringList toTheFlash(const WizardRig &rig)
    {
        return kToTheDownload +
               QStringList{QStringLiteral("Downloaded %1 bytes").arg(rig.imageSize())};
    }
    static void verifyCompleted(WizardRig &rig, brimo::MainWindow &window)
    {
        QVERIFY(window.completedWindow->isVisible());
        QCOMPARE(
            window.completedText->text(),
            QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                           "information.\r\n\r\nPlease remove the power from the Brimo unit, wait "
                           "10 seconds and change the mode selection switch to either 'normal' "
                           "or 'camera'."));
        QCOMPARE(window.ProgressBar->value(), 100);
        QCOMPARE(window.stageHeader->text(), QStringLiteral("Stage 5 of 5:"));
        QCOMPARE(window.state().currentStage, qint16(5));
        QCOMPARE(window.attemptCount, qint16(0));
        QVERIFY(!window.progressDots->isActive() && !window.state().updateInProgress);
        for (QPushButton *button : {window.updateBtn, window.stage1Btn, window.detectBtn,
                                    window.stage2Btn, window.stage5Btn})
            QVERIFY2(!button->isVisible(), qPrintable(button->objectName()));
        QVERIFY(!QFile::exists(rig.app().workFilePath()));

        // The device holds the new image and still its own identity: the image
        // came with a blank identity record, so the utility must have rebuilt it.
        const QMap<QString, QString> status = rig.device(3).status();
        QCOMPARE(status.value(QStringLiteral("writes")), QStringLiteral("1"));
        QCOMPARE(status.value(QStringLiteral("system")), kSystemNumber);
        QCOMPARE(status.value(QStringLiteral("tail")), kTail);
    }
};

QTEST_MAIN(TestWizardUpdate)
#include "tst_wizardupdate.moc"
