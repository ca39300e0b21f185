// The settings dialog and the about window, opened from the main window's
// menus and answered as a user would, against a real settings file.

#include "device/device.h"
#include "modalwatch.h"
#include "settings/frmabout.h"
#include "settings/frmsettings.h"
#include "settings/registry.h"
#include "settingsfile.h"
#include "wizard/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using brimo::frmSettings;

namespace {

QString stored(const QString &name)
{
    return brimo::getRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name);
}

void store(const QString &name, const QString &text)
{
    brimo::setRegistryValue(brimo::kHkeyLocalMachine, brimo::kSettingsKey, name, text);
}

void storeAll(const QString &port, const QString &server, const QString &proxyPort)
{
    store(QStringLiteral("COMPort"), port);
    store(QStringLiteral("ProxyServer"), server);
    store(QStringLiteral("ProxyPort"), proxyPort);
}

QStringList storedAll()
{
    return {stored(QStringLiteral("COMPort")), stored(QStringLiteral("ProxyServer")),
            stored(QStringLiteral("ProxyPort"))};
}

// What the dialog showed when it opened.
struct Shown {
    QString title;
    int comIndex = -2;
    QString comText;
    QStringList entries;
    QString server;
    QString port;
};

enum class Leave { Ok, Cancel, CloseBox, Escape };

// The next settings dialog: records what it shows, lets edit change it, then
// leaves it the way named.
void handleSettings(Shown *shown, std::function<void(frmSettings &)> edit, Leave leave)
{
    brimo::test::whenModalShown([=](QWidget *modal) {
        auto *dialog = qobject_cast<frmSettings *>(modal);
        if (!dialog)
            return;
        shown->title = dialog->windowTitle();
        shown->comIndex = dialog->com->currentIndex();
        shown->comText = dialog->com->currentText();
        for (int i = 0; i < dialog->com->count(); ++i)
            shown->entries << dialog->com->itemText(i);
        shown->server = dialog->txtProxyServer->text();
        shown->port = dialog->txtProxyPort->text();
        if (edit)
            edit(*dialog);
        switch (leave) {
        case Leave::Ok:
            dialog->Command1->click();
            break;
        case Leave::Cancel:
            dialog->Command2->click();
            break;
        case Leave::CloseBox:
            dialog->close();
            break;
        case Leave::Escape:
            QTest::keyClick(dialog, Qt::Key_Escape);
            break;
        }
    });
}

} // namespace

Q_DECLARE_METATYPE(Leave)

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void comBoxOpensOnTheCurrentPort_data();
    void comBoxOpensOnTheCurrentPort();
    void okStoresTheChoices_data();
    void okStoresTheChoices();
    void leavingWithoutOkStoresNothing_data();
    void leavingWithoutOkStoresNothing();
    void closingUnloadsSoTheNextOpeningReadsAgain();
    void dialogLoadedHiddenKeepsItsControlsWhenShown();
    void portChosenDuringTheRunReachesOnlyTheReadCommand();
    void aboutShowsTitleAndVersion();

private:
    std::unique_ptr<brimo::main> m_window;
};

void DialogsTest::init()
{
    QFile::remove(qEnvironmentVariable("BRIMO_REGISTRY_FILE"));
    m_window = std::make_unique<brimo::main>();
}

void DialogsTest::cleanup()
{
    m_window.reset();
}

void DialogsTest::comBoxOpensOnTheCurrentPort_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("storedPort");
    QTest::addColumn<QString>("shown"); // empty: no choice
    QTest::newRow("no current port: the stored one") << 0 << "5"
                                                     << "5";
    QTest::newRow("the current port before the stored one") << 3 << "5"
                                                            << "3";
    QTest::newRow("nothing stored, no current port") << 0 << ""
                                                     << "";
    QTest::newRow("after a failed detection (-1): the stored one") << -1 << "7"
                                                                   << "7";
    QTest::newRow("stored text that is no port") << 0 << "COM3"
                                                 << "";
    QTest::newRow("stored port outside the list") << 0 << "20"
                                                  << "";
    QTest::newRow("current port outside the list") << 17 << "5"
                                                   << "";
    QTest::newRow("highest port") << 16 << ""
                                  << "16";
}

