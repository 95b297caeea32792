#include "engine/stepping.h"
#include "shell/failuretext.h"
#include "support/memoryboard.h"

#include <QTest>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::Field)
Q_DECLARE_METATYPE(orbisk::Direction)

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

    // A failed step keeps what it wrote before the failure, writes nothing after it, and says why
    // in the user's words: the leg, the field and its text (the first 40 bytes of a longer one).
    void rateStep_stopsAtFirstFailure_data()
    {
        QTest::addColumn<Field>("field"); // which field holds the bad text
        QTest::addColumn<QString>("text");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<int>("writes"); // how many writes stay
        QTest::addColumn<QString>("message");
        const Field bid1 = Field::bid(1), spread1 = Field::spread(1);
        const auto up = Direction::Up, down = Direction::Down;
        const QString forty(40, u'z'), long60 = "1" + QString(60, u'0') + "e-10";
        const QString upLeg1 = "Leg 1 cannot be stepped up: ",
                      kept = " The new bid and ask of leg 1 stay as written.";
        // clang-format off
        QTest::newRow("blank bid") << bid1 << " " << down << 0 << "Leg 1 cannot be stepped down: the bid of leg 1 is empty.";
        QTest::newRow("40 bytes are quoted whole") << bid1 << forty << up << 0 << upLeg1 + "the bid of leg 1, \"" + forty + "\", is not a number.";
        QTest::newRow("41 bytes are cut to 40") << bid1 << forty + "y" << up << 0 << upLeg1 + "the bid of leg 1, \"" + forty + "...\" (41 bytes), is not a number.";
        QTest::newRow("a cut never splits a character") << bid1 << QString(39, u'z') + "\u00e9" << up << 0 << upLeg1 + "the bid of leg 1, \"" + QString(39, u'z') + "...\" (41 bytes), is not a number.";
        QTest::newRow("bid beyond float") << bid1 << "1e39" << up << 0 << upLeg1 + "the bid of leg 1, \"1e39\", is too large for a quote.";
        QTest::newRow("3,2767 up, comma") << bid1 << "3,2767" << up << 0 << upLeg1 + "the bid of leg 1, \"3,2767\", would leave the range of -3,2768 to 3,2767 in which a bid can be stepped.";
        QTest::newRow("3.2769 down") << bid1 << "3.2769" << down << 0 << "Leg 1 cannot be stepped down: the bid of leg 1, \"3.2769\", would leave the range of -3.2768 to 3.2767 in which a bid can be stepped.";
        QTest::newRow("-3.2768 down") << bid1 << "-3.2768" << down << 0 << "Leg 1 cannot be stepped down: the bid of leg 1, \"-3.2768\", would leave the range of -3.2768 to 3.2767 in which a bid can be stepped.";
        QTest::newRow("garbage spread") << spread1 << "x" << up << 1 << upLeg1 + "the spread of leg 1, \"x\", is not a whole number of pips.";
        QTest::newRow("spread beyond 16 bits") << spread1 << "40000" << up << 1 << upLeg1 + "the spread of leg 1, \"40000\", lies outside -32768 to 32767 pips.";
        QTest::newRow("empty ask 2 stops the buy-side") << Field::ask(2) << "" << up << 2 << "The buy-side measure cannot be computed: the ask of leg 2 is empty." + kept;
        QTest::newRow("empty bid 2 stops the sell-side") << Field::bid(2) << "" << up << 3 << "The sell-side measure cannot be computed: the bid of leg 2 is empty. The new bid and ask of leg 1 and the buy-side measure stay as written.";
        QTest::newRow("huge bid 3 overflows the buy-side") << Field::bid(3) << "3e38" << up << 2 << "The buy-side measure cannot be computed: the quotes give a result beyond the range of single-precision numbers." + kept;
        QTest::newRow("long number with a negative exponent overflows") << Field::ask(3) << long60 << up << 3 << "The sell-side measure cannot be computed: the ask of leg 3, \"" + long60.left(40) + "...\" (65 bytes), is too large for a quote. The new bid and ask of leg 1 and the buy-side measure stay as written.";
        // clang-format on
    }
    void rateStep_stopsAtFirstFailure()
    {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(Direction, direction);
        QFETCH(int, writes);
        QFETCH(QString, message);
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
        QTest::addColumn<QString>("spread");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<QString>("result"); // the new spread, or why the step is refused
        // clang-format off
        QTest::newRow("5 down -> 4") << "5" << Direction::Down << "4";
        QTest::newRow("0 down -> -1") << "0" << Direction::Down << "-1";
        QTest::newRow("32766 up -> 32767") << "32766" << Direction::Up << "32767";
        QTest::newRow("32767 up refused") << "32767" << Direction::Up << "The spread of leg 2 cannot be widened: it is already 32767 pips, the widest it can be.";
        QTest::newRow("-32768 down refused") << "-32768" << Direction::Down << "The spread of leg 2 cannot be narrowed: it is already -32768 pips, the narrowest it can be.";
        QTest::newRow("garbage refused") << "x" << Direction::Up << "The spread of leg 2 cannot be widened: the spread of leg 2, \"x\", is not a whole number of pips.";
        // clang-format on
    }
    void spreadStep_movesOnlyTheSpread()
    {
        QFETCH(QString, spread);
        QFETCH(Direction, direction);
        QFETCH(QString, result);
        MemoryBoard board;
        board.type(Field::spread(2), spread.toStdString());
        const auto stopped = spreadStep(board, 2, direction, ".");
        QCOMPARE(int(board.writes.size()), stopped ? 0 : 1);
        QCOMPARE(stopped ? FailureText::describe(*stopped, ".")
                         : QString::fromStdString(board.text(Field::spread(2))),
                 result);
    }
};

QTEST_APPLESS_MAIN(SteppingTest)
#include "stepping_test.moc"
