// The plug-in's editor window. When it cannot be made the plug-in reports no
// editor, and hosts show their own sliders.
#pragma once

class AEffEditor;
class AudioEffectX;
class CSoundRenderer;

// A new editor for the instance (owned by the caller), or null.
AEffEditor* createPluginEditor(AudioEffectX* effect, CSoundRenderer* renderer);