void DialogsTest::comBoxOpensOnTheCurrentPort()
{
    QFETCH(int, current);
    QFETCH(QString, storedPort);
    QFETCH(QString, shown);
    storeAll(storedPort, QStringLiteral("proxy.example.net"), QStringLiteral("8080"));
    m_window->state().comPortNumber = static_cast<qint16>(current);

    Shown seen;
    handleSettings(&seen, nullptr, Leave::Cancel);
    m_window->settings->trigger();

    QCOMPARE(seen.title, QStringLiteral("Brimo update utility settings"));
    QCOMPARE(seen.entries.size(), 16);
    QCOMPARE(seen.entries.first(), QStringLiteral("1"));
    QCOMPARE(seen.entries.last(), QStringLiteral("16"));
    QCOMPARE(seen.comText, shown);
    QCOMPARE(seen.comIndex >= 0, !shown.isEmpty());
    QCOMPARE(seen.server, QStringLiteral("proxy.example.net"));
    QCOMPARE(seen.port, QStringLiteral("8080"));
}

void DialogsTest::okStoresTheChoices_data()
{
    QTest::addColumn<QString>("choose"); // empty: leave the box as it opened
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("stage1Caption");
    // Stored before: nothing for the port, "old.proxy" and "3128" for the proxy.
    QTest::newRow("port 12 and a proxy")
        << "12"
        << "proxy.example.net"
        << "8080" << QStringList{"12", "proxy.example.net", "8080"} << 12 << "&Scan";
    QTest::newRow("emptied proxy boxes store empty texts")
        << "4"
        << ""
        << "" << QStringList{"4", "", ""} << 4 << "&Scan";
    QTest::newRow("no port chosen: only the proxy is stored")
        << ""
        << "p"
        << "not a number" << QStringList{"", "p", "not a number"} << 0 << "&Settings";
}

void DialogsTest::okStoresTheChoices()
{
    QFETCH(QString, choose);
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(QStringList, after);
    QFETCH(int, portNumber);
    QFETCH(QString, stage1Caption);
    storeAll(QString(), QStringLiteral("old.proxy"), QStringLiteral("3128"));
    m_window->stage1Btn->setText(QStringLiteral("&Settings"));

    Shown seen;
    handleSettings(
        &seen,
        [=](frmSettings &dialog) {
            if (!choose.isEmpty())
                dialog.com->setCurrentIndex(dialog.com->findText(choose));
            dialog.txtProxyServer->setText(server);
            dialog.txtProxyPort->setText(port);
        },
        Leave::Ok);
    m_window->showSettings();

    QCOMPARE(storedAll(), after);
    QCOMPARE(m_window->state().comPortNumber, qint16(portNumber));
    QCOMPARE(m_window->stage1Btn->text(), stage1Caption);
}

void DialogsTest::leavingWithoutOkStoresNothing_data()
{
    QTest::addColumn<Leave>("leave");
    QTest::newRow("Cancel") << Leave::Cancel;
    QTest::newRow("close box") << Leave::CloseBox;
    QTest::newRow("Escape") << Leave::Escape;
}

void DialogsTest::leavingWithoutOkStoresNothing()
{
    QFETCH(Leave, leave);
    storeAll(QStringLiteral("5"), QStringLiteral("old.proxy"), QStringLiteral("3128"));
    m_window->state().comPortNumber = 5;
    m_window->stage1Btn->setText(QStringLiteral("&Settings"));

    Shown seen;
    handleSettings(
        &seen,
        [](frmSettings &dialog) {
            dialog.com->setCurrentIndex(dialog.com->findText(QStringLiteral("9")));
            dialog.txtProxyServer->setText(QStringLiteral("new.proxy"));
            dialog.txtProxyPort->setText(QStringLiteral("1"));
        },
        leave);
    m_window->showSettings();

    QCOMPARE(seen.comText, QStringLiteral("5"));
    QCOMPARE(storedAll(), (QStringList{"5", "old.proxy", "3128"}));
    QCOMPARE(m_window->state().comPortNumber, qint16(5));
    QCOMPARE(m_window->stage1Btn->text(), QStringLiteral("&Settings"));
}

