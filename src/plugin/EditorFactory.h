// The plug-in's editor window, where the build has one (the Linux build);
// elsewhere the plug-in reports no editor and hosts show their own sliders.
#pragma once

class AEffEditor;
class AudioEffectX;
class CSoundRenderer;

// A new editor for the instance (owned by the caller), or null.
AEffEditor* createPluginEditor(AudioEffectX* effect, CSoundRenderer* renderer);
