#include "layoutstyle.h"
#include "windowdriver.h"

using namespace orbisk;

namespace {

void addHostileTexts()
{
    QTest::addColumn<QString>("hostile");
    QTest::addColumn<bool>("quote");    // reads as a quote
    QTest::addColumn<bool>("positive"); // reads as a positive double
    // clang-format off
    QTest::newRow("a megabyte of digits") << QString(1 << 20, '1') << false << false;
    QTest::newRow("nan") << "nan" << false << false;
    QTest::newRow("inf") << "inf" << false << false;
    QTest::newRow("1e39") << "1e39" << false << true;
    QTest::newRow("-0") << "-0" << true << false;
    QTest::newRow("blanks around 1.5") << " 1.5 " << true << true;
    QTest::newRow("1..5") << "1..5" << false << false;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\xD9\xA1\xD9\xAB\xD9\xA5") << false << false;
    QTest::newRow("control characters") << QStringLiteral("1\a.5\x1b") << false << false;
    QTest::newRow("empty") << QString() << false << false;
    // clang-format on
}

} // namespace

class HostileInputTest : public QObject, private WindowDriver {
    Q_OBJECT

private slots:
    void initTestCase() { applyLayoutStyle(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // Pasted into any quote field, a text gives the step's result or a message that names the
    // field, and is left as pasted.
    void hostileQuote_givesResultOrClearMessage_data() { addHostileTexts(); }
    void hostileQuote_givesResultOrClearMessage()
    {
        QFETCH(QString, hostile);
        QFETCH(bool, quote);
        const QStringList fields = {"txtBid1", "txtBid2", "txtBid3", "txtAsk1", "txtAsk2", "txtAsk3"};
        for (qsizetype i = 0; i < fields.size(); ++i) {
            init();
            paste(fields[i], hostile);
            const QString pasted = text(fields[i]);
            QVERIFY(pasted.size() <= find<QLineEdit>(fields[i])->maxLength());
            click(fields[i] == "txtAsk1" ? "btnRateUp2" : "btnRateUp1"); // a step of leg 1 rewrites its ask
            QMessageBox *box = openMessageBox();
            QVERIFY2(bool(box) != quote, qPrintable(fields[i]));
            if (box) {
                const QString words =
                    QStringLiteral("the %1 of leg %2").arg(fields[i].mid(3, 3).toLower(), fields[i].right(1));
                QVERIFY2(box->text().contains(words), qPrintable(box->text().left(200)));
                QVERIFY(box->text().size() < 400); // a pasted megabyte is cut short
                QCOMPARE(text(fields[i]), pasted);
            } else {
                QVERIFY(!text("txtBidCross1").isEmpty() && !text("txtAskCross1").isEmpty());
            }
            cleanup();
        }
    }

    void hostileMeasure_countsOnlyAPositiveNumber_data() { addHostileTexts(); }
    void hostileMeasure_countsOnlyAPositiveNumber()
    {
        QFETCH(QString, hostile);
        QFETCH(bool, positive);
        for (const QString name : {"txtBidCross1", "txtAskCross1"}) {
            paste("txtBidCross1", "-1");
            paste("txtAskCross1", "-1");
            paste(name, hostile);
            QVERIFY(!openMessageBox());
            const QString expected = !positive ? "Wait" : name == "txtBidCross1" ? "Sell" : "Buy";
            QCOMPARE(find<QPushButton>("btnAction")->text(), expected);
        }
    }
};

QTEST_MAIN(HostileInputTest)
#include "hostileinput_test.moc"
