#pragma once
// What the editor's command menus, file controls and dropped files do: each
// command edits the program (itself or through a file command), tells the
// engine what changed, so that the synth takes it whole while it plays,
// and marks the controls that show it for redraw.
//
// Thread: the user interface's. The dialogs and message boxes are those of
// the platform behind the engine's settings; a command that asks first
// acts once the window has the answer.

#include "editor/IEditorCommands.h"

class IEditorEngine;

class CEditorCommands : public IEditorCommands {
public:
    void runCommand(CPluginEditor& editor, long tag) override;
    void menuChosen(CPluginEditor& editor, EditorMenu menu, int index) override;
    // By the file's extension, whatever its letter case: a program loads; a
    // WAV or AIFF file dropped on a sampler slot's name field (sampler layout
    // shown) loads into that slot; a TUN file loads as the tuning; an
    // envelope into the selected envelope; a pattern into the sequencer whose
    // strip lies under the pointer; a wave into the selected operator.
    // Anything else is ignored without a message.
    void fileDropped(CPluginEditor& editor, const char* path, const qgui::CPoint& where) override;

private:
    void targetChosen(CPluginEditor& editor, int index);
    void controllerChosen(CPluginEditor& editor, int index);
    void spectrumCommand(CPluginEditor& editor, int index);
    void patternCommand(CPluginEditor& editor, int sequencer, int index);
    void envelopeCommand(CPluginEditor& editor, int index);

    // After a program load: the window shows it.
    static void programLoaded(CPluginEditor& editor);
};
