#pragma once
// The tags of the window's controls that are not simply the value ID they
// edit: commands, the selectors of what the sections show, the menus and the
// displays. A control's tag is otherwise its value ID (base/ValueIds.h).

#include "base/ValueIds.h"

namespace editortags {

// What the sections show; the selectors edit these editor-only values.
constexpr long kCurveSelectorTag = kEnvelopeViewId; // ENV / KBD / VEL
constexpr long kGroupSelectorTag = kEnvelopePageId; // envelopes 1-8 ... 25-32
constexpr long kOperatorSelectorTag = kSelectedOperatorId;
constexpr long kLayoutTag = 453; // oscillator mix or sampler matrix

// Program file commands of the top bar.
constexpr long kLoadProgramTag = 454;
constexpr long kSaveProgramTag = 455;
constexpr long kNextProgramTag = 456;
constexpr long kPreviousProgramTag = 457;

// The envelope editor and the point display above it share a number: the
// display shows the point text the editor's drags change.
constexpr long kPointDisplayTag = kPointTextId;
constexpr long kEnvelopeEditorTag = kPointTextId;

// The microtuning field shows the tuning's name; a click loads a tuning file.
constexpr long kLoadTuningTag = kTuningNameId;
// A slot's name field loads a sample into it (330..337); its clear button
// (338..345) is lit while the slot holds one and empties it.
constexpr long kLoadSampleFirstTag = kSamplePathLeafFirstId;
constexpr long kClearSampleFirstTag = kSamplePathLeafFirstId + kSampleSlotCount;

constexpr long kSplashTag = 461;
// The pop-up menus share one tag; the editor tells them apart by which control it is.
constexpr long kMenuTag = 462;

// The top bar's undo and redo keys.
constexpr long kUndoTag = 480;
constexpr long kRedoTag = 481;

} // namespace editortags
