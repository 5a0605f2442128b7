#include "vst/AEffGUIEditor.h"

#include "vst/AudioEffectX.h"

AEffGUIEditor::AEffGUIEditor(AudioEffectX* effect, VstInt16 width, VstInt16 height)
    : AEffEditor(effect), rect{0, 0, height, width}, effectX(effect) {}

AEffGUIEditor::~AEffGUIEditor() = default;

bool AEffGUIEditor::getRect(ERect** result) {
    *result = &rect;
    return true;
}

bool AEffGUIEditor::open(void* parent) {
    systemWindow = parent;
    return parent != nullptr;
}

void AEffGUIEditor::close() {
    systemWindow = nullptr;
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (effectX) effectX->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (effectX) effectX->endEdit(index);
}
