#include "engine/indicator.h"
#include "engine/measures.h"
#include "support/memoryboard.h"

#include <QTest>

using namespace orbisk;

Q_DECLARE_METATYPE(orbisk::Measure)

class ArbitrageTest : public QObject {
    Q_OBJECT

private slots:
    void measures_roundAsSpecified_data()
    {
        QTest::addColumn<QString>("quotes");   // bid and ask of legs 1, 2 and 3
        QTest::addColumn<QString>("measures"); // buy-side, sell-side
        // clang-format off
        QTest::newRow("defaults -> -8.786247 -8.009672") << "1.6364 1.6369 0.7225 0.7230 1.1826 1.1831" << "-8.786247 -8.009672";
        QTest::newRow("positive has no sign -> 11.2135") << "1.6364 1.6369 0.7225 0.7230 1.1846 1.1851" << "11.2135 -28.00941";
        QTest::newRow("zero reads -0") << "1 2 1 0.5 1 1" << "-0 -0";
        // clang-format on
    }
    void measures_roundAsSpecified()
    {
        QFETCH(QString, quotes);
        QFETCH(QString, measures);
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
        QTest::addColumn<Measure>("changed");
        QTest::addColumn<QString>("buySide");
        QTest::addColumn<QString>("sellSide");
        QTest::addColumn<QString>("outcome");
        const auto both = [](const char *name, const char *buy, const char *sell, const char *outcome) {
            for (const Measure changed : {Measure::BuySide, Measure::SellSide}) {
                const char *which = changed == Measure::BuySide ? "buy-side changed" : "sell-side changed";
                QTest::addRow("%s, %s", name, which) << changed << buy << sell << outcome;
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
        QTest::newRow("both positive, buy-side changed -> Buy") << Measure::BuySide << "5.1" << "5.8" << "Buy";
        QTest::newRow("both positive, sell-side changed -> Sell") << Measure::SellSide << "5.1" << "5.8" << "Sell";
        // clang-format on
    }
    void indicator_followsBothTestOrders()
    {
        QFETCH(Measure, changed);
        QFETCH(QString, buySide);
        QFETCH(QString, sellSide);
        QFETCH(QString, outcome);
        const char *names[] = {"Wait", "Buy", "Sell"};
        QCOMPARE(names[int(evaluateIndicator(changed, buySide.toStdString(), sellSide.toStdString(), "."))],
                 outcome);
    }
};

QTEST_APPLESS_MAIN(ArbitrageTest)
#include "arbitrage_test.moc"
