#include "settings/settingsdialog.h"

#include "forms/layoutfont.h"
#include "forms/modalmessage.h"

#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace orbisk {

SettingsDialog::SettingsDialog(const SettingsLocation &location)
    : QWidget(nullptr, Qt::Window)
    , m_store(location)
    , m_layoutFont(this)
{
    setObjectName(QStringLiteral("frmSetting"));
    setWindowTitle(QStringLiteral("Settings"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(pixels(settingsClientWidth), pixels(settingsClientHeight));
    buildForm(this, settingsDialogForm(m_controls));

    // The file has no way to store a double quote inside quotes or a line break outside them,
    // so neither can be typed or pasted.
    auto *storable =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\"\\r\\n]*")), this);
    for (int leg = 1; leg <= legCount; ++leg) {
        const SettingsControls::Leg &fields = m_controls.legs[leg - 1];
        const struct {
            QLineEdit *edit;
            QString name;
        } named[] = {{fields.name, tr("Name, leg %1")},
                     {fields.bid, tr("Bid, leg %1")},
                     {fields.ask, tr("Ask, leg %1")}};
        for (const auto &[edit, name] : named) {
            edit->setValidator(storable);
            edit->setAccessibleName(name.arg(leg));
        }
    }

    const SettingsRecord values = SettingsRecord::fromValues(m_store.values());
    for (int leg = 0; leg < legCount; ++leg) {
        m_controls.legs[leg].name->setText(values.names[leg]);
        m_controls.legs[leg].bid->setText(values.bids[leg]);
        m_controls.legs[leg].ask->setText(values.asks[leg]);
    }
    m_layoutFont.start({});
}

SettingsRecord SettingsDialog::record() const
{
    SettingsRecord record;
    for (int leg = 0; leg < legCount; ++leg) {
        record.names[leg] = m_controls.legs[leg].name->text();
        record.bids[leg] = m_controls.legs[leg].bid->text();
        record.asks[leg] = m_controls.legs[leg].ask->text();
    }
    return record;
}

void SettingsDialog::closeEvent(QCloseEvent *event)
{
    if (m_closeWithoutSaving)
        return; // a close event arrives accepted
    if (const auto error = m_store.save(record().values())) {
        event->ignore();
        askAfterFailedSave(*error);
    }
}

void SettingsDialog::askAfterFailedSave(const QString &error)
{
    QMessageBox *box = messageBox(QMessageBox::Warning,
                                  tr("The settings could not be saved to %1: %2.")
                                      .arg(QDir::toNativeSeparators(m_store.writePath()), error),
                                  QMessageBox::NoButton, this);
    box->addButton(QMessageBox::Retry);
    box->addButton(tr("Keep Editing"), QMessageBox::RejectRole);
    QPushButton *discard = box->addButton(tr("Close Without Saving"), QMessageBox::DestructiveRole);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, discard](QAbstractButton *button) {
        if (button == box->button(QMessageBox::Retry)) {
            close();
        } else if (button == discard) {
            m_closeWithoutSaving = true;
            close();
        }
    });
    openModal(box);
}

} // namespace orbisk
