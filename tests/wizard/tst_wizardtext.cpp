// The stored COM port number as the stage sequence reads it, and the date and
// time the log writes.
#include "wizard/localetext.h"

#include <QtTest>

class TestWizardText : public QObject {
    Q_OBJECT
private slots:
    void storedPortNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("port"); // empty: not a port number
        for (const char *row :
             {"3=3", " +7 =7", "-1=-1", "2.5=2", "3.5=4", ".6=1", "5.=5", "32767=32767",
              "-32768=-32768", "32767.5=", "-32769=", "  =", "COM3=", ".=", "1 2=", "3a="})
            QTest::newRow(row) << QString(row).section(u'=', 0, 0) << QString(row).section(u'=', 1);
        QTest::newRow("far too large") << QString(400, u'9') << QString();
    }
    void storedPortNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, port);
        const std::optional<qint16> parsed = brimo::portNumberFromText(text, QLocale::c());
        QCOMPARE(parsed ? QString::number(*parsed) : QString(), port);
        // Where the comma is the decimal separator, "2.5" is no number, not a grouped 25.
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(brimo::portNumberFromText("2,5", german), std::optional<qint16>(2));
        QCOMPARE(brimo::portNumberFromText("2.5", german), std::nullopt);
    }

    void dateAndTimeCarryNoTimeZone_data()
    {
        QTest::addColumn<QLocale>("locale");
        for (const char *name : {"en_US", "en_GB", "de_DE", "ja_JP", "C"})
            QTest::newRow(name) << QLocale(QLatin1String(name));
    }
    void dateAndTimeCarryNoTimeZone()
    {
        QFETCH(QLocale, locale);
        const QDateTime when(QDate(2026, 12, 6), QTime(19, 40, 47));
        const QString text = brimo::generalDateText(when, locale);
        // The short date, a blank, the long time with its seconds, and nothing after.
        const QString date = locale.toString(when.date(), QLocale::ShortFormat) + u' ';
        QVERIFY2(text.startsWith(date) && text.contains(QLatin1String("47")), qPrintable(text));
        QVERIFY2(!text.contains(when.timeZoneAbbreviation()) && text == text.trimmed(),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestWizardText)
#include "tst_wizardtext.moc"
