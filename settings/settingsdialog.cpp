#include "settingsdialog.h"

#include "modalmessage.h"
#include "settingsfile.h"
#include "settingslayout.h"

#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace orbisk {

SettingsDialog::SettingsDialog(const QString &settingsPath)
    : QWidget(nullptr, Qt::Window)
    , m_path(settingsPath)
{
    setObjectName(QStringLiteral("frmSetting"));
    setWindowTitle(QStringLiteral("Settings"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(pixels(settingsClientWidth), pixels(settingsClientHeight));
    buildForm(this, settingsDialogControls());

    // The file has no way to store a double quote inside quotes or a line break outside them,
    // so neither can be typed or pasted.
    auto *storable =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\"\\r\\n]*")), this);
    const QStringList names = settingsFieldNames();
    for (const QString &name : names)
        findChild<QLineEdit *>(name)->setValidator(storable);
    findChild<QLineEdit *>(QStringLiteral("txtBid3"))->setFocus();

    const SettingsRead read = readSettings(m_path);
    for (qsizetype i = 0; i < read.values.size(); ++i)
        findChild<QLineEdit *>(names[i])->setText(read.values[i]);
    if (!read.problem.isEmpty()) {
        m_loadProblem = QStringLiteral("The settings file %1 was not read whole: %2. "
                                       "The built-in values are used for the rest.")
                            .arg(QDir::toNativeSeparators(m_path), read.problem);
    }
}

QStringList SettingsDialog::values() const
{
    QStringList texts;
    for (const QString &name : settingsFieldNames())
        texts << findChild<QLineEdit *>(name)->text();
    return texts;
}

void SettingsDialog::closeEvent(QCloseEvent *event)
{
    if (m_closeWithoutSaving) {
        event->accept();
        return;
    }
    if (const auto error = writeSettings(m_path, values())) {
        event->ignore();
        askAfterFailedSave(*error);
        return;
    }
    event->accept();
}

void SettingsDialog::askAfterFailedSave(const QString &error)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Orbisk"),
                                QStringLiteral("The settings could not be saved to %1: %2.")
                                    .arg(QDir::toNativeSeparators(m_path), error),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("saveFailed"));
    box->addButton(QMessageBox::Retry);
    box->addButton(QStringLiteral("Keep Editing"), QMessageBox::RejectRole);
    QPushButton *discard =
        box->addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
    box->setDefaultButton(QMessageBox::Retry);
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
