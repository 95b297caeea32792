#include "memoryboard.h"
#include "stepping.h"

#include <QTest>

using namespace orbisk;

namespace {

QString describeWrites(const MemoryBoard &board)
{
    QStringList parts;
    for (const auto &[field, text] : board.writes)
        parts << QStringLiteral("%1%2=%3")
                     .arg(static_cast<int>(field.kind))
                     .arg(field.leg)
                     .arg(QString::fromStdString(text));
    return parts.join(' ');
}

} // namespace

class SteppingTest : public QObject {
    Q_OBJECT

private slots:
    void rateStep_movesBidAndRebuildsAsk_data()
    {
        // clang-format off
        QTest::addColumn<int>("leg");
        QTest::addColumn<QString>("bid");
        QTest::addColumn<QString>("spread");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("newBid");
        QTest::addColumn<QString>("newAsk");
        QTest::newRow("leg 1 1.6364 down -> 1.6363 / 1.6368") << 1 << "1.6364" << "5" << -1 << "1.6363" << "1.6368";
        QTest::newRow("leg 1 1.6364 up -> 1.6365 / 1.637") << 1 << "1.6364" << "5" << +1 << "1.6365" << "1.637";
        QTest::newRow("leg 2 0.7225 down -> 0.7224 / 0.7229") << 2 << "0.7225" << "5" << -1 << "0.7224" << "0.7229";
        QTest::newRow("leg 3 1.1826 up -> 1.1827 / 1.1832") << 3 << "1.1826" << "5" << +1 << "1.1827" << "1.1832";
        QTest::newRow("1.6361 down -> 1.636") << 1 << "1.6361" << "5" << -1 << "1.636" << "1.6365";
        QTest::newRow("2 down -> 1.9999") << 1 << "2" << "5" << -1 << "1.9999" << "2.0004";
        QTest::newRow("0.5001 up, spread 1 -> 0.5002 / 0.5002999") << 1 << "0.5001" << "1" << +1 << "0.5002" << "0.5002999";
        QTest::newRow("1.63645 down -> 1.6364") << 1 << "1.63645" << "5" << -1 << "1.6364" << "1.6369";
        QTest::newRow("1.63645 up -> 1.6366") << 1 << "1.63645" << "5" << +1 << "1.6366" << "1.6371";
        QTest::newRow("0.09375 down -> 0.0936") << 1 << "0.09375" << "5" << -1 << "0.0936" << "0.0941";
        QTest::newRow("0.09375 up -> 0.0938") << 1 << "0.09375" << "5" << +1 << "0.0938" << "0.0943";
        QTest::newRow("3.2766 up -> 3.2767") << 1 << "3.2766" << "5" << +1 << "3.2767" << "3.2772";
        QTest::newRow("3.2768 down -> 3.2767") << 1 << "3.2768" << "5" << -1 << "3.2767" << "3.2772";
        QTest::newRow("0.0001 down -> 0") << 1 << "0.0001" << "5" << -1 << "0" << "0.0005";
        QTest::newRow("0 down -> -0.0001") << 1 << "0" << "5" << -1 << "-0.0001" << "0.0004";
        QTest::newRow("-3.2767 down -> -3.2768") << 1 << "-3.2767" << "5" << -1 << "-3.2768" << "-3.2763";
        QTest::newRow("spread -1 puts the ask below the bid") << 1 << "1.6364" << "-1" << +1 << "1.6365" << "1.6364";
        QTest::newRow("comma bid under a point separator is refused") << 1 << "1,6364" << "5" << +1 << "" << "";
        // clang-format on
    }
    void rateStep_movesBidAndRebuildsAsk()
    {
        QFETCH(int, leg);
        QFETCH(QString, bid);
        QFETCH(QString, spread);
        QFETCH(int, direction);
        QFETCH(QString, newBid);
        QFETCH(QString, newAsk);
        MemoryBoard board;
        board.type(Field::bid(leg), bid.toStdString());
        board.type(Field::spread(leg), spread.toStdString());
        const auto failure = rateStep(board, leg, direction, ".");
        if (newBid.isEmpty()) {
            QVERIFY(failure);
            QVERIFY(board.writes.empty());
            return;
        }
        QVERIFY2(!failure, failure ? describe(*failure, ".").c_str() : "");
        QCOMPARE(QString::fromStdString(board.text(Field::bid(leg))), newBid);
        QCOMPARE(QString::fromStdString(board.text(Field::ask(leg))), newAsk);
    }

    void rateStep_writesInOrder()
    {
        MemoryBoard board;
        board.type(Field::ask(1), "1.6374"); // the ask follows the spread, not the old distance
        QVERIFY(!rateStep(board, 1, +1, "."));
        QCOMPARE(describeWrites(board), QStringLiteral("01=1.6365 11=1.637 30=-9.509368 40=-7.287264"));
    }

    void rateStep_usesTheSeparatorBothWays()
    {
        MemoryBoard board;
        for (int leg = 1; leg <= legCount; ++leg) {
            for (const Field field : {Field::bid(leg), Field::ask(leg)}) {
                std::string text = board.text(field);
                text[1] = ',';
                board.type(field, text);
            }
        }
        QVERIFY(!rateStep(board, 1, +1, ","));
        QCOMPARE(describeWrites(board), QStringLiteral("01=1,6365 11=1,637 30=-9,509368 40=-7,287264"));
    }

