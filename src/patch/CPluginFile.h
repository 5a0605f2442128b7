// The process-wide settings object, shared by every plug-in instance in the
// host process: the data folders under the root folder, the remembered path of
// the last file of each kind, the fine tune, the pattern sequencers' random
// generator and the message boxes through which the user sees every error.
#pragma once

#include <cstddef>
#include <cstdint>

class IPlatform;

class CPluginFile {
public:
    static constexpr size_t kPathCapacity = 512;
    static constexpr const char* kCaption = "Quellor";
    // The sound quality: voices at the host rate, or at twice the host rate.
    static constexpr int32_t kPlainQuality = 1;
    static constexpr int32_t kHighQuality = 2;

    // Main thread, when the library loads (or per test).
    explicit CPluginFile(IPlatform& platform);
    virtual ~CPluginFile();
    CPluginFile(const CPluginFile&) = delete;
    CPluginFile& operator=(const CPluginFile&) = delete;

    // Main thread, each time a plug-in instance is created. The first call
    // loads the folders; later calls change nothing. The process-wide locale
    // is left alone: display texts take the user's decimal separator through
    // decimalSeparator() instead.
    void init();
    // Finds the root folder (configured, else the system default) and builds
    // every data path below it.
    void loadFolders();

    // UI thread: a modal message box captioned "Quellor". Never called from the
    // audio thread.
    void showError(const char* text);
    bool askYesNo(const char* text);

    // The next value of the process-wide generator, 0..1 (state * 196314165 +
    // 907633515 modulo 2^32, divided by 4294967295). Audio thread safe: one
    // integer update, no allocation.
    double random();

    // Main or UI thread: the sound quality new instances start with, read
    // afresh each time (the user may have changed it since): kHighQuality
    // when the setting says "2", else kPlainQuality.
    int32_t qualitySetting();
    // UI thread: keeps the quality for instances to come; false when
    // it cannot be stored.
    bool storeQualitySetting(int32_t quality);
    // Main or UI thread: whether MIDI program changes switch programs in
    // instances to come. On unless the setting says "0", "off", "no" or
    // "false" (in any letter case).
    bool programChangeSetting();

    bool isInitialised() const { return initialised; }
    IPlatform& platform() { return host; }
    char pathSeparator() const;
    char decimalSeparator();

    // Remembered paths and folders; file dialogs read and write them in place.
    char envelopePath[kPathCapacity];
    char wavePath[kPathCapacity];
    char tuningPath[kPathCapacity];
    char programPath[kPathCapacity];
    char patternPath[kPathCapacity];
    char samplePath[kPathCapacity];
    // The last Scala scale read: a keyboard mapping chosen on its own lays it out.
    char scalaScalePath[kPathCapacity];
    char rootFolder[kPathCapacity];
    char banksFolder[kPathCapacity]; // ends with the path separator
    char wavesFolder[kPathCapacity]; // ends with the path separator
    // Process-wide fine tune, normalised 0..1 (0.5 = 0 cents, -99..99 cents).
    double fineTune = 0.5;

private:
    static constexpr uint32_t kRandomSeed = 22222;
    static constexpr uint32_t kRandomMultiplier = 196314165;
    static constexpr uint32_t kRandomIncrement = 907633515;

    IPlatform& host;
    bool initialised = false;
    uint32_t randomState = kRandomSeed;
};
