// quellor-program: builds the factory library from its text sources (see
// ProgramSource.h) with the same writers the editor uses, so that every
// program, envelope, pattern and wave of the data folder comes from a file a
// reviewer can read.
//
//   quellor-program build SOURCE.txt OUT.qxlprg|.qxlenv|.qxlseq|.qxlwav
//   quellor-program build-data SOUNDS DATA
//
// build-data reads SOUNDS/programs/BANK/*.txt, SOUNDS/envelopes, patterns and
// waves, and writes DATA/QuellorData/Banks/BANK/NAME.qxlprg (with the samples
// the programs name), DATA/QuellorData/Envelopes, Patterns and Waves, and the
// Scala forms (NAME.scl and NAME.kbm) of every DATA/Microtuning/NAME.TUN.
#include "quellor-program/ProgramSource.h"
#include "quellor-program/SampleRecipes.h"
#include "quellor-program/ScalaForms.h"

#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "platform/IPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool endsWith(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Side files and tunings are looked up beside the source tree: SOUNDS/waves,
// SOUNDS/patterns, SOUNDS/envelopes, and DATA/Microtuning.
SSourceFolders foldersFor(const fs::path& sounds, const fs::path& data) {
    return {(sounds / "waves").string(), (sounds / "patterns").string(),
            (sounds / "envelopes").string(), (data / "Microtuning").string()};
}

// Builds one source into one file; the kind follows the output's extension.
bool build(const fs::path& source, const fs::path& out, const SSourceFolders& folders) {
    CPluginFile settings(nativePlatform());
    std::unique_ptr<CProgram> program(new CProgram);
    std::string error, samples;
    const std::string target = out.string();
    bool ok;
    if (endsWith(target, ".qxlprg")) {
        ok = readProgramSource(source.string(), folders, *program, samples, error);
        std::stringstream list(samples);
        std::string leaf;
        while (ok && std::getline(list, leaf))
            ok = writeSampleRecipe(leaf, (out.parent_path() / leaf).string(), error);
        ok = ok && saveProgramFile(*program, target.c_str(), settings);
    } else if (endsWith(target, ".qxlenv")) {
        ok = readEnvelopeSource(source.string(), folders, *program, error) &&
             saveEnvelopeFile(*program, target.c_str(), settings);
    } else if (endsWith(target, ".qxlseq")) {
        ok = readPatternSource(source.string(), folders, *program, error) &&
             savePatternFile(*program, 0, target.c_str(), settings);
    } else if (endsWith(target, ".qxlwav")) {
        ok = readWaveSource(source.string(), folders, *program, error) &&
             exportWaveFile(*program, target.c_str(), settings);
    } else {
        error = target + ": the output is a .qxlprg, .qxlenv, .qxlseq or .qxlwav file";
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "quellor-program: %s\n",
                     error.empty() ? ("could not write " + target).c_str() : error.c_str());
        return false;
    }
    return true;
}

std::vector<fs::path> sourcesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file() && e.path().extension() == ".txt") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// Every source of one kind into one folder, NAME.txt becoming NAME.EXT.
bool buildFolder(const fs::path& from, const fs::path& to, const char* ext,
                 const SSourceFolders& folders, int& count) {
    fs::create_directories(to);
    for (const fs::path& source : sourcesIn(from)) {
        if (!build(source, to / (source.stem().string() + ext), folders)) return false;
        ++count;
    }
    return true;
}

int buildData(const fs::path& sounds, const fs::path& data) {
    const SSourceFolders folders = foldersFor(sounds, data);
    const fs::path library = data / "QuellorData";
    int programs = 0, banks = 0, envelopes = 0, patterns = 0, waves = 0;
    std::vector<fs::path> bankFolders;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(sounds / "programs", ec))
        if (e.is_directory()) bankFolders.push_back(e.path());
    std::sort(bankFolders.begin(), bankFolders.end());
    for (const fs::path& bank : bankFolders) {
        if (!buildFolder(bank, library / "Banks" / bank.filename(), ".qxlprg", folders, programs))
            return 1;
        ++banks;
    }
    if (!buildFolder(sounds / "envelopes", library / "Envelopes", ".qxlenv", folders, envelopes) ||
        !buildFolder(sounds / "patterns", library / "Patterns", ".qxlseq", folders, patterns) ||
        !buildFolder(sounds / "waves", library / "Waves", ".qxlwav", folders, waves))
        return 1;
    int tunings = 0;
    std::vector<fs::path> tunFiles;
    for (const auto& e : fs::directory_iterator(data / "Microtuning", ec))
        if (e.is_regular_file() && e.path().extension() == ".TUN") tunFiles.push_back(e.path());
    std::sort(tunFiles.begin(), tunFiles.end());
    for (const fs::path& tun : tunFiles) {
        std::string error;
        if (!writeScalaForms(tun.string(), error)) {
            std::fprintf(stderr, "quellor-program: %s\n", error.c_str());
            return 1;
        }
        ++tunings;
    }
    std::printf("%d programs in %d banks, %d envelopes, %d patterns, %d waves, %d Scala tunings\n",
                programs, banks, envelopes, patterns, waves, tunings);
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: quellor-program build SOURCE.txt OUT.qxlprg|.qxlenv|.qxlseq|.qxlwav\n"
                 "       quellor-program build-data SOUNDS DATA\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "build") == 0) {
        // A lone source finds its side files in the sounds tree it sits in.
        const fs::path source = fs::absolute(argv[2]);
        fs::path sounds = source.parent_path();
        while (!sounds.empty() && sounds.filename() != "sounds" && sounds != sounds.root_path())
            sounds = sounds.parent_path();
        const SSourceFolders folders = foldersFor(sounds, sounds.parent_path() / "data");
        return build(source, argv[3], folders) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "build-data") == 0) return buildData(argv[2], argv[3]);
    return usage();
}
