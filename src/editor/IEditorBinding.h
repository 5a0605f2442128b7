#pragma once
// What the editor's controls ask of the editor that made them. A control
// keeps no value of its own: it reads the value through getTagValue each time
// it draws and hands every change to setTagValue, which stores it in the
// program and tells the host.

#include <cstddef>

class IEditorBinding {
public:
    virtual ~IEditorBinding() = default;
    virtual double getTagValue(long tag) = 0;
    virtual void setTagValue(long tag, double value) = 0;
    // The value's display text into text; true when the value is active
    // (for a routing row's name cell: its envelope is the selected one).
    virtual bool getTagText(long tag, char* text, std::size_t capacity) = 0;
    // The selected operator's 32 amplitudes, or its 32 phases.
    virtual double* spectrum(bool phases) = 0;
    // A spectrum bar changed: rebuild the selected operator's wave.
    virtual void spectrumChanged() = 0;
    // The selected operator's wave at phase 0..1, -1..1.
    virtual float waveSample(double phase) = 0;
    // A double-click on the control with this tag: its value is to be typed.
    virtual void typeValue(long) {}
};
