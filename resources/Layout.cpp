#include "Layout.h"

#include "Bitmaps.h"

#include <cstdio>

namespace artwork::layout {

namespace {

// Texts and values the preview shows, as a patch would.
std::string cellText(double v) {
    if (v == 0) return "-----";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

struct Builder {
    std::vector<Control> out;

    void bitmapControl(Kind kind, int id, int x, int y, double value, std::string text = {}) {
        const artwork::BitmapSpec& s = artwork::bitmapSpec(id);
        out.push_back(
            {kind, id, x, y, s.frameWidth(), s.frameHeight(), s.frames, value, std::move(text)});
    }
    void knob(int id, int x, int y, double v) { bitmapControl(Kind::Knob, id, x, y, v); }
    void button(int id, int x, int y, double v) { bitmapControl(Kind::Button, id, x, y, v); }
    void selector(int id, int x, int y, double v) { bitmapControl(Kind::Selector, id, x, y, v); }
    void cell(int id, int x, int y, double amount) {
        bitmapControl(Kind::Cell, id, x, y, amount == 0 ? 0.0 : 1.0, cellText(amount));
    }
    void textCell(int id, int x, int y, int frame, std::string text) {
        bitmapControl(Kind::Cell, id, x, y, frame, std::move(text));
    }
    void menu(int id, int x, int y, std::string text, bool white = false) {
        bitmapControl(Kind::Menu, id, x, y, 0, std::move(text));
        out.back().whiteText = white;
    }
    void plain(int x, int y, std::string text, int w = 34, int h = 14) {
        out.push_back({Kind::PlainNumber, 0, x, y, w, h, 1, 0, std::move(text)});
    }
    void digits(int x, int y, std::string text) {
        out.push_back({Kind::DigitNumber, 0, x, y, 50, 14, 1, 0, std::move(text)});
    }
};

void oscillatorMatrix(Builder& b) {
    for (int r = 0; r < 8; ++r) {
        const int y = matrixRowY(r);
        b.button(r == 7 ? 130 : 131 + r, 21, y, r < 4 ? 1.0 : 0.0);
        for (int k = 0; k < 8; ++k) {
            const double amount = (k == r + 1 && r % 2 == 0) ? 0.35 : (k == r && r == 3 ? 0.12 : 0);
            b.cell(146, modulationColumnX(k), y, amount);
        }
        b.cell(148, kSendF1X, y, r == 0 ? 0.5 : 0);
        b.cell(148, kSendF2X, y, 0);
        b.cell(146, kPanX, y, 0);
        b.cell(146, kMixX, y, r % 2 == 1 && r < 4 ? 1.0 : 0);
    }
    for (int f = 0; f < 2; ++f) {
        const int y = f == 0 ? kFilter1RowY : kFilter2RowY;
        for (int k = 0; k < 8; ++k)
            b.cell(148, modulationColumnX(k), y, 0);
        b.cell(148, f == 0 ? kSendF2X : kSendF1X, y, 0);
        b.cell(148, kPanX, y, 0);
        b.cell(148, kMixX, y, f == 0 ? 0.8 : 0);
    }
}

void samplerMatrix(Builder& b) {
    const char* const names[8] = {"Kick 808.wav", "Vinyl Loop.aif", "", "", "", "", "", ""};
    for (int s = 0; s < 8; ++s) {
        const int y = matrixRowY(s);
        const bool loaded = names[s][0] != 0;
        b.textCell(178 + s, kSlotX, y, loaded ? 1 : 0, names[s]);
        b.button(186, kClearX, y, loaded ? 1 : 0);
        b.textCell(190, kLowKeyX, y, 1, loaded ? "C-2" : "-----");
        b.textCell(190, kRootX, y, 1, loaded ? "C3" : "-----");
        b.button(177, kTrackX, y, s == 0 ? 1 : 0);
        b.button(177, kLoopX, y, s == 1 ? 1 : 0);
        b.cell(148, kSampleF1X, y, 0);
        b.cell(148, kSampleF2X, y, 0);
        b.cell(190, kSamplePanX, y, 0);
        b.cell(190, kSampleMixX, y, loaded ? 0.7 : 0);
    }
    b.plain(49, 187, "0.80");
    b.plain(111, 187, "0.00");
}

} // namespace

std::vector<Control> controls(bool samplerLayout) {
    Builder b;
    if (samplerLayout)
        samplerMatrix(b);
    else
        oscillatorMatrix(b);
    b.button(187, 411, 179, samplerLayout ? 1 : 0);

    // Top bar
    b.menu(171, 384, 14, "Factory", true);
    b.menu(171, 490, 14, "Glass Keys", true);
    b.selector(175, 601, 14, 0);
    b.selector(172, 622, 14, 0);
    b.selector(173, 640, 14, 0);
    b.selector(174, 659, 14, 0);
    b.menu(171, 774, 14, "12-TET", true);
    b.plain(896, 13, "0");

    // Operator panel
    b.selector(156, 418, 53, 0.0);
    b.menu(165, 489, 53, "");
    b.digits(495, 85, "0.0000");
    b.digits(561, 85, "1.0000");
    b.button(126, 567, 72, 0);
    b.plain(507, 120, "0.75");
    b.plain(573, 120, "0.00");
    b.button(124, 609, 119, 0);
    b.out.push_back({Kind::Spectrum, 152, 650, 72, 96, 50, 100, 0, ""});
    b.out.push_back({Kind::Spectrum, 152, 750, 72, 96, 50, 100, 1, ""});
    b.out.push_back({Kind::WaveView, 153, 853, 74, 92, 46, 180, 0, ""});

    // Filters
    b.plain(496, 192, "0.62");
    b.plain(540, 192, "0.50");
    b.plain(583, 192, "0.20");
    b.plain(647, 192, "0.40");
    b.plain(691, 192, "0.00");
    b.plain(734, 192, "0.00");
    b.button(154, 569, 159, 1 / 3.0);
    b.button(154, 720, 159, 0);

    // Voice settings
    b.plain(797, 159, "0");
    b.plain(849, 159, "16");
    b.plain(790, 192, "0.00");
    b.plain(830, 192, "0.25");
    b.plain(873, 192, "2");
    b.plain(921, 192, "2");
    b.button(128, 891, 145, 0);
    b.button(125, 891, 159, 1);

    // Envelope section
    b.selector(164, 21, 219, 0);
    b.menu(160, 155, 220, "Amplitude");
    b.menu(160, 242, 220, "<no ctrl>");
    b.menu(194, 334, 220, "Lev 1.00  Crv 0.00  Dlt 0.25");
    b.out.push_back({Kind::EnvelopeView, 157, kEnvelopeEditor.x, kEnvelopeEditor.y,
                     kEnvelopeEditor.w, kEnvelopeEditor.h, 1, 0, ""});
    b.button(122, 22, 372, 0);
    b.button(127, 85, 372, 1);
    b.button(158, 148, 372, 1);
    b.button(123, 211, 372, 0);
    b.button(121, 274, 372, 0);
    b.plain(340, 377, "0.00");
    b.plain(417, 377, "0.30");

    // Routing list
    b.selector(159, 679, 220, 0);
    b.menu(162, 487, 220, "");
    const char* const targets[4] = {"Amplitude", "Pitch    ", "Cutoff   ", "Amp(MULT)"};
    for (int r = 0; r < 8; ++r) {
        const int y = routingRowY(r);
        const bool used = r < 4;
        b.textCell(161, kRoutingNameX, y, !used ? 0 : (r == 0 ? 2 : 1),
                   used ? std::to_string(r + 1) + ". " + targets[r] : "");
        for (int k = 0; k < 8; ++k) {
            const bool osc = used && r != 2;
            b.textCell(145, routingOscX(k), y, osc && k < 2 ? 1 : 0,
                       !used ? "--" : (osc && k < 2 ? "1.00" : (osc ? "-----" : "--")));
        }
        const bool filt = r == 2;
        b.textCell(147, kRoutingFilt1X, y, filt ? 1 : 0, !used ? "--" : (filt ? "0.45" : "--"));
        b.textCell(147, kRoutingFilt2X, y, 0, !used ? "--" : (filt ? "-----" : "--"));
        b.textCell(190, kRoutingSampX, y, 0, !used || filt ? "--" : "-----");
    }

    // Effects and master
    b.button(139, 23, 415, 1);
    const int chorusX[5] = {22, 52, 82, 112, 142};
    const double chorusV[5] = {0.2, 0.2, 0.5, 1.0, 0.5};
    for (int i = 0; i < 5; ++i)
        b.knob(150, chorusX[i], 462, chorusV[i]);
    b.button(144, 177, 464, 0);
    b.button(140, 221, 415, 1);
    b.button(144, 221, 464, 1);
    b.plain(264, 467, "0", 26, 14);
    b.plain(329, 436, "1/4", 26, 14);
    b.plain(362, 436, "3/8", 26, 14);
    const int delayX[5] = {330, 364, 402, 436, 470};
    const double delayV[5] = {0, 1.0, 0.5, 0.5, 0.5};
    for (int i = 0; i < 5; ++i)
        b.knob(149, delayX[i], 462, delayV[i]);
    b.button(143, 507, 415, 0);
    const double reverbV[3] = {0.25, 0.5, 0.5};
    for (int i = 0; i < 3; ++i)
        b.knob(151, 510 + 34 * i, 462, reverbV[i]);
    b.button(141, 614, 415, 1);
    const char* const eqFreq[4] = {"120", "800", "3.2k", "9.5k"};
    for (int i = 0; i < 4; ++i) {
        b.plain(621 + 54 * i, 437, eqFreq[i]);
        b.knob(150, 616 + 54 * i, 462, 0.5 + 0.1 * (i - 1));
        b.knob(198, 646 + 54 * i, 465, 0.1 + 0.2 * i);
    }
    b.knob(151, 841, 462, 0.3);
    b.knob(151, 879, 462, 0.1);
    b.button(142, 915, 463, 0);

    // Sequencers
    for (int q = 0; q < 2; ++q) {
        const int dx = q == 0 ? 0 : 472;
        b.button(q == 0 ? 169 : 188, 20 + dx, 502, q == 0 ? 1 : 0);
        b.menu(170, 99 + dx, 503, "");
        b.plain(168 + dx, 503, "16");
        b.plain(245 + dx, 503, "0.00");
        b.plain(334 + dx, 503, "0");
        b.button(167, 373 + dx, 502, 0);
        b.button(168, 426 + dx, 502, q == 1 ? 1 : 0);
        const int x0 = q == 0 ? kSequencerAX : kSequencerBX;
        const int pattern[16] = {12, 0, 7, 0, 12, 0, 0, 3, 0, 12, 0, 7, 5, 0, 3, 0};
        for (int i = 0; i < 32; ++i) {
            const int v = q == 0 ? pattern[i % 16] : (i % 3 == 0 ? i % 12 : 0);
            const int y = i < 16 ? kStepRow1Y : kStepRow2Y;
            b.textCell(199, stepX(x0, i % 16), y, v ? 1 : 0, v ? std::to_string(v) : "-----");
        }
    }
    return b.out;
}

} // namespace artwork::layout
