// The engine's rules as tables. Beyond the texts the C library reads as numbers that are no
// quote here, the number rules are checked against the C library by the number-reading fuzz
// target, which the suite runs over its seed corpus and inputs mutated from it
// (numbertext_replay).
#include "engine/indicator.h"
#include "engine/measures.h"
#include "engine/numbertext.h"
#include "engine/stepping.h"
#include "shell/failuretext.h"
#include "support/memoryboard.h"

#include <QTest>

#include <cmath>
#include <tuple>

using namespace orbisk;

namespace {

// A table's row is one tuple in its one column, "row"; the test takes it apart by name.
template <typename Row> Row fetchRow()
{
    QFETCH(Row, row);
    return row;
}

// leg, bid, spread, direction; the new bid and ask
using RateRow = std::tuple<int, QString, QString, Direction, QString, QString>;
// the field that holds the bad text, the text, direction, how many writes stay, message
using FailureRow = std::tuple<Field, QString, Direction, int, QString>;
// spread, direction; the new spread, or why the step is refused
using SpreadRow = std::tuple<QString, Direction, QString>;
// bid and ask of legs 1, 2 and 3; buy-side and sell-side measure
using MeasureRow = std::tuple<QString, QString>;
// the measure that changed, buy-side and sell-side texts, outcome
using IndicatorRow = std::tuple<Measure, QString, QString, QString>;

} // namespace

class EngineTest : public QObject {
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

    void measures_roundAsSpecified_data()
    {
        QTest::addColumn<MeasureRow>("row");
        // clang-format off
        QTest::newRow("defaults -> -8.786247 -8.009672") << MeasureRow{"1.6364 1.6369 0.7225 0.7230 1.1826 1.1831", "-8.786247 -8.009672"};
        QTest::newRow("positive has no sign -> 11.2135") << MeasureRow{"1.6364 1.6369 0.7225 0.7230 1.1846 1.1851", "11.2135 -28.00941"};
        QTest::newRow("zero reads -0") << MeasureRow{"1 2 1 0.5 1 1", "-0 -0"};
        // clang-format on
    }
    void measures_roundAsSpecified()
    {
        const auto [quotes, measures] = fetchRow<MeasureRow>();
        MemoryBoard board;
        for (int leg = 1; leg <= legCount; ++leg) {
            board.type(Field::bid(leg), quotes.split(' ')[2 * leg - 2].toStdString());
            board.type(Field::ask(leg), quotes.split(' ')[2 * leg - 1].toStdString());
        }
        for (const int leg : {1, 3, 0}) { // the leg that moved never changes the result
            const auto buy = get_crossBid(board, leg, ".");
            const auto sell = get_crossAsk(board, leg, ".");
            QVERIFY(buy.ok() && sell.ok());
            QCOMPARE(QString::fromStdString(buy.text + ' ' + sell.text), measures);
        }
        QVERIFY(board.writes.empty());
        QCOMPARE(sellSideValue(3e38F, 2.0F, 1.0F).error, NumberError::Overflow); // the product alone
        QCOMPARE(buySideValue(1.0F, 1.0F, 1e35F).error, NumberError::Overflow);  // only times 10000
    }

    void indicator_followsBothTestOrders_data()
    {
        QTest::addColumn<IndicatorRow>("row");
        const auto both = [](const char *name, const char *buy, const char *sell, const char *outcome) {
            for (const Measure changed : {Measure::BuySide, Measure::SellSide}) {
                const char *which = changed == Measure::BuySide ? "buy-side changed" : "sell-side changed";
                QTest::addRow("%s, %s", name, which) << IndicatorRow{changed, buy, sell, outcome};
            }
        };
        // clang-format off
        both("both negative -> Wait", "-8.786247", "-8.009672", "Wait");
        both("both -0 -> Wait", "-0", "-0", "Wait");
        both("buy-side positive -> Sell", "11.2135", "-28.00941", "Sell");
        both("sell-side positive -> Buy", "-1", "1E-05", "Buy");
        both("unreadable text is not positive", "abc", "", "Wait");
        both("overflowing text is not positive", "1e999", "-1", "Wait");
        both("comma text under a point separator", "1,5", "-1", "Wait");
        QTest::newRow("both positive, buy-side changed -> Buy") << IndicatorRow{Measure::BuySide, "5.1", "5.8", "Buy"};
        QTest::newRow("both positive, sell-side changed -> Sell") << IndicatorRow{Measure::SellSide, "5.1", "5.8", "Sell"};
        // clang-format on
    }
    void indicator_followsBothTestOrders()
    {
        const auto [changed, buySide, sellSide, outcome] = fetchRow<IndicatorRow>();
        const char *names[] = {"Wait", "Buy", "Sell"};
        QCOMPARE(names[int(evaluateIndicator(changed, buySide.toStdString(), sellSide.toStdString(), "."))],
                 outcome);
    }

