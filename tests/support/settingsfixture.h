// A scratch directory holding one settings file, for the tests of the settings file and dialog.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The file the built-in values give: 75 bytes.
inline const QByteArray defaultBytes = "GBP/USD\r\nEUR/GBP\r\nEUR/USD\r\n1.6364\r\n0.7225\r\n1.1826\r\n"
                                       "1.6369\r\n0.7230\r\n1.1831\r\n";

class SettingsFileFixture {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("orbisk.set")); }

    void put(const QByteArray &bytes) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray contents() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing or unreadable>");
    }

    QTemporaryDir m_dir;
};
