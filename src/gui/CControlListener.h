#pragma once
// What a control tells its owner (the editor): a new value chosen by the
// user, and the start and end of an edit gesture, which the editor passes to
// the host so that automation recording groups the changes.

namespace qgui {

class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    // The user changed the control's value (UI thread).
    virtual void valueChanged(CControl* control) = 0;
    // A click with modifier keys; non-zero when the listener handled it.
    virtual long controlModifierClicked(CControl* control, long buttons) {
        (void)control;
        (void)buttons;
        return 0;
    }
    virtual void controlBeginEdit(CControl* control) { (void)control; }
    virtual void controlEndEdit(CControl* control) { (void)control; }
};

} // namespace qgui
