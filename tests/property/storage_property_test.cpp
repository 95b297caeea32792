// The settings storage keeps its laws, whatever the world does to its file: random sequences of
// steps, each from its own seed. A failure prints the seed and the shortest failing sequence
// found. ORBISK_PROPERTY_SEED sets the first seed (1 unless set), ORBISK_PROPERTY_RUNS how many
// run (400, or 1 where a seed is given).
#include "property/storagemodel.h"
#include "support/permissions.h"

#include <QFileInfo>
#include <QTest>

class StoragePropertyTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dropPermissionOverrides());
        // Syncs cost nothing in memory; names, modes and owners are the same there.
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            qputenv("TMPDIR", "/dev/shm");
    }

    void storage_keepsItsLaws()
    {
        bool fixed = false;
        const quint32 first = quint32(qEnvironmentVariableIntValue("ORBISK_PROPERTY_SEED", &fixed));
        const quint32 runs = qEnvironmentVariableIsSet("ORBISK_PROPERTY_RUNS")
                                 ? quint32(qEnvironmentVariableIntValue("ORBISK_PROPERTY_RUNS"))
                                 : (fixed ? 1 : 400);
        for (quint32 seed = fixed ? first : 1; seed < (fixed ? first : 1) + runs; ++seed) {
            storagemodel::Choices choices(seed);
            if (const auto broken = storagemodel::check(storagemodel::drawSequence(choices, 30)))
                QFAIL(qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(*broken)));
        }
    }
};

QTEST_GUILESS_MAIN(StoragePropertyTest)
#include "storage_property_test.moc"
