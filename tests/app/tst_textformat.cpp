#include "app/TextFormat.h"

#include <QTest>

class TestTextFormat : public QObject
{
    Q_OBJECT

private slots:
    void general_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("integral") << -20.0 << "-20";
        QTest::newRow("large integral") << 123456789012345.0 << "123456789012345";
        QTest::newRow("fraction") << 0.5 << "0.5";
        QTest::newRow("float widened") << double(0.1f) << "0.100000001490116";
        QTest::newRow("15 digits round") << 2.0 / 3.0 << "0.666666666666667";
        QTest::newRow("scientific large") << 1e20 << "1E20";
        QTest::newRow("15 digit boundary") << 1e15 << "1E15";
        QTest::newRow("scientific small") << 1.5e-7 << "1.5E-7";
        QTest::newRow("small fixed") << 0.00001 << "0.00001";
        QTest::newRow("infinity") << -std::numeric_limits<double>::infinity() << "-INF";
    }
    void general()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(TextFormat::general(value)), text);
    }

    void readout()
    {
        QCOMPARE(TextFormat::readout(0.0f, 0.0f, -20.0f), std::string("X=0 Y=0 Z=-20"));
        QCOMPARE(TextFormat::readout(-256.0f, 361.0f, 10.0f), std::string("X=-256 Y=361 Z=10"));
    }

    void errorText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets a point") << "Division by zero"
                                             << "Division by zero.";
        QTest::newRow("point kept") << "Specified device not found (/dev/x)."
                                    << "Specified device not found (/dev/x).";
        QTest::newRow("bracket sorts before point") << "Can't open (Error 2, No such file)"
                                                    << "Can't open (Error 2, No such file)";
        QTest::newRow("digit gets a point") << "Error 5"
                                            << "Error 5.";
        QTest::newRow("empty stays empty") << ""
                                           << "";
    }
    void errorText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(TextFormat::errorText(message.toStdString())), shown);
    }
};

QTEST_APPLESS_MAIN(TestTextFormat)
#include "tst_textformat.moc"
