#pragma once
// The editor's commands that open dialogs or act on whole files and lists:
// loading and saving programs, loading a tuning, loading and clearing
// samples, and what the pop-up menus do when an entry is chosen. The editor
// calls them with the control's tag; a null entry leaves them undone.

class CPluginEditor;

namespace qgui {
struct CPoint;
}

// The pop-up menus whose choices are commands.
enum class EditorMenu { Spectrum, Target, Controller, Routing, PatternA, PatternB };

class IEditorCommands {
public:
    virtual ~IEditorCommands() = default;
    // The command tags of ControlTags.h: load or save a program, load a
    // tuning, load a sample into a slot or clear the slot.
    virtual void runCommand(CPluginEditor& editor, long tag) = 0;
    virtual void menuChosen(CPluginEditor& editor, EditorMenu menu, int index) = 0;
    // A file dropped onto the window at where (window pixels, scale 1); what it
    // does depends on the file's kind and on what lies under the pointer.
    virtual void fileDropped(CPluginEditor& editor, const char* path,
                             const qgui::CPoint& where) = 0;
};
