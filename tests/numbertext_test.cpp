#include "numbertext.h"

#include <QTest>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::NumberError)

namespace {
constexpr auto None = NumberError::None;
constexpr auto Conversion = NumberError::Conversion;
constexpr auto Overflow = NumberError::Overflow;

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
} // namespace

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void textToSingle_readsAndRoundsOnce_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<NumberError>("error");
        QTest::addColumn<float>("value");

        const auto row = [](const char *name, const char *text, const char *sep, NumberError error,
                            float value) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(sep) << error << value;
        };
        row("1.6364", "1.6364", ".", None, 1.6364F);
        row("blanks around", " \t1.5 ", ".", None, 1.5F);
        row("plus sign", "+2", ".", None, 2.0F);
        row("minus sign", "-0.0001", ".", None, -0.0001F);
        row("leading separator", ".5", ".", None, 0.5F);
        row("trailing separator", "5.", ".", None, 5.0F);
        row("exponent", "1E-05", ".", None, 1e-5F);
        row("lower-case exponent with sign", "2.5e+3", ".", None, 2500.0F);
        row("comma separator", "1,6364", ",", None, 1.6364F);
        row("point accepted beside comma", "1.6364", ",", None, 1.6364F);
        row("multi-byte separator",
            "1\xD9\xAB"
            "5",
            "\xD9\xAB", None, 1.5F);
        // Just above the halfway point between 1 and the next float: a detour through double
        // would land exactly on that point and go down to the even neighbour, 1.
        row("halfway needs one rounding", "1.00000005960464477539062500001", ".", None, 1.0000001F);
        row("exactly halfway goes to even", "1.000000059604644775390625", ".", None, 1.0F);
        row("largest float", "3.4028234e38", ".", None, FLT_MAX);
        row("rounds down to largest float", "3.40282356e38", ".", None, FLT_MAX);
        row("rounds past largest float", "3.40282357e38", ".", Overflow, 0.0F);
        row("1e39", "1e39", ".", Overflow, 0.0F);
        row("huge exponent", "1e99999999999999999999", ".", Overflow, 0.0F);
        row("smallest subnormal", "1.4e-45", ".", None, 1.4e-45F);
        row("underflow gives zero", "1e-50", ".", None, 0.0F);
        row("negative underflow", "-1e-99999999999", ".", None, -0.0F);
        row("zero with huge exponent", "0e99999999999", ".", None, 0.0F);
        row("empty", "", ".", Conversion, 0.0F);
        row("blank", " ", ".", Conversion, 0.0F);
        row("two separators", "1..2", ".", Conversion, 0.0F);
        row("separator only", ".", ".", Conversion, 0.0F);
        row("exponent without digits", "1e", ".", Conversion, 0.0F);
        row("exponent sign only", "1e+", ".", Conversion, 0.0F);
        row("nan", "nan", ".", Conversion, 0.0F);
        row("inf", "inf", ".", Conversion, 0.0F);
        row("hex", "0x10", ".", Conversion, 0.0F);
        row("two signs", "+-1", ".", Conversion, 0.0F);
        row("digit grouping", "1,000.5", ".", Conversion, 0.0F);
        row("comma when the separator is a point", "1,5", ".", Conversion, 0.0F);
        row("inner blank", "1 000", ".", Conversion, 0.0F);
        row("trailing garbage", "1.5x", ".", Conversion, 0.0F);
        row("Arabic-Indic digits", "\xD9\xA1", ".", Conversion, 0.0F);
        row("control character", "1\x01", ".", Conversion, 0.0F);
        // clang-format on
    }
    void textToSingle_readsAndRoundsOnce()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(NumberError, error);
        QFETCH(float, value);
        const auto read = textToSingle(text.toStdString(), separator.toStdString());
        QCOMPARE(read.error, error);
        if (error == None)
            QVERIFY2(sameBits(read.value, value), qPrintable(QString::number(read.value, 'g', 9)));
    }

    void textToDouble_readsDoubleRange_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<NumberError>("error");
        QTest::addColumn<double>("value");
        QTest::newRow("1e39 fits a double") << "1e39" << None << 1e39;
        QTest::newRow("-8.786247") << "-8.786247" << None << -8.786247;
        QTest::newRow("-0") << "-0" << None << 0.0;
        QTest::newRow("1e309") << "1e309" << Overflow << 0.0;
        QTest::newRow("garbage") << "abc" << Conversion << 0.0;
        // clang-format on
    }
    void textToDouble_readsDoubleRange()
    {
        QFETCH(QString, text);
        QFETCH(NumberError, error);
        QFETCH(double, value);
        const auto read = textToDouble(text.toStdString(), ".");
        QCOMPARE(read.error, error);
        if (error == None)
            QCOMPARE(read.value, value);
    }

    void textToWhole_roundsHalfToEven_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<NumberError>("error");
        QTest::addColumn<int>("value");
        QTest::newRow("5") << "5" << None << 5;
        QTest::newRow("2.5 -> 2") << "2.5" << None << 2;
        QTest::newRow("3.5 -> 4") << "3.5" << None << 4;
        QTest::newRow("-2.5 -> -2") << "-2.5" << None << -2;
        QTest::newRow("2.5000001 -> 3") << "2.5000001" << None << 3;
        QTest::newRow("32766.5 -> 32766") << "32766.5" << None << 32766;
        QTest::newRow("32767.5 overflows") << "32767.5" << Overflow << 0;
        QTest::newRow("-32768.5 -> -32768") << "-32768.5" << None << -32768;
        QTest::newRow("-32769 overflows") << "-32769" << Overflow << 0;
        QTest::newRow("1e309 overflows") << "1e309" << Overflow << 0;
        QTest::newRow("empty") << "" << Conversion << 0;
        // clang-format on
    }
    void textToWhole_roundsHalfToEven()
    {
        QFETCH(QString, text);
        QFETCH(NumberError, error);
        QFETCH(int, value);
        const auto read = textToWhole(text.toStdString(), ".");
        QCOMPARE(read.error, error);
        if (error == None)
            QCOMPARE(int(read.value), value);
    }

    void pipRound_roundsHalfToEven_data()
    {
        // clang-format off
        QTest::addColumn<double>("value");
        QTest::addColumn<NumberError>("error");
        QTest::addColumn<int>("pips");
        QTest::newRow("937.5 -> 938") << 937.5 << None << 938;
        QTest::newRow("936.5 -> 936") << 936.5 << None << 936;
        QTest::newRow("-0.5 -> 0") << -0.5 << None << 0;
        QTest::newRow("-1.5 -> -2") << -1.5 << None << -2;
        QTest::newRow("16364.4999 -> 16364") << 16364.4999 << None << 16364;
        QTest::newRow("32767.4 -> 32767") << 32767.4 << None << 32767;
        QTest::newRow("32767.5 overflows") << 32767.5 << Overflow << 0;
        QTest::newRow("-32768.5 -> -32768") << -32768.5 << None << -32768;
        QTest::newRow("-32769.5 overflows") << -32769.5 << Overflow << 0;
        QTest::newRow("infinity overflows") << double(INFINITY) << Overflow << 0;
        QTest::newRow("nan overflows") << double(NAN) << Overflow << 0;
        // clang-format on
    }
    void pipRound_roundsHalfToEven()
    {
        QFETCH(double, value);
        QFETCH(NumberError, error);
        QFETCH(int, pips);
        const auto rounded = pipRound(value);
        QCOMPARE(rounded.error, error);
        if (error == None)
            QCOMPARE(int(rounded.value), pips);
    }

    void singleToText_sevenSignificantDigits_data()
    {
        // clang-format off
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.6368") << 1.6368F << "." << "1.6368";
        QTest::newRow("16368") << 16368.0F << "." << "16368";
        QTest::newRow("one third") << 1.0F / 3.0F << "." << "0.3333333";
        QTest::newRow("12345678 -> 1.234568E+07") << 12345678.0F << "." << "1.234568E+07";
        QTest::newRow("1234567 stays plain") << 1234567.0F << "." << "1234567";
        QTest::newRow("0.00001 -> 1E-05") << 0.00001F << "." << "1E-05";
        QTest::newRow("0.0001 stays plain") << 0.0001F << "." << "0.0001";
        QTest::newRow("0.5002999 keeps the float trace") << 0.50029993F << "." << "0.5002999";
        QTest::newRow("negative") << -8.786247F << "." << "-8.786247";
        QTest::newRow("negative zero -> 0") << -0.0F << "." << "0";
        QTest::newRow("largest float") << FLT_MAX << "." << "3.402823E+38";
        QTest::newRow("comma") << 1.637F << "," << "1,637";
        QTest::newRow("comma in exponent form") << 1.5e-7F << "," << "1,5E-07";
        // clang-format on
    }
    void singleToText_sevenSignificantDigits()
    {
        QFETCH(float, value);
        QFETCH(QString, separator);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(singleToText(value, separator.toStdString())), text);
    }

    void doubleToText_fifteenSignificantDigits_data()
    {
        // clang-format off
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("16363 / 10000 -> 1.6363") << 16363 / 10000.0 << "1.6363";
        QTest::newRow("16360 / 10000 -> 1.636") << 16360 / 10000.0 << "1.636";
        QTest::newRow("-1 / 10000 -> -0.0001") << -1 / 10000.0 << "-0.0001";
        QTest::newRow("20000 / 10000 -> 2") << 20000 / 10000.0 << "2";
        QTest::newRow("1e15 -> 1E+15") << 1e15 << "1E+15";
        QTest::newRow("1e-5 -> 1E-05") << 1e-5 << "1E-05";
        QTest::newRow("0.1 + 0.2 rounds") << 0.1 + 0.2 << "0.3";
        // clang-format on
    }
    void doubleToText_fifteenSignificantDigits()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(doubleToText(value, ".")), text);
    }

    void wholeToText_plainDigits()
    {
        QCOMPARE(wholeToText(-32768), std::string("-32768"));
        QCOMPARE(wholeToText(0), std::string("0"));
        QCOMPARE(wholeToText(32767), std::string("32767"));
    }

    void conversions_ignoreTheProcessLocale()
    {
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
            QSKIP("no comma locale installed");
        const auto read = textToSingle("1.5", ".");
        const std::string written = singleToText(1.5F, ".");
        std::setlocale(LC_ALL, "C");
        QCOMPARE(read.value, 1.5F);
        QCOMPARE(written, std::string("1.5"));
    }
};

QTEST_APPLESS_MAIN(NumberTextTest)
#include "numbertext_test.moc"
