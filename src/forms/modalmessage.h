// Message boxes that block the whole application without a nested event loop.
#pragma once

class QMessageBox;

namespace orbisk {

// Shows the box application-modal, its text as plain text; it deletes itself when dismissed.
void openModal(QMessageBox *box);

} // namespace orbisk
