// Builds without the window (the Windows builds, for now): no editor.
#include "plugin/EditorFactory.h"

AEffEditor* createPluginEditor(AudioEffectX*, CSoundRenderer*) {
    return nullptr;
}
