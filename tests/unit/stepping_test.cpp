#include "engine/stepping.h"
#include "support/memoryboard.h"

#include <QTest>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::Field)
Q_DECLARE_METATYPE(orbisk::Direction)
Q_DECLARE_METATYPE(orbisk::Failure)

class SteppingTest : public QObject {
    Q_OBJECT

private slots:
    void rateStep_movesBidAndRebuildsAsk_data()
    {
        QTest::addColumn<int>("leg");
        QTest::addColumn<QString>("bid");
        QTest::addColumn<QString>("spread");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<QString>("newBid");
        QTest::addColumn<QString>("newAsk");
        // clang-format off
        QTest::newRow("leg 1 1.6364 down -> 1.6363 / 1.6368") << 1 << "1.6364" << "5" << Direction::Down << "1.6363" << "1.6368";
        QTest::newRow("leg 3 1.1826 up -> 1.1827 / 1.1832") << 3 << "1.1826" << "5" << Direction::Up << "1.1827" << "1.1832";
        QTest::newRow("0.5001 up, spread 1 -> 0.5002 / 0.5002999") << 1 << "0.5001" << "1" << Direction::Up << "0.5002" << "0.5002999";
        QTest::newRow("1.63645 up -> 1.6366") << 1 << "1.63645" << "5" << Direction::Up << "1.6366" << "1.6371";
        QTest::newRow("0.09375 down -> 0.0936") << 1 << "0.09375" << "5" << Direction::Down << "0.0936" << "0.0941";
        QTest::newRow("3.2766 up -> 3.2767") << 1 << "3.2766" << "5" << Direction::Up << "3.2767" << "3.2772";
        QTest::newRow("3.2768 down -> 3.2767") << 1 << "3.2768" << "5" << Direction::Down << "3.2767" << "3.2772";
        QTest::newRow("0 down -> -0.0001") << 1 << "0" << "5" << Direction::Down << "-0.0001" << "0.0004";
        QTest::newRow("-3.2767 down -> -3.2768") << 1 << "-3.2767" << "5" << Direction::Down << "-3.2768" << "-3.2763";
        QTest::newRow("spread -1 puts the ask below the bid") << 1 << "1.6364" << "-1" << Direction::Up << "1.6365" << "1.6364";
        // clang-format on
    }
    void rateStep_movesBidAndRebuildsAsk()
    {
        QFETCH(int, leg);
        QFETCH(QString, bid);
        QFETCH(QString, spread);
        QFETCH(Direction, direction);
        QFETCH(QString, newBid);
        QFETCH(QString, newAsk);
        MemoryBoard board;
        board.type(Field::bid(leg), bid.toStdString());
        board.type(Field::spread(leg), spread.toStdString());
        QVERIFY(!rateStep(board, leg, direction, "."));
        QCOMPARE(QString::fromStdString(board.text(Field::bid(leg)) + " / " + board.text(Field::ask(leg))),
                 newBid + " / " + newAsk);
    }

    // The separator is the window's: its step with a comma is tried there.
    void rateStep_writesInOrder()
    {
        MemoryBoard board;
        board.type(Field::ask(1), "1.6374"); // the ask follows the spread, not the old distance
        QVERIFY(!rateStep(board, 1, Direction::Up, "."));
        const std::vector<std::pair<Field, std::string>> writes = {
            {Field::bid(1), "1.6365"},
            {Field::ask(1), "1.637"},
            {Field::measureOf(Measure::BuySide), "-9.509368"},
            {Field::measureOf(Measure::SellSide), "-7.287264"}};
        QVERIFY(board.writes == writes);
    }

