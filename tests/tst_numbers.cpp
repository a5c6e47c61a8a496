// SPDX-License-Identifier: MIT
#include "ZAVTestNumbers.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>

using namespace ZAVTestNumbers;

class tst_Numbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void byteCountFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint64>("bytes");
        QTest::newRow("fraction dropped") << "1500.9" << quint64(1500);
        QTest::newRow("exponent form") << "9.77237e+09" << quint64(9772370000ULL);
        QTest::newRow("a million") << "1e+06" << quint64(1000000);
        QTest::newRow("zero") << "0" << quint64(0);
        QTest::newRow("blanks around") << "  42 " << quint64(42);
        QTest::newRow("not a number") << "abc" << quint64(0);
        QTest::newRow("empty") << "" << quint64(0);
        QTest::newRow("nan") << "nan" << quint64(0);
        QTest::newRow("inf") << "inf" << quint64(0);
        QTest::newRow("-inf") << "-inf" << quint64(0);
        QTest::newRow("overflowing exponent") << "1e400" << quint64(0);
        QTest::newRow("negative") << "-5" << quint64(0);
        QTest::newRow("beyond the largest count") << "1e30" << std::numeric_limits<quint64>::max();
        QTest::newRow("just below 2^64") << "18446744073709549568" << quint64(18446744073709549568ULL);
        QTest::newRow("comma decimal") << "1,5" << quint64(0);
    }
    void byteCountFromText()
    {
        QFETCH(QString, text);
        QFETCH(quint64, bytes);
        QCOMPARE(ZAVTestNumbers::byteCountFromText(text), bytes);
    }

    void typedNumbers_data()
    {
        // What a field's text means: non-finite words are no numbers (toByteCount would hide it).
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("decimal") << "1500.9" << 1500.9;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("inf") << "inf" << 0.0;
        QTest::newRow("-inf") << "-inf" << 0.0;
        QTest::newRow("nan") << "nan" << 0.0;
        QTest::newRow("overflowing exponent") << "1e400" << 0.0;
        QTest::newRow("comma decimal") << "1,5" << 0.0;
    }
    void typedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(parseDecimal(text), value);
    }

    void int32AndFractionSaturate()
    {
        QCOMPARE(toInt32(141254.9), 141254);
        QCOMPARE(toInt32(-3.7), -3);
        QCOMPARE(toInt32(1e12), std::numeric_limits<int>::max());
        QCOMPARE(toInt32(-1e12), std::numeric_limits<int>::min());
        QCOMPARE(toInt32(std::numeric_limits<double>::quiet_NaN()), 0);
        QCOMPARE(percentToFraction(50), 0.5f);
        QCOMPARE(percentToFraction(250), 2.5f);
        QCOMPARE(percentToFraction(1e300), std::numeric_limits<float>::max());
        QCOMPARE(percentToFraction(std::numeric_limits<double>::infinity()), 0.0f);
    }
};

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
