// What ends the program in mid-update and what does not: a close request (or
// "&Exit") idle or in the identity read (never asked), in the auto detection,
// download or flash (Yes ends at once, No goes on); a refused download and one
// given up (a second after the last line), and the log file each leaves; a
// start without the right to write beside itself.
#include "wizardrig.h"

class TestCloseDuringStage : public QObject {
    Q_OBJECT
private slots:
    void endsOrGoesOn_data()
    {
        WizardRig::columns();
        const QString update = "COMPort=3|dl@3|service|", flashing = update + "tool=ok;delay 3000|";
        const QString download = items(kToTheFlash).mid(0, 8).join(u'|');
        const QString noImage = "|Downloaded 0 bytes|Aborting update";
        const QString again = "|Attempting retry|Downloading updates|Connected" + noImage;
        // What an earlier run left of a download goes at start-up.
        QTest::newRow("idle on the first stage: nothing asked, ends at once")
            << "leftover|close@Blank registry value returned|updateBtn"
            << "" << kBlank << "ends=at once|leftovers=";
        // Without a session bus nothing keeps the PC awake, and nothing says so.
        QTest::newRow("identity read: nothing asked, ends at once, the tool reads on")
            << update + "inhibit=no bus|tool=delay 3000|close@Registry value returned: COM "
                        "3|updateBtn|stage2Btn"
            << "" << kUpToStage2 << "ends=at once|toolAtEnd=|tool=r3";
        QTest::newRow("auto detection, Yes: ends at once")
            << "normal@5|close@Scanning COM port 2|updateBtn|detectBtn"
            << "Yes " + kTerminateBox
            << kBlank + "|Attempting to auto detect the Brimo device|Scanning COM port 1|Scanning "
                        "COM port 2"
            << "ends=at once";
        QTest::newRow("download, Yes: ends at once")
            << update + "hang@Downloading updates|close@Downloading updates|updateBtn|stage2Btn"
            << "Yes " + kTerminateBox << download << "ends=at once|leftovers=";
        // The PC is let go of as the program ends; the tool it left holds the
        // single-copy lock, so a copy started meanwhile ends at once.
        QTest::newRow("flash, Yes: ends at once, the tool writes on")
            << update +
                   "inhibit=portal|tool=ok;delay 3000|close@Updating device.|updateBtn|stage2Btn"
            << "Yes " + kTerminateBox << kToTheFlash
            << "ends=at once|toolAtEnd=r3|secondCopy=ends at once|inhibit=sleep 0-1,shutdown "
               "1-1|tool=r3,w3|writes=1";
        QTest::newRow("Exit during the download, No: the update goes on to its end")
            << update + "slow@Downloading updates|exit@Downloading updates|updateBtn|stage2Btn"
            << "No " + kTerminateBox << kToTheFlash + kCompletion << "completed|tool=r3,w3";
        QTest::newRow("flash, No: the flash goes on to its end")
            << flashing + "close@Updating device.|updateBtn|stage2Btn"
            << "No " + kTerminateBox << kToTheFlash + kCompletion << "completed|tool=r3,w3";
        // Not allowed to write beside itself, the program says so before its
        // window opens (the superuser may write anywhere: another user runs it).
        QTest::newRow("started by a user who cannot write beside it: one box, then the end")
            << "user=65534"
            << "Ok The Brimo update utility cannot write to its folder:\r\n" +
                   QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) +
                   "\r\n\r\nPlease install it in a folder you can write to."
            << ""
            << "ends=at once";
        // The service does not know the device: its answer is shown, then the end.
        QTest::newRow("refused download: the service's message, the end a second later")
            << "COMPort=3|dl@3|service=ZZ99YY88|updateBtn|stage2Btn"
            << "Stop No update is available for system number AB12CD34."
            << download + "|Closing update utility."
            << "ends=a second later|leftovers=";
        // The service asks for a login, which it never gets.
        QTest::newRow("no image, retried twice, then given up: the end a second later")
            << update + "401@Downloading updates|updateBtn|stage2Btn"
            << "Yes " + kRetryBox + "|Yes " + kRetryBox + "|No " + kRetryBox
            << download + noImage + again + again + "|Closing update utility."
            << "ends=a second later|leftovers=";
        // An image whose identity records differ is never flashed.
        QTest::newRow("two identity records, No: the end a second later, nothing written")
            << update + "fault=twoidents|updateBtn|stage2Btn"
            << "No " + kRetryBox
            << download + "|The update holds two different identity records: lines 2 and 32772" +
                   noImage + "|Closing update utility."
            << "ends=a second later|tool=r3|writes=0|leftovers=";
    }
    void endsOrGoesOn() { WizardRig::runRow(); }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (const auto code = brimo::test::runRequestedScenario({{"row", WizardRig::childRow}}))
        return *code;
    TestCloseDuringStage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_closeduringstage.moc"