    // A failed step keeps what it wrote before the failure and writes nothing after it.
    void rateStep_stopsAtFirstFailure_data()
    {
        QTest::addColumn<Field>("field"); // which field holds the bad text
        QTest::addColumn<QString>("text");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<int>("writes"); // how many writes stay
        QTest::addColumn<Failure>("failure");
        using P = UnreadableText::Problem;
        const auto rate = [](Direction direction, auto cause) {
            return Failure{RateStepFailure{1, direction, cause}};
        };
        const auto measure = [](Measure which, auto cause) {
            return Failure{MeasureFailure{which, 1, cause}};
        };
        const Field bid1 = Field::bid(1), spread1 = Field::spread(1);
        const auto up = Direction::Up, down = Direction::Down;
        const QString long60 = "1" + QString(60, '0') + "e-10";
        // clang-format off
        QTest::newRow("empty bid") << bid1 << "" << down << 0 << rate(down, UnreadableText{bid1, "", P::NotANumber});
        QTest::newRow("bid beyond float") << bid1 << "1e39" << up << 0 << rate(up, UnreadableText{bid1, "1e39", P::TooLarge});
        QTest::newRow("3.2767 up") << bid1 << "3.2767" << up << 0 << rate(up, BidNotSteppable{"3.2767"});
        QTest::newRow("3.2769 down") << bid1 << "3.2769" << down << 0 << rate(down, BidNotSteppable{"3.2769"});
        QTest::newRow("-3.2768 down") << bid1 << "-3.2768" << down << 0 << rate(down, BidNotSteppable{"-3.2768"});
        QTest::newRow("garbage spread") << spread1 << "x" << up << 1 << rate(up, UnreadableText{spread1, "x", P::NotANumber});
        QTest::newRow("spread beyond 16 bits") << spread1 << "40000" << up << 1 << rate(up, UnreadableText{spread1, "40000", P::TooLarge});
        QTest::newRow("empty ask 2 stops the buy-side") << Field::ask(2) << "" << up << 2 << measure(Measure::BuySide, UnreadableText{Field::ask(2), "", P::NotANumber});
        QTest::newRow("empty bid 2 stops the sell-side") << Field::bid(2) << "" << up << 3 << measure(Measure::SellSide, UnreadableText{Field::bid(2), "", P::NotANumber});
        QTest::newRow("huge bid 3 overflows the buy-side") << Field::bid(3) << "3e38" << up << 2 << measure(Measure::BuySide, ResultTooLarge{});
        QTest::newRow("long number with a negative exponent overflows") << Field::ask(3) << long60 << up << 3 << measure(Measure::SellSide, UnreadableText{Field::ask(3), long60.toStdString(), P::TooLarge});
        // clang-format on
    }
    void rateStep_stopsAtFirstFailure()
    {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(Direction, direction);
        QFETCH(int, writes);
        QFETCH(Failure, failure);
        MemoryBoard board;
        board.type(field, text.toStdString());
        board.type(Field::measureOf(Measure::BuySide), "old buy");
        board.type(Field::measureOf(Measure::SellSide), "old sell");
        QVERIFY(rateStep(board, 1, direction, ".") == failure);
        QCOMPARE(int(board.writes.size()), writes);
        QCOMPARE(board.text(Field::measureOf(Measure::BuySide)),
                 std::string(writes < 3 ? "old buy" : "-9.509368"));
        QCOMPARE(board.text(Field::measureOf(Measure::SellSide)), std::string("old sell"));
    }

    void spreadStep_movesOnlyTheSpread_data()
    {
        QTest::addColumn<QString>("spread");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<QString>("result"); // the new spread; empty when the step is refused
        QTest::addColumn<Failure>("failure");
        const auto refused = [](Direction direction, auto cause) {
            return Failure{SpreadStepFailure{2, direction, cause}};
        };
        const Failure none{}; // unused: the step succeeds
        // clang-format off
        QTest::newRow("5 down -> 4") << "5" << Direction::Down << "4" << none;
        QTest::newRow("0 down -> -1") << "0" << Direction::Down << "-1" << none;
        QTest::newRow("32766 up -> 32767") << "32766" << Direction::Up << "32767" << none;
        QTest::newRow("32767 up refused") << "32767" << Direction::Up << "" << refused(Direction::Up, SpreadAtLimit{32767});
        QTest::newRow("-32768 down refused") << "-32768" << Direction::Down << "" << refused(Direction::Down, SpreadAtLimit{-32768});
        QTest::newRow("garbage refused") << "x" << Direction::Up << "" << refused(Direction::Up, UnreadableText{Field::spread(2), "x", UnreadableText::Problem::NotANumber});
        // clang-format on
    }
    void spreadStep_movesOnlyTheSpread()
    {
        QFETCH(QString, spread);
        QFETCH(Direction, direction);
        QFETCH(QString, result);
        QFETCH(Failure, failure);
        MemoryBoard board;
        board.type(Field::spread(2), spread.toStdString());
        const auto stopped = spreadStep(board, 2, direction, ".");
        QCOMPARE(int(board.writes.size()), stopped ? 0 : 1);
        if (result.isEmpty())
            QVERIFY(stopped == failure);
        else
            QCOMPARE(QString::fromStdString(board.text(Field::spread(2))), result);
    }
};

QTEST_APPLESS_MAIN(SteppingTest)
#include "stepping_test.moc"
