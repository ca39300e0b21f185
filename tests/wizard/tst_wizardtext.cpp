// The stored COM port number as the stage sequence reads it, and the stage
// counter's limits.
#include "wizard/localetext.h"
#include "wizard/mainwindow.h"

#include <QtTest>
#include <stdexcept>

using brimo::portNumberFromText;

class TestWizardText : public QObject {
    Q_OBJECT
private slots:
    void storedPortNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // kNone: not a port number

        QTest::newRow("plain") << "3" << 3;
        QTest::newRow("blanks around") << " 7 " << 7;
        QTest::newRow("plus sign") << "+4" << 4;
        QTest::newRow("minus sign") << "-1" << -1;
        QTest::newRow("half rounds to even, down") << "2.5" << 2;
        QTest::newRow("half rounds to even, up") << "3.5" << 4;
        QTest::newRow("fraction rounds to nearest") << "2.51" << 3;
        QTest::newRow("fraction only") << ".6" << 1;
        QTest::newRow("trailing separator") << "5." << 5;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("smallest") << "-32768" << -32768;
        QTest::newRow("rounds past the top") << "32767.5" << kNone;
        QTest::newRow("too large") << "99999" << kNone;
        QTest::newRow("far too large") << QString(400, QLatin1Char('9')) << kNone;
        QTest::newRow("empty") << "" << kNone;
        QTest::newRow("blank") << "  " << kNone;
        QTest::newRow("port name") << "COM3" << kNone;
        QTest::newRow("trailing letters") << "3a" << kNone;
        QTest::newRow("sign alone") << "-" << kNone;
        QTest::newRow("separator alone") << "." << kNone;
        QTest::newRow("two signs") << "--3" << kNone;
        QTest::newRow("blank inside") << "1 2" << kNone;
        QTest::newRow("exponent") << "1e1" << kNone;
    }
    void storedPortNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        const std::optional<qint16> parsed = portNumberFromText(text, QLocale::c());
        QCOMPARE(parsed ? int(*parsed) : kNone, port);
    }

    void portNumberFollowsTheLocaleSeparator()
    {
        // Where the comma is the decimal separator, "2.5" is no number, not a grouped 25.
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(portNumberFromText(QStringLiteral("2,5"), german), std::optional<qint16>(2));
        QCOMPARE(portNumberFromText(QStringLiteral("2.5"), german), std::nullopt);
        QCOMPARE(portNumberFromText(QStringLiteral("2,5"), QLocale::c()), std::nullopt);
    }

    void stageCounterRefusesToWrap()
    {
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, brimo::MainWindow::incrementStage(32767));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, brimo::MainWindow::decrementStage(-32768));
    }

private:
    static constexpr int kNone = -99999;
};

QTEST_GUILESS_MAIN(TestWizardText)
#include "tst_wizardtext.moc"
