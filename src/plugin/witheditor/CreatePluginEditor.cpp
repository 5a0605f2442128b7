// The editor of our own view framework, on Linux and Windows alike.
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "plugin/EditorFactory.h"

#include <new>

AEffEditor* createPluginEditor(AudioEffectX* effect, CSoundRenderer* renderer) {
    return new (std::nothrow) CPluginEditor(effect, renderer);
}
