#include "patch/PatchFiles.h"

#include "base/CFileStreamer.h"
#include "patch/CFileReplacer.h"
#include "patch/CMemAssembler.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/CScalaTuning.h"
#include "patch/CTuningMap.h"
#include "patch/ProgramFormat.h"
#include "platform/IPlatform.h"
#include "waves/CWaveSample.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

void copyBounded(char* dst, size_t capacity, const char* src, size_t length) {
    if (capacity == 0) return;
    length = std::min(length, capacity - 1);
    std::memmove(dst, src, length);
    dst[length] = '\0';
}

const char* lastSeparator(const char* path) {
    const char* back = std::strrchr(path, '\\');
    const char* slash = std::strrchr(path, '/');
    return std::max(back, slash); // null when neither is there
}

// The whole file into a reading assembler, with the user's messages on failure.
bool readWholeFile(const char* path, CMemAssembler& reader, CPluginFile& settings) {
    CFileStreamer file;
    if (!file.open(path, true)) {
        settings.showError(file.errorText());
        return false;
    }
    // An empty file holds nothing we could have written: it is no memory shortage.
    if (file.fileSize() == 0) {
        settings.showError(kUnknownFormatMessage);
        return false;
    }
    uint8_t* buffer = reader.setBuffer(file.fileSize());
    if (!buffer) {
        settings.showError(kOutOfMemoryMessage);
        return false;
    }
    if (!file.read(buffer, file.fileSize()) || file.lastReadCount() != file.fileSize()) {
        settings.showError(file.lastReadCount() == file.fileSize() ? file.errorText()
                                                                   : "Unknown File Error");
        return false;
    }
    return true;
}

// Assembles what the writer holds and writes it as the whole file.
bool writeWholeFile(const char* path, CMemAssembler& writer, bool serialised,
                    CPluginFile& settings) {
    uint8_t* bytes = nullptr;
    const int32_t n = serialised ? writer.assemble(bytes) : 0;
    if (n <= 0) {
        settings.showError(kOutOfMemoryMessage);
        return false;
    }
    // Written beside the target and renamed over it only when complete.
    CFileReplacer file(path);
    if (!file.open() || !file.write(bytes, size_t(n)) || !file.commit()) {
        settings.showError(file.errorText());
        return false;
    }
    return true;
}

template <typename Parse> bool loadBlockFile(const char* path, CPluginFile& settings, Parse parse) {
    CMemAssembler reader;
    if (!readWholeFile(path, reader, settings)) return false;
    if (!parse(reader)) {
        settings.showError(kUnknownFormatMessage);
        return false;
    }
    return true;
}

// A sample path moved into the program file's folder, keeping its file name.
void rebaseSamplePath(char* samplePath, size_t capacity, const char* programPath) {
    const char* folderEnd = lastSeparator(programPath);
    const char* leaf = std::strrchr(samplePath, '\\');
    if (!leaf) leaf = std::strrchr(samplePath, '/');
    if (!folderEnd || !leaf) return;
    const size_t folderLength = size_t(folderEnd - programPath) + 1;
    const size_t leafLength = std::strlen(leaf + 1);
    // A path that would not fit is left as it was rather than cut.
    if (folderLength + leafLength + 1 > capacity) return;
    char joined[kProgramPathSize];
    std::memcpy(joined, programPath, folderLength);
    std::memcpy(joined + folderLength, leaf + 1, leafLength + 1);
    copyBounded(samplePath, capacity, joined, folderLength + leafLength);
}

} // namespace

void fileLeafName(const char* path, char* out, size_t capacity) {
    const char* sep = lastSeparator(path);
    const char* leaf = sep ? sep + 1 : path;
    const char* dot = std::strrchr(leaf, '.');
    copyBounded(out, capacity, leaf, dot ? size_t(dot - leaf) : std::strlen(leaf));
}

bool saveProgramFile(CProgram& program, const char* path, CPluginFile& settings) {
    CMemAssembler writer;
    const bool ok = saveProgram(program, writer);
    if (!writeWholeFile(path, writer, ok, settings)) return false;
    fileLeafName(path, program.name, sizeof program.name);
    return true;
}

bool loadProgramFile(CProgram& program, const char* path, const char* bankName,
                     CPluginFile& settings) {
    copyBounded(settings.programPath, sizeof settings.programPath, path, std::strlen(path));
    if (!loadBlockFile(path, settings,
                       [&](CMemAssembler& r) { return loadProgram(program, r, false); }))
        return false;
    copyBounded(program.programFilePath, sizeof program.programFilePath, path, std::strlen(path));
    for (SampleSlotPatch& slot : program.sampleSlots)
        if (slot.samplePath[0] != '\0')
            rebaseSamplePath(slot.samplePath, sizeof slot.samplePath, path);
    fileLeafName(path, program.name, sizeof program.name);
    if (bankName)
        copyBounded(program.bankName, sizeof program.bankName, bankName, std::strlen(bankName));
    return true;
}

bool saveEnvelopeFile(const CProgram& program, const char* path, CPluginFile& settings) {
    CMemAssembler writer;
    const bool ok = saveEnvelope(program, writer);
    return writeWholeFile(path, writer, ok, settings);
}

