#include "layoutstyle.h"
#include "mainwindow.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace orbisk;

namespace {

QMessageBox *openMessageBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

void addHostileTexts()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number"); // reads as a quote
    QTest::newRow("a megabyte of digits") << QString(1 << 20, '1') << false;
    QTest::newRow("nan") << "nan" << false;
    QTest::newRow("inf") << "inf" << false;
    QTest::newRow("1e39") << "1e39" << false;
    QTest::newRow("-0") << "-0" << true;
    QTest::newRow("blanks around 1.5") << " 1.5 " << true;
    QTest::newRow("1..5") << "1..5" << false;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\xD9\xA1\xD9\xAB\xD9\xA5") << false;
    QTest::newRow("control characters") << QStringLiteral("1\a.5\x1b") << false;
    QTest::newRow("empty") << QString() << false;
}

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;

    QLineEdit *edit(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }
    void paste(const QString &name, const QString &text) const
    {
        QLineEdit *field = edit(name);
        field->setFocus();
        field->selectAll();
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Delete);
    }

private slots:
    void initTestCase() { applyLayoutStyle(); }
    void init()
    {
        m_window = std::make_unique<MainWindow>(QStringLiteral("."), m_dir.filePath("orbisk.set"));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void cleanup()
    {
        while (QWidget *modal = QApplication::activeModalWidget())
            delete modal;
        m_window.reset();
    }

    void hostileQuote_givesResultOrClearMessage_data() { addHostileTexts(); }
    void hostileQuote_givesResultOrClearMessage()
    {
        QFETCH(QString, text);
        QFETCH(bool, number);
        const struct {
            const char *field, *words;
        } quotes[] = {{"txtBid1", "the bid of leg 1"},
                      {"txtBid2", "the bid of leg 2"},
                      {"txtBid3", "the bid of leg 3"},
                      {"txtAsk2", "the ask of leg 2"},
                      {"txtAsk3", "the ask of leg 3"}};
        for (const auto &quote : quotes) {
            init();
            paste(quote.field, text);
            const QString pasted = edit(quote.field)->text();
            QVERIFY(pasted.size() <= edit(quote.field)->maxLength());
            QTest::mouseClick(m_window->findChild<QPushButton *>("btnRateUp1"), Qt::LeftButton);
            QMessageBox *box = openMessageBox();
            QVERIFY2(bool(box) != number, quote.field);
            if (box) {
                QVERIFY2(box->text().contains(quote.words), qPrintable(box->text().left(200)));
                QVERIFY(box->text().size() < 400);           // a pasted megabyte is cut short
                QCOMPARE(edit(quote.field)->text(), pasted); // nothing is corrected behind the user's back
                delete box;
            } else {
                QVERIFY(!edit("txtBidCross1")->text().isEmpty());
                QVERIFY(!edit("txtAskCross1")->text().isEmpty());
            }
            cleanup();
        }
    }

    void hostileMeasure_countsOnlyAPositiveNumber_data() { addHostileTexts(); }
    void hostileMeasure_countsOnlyAPositiveNumber()
    {
        QFETCH(QString, text);
        const bool positive = text == " 1.5 " || text == "1e39"; // 1e39 is a fine double
        for (const char *name : {"txtBidCross1", "txtAskCross1"}) {
            paste("txtBidCross1", "-1");
            paste("txtAskCross1", "-1");
            paste(name, text);
            QVERIFY(!openMessageBox());
            const QString caption = m_window->findChild<QPushButton *>("btnAction")->text();
            const QString expected = !positive ? "Wait" : QString(name) == "txtBidCross1" ? "Sell" : "Buy";
            QCOMPARE(caption, expected);
        }
    }
};

QTEST_MAIN(HostileInputTest)
#include "hostileinput_test.moc"
