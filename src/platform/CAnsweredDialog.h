// A dialog whose answer was there at once: the systems whose dialogs are
// modal (their own message loop keeps the host painting) and the test doubles
// answer through it.
#pragma once

#include "platform/IPendingDialog.h"

#include <string>
#include <utility>

class CAnsweredDialog final : public IPendingDialog {
public:
    CAnsweredDialog(bool confirmed, std::string path = {})
        : yes(confirmed), path(std::move(path)) {}
    bool answered() override { return true; }
    bool confirmed() const override { return yes; }
    const std::string& chosenPath() const override { return path; }

private:
    bool yes;
    std::string path;
};