    void rateStep_movesBidAndRebuildsAsk_data()
    {
        QTest::addColumn<RateRow>("row");
        // clang-format off
        QTest::newRow("leg 1 1.6364 down -> 1.6363 / 1.6368") << RateRow{1, "1.6364", "5", Direction::Down, "1.6363", "1.6368"};
        QTest::newRow("leg 3 1.1826 up -> 1.1827 / 1.1832") << RateRow{3, "1.1826", "5", Direction::Up, "1.1827", "1.1832"};
        QTest::newRow("0.5001 up, spread 1 -> 0.5002 / 0.5002999") << RateRow{1, "0.5001", "1", Direction::Up, "0.5002", "0.5002999"};
        QTest::newRow("1.63645 up -> 1.6366") << RateRow{1, "1.63645", "5", Direction::Up, "1.6366", "1.6371"};
        QTest::newRow("0.09375 down -> 0.0936") << RateRow{1, "0.09375", "5", Direction::Down, "0.0936", "0.0941"};
        QTest::newRow("3.2766 up -> 3.2767") << RateRow{1, "3.2766", "5", Direction::Up, "3.2767", "3.2772"};
        QTest::newRow("3.2768 down -> 3.2767") << RateRow{1, "3.2768", "5", Direction::Down, "3.2767", "3.2772"};
        QTest::newRow("0 down -> -0.0001") << RateRow{1, "0", "5", Direction::Down, "-0.0001", "0.0004"};
        QTest::newRow("-3.2767 down -> -3.2768") << RateRow{1, "-3.2767", "5", Direction::Down, "-3.2768", "-3.2763"};
        QTest::newRow("spread -1 puts the ask below the bid") << RateRow{1, "1.6364", "-1", Direction::Up, "1.6365", "1.6364"};
        // clang-format on
    }
    void rateStep_movesBidAndRebuildsAsk()
    {
        const auto [leg, bid, spread, direction, newBid, newAsk] = fetchRow<RateRow>();
        MemoryBoard board;
        board.type(Field::bid(leg), bid.toStdString());
        board.type(Field::spread(leg), spread.toStdString());
        QVERIFY(!rateStep(board, leg, direction, "."));
        QCOMPARE(QString::fromStdString(board.text(Field::bid(leg)) + " / " + board.text(Field::ask(leg))),
                 newBid + " / " + newAsk);
    }

