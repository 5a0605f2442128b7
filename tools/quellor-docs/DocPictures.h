#pragma once
// The pictures of the guide: which area of the window each shows, with which
// factory program loaded, at which scale. An area is the rectangle around a
// group of controls of the layout table, widened by the room their titles and
// labels take, so that a control moved in the table moves its picture too.
// A new picture is one more line in kPictures.

#include "editor/EditorLayout.h"
#include "gui/CScale.h"

#include <algorithm>
#include <functional>
#include <initializer_list>

namespace docs {

using namespace editorlayout;

struct Area {
    int x, y, w, h;
};

// Room around a group for its section title and the labels beside its
// controls: most titles and column labels sit above the controls, the knobs'
// and the routing list's labels below them.
struct Room {
    int left = 5, top = 14, right = 5, bottom = 5;
};

using Visit = std::function<void(const Placement&)>;

inline Area around(void (*group)(const Visit&), Room room) {
    int left = kWindowWidth, top = kWindowHeight, right = 0, bottom = 0;
    group([&](const Placement& p) {
        const Size s = sizeOf(p);
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x + s.w);
        bottom = std::max(bottom, p.y + s.h);
    });
    left = std::max(0, left - room.left);
    top = std::max(0, top - room.top);
    right = std::min(kWindowWidth, right + room.right);
    bottom = std::min(kWindowHeight, bottom + room.bottom);
    return Area{left, top, right - left, bottom - top};
}

inline Area areaOf(std::initializer_list<Placement> controls) {
    int left = kWindowWidth, top = kWindowHeight, right = 0, bottom = 0;
    for (const Placement& p : controls) {
        const Size s = sizeOf(p);
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x + s.w);
        bottom = std::max(bottom, p.y + s.h);
    }
    return Area{left, top, right - left, bottom - top};
}

// ---- the groups of controls each area shows ----

inline void wholeWindow(const Visit& f) {
    f(Placement{"window", Ctl::Plain, 0, 0, kNoTag, bmp::kNone, 0.0, kUnit, 0.0,
                Size{kWindowWidth, kWindowHeight}});
}
// The whole width of the top bar, down to its row of menus and keys.
inline void topBar(const Visit& f) {
    for (const Placement& p : {kBrowserButton, kBankMenu, kProgramMenu, kQualityMenu, kTuningField,
                               kTuningNumber, kUndoKey, kRedoKey})
        f(p);
    f(Placement{"bar", Ctl::Plain, 0, 0, kNoTag, bmp::kNone, 0.0, kUnit, 0.0,
                Size{kWindowWidth, 1}});
}
inline void tuning(const Visit& f) {
    f(kTuningField);
    f(kTuningNumber);
}
inline void operatorMatrix(const Visit& f) {
    forEachOperatorMatrixControl(f);
    f(kLayoutButton);
    f(kOperatorSelector);
}
inline void samplerMatrix(const Visit& f) {
    forEachSamplerMatrixControl(f);
    f(kLayoutButton);
}
inline void operatorPanel(const Visit& f) {
    for (const Placement& p : {kSpectrumMenu, kAmplitudeBars, kPhaseBars, kWaveView})
        f(p);
    for (const Placement& p : kOperatorPanel)
        f(p);
}
inline void filters(const Visit& f) {
    for (const Placement& p : kFilters)
        f(p);
}
// The voice settings: the master section's controls that sit beside the filters.
inline void voiceSettings(const Visit& f) {
    for (const Placement& p : kMasterControls)
        if (p.y > kTopMenuY && p.y < kFilters[0].y + kRowHeight) f(p);
}
inline void envelopes(const Visit& f) {
    forEachEnvelopeControl(f);
}
inline void routing(const Visit& f) {
    forEachRoutingControl(f);
}
inline void effectsAndMaster(const Visit& f) {
    forEachEffectControl(f);
    for (const Placement& p : kMasterControls)
        if (p.y > 400) f(p);
}
inline void sequencers(const Visit& f) {
    forEachSequencerControl(f);
}

// The help line: the strip below the sequencers' last row of steps.
inline void helpLine(const Visit& f) {
    const Placement last = stepCell(kSequencerCount - 1, kSequencerStepCount - 1);
    const int top = last.y + sizeOf(last).h;
    f(Placement{"help line", Ctl::Plain, 0, top, kNoTag, bmp::kNone, 0.0, kUnit, 0.0,
                Size{kWindowWidth, kWindowHeight - top}});
}

struct Picture {
    const char* file;
    const char* bank;
    const char* program;
    void (*group)(const Visit&);
    Room room = {};
    qgui::CScale scale = qgui::CScale(2);
    bool samplerLayout = false;
    const char* hover = nullptr; // the control the pointer rests on, by name
    Area area() const {
        if (group == wholeWindow) return Area{0, 0, kWindowWidth, kWindowHeight};
        return around(group, room);
    }
};

inline const Picture kPictures[] = {
    {"window.png", "01 Keys", "Amber Tines", wholeWindow, {}, 1},
    {"top-bar.png", "01 Keys", "Amber Tines", topBar},
    {"microtuning.png", "10 Microtonal", "19-Tone Piano", tuning},
    {"matrix.png", "01 Keys", "Amber Tines", operatorMatrix},
    {"sampler.png", "03 Pads", "Choir Pad", samplerMatrix, {}, 2, true},
    {"operator.png", "01 Keys", "Amber Tines", operatorPanel},
    {"filters.png", "02 Basses", "Acid Bass", filters, {5, 3, 5, 5}},
    {"voice.png", "02 Basses", "Acid Bass", voiceSettings, {5, 3, 5, 5}},
    {"envelopes.png", "01 Keys", "Amber Tines", envelopes, {12, 6, 5, 5}},
    {"routing.png", "01 Keys", "Amber Tines", routing, {5, 6, 5, 16}},
    {"effects.png", "01 Keys", "Amber Tines", effectsAndMaster, {5, 8, 5, 14}},
    {"sequencers.png", "07 Sequenced", "Arp Pluck", sequencers, {5, 4, 5, 5}},
    {"help-line.png", "01 Keys", "Amber Tines", helpLine, {0, -8, 0, 0}},
    {"help-line-readout.png",
     "01 Keys",
     "Amber Tines",
     helpLine,
     {0, -8, 0, 0},
     2,
     false,
     "Chorus: Time"},
};

} // namespace docs
