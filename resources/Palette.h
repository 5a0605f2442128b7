#pragma once
// The colours of the editor: a dark graphite panel, one cyan accent (the
// envelope editor's curve colour), amber for selections (its selected point),
// light "paper" fields wherever the controls draw black text, and dark fields
// under white text.

#include "Canvas.h"

namespace artwork::palette {

// Window and panels
inline const Colour windowTop = rgb(0x1b2027);
inline const Colour windowBottom = rgb(0x111418);
inline const Colour topBar = rgb(0x0c0f12);
inline const Colour panelTop = rgb(0x232a33);
inline const Colour panelBottom = rgb(0x1a1f26);
inline const Colour panelEdge = rgb(0x0a0c0f);
inline const Colour panelSheen = rgb(0xffffff, 0.06);
inline const Colour separator = rgb(0x0d1013);
inline const Colour separatorSheen = rgb(0xffffff, 0.05);

// Text on the panels
inline const Colour title = rgb(0x00aaff);
inline const Colour label = rgb(0x8e9aa7);
inline const Colour labelDim = rgb(0x5c6773);
inline const Colour labelBright = rgb(0xd9e1e8);

// Accent and selection
inline const Colour accent = rgb(0x00aaff);
inline const Colour accentBright = rgb(0x6fd0ff);
inline const Colour accentDeep = rgb(0x0073b3);
inline const Colour amber = rgb(0xffc900);
inline const Colour amberDeep = rgb(0xe09a00);
inline const Colour onText = rgb(0x03121c);

// Keys (buttons) in their off state
inline const Colour keyTop = rgb(0x39424d);
inline const Colour keyBottom = rgb(0x282f37);
inline const Colour keyEdge = rgb(0x07090b);
inline const Colour keyText = rgb(0xa7b2be);

// Recessed wells for displays, knobs and the number boxes
inline const Colour well = rgb(0x06080a);
inline const Colour wellSheen = rgb(0xffffff, 0.07);

// Paper fields under black text: operator, filter and sample cells each
// have their own tint, so a row of the matrix reads as what it feeds.
struct Paper {
    Colour top, bottom, dimTop, dimBottom;
};
inline const Paper paperOperator{rgb(0xd8ecf6), rgb(0xaacfe2), rgb(0x4d5762), rgb(0x424a53)};
inline const Paper paperFilter{rgb(0xf3e5c4), rgb(0xd8c095), rgb(0x58534a), rgb(0x4a463f)};
inline const Paper paperSample{rgb(0xd6efd6), rgb(0xa8d2ab), rgb(0x4e5953), rgb(0x434c46)};
inline const Paper paperNeutral{rgb(0xe2e7ec), rgb(0xb7c0c9), rgb(0x515a63), rgb(0x454c54)};

// Dark fields under white text
inline const Colour fieldTop = rgb(0x080a0d);
inline const Colour fieldBottom = rgb(0x12161b);
inline const Colour fieldEdge = rgb(0x313a45);

// Displays (envelope plot, spectra, wave)
inline const Colour screenTop = rgb(0x0a1016);
inline const Colour screenBottom = rgb(0x05080b);
inline const Colour screenGrid = rgb(0x00aaff, 0.09);

} // namespace artwork::palette