    // A failed step keeps what it wrote before the failure, writes nothing after it, and says why
    // in the user's words: the leg, the field and its text (the first 40 bytes of a longer one).
    void rateStep_stopsAtFirstFailure_data()
    {
        QTest::addColumn<FailureRow>("row");
        const Field bid1 = Field::bid(1), spread1 = Field::spread(1);
        const auto up = Direction::Up, down = Direction::Down;
        const QString forty(40, u'z'), long60 = "1" + QString(60, u'0') + "e-10";
        const QString upLeg1 = "Leg 1 cannot be stepped up: ",
                      kept = " The new bid and ask of leg 1 stay as written.";
        // clang-format off
        QTest::newRow("blank bid") << FailureRow{bid1, " ", down, 0, "Leg 1 cannot be stepped down: the bid of leg 1 is empty."};
        QTest::newRow("40 bytes are quoted whole") << FailureRow{bid1, forty, up, 0, upLeg1 + "the bid of leg 1, \"" + forty + "\", is not a number."};
        QTest::newRow("41 bytes are cut to 40") << FailureRow{bid1, forty + "y", up, 0, upLeg1 + "the bid of leg 1, \"" + forty + "...\" (41 bytes), is not a number."};
        QTest::newRow("a cut never splits a character") << FailureRow{bid1, QString(39, u'z') + "\u00e9", up, 0, upLeg1 + "the bid of leg 1, \"" + QString(39, u'z') + "...\" (41 bytes), is not a number."};
        QTest::newRow("bid beyond float") << FailureRow{bid1, "1e39", up, 0, upLeg1 + "the bid of leg 1, \"1e39\", is too large for a quote."};
        QTest::newRow("3,2767 up, comma") << FailureRow{bid1, "3,2767", up, 0, upLeg1 + "the bid of leg 1, \"3,2767\", would leave the range of -3,2768 to 3,2767 in which a bid can be stepped."};
        QTest::newRow("3.2769 down") << FailureRow{bid1, "3.2769", down, 0, "Leg 1 cannot be stepped down: the bid of leg 1, \"3.2769\", would leave the range of -3.2768 to 3.2767 in which a bid can be stepped."};
        QTest::newRow("-3.2768 down") << FailureRow{bid1, "-3.2768", down, 0, "Leg 1 cannot be stepped down: the bid of leg 1, \"-3.2768\", would leave the range of -3.2768 to 3.2767 in which a bid can be stepped."};
        QTest::newRow("garbage spread") << FailureRow{spread1, "x", up, 1, upLeg1 + "the spread of leg 1, \"x\", is not a whole number of pips."};
        QTest::newRow("spread beyond 16 bits") << FailureRow{spread1, "40000", up, 1, upLeg1 + "the spread of leg 1, \"40000\", lies outside -32768 to 32767 pips."};
        QTest::newRow("empty ask 2 stops the buy-side") << FailureRow{Field::ask(2), "", up, 2, "The buy-side measure cannot be computed: the ask of leg 2 is empty." + kept};
        QTest::newRow("empty bid 2 stops the sell-side") << FailureRow{Field::bid(2), "", up, 3, "The sell-side measure cannot be computed: the bid of leg 2 is empty. The new bid and ask of leg 1 and the buy-side measure stay as written."};
        QTest::newRow("huge bid 3 overflows the buy-side") << FailureRow{Field::bid(3), "3e38", up, 2, "The buy-side measure cannot be computed: the quotes give a result beyond the range of single-precision numbers." + kept};
        QTest::newRow("long number with a negative exponent overflows") << FailureRow{Field::ask(3), long60, up, 3, "The sell-side measure cannot be computed: the ask of leg 3, \"" + long60.left(40) + "...\" (65 bytes), is too large for a quote. The new bid and ask of leg 1 and the buy-side measure stay as written."};
        // clang-format on
    }
    void rateStep_stopsAtFirstFailure()
    {
        const auto [field, text, direction, writes, message] = fetchRow<FailureRow>();
        MemoryBoard board;
        board.type(field, text.toStdString());
        board.type(Field::measureOf(Measure::BuySide), "old buy");
        board.type(Field::measureOf(Measure::SellSide), "old sell");
        const std::string separator = text.contains(u',') ? "," : ".";
        const auto failure = rateStep(board, 1, direction, separator);
        QCOMPARE(failure ? FailureText::describe(*failure, separator) : QString(), message);
        QCOMPARE(int(board.writes.size()), writes);
        QCOMPARE(board.text(Field::measureOf(Measure::BuySide)),
                 std::string(writes < 3 ? "old buy" : "-9.509368"));
        QCOMPARE(board.text(Field::measureOf(Measure::SellSide)), std::string("old sell"));
    }

    void spreadStep_movesOnlyTheSpread_data()
    {
        QTest::addColumn<SpreadRow>("row");
        // clang-format off
        QTest::newRow("5 down -> 4") << SpreadRow{"5", Direction::Down, "4"};
        QTest::newRow("0 down -> -1") << SpreadRow{"0", Direction::Down, "-1"};
        QTest::newRow("32766 up -> 32767") << SpreadRow{"32766", Direction::Up, "32767"};
        QTest::newRow("32767 up refused") << SpreadRow{"32767", Direction::Up, "The spread of leg 2 cannot be widened: it is already 32767 pips, the widest it can be."};
        QTest::newRow("-32768 down refused") << SpreadRow{"-32768", Direction::Down, "The spread of leg 2 cannot be narrowed: it is already -32768 pips, the narrowest it can be."};
        QTest::newRow("garbage refused") << SpreadRow{"x", Direction::Up, "The spread of leg 2 cannot be widened: the spread of leg 2, \"x\", is not a whole number of pips."};
        // clang-format on
    }
    void spreadStep_movesOnlyTheSpread()
    {
        const auto [spread, direction, result] = fetchRow<SpreadRow>();
        MemoryBoard board;
        board.type(Field::spread(2), spread.toStdString());
        const auto stopped = spreadStep(board, 2, direction, ".");
        QCOMPARE(int(board.writes.size()), stopped ? 0 : 1);
        QCOMPARE(stopped ? FailureText::describe(*stopped, ".")
                         : QString::fromStdString(board.text(Field::spread(2))),
                 result);
    }
};

QTEST_APPLESS_MAIN(EngineTest)
#include "engine_test.moc"
