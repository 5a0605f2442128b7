#pragma once
// The entries of the editor's command menus, in order, and the index of each
// command among them. A "-" entry is a separator; it is counted in every index,
// so an index always names the entry added at that place. The target and
// controller menus list the envelope's target kinds and controller sources
// (CEnvelope.h), the controller menu with "<no ctrl>" first.

namespace editormenus {

constexpr const char* kPatternEntries[] = {
    "Load Pattern", "Save Pattern", "-",      "Clear Pattern", "-",
    "Shift Left",   "Shift Right",  "Reverse"};
enum PatternEntry : int {
    kLoadPattern = 0,
    kSavePattern = 1,
    kClearPattern = 3,
    kShiftLeft = 5,
    kShiftRight = 6,
    kReverse = 7,
};

constexpr const char* kRoutingEntries[] = {
    "Add Envelope",  "Delete Envelope", "-",          "Move Up", "Move Down",      "-",
    "Copy View",     "Paste View",      "Reset View", "-",       "Clone Envelope", "-",
    "Load Envelope", "Save Envelope"};
enum RoutingEntry : int {
    kAddEnvelope = 0,
    kDeleteEnvelope = 1,
    kMoveUp = 3,
    kMoveDown = 4,
    kCopyView = 6,
    kPasteView = 7,
    kResetView = 8,
    kCloneEnvelope = 10,
    kLoadEnvelope = 12,
    kSaveEnvelope = 13,
};

constexpr const char* kSpectrumEntries[] = {
    "Copy Spectrum", "Paste Spectrum", "Reset Spectrum", "-", "Import Spectrum", "Export Spectrum"};
enum SpectrumEntry : int {
    kCopySpectrum = 0,
    kPasteSpectrum = 1,
    kResetSpectrum = 2,
    kImportSpectrum = 4,
    kExportSpectrum = 5,
};

// The controller menu shows "<no ctrl>" as entry 0 and source c as entry c + 1.
constexpr int kNoControllerEntry = 0;

template <typename T, int N> constexpr int entryCount(T (&)[N]) {
    return N;
}

} // namespace editormenus
