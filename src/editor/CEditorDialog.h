#pragma once
// The one dialog the window waits for: a file dialog or a question, shown by
// the system while the host keeps running, and what the window does with the
// answer. The window asks from its idle calls and acts once the user has
// answered; meanwhile it shows that a dialog is open and takes no input.
//
// Thread: the user interface's.

#include "platform/IPendingDialog.h"

#include <functional>
#include <memory>

class CEditorDialog {
public:
    using Answer = std::function<void(const IPendingDialog&)>;

    bool isOpen() const { return pending != nullptr; }
    // Waits for dialog and then acts on its answer; a dialog answered already
    // (a modal one) is acted on at once. False, with the dialog ended
    // unanswered, while another one is open.
    bool wait(std::unique_ptr<IPendingDialog> dialog, Answer then);
    // Never waits: acts on the answer once it is there. True when it did.
    bool poll();
    // Ends an open dialog; its answer, whatever it would be, does nothing.
    void cancel();

private:
    std::unique_ptr<IPendingDialog> pending;
    Answer then;
};
