#include "frames/MovieSeries.h"

#include <QtTest>

#include <limits>

class TestMovieSeries : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void cycle_data();
    void cycle();
    void cycleAtLargestNumber();
};

void TestMovieSeries::parse_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("lastFrame");

    QTest::newRow("one digit") << "live_5.kvr" << true << "live_" << 5;
    QTest::newRow("two digits") << "/rec/live_12.kvr" << true << "/rec/live_" << 12;
    QTest::newRow("three digits") << "live_123.kvr" << true << "live_" << 123;
    QTest::newRow("leading zero") << "./live_03.kvr" << true << "./live_" << 3;
    QTest::newRow("zero") << "live_00.kvr" << true << "live_" << 0;
    QTest::newRow("no extension") << "live_7" << true << "live_" << 7;
    QTest::newRow("text before live_") << "rec/run1_live_3.kvr" << true << "rec/run1_live_" << 3;
    QTest::newRow("folder named live_x") << "live_x/live_4.kvr" << true << "live_x/live_" << 4;
    QTest::newRow("largest number") << "live_2147483647.kvr" << true << "live_" << 2147483647;

    QTest::newRow("upper case") << "LIVE_12.kvr" << false << "" << 0;
    QTest::newRow("no live_") << "frozen_3.kvr" << false << "" << 0;
    QTest::newRow("no digit") << "live_.kvr" << false << "" << 0;
    QTest::newRow("letter after live_") << "live_x.kvr" << false << "" << 0;
    QTest::newRow("minus one") << "live_-1.kvr" << false << "" << 0;
    QTest::newRow("live_ only in folder") << "rec/live_7/other.kvr" << false << "" << 0;
    QTest::newRow("folder path only") << "rec/live_7/" << false << "" << 0;
    QTest::newRow("above 32 bits") << "live_2147483648.kvr" << false << "" << 0;
    QTest::newRow("very long number") << "live_99999999999999999999999.kvr" << false << "" << 0;
}

void TestMovieSeries::parse()
{
    QFETCH(QString, chosen);
    QFETCH(bool, valid);
    QFETCH(QString, prefix);
    QFETCH(int, lastFrame);

    const std::optional<MovieSeries> series = parseMovieSeries(chosen.toStdString());
    QCOMPARE(series.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(QString::fromStdString(series->prefix), prefix);
    QCOMPARE(series->lastFrame, lastFrame);
}

void TestMovieSeries::cycle_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("played"); // from the start, one loop and one frame more

    QTest::newRow("single frame") << "live_00.kvr" << QStringList {"live_0.kvr", "live_0.kvr"};
    QTest::newRow("three frames") << "d/run1_live_2.kvr"
                                  << QStringList {"d/run1_live_0.kvr", "d/run1_live_1.kvr",
                                                  "d/run1_live_2.kvr", "d/run1_live_0.kvr"};
    QTest::newRow("past nine, no leading zeros")
        << "live_10.kvr" << QStringList {"live_0.kvr", "live_1.kvr", "live_2.kvr",  "live_3.kvr",
                                         "live_4.kvr", "live_5.kvr", "live_6.kvr",  "live_7.kvr",
                                         "live_8.kvr", "live_9.kvr", "live_10.kvr", "live_0.kvr"};
}

void TestMovieSeries::cycle()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, played);

    const std::optional<MovieSeries> series = parseMovieSeries(chosen.toStdString());
    QVERIFY(series);
    QStringList names;
    std::int32_t k = 0;
    for (qsizetype i = 0; i < played.size(); ++i) {
        names << QString::fromStdString(series->frameName(k));
        k = series->next(k);
    }
    QCOMPARE(names, played);
}

void TestMovieSeries::cycleAtLargestNumber()
{
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const MovieSeries series {"live_", kMax};
    QCOMPARE(series.next(kMax - 1), kMax);
    QCOMPARE(series.next(kMax), 0);
}

QTEST_APPLESS_MAIN(TestMovieSeries)
#include "tst_movieseries.moc"
