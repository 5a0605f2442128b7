// A dialog or question on the screen while the host goes on: the window that
// opened it asks from its idle calls whether the user has answered yet.
#pragma once

#include <string>

class IPendingDialog {
public:
    // Ends a dialog that is still open; its answer is dropped.
    virtual ~IPendingDialog() = default;
    // UI thread, never waits: true once the user has answered (or the dialog
    // could not be shown, which counts as cancelled).
    virtual bool answered() = 0;
    // Once answered: a file was chosen, or the answer to a question was Yes.
    virtual bool confirmed() const = 0;
    // Once a file dialog is confirmed: the chosen path (UTF-8).
    virtual const std::string& chosenPath() const = 0;
};
