// The settings storage keeps every value, whatever the world does to its file: random sequences
// of steps, each from its own seed, checked after every step. A failure prints the seed and the
// shortest failing sequence found. ORBISK_PROPERTY_SEED sets the first seed (1 unless set),
// ORBISK_PROPERTY_RUNS how many run (RUNS below, or 1 where a seed is given).
#include "property/storagemodel.h"
#include "support/permissions.h"

#include <QRandomGenerator>
#include <QTest>

using namespace storagemodel;

namespace {
constexpr quint32 RUNS = 100; // about 10 s on two cores

class SeededChoices final : public Choices {
public:
    explicit SeededChoices(quint32 seed)
        : m_random(seed)
    {
    }
    quint32 below(quint32 bound) override { return m_random.bounded(bound); }

private:
    QRandomGenerator m_random;
};
} // namespace

class StoragePropertyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dropPermissionOverrides()); }

    void storage_keepsTheLaws()
    {
        bool fixed = false;
        const quint32 first = quint32(qEnvironmentVariableIntValue("ORBISK_PROPERTY_SEED", &fixed));
        const quint32 runs = qEnvironmentVariableIsSet("ORBISK_PROPERTY_RUNS")
                                 ? quint32(qEnvironmentVariableIntValue("ORBISK_PROPERTY_RUNS"))
                                 : (fixed ? 1 : RUNS);
        for (quint32 seed = fixed ? first : 1; seed < (fixed ? first : 1) + runs; ++seed) {
            SeededChoices choices(seed);
            const Sequence sequence = drawSequence(choices, 30);
            if (const std::optional<Broken> broken = run(sequence)) {
                const Sequence shortest = shrink(sequence, *broken);
                const Broken again = run(shortest).value_or(*broken);
                QFAIL(qPrintable(QStringLiteral("seed %1: law %2 broken at step %3: %4\n%5")
                                     .arg(seed)
                                     .arg(again.law)
                                     .arg(again.step + 1)
                                     .arg(again.detail, describe(shortest))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(StoragePropertyTest)
#include "storage_property_test.moc"
