#include "Layout.h"

#include "Bitmaps.h"

#include <cstdio>
#include <cstdlib>

namespace artwork::layout {

namespace {

// Texts and values the preview shows, as a patch would.
std::string cellText(double v) {
    if (v == 0) return "-----";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// What the preview shows in a single control; rows are filled by pattern below.
// Controls not listed show their reset value (knobs) or nothing.
struct Shown {
    long tag;
    double value;
    const char* text;
};
constexpr Shown kShown[] = {
    {kFineTuneId, 0, "0"},
    {kLoadTuningTag, 0, "12-TET"},
    {kSelectedOffsetHzId, 0, "0.0000"},
    {kSelectedCoarseTuneId, 0, "1.0000"},
    {kSelectedAmplitudeId, 0, "0.75"},
    {kSelectedStartPhaseId, 0, "0.00"},
    {kFilterCutoffId[0], 0, "0.62"},
    {kFilter1KeyTrackingId, 0, "0.50"},
    {kFilterResonanceId[0], 0, "0.20"},
    {kFilterCutoffId[1], 0, "0.40"},
    {kFilter2KeyTrackingId, 0, "0.00"},
    {kFilterResonanceId[1], 0, "0.00"},
    {kFilterModeId[0], 1 / 3.0, ""},
    {kMasterPitchId, 0, "0"},
    {kVoiceCountId, 0, "16"},
    {kGlideFactorId, 0, "0.00"},
    {kUnisonSpreadId, 0, "0.25"},
    {kPitchBendUpId, 0, "2"},
    {kPitchBendDownId, 0, "2"},
    {kGlideFromHeldId, 1, ""},
    {kPointDisplayTag, 0, "Lev 1.00  Crv 0.00  Dlt 0.25"},
    {kEnvelopeTempoSyncId, 1, ""},
    {kEnvelopeKeyedId, 1, ""},
    {kEnvelopeRateKeyTrackingId, 0, "0.00"},
    {kEnvelopeRateVelocityId, 0, "0.30"},
    {kChorusFirstId + kChorusEnableOffset, 1, ""},
    {kDelayFirstId + kDelayOnOffset, 1, ""},
    {kDelayFirstId + kDelaySyncOffset, 1, ""},
    {kDelayFirstId + kDelayPreTimeOffset, 0, "0"},
    {kDelayFirstId + kDelayLeftTimeOffset, 0, "1/4"},
    {kDelayFirstId + kDelayRightTimeOffset, 0, "3/8"},
    {kEqEnableId, 1, ""},
    {kDistortionId, 0.1, ""},
    {kSampleLevelId, 0, "0.80"},
    {kSamplePanId, 0, "0.00"},
};

// The menus share one tag: their texts go by name.
struct ShownMenu {
    const char* name;
    const char* text;
};
constexpr ShownMenu kShownMenus[] = {
    {"bank", "Factory"},
    {"program", "Glass Keys"},
    {"target", "Amplitude"},
    {"controller", "<no ctrl>"},
};

struct Builder {
    std::vector<Control> out;

    // The control p declares, showing value (a frame for cells) and text.
    void add(const Placement& p, double value, std::string text = {}) {
        const Rect r = rectOf(p);
        Control k{Kind::Knob, p.bitmap, r.x, r.y, r.w, r.h, framesOf(p), value, std::move(text)};
        switch (p.kind) {
        case Ctl::Knob:
            k.kind = Kind::Knob;
            break;
        case Ctl::Button:
            k.kind = Kind::Button;
            break;
        case Ctl::Selector:
            k.kind = Kind::Selector;
            break;
        case Ctl::Cell:
        case Ctl::SplitCell:
            k.kind = Kind::Cell;
            break;
        case Ctl::Plain:
        case Ctl::Digit:
        case Ctl::HzDigit:
            // Drawn by the control: any bitmap only sized it.
            k.kind = p.kind == Ctl::Plain ? Kind::PlainNumber : Kind::DigitNumber;
            k.bitmap = bmp::kNone;
            k.frames = 1;
            break;
        case Ctl::TextSelector:
        case Ctl::Menu:
        case Ctl::TopBarMenu:
            k.kind = Kind::Menu;
            // The top bar's fields are dark and carry white text.
            k.whiteText = p.kind == Ctl::TopBarMenu || p.bitmap == bmp::kMenuField;
            break;
        case Ctl::Spectrum:
            k.kind = Kind::Spectrum;
            break;
        case Ctl::WaveView:
            k.kind = Kind::WaveView;
            break;
        case Ctl::EnvelopeView:
            k.kind = Kind::EnvelopeView;
            break;
        case Ctl::Splash:
            return; // the background draws its area
        case Ctl::HistoryKey:
        case Ctl::HelpLine:
            return; // the window draws it
        }
        out.push_back(std::move(k));
    }

    // A single control, showing what kShown lists for it.
    void add(const Placement& p) {
        double value = p.kind == Ctl::Knob ? p.reset : 0.0;
        std::string text;
        if (p.tag == kMenuTag) {
            for (const ShownMenu& m : kShownMenus)
                if (std::string(m.name) == p.name) text = m.text;
        } else {
            for (const Shown& s : kShown)
                if (s.tag == p.tag) {
                    value = s.value;
                    text = s.text;
                }
        }
        add(p, value, std::move(text));
    }
    template <std::size_t N> void addAll(const Placement (&table)[N]) {
        for (const Placement& p : table)
            add(p);
    }
    void cell(const Placement& p, double amount) {
        add(p, amount == 0 ? 0.0 : 1.0, cellText(amount));
    }
};

void oscillatorMatrix(Builder& b) {
    for (int r = 0; r < kOperatorCount; ++r) {
        b.add(operatorRowControl(r, 0), r < 4 ? 1.0 : 0.0);
        for (int k = 0; k < kOperatorCount; ++k) {
            const double amount = (k == r + 1 && r % 2 == 0) ? 0.35 : (k == r && r == 3 ? 0.12 : 0);
            b.cell(operatorRowControl(r, 1 + k), amount);
        }
        const double tail[4] = {r == 0 ? 0.5 : 0, 0, 0, r % 2 == 1 && r < 4 ? 1.0 : 0};
        for (int i = 0; i < 4; ++i)
            b.cell(operatorRowControl(r, 1 + kOperatorCount + i), tail[i]);
    }
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < kFilterRowControls; ++i)
            b.cell(filterRowControl(f, i), f == 0 && i == kFilterRowControls - 1 ? 0.8 : 0);
}

void samplerMatrix(Builder& b) {
    const char* const names[kSampleSlotCount] = {
        "Kick 808.wav", "Vinyl Loop.aif", "", "", "", "", "", ""};
    for (int s = 0; s < kSampleSlotCount; ++s) {
        const bool loaded = names[s][0] != 0;
        auto at = [s](int i) { return samplerRowControl(s, i); };
        b.add(at(0), loaded ? 1 : 0, names[s]);
        b.add(at(1), loaded ? 1 : 0);
        b.add(at(2), 1, loaded ? "C-2" : "-----");
        b.add(at(3), 1, loaded ? "C3" : "-----");
        b.add(at(4), s == 0 ? 1 : 0);
        b.add(at(5), s == 1 ? 1 : 0);
        b.cell(at(6), 0);
        b.cell(at(7), 0);
        b.cell(at(8), 0);
        b.cell(at(9), loaded ? 0.7 : 0);
    }
    b.addAll(kSamplerLayer);
}

void routingList(Builder& b) {
    const char* const targets[4] = {"Amplitude", "Pitch    ", "Cutoff   ", "Amp(MULT)"};
    for (int r = 0; r < kEnvelopesPerPage; ++r) {
        const bool used = r < 4;
        const bool filt = r == 2;
        auto at = [r](int i) { return routingRowControl(r, i); };
        b.add(at(0), !used ? 0 : (r == 0 ? 2 : 1),
              used ? std::to_string(r + 1) + ". " + targets[r] : "");
        for (int k = 0; k < kOperatorCount; ++k) {
            const bool osc = used && !filt;
            b.add(at(1 + k), osc && k < 2 ? 1 : 0,
                  !used ? "--" : (osc && k < 2 ? "1.00" : (osc ? "-----" : "--")));
        }
        b.add(at(1 + kOperatorCount), filt ? 1 : 0, !used ? "--" : (filt ? "0.45" : "--"));
        b.add(at(2 + kOperatorCount), 0, !used ? "--" : (filt ? "-----" : "--"));
        b.add(at(3 + kOperatorCount), 0, !used || filt ? "--" : "-----");
    }
}

void equaliser(Builder& b) {
    const char* const frequency[kEqBandCount] = {"120", "800", "3.2k", "9.5k"};
    for (int i = 0; i < kEqBandCount; ++i) {
        b.add(eqBandControl(i, 0), 0, frequency[i]);
        b.add(eqBandControl(i, 1), 0.5 + 0.1 * (i - 1));
        b.add(eqBandControl(i, 2), 0.1 + 0.2 * i);
    }
}

void sequencers(Builder& b) {
    const int pattern[16] = {12, 0, 7, 0, 12, 0, 0, 3, 0, 12, 0, 7, 5, 0, 3, 0};
    const char* const numbers[3] = {"16", "0.00", "0"}; // STEPS, SHUFFLE, TRANSPOSE
    for (int q = 0; q < kSequencerCount; ++q) {
        b.add(sequencerControl(q, 0), q == 0 ? 1 : 0);
        b.add(patternMenu(q), 0);
        for (int i = 0; i < 3; ++i)
            b.add(sequencerControl(q, 1 + i), 0, numbers[i]);
        b.add(sequencerControl(q, 4), 0);
        b.add(sequencerControl(q, 5), q == 1 ? 1 : 0);
        for (int i = 0; i < kSequencerStepCount; ++i) {
            const int v = q == 0 ? pattern[i % 16] : (i % 3 == 0 ? i % 12 : 0);
            b.add(stepCell(q, i), v ? 1 : 0, v ? std::to_string(v) : "-----");
        }
    }
}

} // namespace

std::vector<Control> controls(bool samplerLayout) {
    Builder b;
    if (samplerLayout)
        samplerMatrix(b);
    else
        oscillatorMatrix(b);
    b.add(kLayoutButton, samplerLayout ? 1 : 0);

    b.add(kBankMenu);
    b.add(kProgramMenu);
    b.addAll(kMasterControls);
    b.add(kTuningField);
    b.add(kTuningNumber);

    b.add(kOperatorSelector);
    b.add(kSpectrumMenu);
    b.addAll(kOperatorPanel);
    b.add(kAmplitudeBars, 0);
    b.add(kPhaseBars, 1);
    b.add(kWaveView, 0);
    b.addAll(kFilters);

    b.add(kCurveSelector);
    b.add(kTargetMenu);
    b.add(kControllerMenu);
    b.add(kPointDisplay);
    b.add(kEnvelopeEditor);
    b.addAll(kEnvelopeControls);

    b.add(kGroupSelector);
    b.add(kRoutingMenu);
    routingList(b);

    b.addAll(kEffects);
    b.addAll(kDelayTimes);
    equaliser(b);
    sequencers(b);
    return b.out;
}

} // namespace artwork::layout
