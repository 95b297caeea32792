#include "engine/numbertext.h"

#include <QTest>

#include <cfloat>
#include <cstring>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::NumberError)

namespace {

constexpr auto None = NumberError::None;
constexpr auto Conversion = NumberError::Conversion;
constexpr auto Overflow = NumberError::Overflow;

// Which rule a row exercises: text to single, double or whole number, or pip rounding.
enum Rule { Single, Double, Whole, Pips };

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0; // tells -0 from 0
}

Converted<double> apply(Rule rule, const QString &text, const QString &separator)
{
    const std::string t = text.toStdString(), s = separator.toStdString();
    switch (rule) {
    case Single: {
        const auto read = textToSingle(t, s);
        return {read.value, read.error};
    }
    case Double:
        return textToDouble(t, s);
    case Whole: {
        const auto read = textToWhole(t, s);
        return {double(read.value), read.error};
    }
    case Pips: {
        const auto rounded = pipRound(text.toDouble());
        return {double(rounded.value), rounded.error};
    }
    }
    return {};
}

} // namespace

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<NumberError>("error");
        QTest::addColumn<double>("value");
        const auto row = [](const char *name, Rule rule, const char *text, const char *sep, NumberError error,
                            double value) {
            QTest::newRow(name) << int(rule) << QString::fromUtf8(text) << QString::fromUtf8(sep) << error
                                << value;
        };
        // clang-format off
        row("1.6364", Single, "1.6364", ".", None, 1.6364F);
        row("blanks around", Single, " \t1.5 ", ".", None, 1.5F);
        row("plus sign", Single, "+2", ".", None, 2.0F);
        row("leading separator", Single, ".5", ".", None, 0.5F);
        row("trailing separator", Single, "5.", ".", None, 5.0F);
        row("exponent", Single, "1E-05", ".", None, 1e-5F);
        row("comma separator", Single, "1,6364", ",", None, 1.6364F);
        row("point accepted beside comma", Single, "1.6364", ",", None, 1.6364F);
        row("multi-byte separator", Single, "1\xD9\xAB" "5", "\xD9\xAB", None, 1.5F);
        // Just above the halfway point between 1 and the next float: a detour through double
        // would land exactly on that point and go down to the even neighbour, 1.
        row("halfway needs one rounding", Single, "1.00000005960464477539062500001", ".", None, 1.0000001F);
        row("exactly halfway goes to even", Single, "1.000000059604644775390625", ".", None, 1.0F);
        row("rounds down to largest float", Single, "3.40282356e38", ".", None, FLT_MAX);
        row("rounds past largest float", Single, "3.40282357e38", ".", Overflow, 0);
        row("huge exponent", Single, "1e99999999999999999999", ".", Overflow, 0);
        row("underflow gives zero", Single, "1e-50", ".", None, 0.0);
        row("negative underflow", Single, "-1e-99999999999", ".", None, -0.0);
        // Long texts whose digits and exponent nearly cancel: the sign of the magnitude decides.
        row("800 digits, e-1000, underflow", Single, ("1" + std::string(800, '0') + "e-1000").c_str(), ".", None, 0.0);
        row("100 leading zeros, e50, underflow", Single, ("0." + std::string(100, '0') + "1e50").c_str(), ".", None, 0.0);
        row("zero with huge exponent", Single, "0e99999999999", ".", None, 0.0);
        row("empty", Single, "", ".", Conversion, 0);
        row("blank", Single, " ", ".", Conversion, 0);
        row("two separators", Single, "1..2", ".", Conversion, 0);
        row("exponent without digits", Single, "1e", ".", Conversion, 0);
        row("bare exponent after a float-overflowing number", Single, "1000000000000000000000000000000000000000E", ".", Conversion, 0);
        row("nan", Single, "nan", ".", Conversion, 0);
        row("comma when the separator is a point", Single, "1,5", ".", Conversion, 0);
        row("trailing garbage", Single, "1.5x", ".", Conversion, 0);
        row("double: 1e39 fits", Double, "1e39", ".", None, 1e39);
        row("double: 1e309 overflows", Double, "1e309", ".", Overflow, 0);
        row("whole: 2.5 -> 2", Whole, "2.5", ".", None, 2);
        row("whole: 3.5 -> 4", Whole, "3.5", ".", None, 4);
        row("whole: -2.5 -> -2", Whole, "-2.5", ".", None, -2);
        row("whole: 2.5000001 -> 3", Whole, "2.5000001", ".", None, 3);
        row("whole: 32766.5 -> 32766", Whole, "32766.5", ".", None, 32766);
        row("whole: 32767.5 overflows", Whole, "32767.5", ".", Overflow, 0);
        row("whole: -32768.5 -> -32768", Whole, "-32768.5", ".", None, -32768);
        row("whole: -32769 overflows", Whole, "-32769", ".", Overflow, 0);
        row("pips: 32767.5 overflows", Pips, "32767.5", "", Overflow, 0);
        row("pips: nan overflows", Pips, "nan", "", Overflow, 0);
        // clang-format on
    }
    void reading()
    {
        QFETCH(int, rule);
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(NumberError, error);
        QFETCH(double, value);
        const auto read = apply(Rule(rule), text, separator);
        QCOMPARE(read.error, error);
        if (error == None)
            QVERIFY2(sameBits(read.value, value), qPrintable(QString::number(read.value, 'g', 17)));
    }

    void writing_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        // clang-format off
        QTest::newRow("1.6368") << int(Single) << double(1.6368F) << "." << "1.6368";
        QTest::newRow("12345678 -> 1.234568E+07") << int(Single) << 12345678.0 << "." << "1.234568E+07";
        QTest::newRow("0.00001 -> 1E-05") << int(Single) << double(0.00001F) << "." << "1E-05";
        QTest::newRow("negative zero -> 0") << int(Single) << -0.0 << "." << "0";
        QTest::newRow("comma") << int(Single) << double(1.637F) << "," << "1,637";
        QTest::newRow("comma in exponent form") << int(Single) << double(1.5e-7F) << "," << "1,5E-07";
        QTest::newRow("double: 15 significant digits") << int(Double) << 1.23456789012345 << "." << "1.23456789012345";
        QTest::newRow("double: 16363 / 10000 -> 1.6363") << int(Double) << 16363 / 10000.0 << "." << "1.6363";
        QTest::newRow("whole: -32768") << int(Whole) << -32768.0 << "." << "-32768";
        // clang-format on
    }
    void writing()
    {
        QFETCH(int, rule);
        QFETCH(double, value);
        QFETCH(QString, separator);
        QFETCH(QString, text);
        const std::string sep = separator.toStdString();
        const std::string written = rule == Single   ? singleToText(float(value), sep)
                                    : rule == Double ? doubleToText(value, sep)
                                                     : wholeToText(PipCount(value));
        QCOMPARE(QString::fromStdString(written), text);
    }
};

QTEST_APPLESS_MAIN(NumberTextTest)
#include "numbertext_test.moc"
