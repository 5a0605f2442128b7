#include "patch/CPluginFile.h"

#include "platform/IPlatform.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Builds root + the relative path, with the system's separator in place of '/'.
void buildPath(char* out, const std::string& root, const char* relative, char separator) {
    std::string path = root;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += separator;
    for (const char* p = relative; *p; ++p)
        path += (*p == '/') ? separator : *p;
    std::snprintf(out, CPluginFile::kPathCapacity, "%s", path.c_str());
}

// The text without the blanks and tabs around it.
std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The words that switch a setting off.
constexpr const char* kOffWords[] = {"0", "off", "no", "false"};

} // namespace

CPluginFile::CPluginFile(IPlatform& platform) : host(platform) {
    envelopePath[0] = wavePath[0] = tuningPath[0] = programPath[0] = patternPath[0] = 0;
    samplePath[0] = banksFolder[0] = wavesFolder[0] = scalaScalePath[0] = 0;
    std::snprintf(rootFolder, kPathCapacity, "%s", host.defaultRootFolder().c_str());
}

CPluginFile::~CPluginFile() = default;

void CPluginFile::init() {
    if (initialised) return;
    initialised = true;
    loadFolders();
}

void CPluginFile::loadFolders() {
    std::string root = host.configuredRootFolder();
    if (root.empty()) root = host.defaultRootFolder();
    std::snprintf(rootFolder, kPathCapacity, "%s", root.c_str());
    const char s = host.pathSeparator();
    buildPath(envelopePath, rootFolder, "QuellorData/Envelopes/untitled.qxlenv", s);
    buildPath(wavePath, rootFolder, "QuellorData/Waves/untitled.qxlwav", s);
    buildPath(tuningPath, rootFolder, "Microtuning/standard.TUN", s);
    buildPath(programPath, rootFolder, "QuellorData/Banks/untitled.qxlprg", s);
    buildPath(patternPath, rootFolder, "QuellorData/Patterns/untitled.qxlseq", s);
    buildPath(banksFolder, rootFolder, "QuellorData/Banks/", s);
    buildPath(wavesFolder, rootFolder, "QuellorData/Waves/", s);
    samplePath[0] = 0;
}

int32_t CPluginFile::qualitySetting() {
    const std::string text = trimmed(host.configuredQuality());
    return text == std::to_string(kHighQuality) ? kHighQuality : kPlainQuality;
}

bool CPluginFile::storeQualitySetting(int32_t quality) {
    return host.storeQuality(
        std::to_string(quality == kHighQuality ? kHighQuality : kPlainQuality));
}

bool CPluginFile::programChangeSetting() {
    std::string text = trimmed(host.configuredProgramChange());
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : kOffWords)
        if (text == word) return false;
    return true;
}

void CPluginFile::showError(const char* text) {
    host.showError(kCaption, text);
}

bool CPluginFile::askYesNo(const char* text) {
    return host.askYesNo(kCaption, text);
}

double CPluginFile::random() {
    randomState = randomState * kRandomMultiplier + kRandomIncrement;
    return double(randomState) / 4294967295.0;
}

char CPluginFile::pathSeparator() const {
    return host.pathSeparator();
}

char CPluginFile::decimalSeparator() {
    return host.decimalSeparator();
}
