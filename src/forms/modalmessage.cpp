#include "forms/modalmessage.h"

namespace orbisk {

QString programName()
{
    return QStringLiteral("Orbisk");
}

QMessageBox *messageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                        QWidget *parent)
{
    auto *box = new QMessageBox(icon, programName(), text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void openModal(QMessageBox *box)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show(); // a message box is application-modal from its making
}

} // namespace orbisk
