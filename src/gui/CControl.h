#pragma once
// A view with a tag (for the editor, the value ID it edits), a value with a
// range, an optional bitmap and a listener.
//
// Threads: setValue may come from any thread; it stores the value atomically
// and marks the control dirty. Drawing and mouse handling stay on the UI thread.

#include "gui/CView.h"

#include <atomic>

namespace qgui {

class CBitmap;
class CControlListener;

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
             CBitmap* background = nullptr);

    void setValue(float value);
    float getValue() const { return value.load(std::memory_order_relaxed); }
    void setMin(float v) { vmin = v; }
    void setMax(float v) { vmax = v; }
    float getMin() const { return vmin; }
    float getMax() const { return vmax; }
    void setDefaultValue(float v) { defaultValue = v; }
    float getDefaultValue() const { return defaultValue; }
    // Clamps the value into min…max.
    void bounceValue();

    void setTag(long t) { tag = t; }
    long getTag() const { return tag; }
    void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }
    // The bitmap the control draws (not owned).
    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

    // Around every change the user makes: tell the listener a gesture starts
    // and ends.
    void beginEdit();
    void endEdit();

protected:
    std::atomic<float> value{0.0f};
    float vmin = 0.0f;
    float vmax = 1.0f;
    float defaultValue = 0.5f;
    long tag;
    CControlListener* listener;
    CBitmap* background;
};

} // namespace qgui
