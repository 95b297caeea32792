#include "settings/settingsstore.h"

#include <QDir>

namespace orbisk {

SettingsStore::SettingsStore(SettingsLocation location)
    : m_location(std::move(location))
{
    const QString readPath = m_location.readPath();
    const SettingsRead read = readSettings(readPath);
    m_values = read.values;
    if (read.whole())
        return;
    m_warning = tr("The settings file %1 was not read whole: %2. The built-in values are used "
                   "in place of what was not read.")
                    .arg(QDir::toNativeSeparators(readPath), read.problems.join(QStringLiteral("; ")));
    // Saving replaces the file: its bytes are kept first, whatever the user does next.
    if (readPath == m_location.writePath) {
        m_keepBeforeSaving = true;
        const KeptCopy kept = keepCopy(readPath);
        if (!kept.path.isEmpty())
            m_warning +=
                u' ' + tr("The file as it was is kept as %1.").arg(QDir::toNativeSeparators(kept.path));
        else if (!kept.error.isEmpty())
            m_warning += u' ' + tr("Closing the Settings window will not save over it: %1.").arg(kept.error);
    }
}

std::optional<QString> SettingsStore::save(const QStringList &values)
{
    if (m_keepBeforeSaving) {
        if (const KeptCopy kept = keepCopy(m_location.writePath); !kept.error.isEmpty())
            return tr("the file was not read whole, and %1").arg(kept.error);
    }
    return saveSettings(m_location, values);
}

} // namespace orbisk