void DialogsTest::closingUnloadsSoTheNextOpeningReadsAgain()
{
    storeAll(QStringLiteral("2"), QStringLiteral("first.proxy"), QStringLiteral("1"));
    Shown first;
    handleSettings(&first, nullptr, Leave::Cancel);
    m_window->showSettings();
    QTRY_VERIFY(!m_window->findChild<frmSettings *>());

    storeAll(QStringLiteral("6"), QStringLiteral("second.proxy"), QStringLiteral("2"));
    Shown second;
    handleSettings(&second, nullptr, Leave::Ok);
    m_window->showSettings();
    QTRY_VERIFY(!m_window->findChild<frmSettings *>());

    QCOMPARE(first.server, QStringLiteral("first.proxy"));
    QCOMPARE(second.comText, QStringLiteral("6"));
    QCOMPARE(second.server, QStringLiteral("second.proxy"));
    QCOMPARE(second.port, QStringLiteral("2"));
    // OK pressed without touching the box saves the port it opened on.
    QCOMPARE(m_window->state().comPortNumber, qint16(6));
}

void DialogsTest::dialogLoadedHiddenKeepsItsControlsWhenShown()
{
    storeAll(QString(), QStringLiteral("first.proxy"), QString());
    frmSettings &hidden = m_window->settingsDialog();
    QVERIFY(!hidden.isVisible());
    QCOMPARE(&m_window->settingsDialog(), &hidden);
    hidden.com->setCurrentText(QStringLiteral("3"));
    store(QStringLiteral("ProxyServer"), QStringLiteral("changed.proxy"));

    Shown seen;
    handleSettings(&seen, nullptr, Leave::Cancel);
    m_window->showSettings();

    QCOMPARE(seen.comText, QStringLiteral("3"));
    QCOMPARE(seen.server, QStringLiteral("first.proxy"));
    QTRY_VERIFY(!m_window->findChild<frmSettings *>());
}

void DialogsTest::portChosenDuringTheRunReachesOnlyTheReadCommand()
{
    // The device link reads the stored port once, when the window is created.
    store(QStringLiteral("COMPort"), QStringLiteral("4"));
    m_window = std::make_unique<brimo::main>();
    Shown seen;
    handleSettings(
        &seen,
        [](frmSettings &dialog) {
            dialog.com->setCurrentIndex(dialog.com->findText(QStringLiteral("7")));
        },
        Leave::Ok);
    m_window->settings->trigger();

    QCOMPARE(seen.comText, QStringLiteral("4"));
    QVERIFY(m_window->deviceLink().readCommandLine().endsWith(
        QStringLiteral(" -b 57600 -l 7 -r -f 0x080000 -t 0x080020")));
    QVERIFY(m_window->deviceLink().writeCommandLine().endsWith(
        QStringLiteral(" -b 57600 -l 4 -o 0 -c 0")));
}

void DialogsTest::aboutShowsTitleAndVersion()
{
    QString title;
    QString text;
    QSize picture;
    brimo::test::whenModalShown([&](QWidget *modal) {
        auto *about = qobject_cast<brimo::frmAbout *>(modal);
        if (!about)
            return;
        title = about->windowTitle();
        text = about->info->text();
        picture = about->Image1->pixmap().size();
        QVERIFY(about->findChildren<QPushButton *>().isEmpty());
        about->close();
    });
    m_window->about->trigger();

    QCOMPARE(title, QStringLiteral("About Brimo update utility"));
    QCOMPARE(text, QStringLiteral("Brimo update utility v2.1\r\n\r\nPlease find more information "
                                  "at http://www.brimo.example/"));
    QCOMPARE(picture, QSize(192, 139));
    QTRY_VERIFY(!m_window->findChild<brimo::frmAbout *>());
}

int main(int argc, char *argv[])
{
    const brimo::test::TemporarySettingsFile settings;
    QApplication app(argc, argv);
    DialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialogs.moc"
