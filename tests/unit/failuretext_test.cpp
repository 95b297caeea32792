#include "shell/failuretext.h"

#include <QTest>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::Failure)

class FailureTextTest : public QObject {
    Q_OBJECT

private slots:
    void describe_namesLegFieldAndText_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("message");
        using P = UnreadableText::Problem;
        const auto rate = [](P problem, Field field, std::string text, Direction direction = Direction::Up) {
            return Failure{RateStepFailure{1, direction, UnreadableText{field, std::move(text), problem}}};
        };
        const auto measure = [](Measure which, P problem, Field field, std::string text) {
            return Failure{MeasureFailure{which, 3, UnreadableText{field, std::move(text), problem}}};
        };
        const std::string forty(40, 'z');
        // clang-format off
        QTest::newRow("empty bid") << rate(P::NotANumber, Field::bid(1), " ", Direction::Down) << "."
            << "Leg 1 cannot be stepped down: the bid of leg 1 is empty.";
        QTest::newRow("garbage bid") << rate(P::NotANumber, Field::bid(1), "abc") << "."
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"abc\", is not a number.";
        QTest::newRow("40 bytes are quoted whole") << rate(P::NotANumber, Field::bid(1), forty) << "."
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"" + QString::fromStdString(forty) + "\", is not a number.";
        QTest::newRow("41 bytes are cut to 40") << rate(P::NotANumber, Field::bid(1), forty + "y") << "."
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"" + QString::fromStdString(forty) + "...\" (41 bytes), is not a number.";
        QTest::newRow("a cut never splits a character") << rate(P::NotANumber, Field::bid(1), std::string(39, 'z') + "\xC3\xA9") << "."
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"" + QString(39, 'z') + "...\" (41 bytes), is not a number.";
        QTest::newRow("bid beyond float") << rate(P::TooLarge, Field::bid(1), "1e39") << "."
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"1e39\", is too large for a quote.";
        QTest::newRow("bid out of the steppable range, comma") << Failure{RateStepFailure{1, Direction::Up, BidNotSteppable{"3,2767"}}} << ","
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"3,2767\", would leave the range of -3,2768 to 3,2767 in which a bid can be stepped.";
        QTest::newRow("garbage spread") << rate(P::NotANumber, Field::spread(1), "x") << "."
            << "Leg 1 cannot be stepped up: the spread of leg 1, \"x\", is not a whole number of pips.";
        QTest::newRow("spread beyond 16 bits") << rate(P::TooLarge, Field::spread(1), "40000") << "."
            << "Leg 1 cannot be stepped up: the spread of leg 1, \"40000\", lies outside -32768 to 32767 pips.";
        QTest::newRow("widest spread") << Failure{SpreadStepFailure{2, Direction::Up, SpreadAtLimit{32767}}} << "."
            << "The spread of leg 2 cannot be widened: it is already 32767 pips, the widest it can be.";
        QTest::newRow("narrowest spread") << Failure{SpreadStepFailure{2, Direction::Down, SpreadAtLimit{-32768}}} << "."
            << "The spread of leg 2 cannot be narrowed: it is already -32768 pips, the narrowest it can be.";
        QTest::newRow("buy-side: empty ask 2") << measure(Measure::BuySide, P::NotANumber, Field::ask(2), "") << "."
            << "The buy-side measure cannot be computed: the ask of leg 2 is empty. The new bid and ask of leg 3 stay as written.";
        QTest::newRow("sell-side: empty bid 2") << measure(Measure::SellSide, P::NotANumber, Field::bid(2), "") << "."
            << "The sell-side measure cannot be computed: the bid of leg 2 is empty. The new bid and ask of leg 3 and the buy-side measure stay as written.";
        QTest::newRow("buy-side overflow") << Failure{MeasureFailure{Measure::BuySide, 3, ResultTooLarge{}}} << "."
            << "The buy-side measure cannot be computed: the quotes give a result beyond the range of single-precision numbers. The new bid and ask of leg 3 stay as written.";
        // clang-format on
    }
    void describe_namesLegFieldAndText()
    {
        QFETCH(Failure, failure);
        QFETCH(QString, separator);
        QFETCH(QString, message);
        QCOMPARE(FailureText::describe(failure, separator.toStdString()), message);
    }
};

QTEST_APPLESS_MAIN(FailureTextTest)
#include "failuretext_test.moc"