    void rateStep_stopsAtFirstFailure_data()
    {
        // clang-format off
        QTest::addColumn<QString>("field"); // which field holds the bad text
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("problem");
        QTest::addColumn<int>("writes"); // how many writes stay
        using P = Failure::Problem;
        QTest::newRow("empty bid") << "bid1" << "" << +1 << int(P::NotANumber) << 0;
        QTest::newRow("garbage bid") << "bid1" << "abc" << +1 << int(P::NotANumber) << 0;
        QTest::newRow("bid beyond float") << "bid1" << "1e39" << +1 << int(P::TooLarge) << 0;
        QTest::newRow("3.2767 up") << "bid1" << "3.2767" << +1 << int(P::BidNotSteppable) << 0;
        QTest::newRow("3.2769 down") << "bid1" << "3.2769" << -1 << int(P::BidNotSteppable) << 0;
        QTest::newRow("110.25 up") << "bid1" << "110.25" << +1 << int(P::BidNotSteppable) << 0;
        QTest::newRow("-3.2768 down") << "bid1" << "-3.2768" << -1 << int(P::BidNotSteppable) << 0;
        QTest::newRow("garbage spread") << "spread1" << "x" << +1 << int(P::NotANumber) << 1;
        QTest::newRow("empty ask 2 stops the buy-side") << "ask2" << "" << +1 << int(P::NotANumber) << 2;
        QTest::newRow("empty bid 2 stops the sell-side") << "bid2" << "" << +1 << int(P::NotANumber) << 3;
        QTest::newRow("huge bid 3 overflows the buy-side") << "bid3" << "3e38" << +1 << int(P::ResultTooLarge) << 2;
        // clang-format on
    }
    void rateStep_stopsAtFirstFailure()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(int, direction);
        QFETCH(int, problem);
        QFETCH(int, writes);
        MemoryBoard board;
        const int leg = field.right(1).toInt();
        const Field target = field.startsWith("bid")   ? Field::bid(leg)
                             : field.startsWith("ask") ? Field::ask(leg)
                                                       : Field::spread(leg);
        board.type(target, text.toStdString());
        board.type(Field::buySideMeasure(), "old buy");
        board.type(Field::sellSideMeasure(), "old sell");
        const auto failure = rateStep(board, 1, direction, ".");
        QVERIFY(failure);
        QCOMPARE(int(failure->problem), problem);
        QCOMPARE(int(board.writes.size()), writes);
        if (writes < 3)
            QCOMPARE(board.text(Field::buySideMeasure()), std::string("old buy"));
        QCOMPARE(board.text(Field::sellSideMeasure()), std::string("old sell"));
    }

    void spreadStep_movesOnlyTheSpread_data()
    {
        // clang-format off
        QTest::addColumn<QString>("spread");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("result"); // empty: refused, nothing written
        QTest::newRow("5 down -> 4") << "5" << -1 << "4";
        QTest::newRow("5 up -> 6") << "5" << +1 << "6";
        QTest::newRow("0 down -> -1") << "0" << -1 << "-1";
        QTest::newRow("32766 up -> 32767") << "32766" << +1 << "32767";
        QTest::newRow("32767 up refused") << "32767" << +1 << "";
        QTest::newRow("-32768 down refused") << "-32768" << -1 << "";
        QTest::newRow("garbage refused") << "x" << +1 << "";
        // clang-format on
    }
    void spreadStep_movesOnlyTheSpread()
    {
        QFETCH(QString, spread);
        QFETCH(int, direction);
        QFETCH(QString, result);
        MemoryBoard board;
        board.type(Field::spread(2), spread.toStdString());
        const auto failure = spreadStep(board, 2, direction, ".");
        if (result.isEmpty()) {
            QVERIFY(failure);
            QVERIFY(board.writes.empty());
            return;
        }
        QVERIFY(!failure);
        QCOMPARE(int(board.writes.size()), 1);
        QCOMPARE(QString::fromStdString(board.text(Field::spread(2))), result);
    }

    void describe_namesLegFieldAndText_data()
    {
        // clang-format off
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty bid") << "bid1" << "" << -1 << "Leg 1 cannot be stepped down: the bid of leg 1 is empty.";
        QTest::newRow("garbage bid") << "bid1" << "abc" << +1 << "Leg 1 cannot be stepped up: the bid of leg 1, \"abc\", is not a number.";
        QTest::newRow("bid out of pip range") << "bid1" << "3.2767" << +1
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"3.2767\", would leave the range of "
               "-3.2768 to 3.2767 in which a bid can be stepped.";
        QTest::newRow("measure quote") << "ask2" << "x" << +1
            << "The buy-side measure cannot be computed: the ask of leg 2, \"x\", is not a number. "
               "The new bid and ask of leg 1 stay as written.";
        QTest::newRow("long text is cut") << "bid1" << QString(100, 'z') << +1
            << "Leg 1 cannot be stepped up: the bid of leg 1, \"" + QString(40, 'z') + "...\" (100 bytes), is not a number.";
        // clang-format on
    }
    void describe_namesLegFieldAndText()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(int, direction);
        QFETCH(QString, message);
        MemoryBoard board;
        const int leg = field.right(1).toInt();
        board.type(field.startsWith("bid") ? Field::bid(leg) : Field::ask(leg), text.toStdString());
        const auto failure = rateStep(board, 1, direction, ".");
        QVERIFY(failure);
        QCOMPARE(QString::fromStdString(describe(*failure, ".")), message);
    }

    void describe_spreadAtItsLimit()
    {
        MemoryBoard board;
        board.type(Field::spread(3), "32767");
        const auto failure = spreadStep(board, 3, +1, ".");
        QCOMPARE(QString::fromStdString(describe(*failure, ".")),
                 QStringLiteral("The spread of leg 3 cannot be widened: it is already 32767 pips, "
                                "the widest it can be."));
    }
};

QTEST_APPLESS_MAIN(SteppingTest)
#include "stepping_test.moc"
