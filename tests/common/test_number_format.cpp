// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/NumberFormat.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <limits>

using namespace NumberFormat;

// Every expectation is written with "." and checked under both separators.
class TestNumberFormat : public QObject
{
    Q_OBJECT
private:
    static QString With(const char* text, QChar separator)
    {
        return QString::fromUtf8(text).replace(QLatin1Char('.'), separator);
    }

private slots:
    void cleanup() { SetDecimalSeparator(QChar()); }

    void Formats_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("comma") << QChar(QLatin1Char(','));
        QTest::newRow("point") << QChar(QLatin1Char('.'));
    }

    void Formats()
    {
        QFETCH(QChar, separator);
        SetDecimalSeparator(separator);
        QCOMPARE(DecimalSeparator(), separator);

        // Fixed: the read-out, the result-file fields, ties of the exact binary value to even.
        QCOMPARE(Fixed(-12.25, 2, 1), With("-12.2", separator));
        QCOMPARE(Fixed(0.125, 0, 2), With("0.12", separator));
        QCOMPARE(Fixed(0.375, 0, 2), With("0.38", separator));
        QCOMPARE(Fixed(2.5, 0, 0), QStringLiteral("2"));
        QCOMPARE(Fixed(1.005, 0, 2), With("1.00", separator)); // 1.00499999999999989...
        QCOMPARE(Fixed(3.5, 8, 3), With("   3.500", separator));
        QCOMPARE(Fixed(12345.6789, 8, 3), With("12345.679", separator)); // wider, never cut
        QCOMPARE(Fixed(0.25, 6, 3), With(" 0.250", separator));
        QCOMPARE(Fixed(1e300, 0, 1).size(), 303);
        // A value that rounds to zero carries no minus sign.
        QCOMPARE(Fixed(-0.0103, 2, 1), With("0.0", separator));
        QCOMPARE(Fixed(-0.0, 2, 1), With("0.0", separator));
        QCOMPARE(Fixed(-0.05, 0, 1), With("-0.1", separator)); // -0.05000000000000000277

        // Scientific: 15 significant digits, a sign and at least three exponent digits.
        QCOMPARE(Scientific(-12.5, 22, 14), With("-1.25000000000000E+001", separator));
        QCOMPARE(Scientific(0.001, 22, 14), With(" 1.00000000000000E-003", separator));
        QCOMPARE(Scientific(1e-300, 22, 14), With(" 1.00000000000000E-300", separator));
        QCOMPARE(Scientific(-1e300, 22, 14), With("-1.00000000000000E+300", separator));
        QCOMPARE(Scientific(0.0, 22, 14), With(" 0.00000000000000E+000", separator));
        QCOMPARE(Scientific(-0.0, 22, 14), With(" 0.00000000000000E+000", separator));
        QCOMPARE(Scientific(2.0 / 3.0, 22, 14), With(" 6.66666666666667E-001", separator));
        QCOMPARE(Scientific(4.9e-324, 0, 2), With("4.94E-324", separator));

        // General: at most 15 significant digits, no trailing zeros, exponent only where needed.
        QCOMPARE(General(100), QStringLiteral("100"));
        QCOMPARE(General(-2.5), With("-2.5", separator));
        QCOMPARE(General(0.1 + 0.2), With("0.3", separator));
        QCOMPARE(General(1.0 / 3.0), With("0.333333333333333", separator));
        QCOMPARE(General(0.0001), With("0.0001", separator));
        QCOMPARE(General(0.00001), QStringLiteral("1E-5"));
        QCOMPARE(General(123456789012345.0), QStringLiteral("123456789012345"));
        QCOMPARE(General(1e15), QStringLiteral("1E15"));
        QCOMPARE(General(999999999999999.9), QStringLiteral("1E15")); // rounding carries into the exponent
        QCOMPARE(General(1.5e20), With("1.5E20", separator));
        QCOMPARE(General(-1.25e-300), With("-1.25E-300", separator));
        QCOMPARE(General(-0.0), QStringLiteral("0"));
        QCOMPARE(General(1234.5), With("1234.5", separator));
    }

    void IntegersAndTexts()
    {
        QCOMPARE(Integer(48000, 5), QStringLiteral("48000"));
        QCOMPARE(Integer(7, 5), QStringLiteral("    7"));
        QCOMPARE(Integer(-123456, 5), QStringLiteral("-123456"));
        QCOMPARE(Integer(std::numeric_limits<long long>::min()), QStringLiteral("-9223372036854775808"));
        QCOMPARE(LeftAligned(QStringLiteral("Seria ąę"), 10), QStringLiteral("Seria ąę  "));
        QCOMPARE(LeftAligned(QStringLiteral("abcdef"), 3), QStringLiteral("abcdef"));
    }

    void TimesCarryNoZone()
    {
        const QString time = LongTime(QTime(14, 3, 5));
        QVERIFY2(time.contains(QLatin1String("03:05")), qPrintable(time));
        QVERIFY2(time.back().isDigit() || time.endsWith(QLatin1String("M")), qPrintable(time));
        const QString stamp = ShortDateLongTime(QDateTime(QDate(2026, 12, 8), QTime(14, 3, 5)));
        QVERIFY2(stamp.contains(QLatin1String("03:05")) && stamp.contains(QLatin1String("8")),
                 qPrintable(stamp));
    }

    void ParsesEitherSeparator()
    {
        QCOMPARE(ParseNumber(QStringLiteral("1,5")), std::optional<double>(1.5));
        QCOMPARE(ParseNumber(QStringLiteral(" -2.25 ")), std::optional<double>(-2.25));
        QCOMPARE(ParseNumber(QStringLiteral("+3")), std::optional<double>(3.0));
        QCOMPARE(ParseNumber(QStringLiteral("1,5E-003")), std::optional<double>(0.0015));
        QCOMPARE(ParseNumber(QStringLiteral(",5")), std::optional<double>(0.5));
        for (const char* bad : {"", " ", "-", "1,2,3", "1.5.", "abc", "12a", "1e", "inf", "-nan", "1e999",
                                "+-1", "++1", "0x10", "1 2", "½"})
            QVERIFY2(!ParseNumber(QString::fromUtf8(bad)), bad);

        QCOMPARE(ParseInteger(QStringLiteral(" 42 ")), std::optional<long long>(42));
        QCOMPARE(ParseInteger(QStringLiteral("-7")), std::optional<long long>(-7));
        for (const char* bad : {"", "4.2", "4,2", "99999999999999999999", "+-3", "x"})
            QVERIFY2(!ParseInteger(QString::fromUtf8(bad)), bad);
    }

    // What the result files write must read back to the same 15 digits under every locale's separator.
    void ScientificAndGeneralReadBack()
    {
        QRandomGenerator random(7);
        for (const QChar separator :
             {QChar(QLatin1Char(',')), QChar(QLatin1Char('.')), QChar(ArabicDecimalSeparator)}) {
            SetDecimalSeparator(separator);
            for (int i = 0; i < 2000; ++i) {
                const double value =
                    (random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(-40, 40));
                for (const QString& text : {Scientific(value, 22, 14), General(value)}) {
                    const auto back = ParseNumber(text);
                    QVERIFY2(back, qPrintable(text));
                    QVERIFY2(std::abs(*back - value) <= std::abs(value) * 5e-15, qPrintable(text));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestNumberFormat)
#include "test_number_format.moc"
