#include "editor/CFileCommands.h"

#include "base/CFileStreamer.h"
#include "base/FileSystem.h"
#include "engine/CProgramEdit.h"
#include "engine/IEditorEngine.h"
#include "patch/CBankList.h"
#include "patch/CFileReplacer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "platform/IPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>

namespace {

const char* lastSeparator(const char* path) {
    const char* back = std::strrchr(path, '\\');
    const char* slash = std::strrchr(path, '/');
    if (!back) return slash;
    if (!slash) return back;
    return back > slash ? back : slash;
}

const char* leafOf(const char* path) {
    const char* sep = lastSeparator(path);
    return sep ? sep + 1 : path;
}

// The name of the folder that holds the file at path ("" when there is none).
std::string folderNameOf(const char* path) {
    const char* end = lastSeparator(path);
    if (!end) return {};
    const char* start = end;
    while (start > path && start[-1] != '/' && start[-1] != '\\')
        --start;
    return std::string(start, end);
}

// Loads a side file (pattern, envelope, wave) into a copy of the program,
// with no lock held, so that a message about a bad file never keeps a host
// waiting for the program's chunk; then, under the edit lock, copies what the
// load changed into the program, so that a chunk never holds half of it.
template <typename Load, typename Commit>
bool loadBeside(IEditorEngine& renderer, Load load, Commit commit) {
    std::unique_ptr<CProgram> copy(new (std::nothrow) CProgram(renderer.program()));
    if (!copy || !load(*copy)) return false;
    CProgramEdit edit(renderer);
    commit(edit, *copy);
    return true;
}

} // namespace

CFileCommands::CFileCommands(IEditorEngine& renderer, CPluginFile& settings, void* owner)
    : renderer(renderer), settings(settings), owner(owner) {}

void CFileCommands::showWithPath(const char* format, const char* path, const std::string& reason) {
    std::string text(std::strlen(format) + std::strlen(path) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, path);
    text.resize(std::strlen(text.c_str()));
    if (!reason.empty()) text += "\n" + reason;
    settings.showError(text.c_str());
}

char* CFileCommands::rememberedPath(Kind kind) {
    switch (kind) {
    case Kind::Program:
        return settings.programPath;
    case Kind::Pattern:
        return settings.patternPath;
    case Kind::Envelope:
        return settings.envelopePath;
    case Kind::Wave:
        return settings.wavePath;
    case Kind::Tuning:
        return settings.tuningPath;
    case Kind::Sample:
        break;
    }
    return settings.samplePath;
}

std::unique_ptr<IPendingDialog> CFileCommands::openDialog(const Dialog& dialog) {
    static_assert(kPathCapacity <= CPluginFile::kPathCapacity, "a remembered path holds any path");
    const char* remembered = rememberedPath(dialog.kind);
    // A remembered path too long for the dialog is not offered cut short.
    const bool fits = std::memchr(remembered, '\0', kPathCapacity) != nullptr;
    return settings.platform().openFileDialog(fits ? remembered : "", dialog.title, dialog.pattern,
                                              dialog.description, owner, dialog.forOpening);
}

bool CFileCommands::pathFor(const Dialog& dialog, const char* given, char* path) {
    if (!given) return false;
    const size_t length = std::strlen(given);
    if (length == 0) return false;
    if (length >= kPathCapacity) {
        // Cutting it would name another file: say so and do nothing.
        showWithPath(kPathTooLong, given);
        return false;
    }
    std::memcpy(path, given, length + 1);
    std::memcpy(rememberedPath(dialog.kind), given, length + 1);
    return true;
}

// ---- programs ----

bool CFileCommands::loadProgram(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kLoadProgram, given, path)) return false;
    return renderer.loadProgramFile(path, folderNameOf(path).c_str());
}

bool CFileCommands::saveProgram(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kSaveProgram, given, path)) return false;
    if (!copySamplesBeside(path)) return false;
    // Written from a copy, so that no lock is held while a message about the
    // file is shown; the program then takes the file's name, under the lock.
    std::unique_ptr<CProgram> copy(new (std::nothrow) CProgram(renderer.program()));
    if (!copy) {
        settings.showError(kOutOfMemoryMessage);
        return false;
    }
    if (!saveProgramFile(*copy, path, settings)) return false;
    {
        CProgramEdit edit(renderer);
        std::memcpy(edit.program().name, copy->name, sizeof copy->name);
    }
    const CProgram& program = renderer.program();

    // The bank's list shows the new file; the program stays current where it is listed.
    CBankList& banks = renderer.banks();
    const int32_t folder = banks.currentFolder();
    const char* bank = banks.folderName(folder);
    const bool inThisBank = bank && folderNameOf(path) == bank;
    banks.selectFolder(folder);
    char name[CBankList::kListEntryCapacity];
    for (int32_t i = 0; inThisBank && i < banks.fileCount(); ++i)
        if (banks.fileName(i, name, sizeof name) && std::strcmp(name, program.name) == 0)
            banks.setCurrentFile(i);
    return true;
}

bool CFileCommands::copySamplesBeside(const char* programPath) {
    for (int slot = 0; slot < kSampleSlotCount; ++slot) {
        const char* samplePath = renderer.program().sampleSlots[slot].samplePath;
        if (samplePath[0] == '\0') continue;
        std::string reason;
        if (!copySample(slot, programPath, reason)) {
            showWithPath(kSampleSaveFailed, samplePath, reason);
            return false;
        }
    }
    return true;
}

