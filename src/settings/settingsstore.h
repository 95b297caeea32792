// The settings file as one settings dialog uses it: read when the dialog is built, saved each
// time the user closes it. QtCore only, so that the storage's rules can be exercised without
// windows.
#pragma once

#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>

namespace orbisk {

class SettingsStore {
    Q_DECLARE_TR_FUNCTIONS(SettingsStore)

public:
    // Reads the location's file: the first present one of its read paths.
    explicit SettingsStore(SettingsLocation location);

    // The nine values read, in file order; the built-in text in place of each one not read.
    [[nodiscard]] const QStringList &values() const { return m_values; }

    // For a file that was present but not read whole: what was wrong, and where its bytes are
    // kept when the settings are saved over it. Empty otherwise.
    [[nodiscard]] const QString &warning() const { return m_warning; }

    [[nodiscard]] const QString &writePath() const { return m_location.writePath; }

    // Replaces the file that saves go to with the values; returns why it could not, or nothing.
    // Content of that file this store did not read whole is kept beside it first (see
    // writeSettings).
    std::optional<QString> save(const QStringList &values);

private:
    SettingsLocation m_location;
    QStringList m_values;
    QString m_warning;
    std::optional<QStringList> m_known; // the values the file held when read whole
};

} // namespace orbisk
