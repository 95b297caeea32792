#include "settings/settingsstore.h"

#include <QDir>

namespace orbisk {

SettingsStore::SettingsStore(SettingsLocation location)
    : m_location(std::move(location))
{
    const QString readPath = m_location.readPath();
    const SettingsRead read = readSettings(readPath);
    m_values = read.values;
    const bool ownFile = read.present && readPath == m_location.writePath;
    if (read.whole()) {
        // No file reads as the built-in values: a file that appears with just those replaces
        // nothing the user has not seen.
        if (ownFile || !read.present)
            m_known = read.values;
        return;
    }
    m_warning = tr("The settings file %1 was not read whole: %2. The built-in values are used "
                   "in place of what was not read.")
                    .arg(QDir::toNativeSeparators(readPath), read.problems.join(QStringLiteral("; ")));
    if (!ownFile)
        return; // a file saves never replace
    const CopyName copy = keptCopyName(readPath);
    if (!copy.path.isEmpty())
        m_warning += u' ' + tr("Before the settings are saved over it, the file is kept as %1.")
                                .arg(QDir::toNativeSeparators(copy.path));
    else if (!copy.error.isEmpty())
        m_warning += u' ' + tr("Closing the Settings window will not save over it: %1.").arg(copy.error);
}

std::optional<QString> SettingsStore::save(const QStringList &values)
{
    return saveSettings(m_location, values, m_known); // a saved dialog closes: no second save
}

} // namespace orbisk