bool CFileCommands::copySample(int slot, const char* programPath, std::string& reason) {
    const SampleSlotPatch& patch = renderer.program().sampleSlots[slot];
    const char* folderEnd = lastSeparator(programPath);
    if (!folderEnd) return false;
    const std::string destination =
        std::string(programPath, size_t(folderEnd - programPath) + 1) + leafOf(patch.samplePath);
    if (destination.size() >= kPathCapacity) {
        std::string text(std::strlen(kPathTooLong) + destination.size() + 1, '\0');
        std::snprintf(text.data(), text.size(), kPathTooLong, destination.c_str());
        reason = text.c_str();
        return false;
    }
    // A file of that name already there is the program's sample, or the user's own: it stays.
    if (CFileStreamer::exists(destination.c_str())) return true;

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(openFile(patch.samplePath, "rb"),
                                                           &std::fclose);
    if (!source) {
        reason = "Failed to open the file";
        return false;
    }
    std::unique_ptr<char[]> piece(new (std::nothrow) char[kCopyPieceBytes]);
    if (!piece) {
        reason = kOutOfMemoryMessage;
        return false;
    }
    CFileReplacer copy(destination.c_str());
    bool ok = copy.open();
    while (ok) {
        const size_t n = std::fread(piece.get(), 1, kCopyPieceBytes, source.get());
        ok = n == 0 || copy.write(piece.get(), n);
        if (n < kCopyPieceBytes) break;
    }
    if (ok && std::ferror(source.get())) {
        reason = "Unknown File Error";
        return false;
    }
    if (!ok || !copy.commit()) {
        reason = copy.errorText();
        return false;
    }

    // A host asking for the chunk meanwhile sees the old path or the new, never half of each.
    CProgramEdit edit(renderer);
    std::memcpy(edit.program().sampleSlots[slot].samplePath, destination.c_str(),
                destination.size() + 1);
    return true;
}

// ---- side files ----

bool CFileCommands::loadPattern(int sequencer, const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kLoadPattern, given, path)) return false;
    const bool loaded = loadBeside(
        renderer, [&](CProgram& copy) { return loadPatternFile(copy, sequencer, path, settings); },
        [&](CProgramEdit& edit, const CProgram& copy) {
            CProgram& program = edit.program();
            program.sequencers[sequencer] = copy.sequencers[sequencer];
            edit.touchPattern(sequencer);
        });
    if (!loaded) return false;
    return true;
}

bool CFileCommands::savePattern(int sequencer, const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kSavePattern, given, path)) return false;
    return savePatternFile(renderer.program(), sequencer, path, settings);
}

bool CFileCommands::loadEnvelope(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kLoadEnvelope, given, path)) return false;
    const bool loaded = loadBeside(
        renderer, [&](CProgram& copy) { return loadEnvelopeFile(copy, path, settings); },
        [&](CProgramEdit& edit, const CProgram& copy) {
            CProgram& program = edit.program();
            const int e = std::clamp(program.selectedEnvelope, 0, kProgramEnvelopeCount - 1);
            program.envelopes[e] = copy.envelopes[e];
            program.keyCurves[e] = copy.keyCurves[e];
            program.velocityCurves[e] = copy.velocityCurves[e];
            edit.touchEnvelope(e);
        });
    if (!loaded) return false;
    return true;
}

bool CFileCommands::saveEnvelope(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kSaveEnvelope, given, path)) return false;
    return saveEnvelopeFile(renderer.program(), path, settings);
}

bool CFileCommands::importSpectrum(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kImportWave, given, path)) return false;
    const bool loaded = loadBeside(
        renderer, [&](CProgram& copy) { return importWaveFile(copy, path, settings); },
        [&](CProgramEdit& edit, const CProgram& copy) {
            CProgram& program = edit.program();
            const int o = std::clamp(program.selectedOperator, 0, kOperatorCount - 1);
            OperatorPatch& op = program.operators[o];
            std::copy(std::begin(copy.operators[o].harmonicAmplitudes),
                      std::end(copy.operators[o].harmonicAmplitudes), op.harmonicAmplitudes);
            std::copy(std::begin(copy.operators[o].harmonicPhases),
                      std::end(copy.operators[o].harmonicPhases), op.harmonicPhases);
            edit.touchWave(o);
        });
    if (!loaded) return false;
    return true;
}

bool CFileCommands::exportSpectrum(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kExportWave, given, path)) return false;
    return exportWaveFile(renderer.program(), path, settings);
}

// ---- tuning and samples ----

bool CFileCommands::loadTuning(const char* given) {
    char path[kPathCapacity];
    if (!pathFor(kLoadTuning, given, path)) return false;
    return renderer.loadTuningFile(path);
}

bool CFileCommands::loadSample(int slot, const char* given) {
    if (slot < 0 || slot >= kSampleSlotCount) return false;
    char path[kPathCapacity];
    if (!pathFor(kLoadSample, given, path)) return false;
    renderer.loadSample(slot, path);
    return true;
}

bool CFileCommands::canClearSample(int slot) const {
    return slot >= 0 && slot < kSampleSlotCount && renderer.slotHasSample(slot);
}

bool CFileCommands::clearSample(int slot) {
    if (!canClearSample(slot)) return false;
    renderer.clearSlot(slot);
    return true;
}
