#include "forms/modalmessage.h"

#include <QMessageBox>

namespace orbisk {

void openModal(QMessageBox *box)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

} // namespace orbisk
