#include "editor/CEditorDialog.h"

#include <utility>

bool CEditorDialog::wait(std::unique_ptr<IPendingDialog> dialog, Answer next) {
    if (!dialog || pending) return false;
    if (dialog->answered()) {
        if (next) next(*dialog);
        return true;
    }
    pending = std::move(dialog);
    then = std::move(next);
    return true;
}

bool CEditorDialog::poll() {
    if (!pending || !pending->answered()) return false;
    // Taken out first: acting on the answer may open the next dialog.
    std::unique_ptr<IPendingDialog> answered = std::move(pending);
    Answer next = std::move(then);
    then = nullptr;
    if (next) next(*answered);
    return true;
}

void CEditorDialog::cancel() {
    pending.reset();
    then = nullptr;
}
