#include "forms/modalmessage.h"

#include <QMessageBox>

namespace orbisk {

void openModal(QMessageBox *box)
{
    // Messages quote file names and typed values, which must show as typed, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

} // namespace orbisk
