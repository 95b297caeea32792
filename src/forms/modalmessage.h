// Message boxes that block the whole application without a nested event loop.
#pragma once

#include <QMessageBox>
#include <QString>

namespace orbisk {

// The program's name: the main window's title and every message box's.
QString programName();

// A box titled with the program's name that shows its text as plain text: messages quote file
// names and typed values, which must show as typed, never as markup.
QMessageBox *messageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
                        QWidget *parent);

// Shows the box application-modal; it deletes itself when dismissed.
void openModal(QMessageBox *box);

} // namespace orbisk
