// The device's panel shows the device's state and changes it as the control
// commands do.
#include "common/flashframe.h"
#include "devicepanel.h"
#include "simdevice.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace brimo::sim;

class DevicePanelTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_device = std::make_unique<SimDevice>(m_dir.filePath("com3"));
        QString error;
        QVERIFY2(m_device->start(m_dir.filePath("com3.flash"), "PANEL001",
                                 QByteArray::fromHex("0011223344556677"), &error),
                 qPrintable(error));
        m_panel = std::make_unique<DevicePanel>(*m_device);
        m_panel->show();
    }

    void cleanup()
    {
        m_panel.reset();
        m_device.reset();
        QFile::remove(m_dir.filePath("com3.flash"));
    }

    void modeButtonsMoveTheSwitch_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("mode");
        QTest::newRow("D/L") << "modeDownload"
                             << "dl";
        QTest::newRow("camera") << "modeCamera"
                                << "camera";
        QTest::newRow("NORMAL after D/L") << "modeNormal"
                                          << "normal";
    }

    void modeButtonsMoveTheSwitch()
    {
        QFETCH(QString, button);
        QFETCH(QString, mode);
        if (mode == u"normal")
            m_device->execute("mode dl");
        auto *radio = m_panel->findChild<QRadioButton *>(button);
        QVERIFY(radio);
        QVERIFY(!radio->accessibleName().isEmpty());
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(4, radio->height() / 2));
        QCOMPARE(SimDevice::modeName(m_device->mode()), mode);
        QVERIFY(radio->isChecked());
    }

    void followsCommandsFromTheSocket()
    {
        auto *power = m_panel->findChild<QCheckBox *>("power");
        auto *camera = m_panel->findChild<QRadioButton *>("modeCamera");
        QVERIFY(power && camera);
        QVERIFY(power->isChecked());
        QCOMPARE(m_device->execute("power off"), QStringLiteral("ok"));
        QCOMPARE(m_device->execute("mode camera"), QStringLiteral("ok"));
        QVERIFY(!power->isChecked());
        QVERIFY(camera->isChecked());
        power->click();
        QVERIFY(m_device->isPowered());
    }

    void showsTheIdentityAndWhatWasFlashed()
    {
        auto *systemNumber = m_panel->findChild<QLabel *>("systemNumber");
        auto *flashed = m_panel->findChild<QLabel *>("flashSummary");
        auto *identity = m_panel->findChild<QLabel *>("identityBlock");
        QVERIFY(systemNumber && flashed && identity);
        QCOMPARE(systemNumber->text(), QStringLiteral("PANEL001"));
        QVERIFY(identity->text().contains("00 11 22 33 44 55 66 77"));

        // Flash a new system number over the line, as the flash tool does.
        m_device->execute("mode dl");
        QSerialPort port(QFileInfo(m_dir.filePath("com3")).symLinkTarget());
        QVERIFY(port.open(QIODevice::ReadWrite));
        QTRY_VERIFY(m_device->line().isHeld());
        QByteArray begin, write, commit;
        flash::appendU32(begin, 1);
        flash::appendU32(write, 0x80010);
        write += "NEWSYS99";
        flash::appendU32(commit, 8);
        flash::appendU32(commit, 'N' + 'E' + 'W' + 'S' + 'Y' + 'S' + '9' + '9');
        port.write(flash::encodeFrame(flash::Command::Begin, begin) +
                   flash::encodeFrame(flash::Command::Write, write) +
                   flash::encodeFrame(flash::Command::Commit, commit));
        QTRY_COMPARE(systemNumber->text(), QStringLiteral("NEWSYS99"));
        QCOMPARE(flashed->text(), QStringLiteral("writes: 1, records in the last: 1"));
        QVERIFY(identity->text().contains("4E 45 57 53 59 53 39 39"));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SimDevice> m_device;
    std::unique_ptr<DevicePanel> m_panel;
};

QTEST_MAIN(DevicePanelTest)
#include "tst_devicepanel.moc"
