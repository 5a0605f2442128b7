// Builds with the window (Linux): the editor of our own view framework.
#include "editor/CPluginEditor.h"
#include "plugin/EditorFactory.h"

#include <new>

AEffEditor* createPluginEditor(AudioEffectX* effect, CSoundRenderer* renderer) {
    return new (std::nothrow) CPluginEditor(effect, renderer);
}
