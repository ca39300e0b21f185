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
    void storedPortNumber_data();
    void storedPortNumber();
    void portNumberFollowsTheLocaleSeparator();
    void stageCounterRefusesToWrap();
};

void TestWizardText::storedPortNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // -99999: not a port number

    constexpr int none = -99999;
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
    QTest::newRow("rounds past the top") << "32767.5" << none;
    QTest::newRow("too large") << "99999" << none;
    QTest::newRow("far too large") << QString(400, QLatin1Char('9')) << none;
    QTest::newRow("empty") << "" << none;
    QTest::newRow("blank") << "  " << none;
    QTest::newRow("port name") << "COM3" << none;
    QTest::newRow("trailing letters") << "3a" << none;
    QTest::newRow("sign alone") << "-" << none;
    QTest::newRow("separator alone") << "." << none;
    QTest::newRow("two signs") << "--3" << none;
    QTest::newRow("blank inside") << "1 2" << none;
    QTest::newRow("exponent") << "1e1" << none;
}

void TestWizardText::storedPortNumber()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    const std::optional<qint16> parsed = portNumberFromText(text, QLocale::c());
    QCOMPARE(parsed ? int(*parsed) : -99999, port);
}

void TestWizardText::portNumberFollowsTheLocaleSeparator()
{
    // Where the comma is the decimal separator, the dot is not one: the text
    // is not a number at all, rather than the grouped 25.
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(portNumberFromText(QStringLiteral("2,5"), german), std::optional<qint16>(2));
    QCOMPARE(portNumberFromText(QStringLiteral("2.5"), german), std::nullopt);
    QCOMPARE(portNumberFromText(QStringLiteral("2,5"), QLocale::c()), std::nullopt);
}

void TestWizardText::stageCounterRefusesToWrap()
{
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, brimo::main::incrementStage(32767));
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, brimo::main::decrementStage(-32768));
}

QTEST_GUILESS_MAIN(TestWizardText)
#include "tst_wizardtext.moc"
