// The settings dialog: edits the nine values of the settings file, which it reads when it is
// built and writes when the user closes it.
#pragma once

#include "forms/layoutfont.h"
#include "settings/settingslayout.h"
#include "settings/settingsstore.h"

#include <QString>
#include <QWidget>

namespace orbisk {

class SettingsDialog final : public QWidget {
    Q_OBJECT

public:
    // Builds the dialog hidden and fills its fields from the location's file, if present.
    explicit SettingsDialog(const SettingsLocation &location);

    // The nine field texts.
    [[nodiscard]] SettingsRecord record() const;

    // What was wrong with a file that was present but not read whole, and where its bytes are
    // kept; empty otherwise.
    [[nodiscard]] QString loadProblem() const { return m_store.warning(); }

protected:
    // Saves the fields. When that fails the user chooses: retry, keep editing, or close
    // without saving.
    void closeEvent(QCloseEvent *event) override;

private:
    void askAfterFailedSave(const QString &error);

    SettingsControls m_controls;
    SettingsStore m_store;
    bool m_closeWithoutSaving = false;
    LayoutFont m_layoutFont;
};

} // namespace orbisk