bool loadEnvelopeFile(CProgram& program, const char* path, CPluginFile& settings) {
    return loadBlockFile(path, settings,
                         [&](CMemAssembler& r) { return loadEnvelope(program, r, false); });
}

bool savePatternFile(const CProgram& program, int which, const char* path, CPluginFile& settings) {
    CMemAssembler writer;
    const bool ok = saveSequencer(program, which, writer);
    return writeWholeFile(path, writer, ok, settings);
}

bool loadPatternFile(CProgram& program, int which, const char* path, CPluginFile& settings) {
    return loadBlockFile(path, settings,
                         [&](CMemAssembler& r) { return loadSequencer(program, which, r, true); });
}

bool exportWaveFile(const CProgram& program, const char* path, CPluginFile& settings) {
    CMemAssembler writer;
    const bool ok = saveWave(program, writer);
    return writeWholeFile(path, writer, ok, settings);
}

bool importWaveFile(CProgram& program, const char* path, CPluginFile& settings) {
    std::unique_ptr<CWaveSample> sample(new (std::nothrow) CWaveSample);
    if (!sample) {
        settings.showError(kOutOfMemoryMessage);
        return false;
    }
    if ((sample->readWav(path) || sample->readAiff(path)) && sample->length() > 0) {
        sample->analyse();
        program.setSpectrum(sample->harmonicAmplitudes(), sample->harmonicPhases());
        return true;
    }
    return loadBlockFile(path, settings, [&](CMemAssembler& r) { return loadWave(program, r); });
}

namespace {

// The extension of path (from its last dot after the last separator) in
// lower case, dot included; "" when it has none.
std::string lowerExtension(const char* path) {
    const char* sep = lastSeparator(path);
    const char* dot = std::strrchr(sep ? sep : path, '.');
    std::string ext(dot ? dot : "");
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

// The file of the same name as path beside it with extension ext (tried as
// given and in capitals); "" when there is none.
std::string besideWithExtension(const char* path, const char* ext) {
    const char* sep = lastSeparator(path);
    const char* dot = std::strrchr(sep ? sep : path, '.');
    const std::string stem(path, dot ? size_t(dot - path) : std::strlen(path));
    std::string upper(ext);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    for (const std::string& candidate : {stem + ext, stem + upper})
        if (CFileStreamer::exists(candidate.c_str())) return candidate;
    return std::string();
}

// A Scala scale (.scl) with the keyboard mapping (.kbm) of the same name
// beside it, or a mapping with the scale of its name beside it, else with the
// last scale read. The name is the scale's, and the mapping's after it when
// that is called otherwise.
bool readScalaFiles(const char* path, double* ratios, char* name, size_t nameCapacity,
                    CPluginFile& settings) {
    const bool isMapping = lowerExtension(path) == ".kbm";
    std::string scale = isMapping ? besideWithExtension(path, ".scl") : std::string(path);
    if (scale.empty()) scale = settings.scalaScalePath;
    const std::string mapping = isMapping ? std::string(path) : besideWithExtension(path, ".kbm");
    if (scale.empty()) {
        settings.platform().showError(kTuningErrorCaption,
                                      "A keyboard mapping lays out a scale: load the scale (.scl) "
                                      "first, or keep one of the same name beside the mapping");
        return false;
    }
    CScalaTuning tuning;
    double read[kTuningNoteCount];
    if (!tuning.readScale(scale.c_str()) ||
        (!mapping.empty() && !tuning.readMapping(mapping.c_str())) || !tuning.ratios(read)) {
        settings.platform().showError(kTuningErrorCaption, tuning.errorText());
        return false;
    }
    std::memcpy(ratios, read, sizeof read);
    char scaleName[kProgramNameSize], mappingName[kProgramNameSize];
    fileLeafName(scale.c_str(), scaleName, sizeof scaleName);
    fileLeafName(mapping.c_str(), mappingName, sizeof mappingName);
    std::string shown(scaleName);
    if (!mapping.empty() && std::strcmp(scaleName, mappingName) != 0)
        shown += std::string(" / ") + mappingName;
    copyBounded(name, nameCapacity, shown.c_str(), shown.size());
    copyBounded(settings.scalaScalePath, sizeof settings.scalaScalePath, scale.c_str(),
                scale.size());
    return true;
}

} // namespace

bool readTuningFile(const char* path, double* ratios, char* name, size_t nameCapacity,
                    CPluginFile& settings) {
    const std::string ext = lowerExtension(path);
    if (ext == ".scl" || ext == ".kbm")
        return readScalaFiles(path, ratios, name, nameCapacity, settings);
    CTuningMap map;
    if (!map.read(path)) {
        settings.platform().showError(kTuningErrorCaption, map.errorText());
        return false;
    }
    map.ratios(ratios);
    fileLeafName(path, name, nameCapacity);
    return true;
}

bool loadTuningFile(CProgram& program, const char* path, CPluginFile& settings) {
    return readTuningFile(path, program.tuningRatios, program.tuningName, sizeof program.tuningName,
                          settings);
}
