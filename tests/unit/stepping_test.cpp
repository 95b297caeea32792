#include "engine/stepping.h"
#include "support/memoryboard.h"

#include <QTest>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::Field)
Q_DECLARE_METATYPE(orbisk::Direction)

namespace {

// The board's writes in order, as "<kind><leg>=<text>".
QString writesOf(const MemoryBoard &board)
{
    QStringList parts;
    for (const auto &[field, text] : board.writes)
        parts << QStringLiteral("%1%2=%3")
                     .arg(int(field.kind))
                     .arg(field.kind == Field::Kind::Measure ? int(field.measure) : field.leg)
                     .arg(QString::fromStdString(text));
    return parts.join(' ');
}

QString causeOf(const UnreadableText &bad)
{
    return QStringLiteral("%1%2 \"%3\" %4")
        .arg(int(bad.field.kind))
        .arg(bad.field.leg)
        .arg(QString::fromStdString(bad.text))
        .arg(bad.problem == UnreadableText::Problem::TooLarge ? "too large" : "not a number");
}
QString causeOf(const BidNotSteppable &bad)
{
    return "bid not steppable: " + QString::fromStdString(bad.bidText);
}
QString causeOf(const SpreadAtLimit &limit)
{
    return QStringLiteral("at limit: %1").arg(limit.spread);
}
QString causeOf(const ResultTooLarge &)
{
    return QStringLiteral("result too large");
}

// Which action failed for which leg and direction, and why, in a line.
QString described(const Failure &failure)
{
    const auto cause = [](const auto &variant) {
        return std::visit([](const auto &c) { return causeOf(c); }, variant);
    };
    if (const auto *rate = std::get_if<RateStepFailure>(&failure))
        return QStringLiteral("rate %1%2: ").arg(rate->leg).arg(signOf(rate->direction) > 0 ? '+' : '-') +
               cause(rate->cause);
    if (const auto *spread = std::get_if<SpreadStepFailure>(&failure))
        return QStringLiteral("spread %1%2: ")
                   .arg(spread->leg)
                   .arg(signOf(spread->direction) > 0 ? '+' : '-') +
               cause(spread->cause);
    const auto &measure = std::get<MeasureFailure>(failure);
    return QStringLiteral("measure %1 of leg %2: ").arg(int(measure.measure)).arg(measure.leg) +
           cause(measure.cause);
}

} // namespace

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
        QTest::newRow("leg 1 1.6364 up -> 1.6365 / 1.637") << 1 << "1.6364" << "5" << Direction::Up << "1.6365" << "1.637";
        QTest::newRow("leg 2 0.7225 down -> 0.7224 / 0.7229") << 2 << "0.7225" << "5" << Direction::Down << "0.7224" << "0.7229";
        QTest::newRow("leg 3 1.1826 up -> 1.1827 / 1.1832") << 3 << "1.1826" << "5" << Direction::Up << "1.1827" << "1.1832";
        QTest::newRow("1.6361 down -> 1.636") << 1 << "1.6361" << "5" << Direction::Down << "1.636" << "1.6365";
        QTest::newRow("2 down -> 1.9999") << 1 << "2" << "5" << Direction::Down << "1.9999" << "2.0004";
        QTest::newRow("0.5001 up, spread 1 -> 0.5002 / 0.5002999") << 1 << "0.5001" << "1" << Direction::Up << "0.5002" << "0.5002999";
        QTest::newRow("1.63645 down -> 1.6364") << 1 << "1.63645" << "5" << Direction::Down << "1.6364" << "1.6369";
        QTest::newRow("1.63645 up -> 1.6366") << 1 << "1.63645" << "5" << Direction::Up << "1.6366" << "1.6371";
        QTest::newRow("0.09375 down -> 0.0936") << 1 << "0.09375" << "5" << Direction::Down << "0.0936" << "0.0941";
        QTest::newRow("0.09375 up -> 0.0938") << 1 << "0.09375" << "5" << Direction::Up << "0.0938" << "0.0943";
        QTest::newRow("3.2766 up -> 3.2767") << 1 << "3.2766" << "5" << Direction::Up << "3.2767" << "3.2772";
        QTest::newRow("3.2768 down -> 3.2767") << 1 << "3.2768" << "5" << Direction::Down << "3.2767" << "3.2772";
        QTest::newRow("0.0001 down -> 0") << 1 << "0.0001" << "5" << Direction::Down << "0" << "0.0005";
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

    void rateStep_writesInOrderWithTheSeparator()
    {
        MemoryBoard board;
        board.type(Field::ask(1), "1.6374"); // the ask follows the spread, not the old distance
        QVERIFY(!rateStep(board, 1, Direction::Up, "."));
        QCOMPARE(writesOf(board), QStringLiteral("01=1.6365 11=1.637 30=-9.509368 31=-7.287264"));

        MemoryBoard comma;
        for (int leg = 1; leg <= legCount; ++leg) {
            for (const Field field : {Field::bid(leg), Field::ask(leg)})
                comma.type(field, QString::fromStdString(comma.text(field)).replace('.', ',').toStdString());
        }
        QVERIFY(!rateStep(comma, 1, Direction::Up, ","));
        QCOMPARE(writesOf(comma), QStringLiteral("01=1,6365 11=1,637 30=-9,509368 31=-7,287264"));
    }

    // A failed step keeps what it wrote before the failure and writes nothing after it.
    void rateStep_stopsAtFirstFailure_data()
    {
        QTest::addColumn<Field>("field"); // which field holds the bad text
        QTest::addColumn<QString>("text");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<int>("writes"); // how many writes stay
        QTest::addColumn<QString>("failure");
        const Field bid1 = Field::bid(1);
        // clang-format off
        QTest::newRow("empty bid") << bid1 << "" << Direction::Down << 0 << "rate 1-: 01 \"\" not a number";
        QTest::newRow("comma under a point separator") << bid1 << "1,6364" << Direction::Up << 0 << "rate 1+: 01 \"1,6364\" not a number";
        QTest::newRow("bid beyond float") << bid1 << "1e39" << Direction::Up << 0 << "rate 1+: 01 \"1e39\" too large";
        QTest::newRow("3.2767 up") << bid1 << "3.2767" << Direction::Up << 0 << "rate 1+: bid not steppable: 3.2767";
        QTest::newRow("3.2769 down") << bid1 << "3.2769" << Direction::Down << 0 << "rate 1-: bid not steppable: 3.2769";
        QTest::newRow("110.25 up") << bid1 << "110.25" << Direction::Up << 0 << "rate 1+: bid not steppable: 110.25";
        QTest::newRow("-3.2768 down") << bid1 << "-3.2768" << Direction::Down << 0 << "rate 1-: bid not steppable: -3.2768";
        QTest::newRow("garbage spread") << Field::spread(1) << "x" << Direction::Up << 1 << "rate 1+: 21 \"x\" not a number";
        QTest::newRow("spread beyond 16 bits") << Field::spread(1) << "40000" << Direction::Up << 1 << "rate 1+: 21 \"40000\" too large";
        QTest::newRow("empty ask 2 stops the buy-side") << Field::ask(2) << "" << Direction::Up << 2 << "measure 0 of leg 1: 12 \"\" not a number";
        QTest::newRow("huge ask 2 stops the buy-side") << Field::ask(2) << "1e39" << Direction::Up << 2 << "measure 0 of leg 1: 12 \"1e39\" too large";
        QTest::newRow("empty bid 2 stops the sell-side") << Field::bid(2) << "" << Direction::Up << 3 << "measure 1 of leg 1: 02 \"\" not a number";
        QTest::newRow("huge bid 3 overflows the buy-side") << Field::bid(3) << "3e38" << Direction::Up << 2 << "measure 0 of leg 1: result too large";
        QTest::newRow("long number with a negative exponent overflows") << Field::ask(3) << "1" + QString(60, '0') + "e-10" << Direction::Up << 3 << "measure 1 of leg 1: 13 \"1" + QString(60, '0') + "e-10\" too large";
        // clang-format on
    }
    void rateStep_stopsAtFirstFailure()
    {
        QFETCH(Field, field);
        QFETCH(QString, text);
        QFETCH(Direction, direction);
        QFETCH(int, writes);
        QFETCH(QString, failure);
        MemoryBoard board;
        board.type(field, text.toStdString());
        board.type(Field::measureOf(Measure::BuySide), "old buy");
        board.type(Field::measureOf(Measure::SellSide), "old sell");
        const auto stopped = rateStep(board, 1, direction, ".");
        QVERIFY(stopped);
        QCOMPARE(described(*stopped), failure);
        QCOMPARE(int(board.writes.size()), writes);
        QCOMPARE(board.text(Field::measureOf(Measure::BuySide)),
                 std::string(writes < 3 ? "old buy" : "-9.509368"));
        QCOMPARE(board.text(Field::measureOf(Measure::SellSide)), std::string("old sell"));
    }

    void spreadStep_movesOnlyTheSpread_data()
    {
        QTest::addColumn<QString>("spread");
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<QString>("result"); // the new spread, or the failure
        // clang-format off
        QTest::newRow("5 down -> 4") << "5" << Direction::Down << "4";
        QTest::newRow("5 up -> 6") << "5" << Direction::Up << "6";
        QTest::newRow("0 down -> -1") << "0" << Direction::Down << "-1";
        QTest::newRow("32766 up -> 32767") << "32766" << Direction::Up << "32767";
        QTest::newRow("32767 up refused") << "32767" << Direction::Up << "spread 2+: at limit: 32767";
        QTest::newRow("-32768 down refused") << "-32768" << Direction::Down << "spread 2-: at limit: -32768";
        QTest::newRow("garbage refused") << "x" << Direction::Up << "spread 2+: 22 \"x\" not a number";
        // clang-format on
    }
    void spreadStep_movesOnlyTheSpread()
    {
        QFETCH(QString, spread);
        QFETCH(Direction, direction);
        QFETCH(QString, result);
        MemoryBoard board;
        board.type(Field::spread(2), spread.toStdString());
        const auto failure = spreadStep(board, 2, direction, ".");
        QCOMPARE(int(board.writes.size()), failure ? 0 : 1);
        QCOMPARE(failure ? described(*failure) : QString::fromStdString(board.text(Field::spread(2))),
                 result);
    }
};

QTEST_APPLESS_MAIN(SteppingTest)
#include "stepping_test.moc"
