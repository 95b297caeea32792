// The texts the C library reads as numbers that are no quote here. Everything else the number
// rules do is checked against the C library by the number-reading fuzz target, which the suite
// runs over its seed corpus and inputs mutated from it (numbertext_replay).
#include "engine/numbertext.h"

#include <QTest>

#include <cmath>

using namespace orbisk;

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void reading_refusesWhatIsNoQuote_data()
    {
        QTest::addColumn<QString>("text");
        const std::pair<const char *, const char *> rows[] = {
            {"empty", ""}, {"blank", " "}, {"nan", "nan"}, {"infinity", "-inf"}, {"hexadecimal", "0x10"}};
        for (const auto &[name, text] : rows)
            QTest::newRow(name) << QString(text);
    }
    void reading_refusesWhatIsNoQuote()
    {
        QFETCH(QString, text);
        const std::string t = text.toStdString();
        QVERIFY(textToSingle(t, ".").error == NumberError::Conversion);
        QVERIFY(textToDouble(t, ".").error == NumberError::Conversion);
        QVERIFY(textToWhole(t, ".").error == NumberError::Conversion);
    }

    void pipRound_refusesWhatIsNoNumber() { QVERIFY(pipRound(std::nan("")).error == NumberError::Overflow); }
};

QTEST_APPLESS_MAIN(NumberTextTest)
#include "numbertext_test.moc"
