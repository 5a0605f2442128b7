// MIDI program change through the entry point: program n of the current bank
// plays, as the program menu would choose it; numbers past the bank's end and
// a switched-off setting change nothing.
#include "host/HostRender.h"
#include "host/ProgramChunk.h"
#include "host/VstTestHost.h"
#include "patch/CProgram.h"
#include "support/ScopedEnv.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr VstInt32 kBlock = 256;
const char* const kProgramNames[] = {"A First", "B Second", "C Third"};

class ProgramChange : public testing::Test {
protected:
    void SetUp() override {
        // The test host's data root (VstTestHost): one bank of three programs.
        bank = fs::path(testing::TempDir()) / "quellor-host-root/QuellorData/Banks/Program Change";
        fs::create_directories(bank);
        for (const char* name : kProgramNames) {
            CProgram program;
            makeSineVoice(program, 0.5);
            std::snprintf(program.name, sizeof program.name, "%s", name);
            const std::vector<uint8_t> bytes = programChunk(program);
            ASSERT_FALSE(bytes.empty());
            std::ofstream out(bank / (std::string(name) + ".qxlprg"), std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
    }
    void TearDown() override {
        host.close();
        std::error_code ignored;
        fs::remove_all(bank, ignored);
    }

    void open() {
        ASSERT_NE(host.open(), nullptr);
        host.start(44100.0f, kBlock);
    }
    std::string programName() {
        char name[kVstProgramNameCapacity] = {};
        host.dispatch(effGetProgramName, 0, 0, name);
        return name;
    }
    void send(uint8_t status, uint8_t data1) {
        EventList events;
        events.addMidi(status, data1, 0, 0);
        host.dispatch(effProcessEvents, 0, 0, events.record());
    }
    // Plays blocks at about real time until the program is called name, or
    // for at most `limit`; answers the name it has then.
    std::string playUntil(const std::string& name, std::chrono::milliseconds limit) {
        std::vector<float> left(kBlock), right(kBlock);
        float* out[2] = {left.data(), right.data()};
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end && programName() != name) {
            host.effect()->processReplacing(host.effect(), nullptr, out, kBlock);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return programName();
    }

    fs::path bank;
    VstTestHost host;
};

constexpr std::chrono::milliseconds kLoadLimit{5000};
// How long a change that must not happen is given to happen anyway.
constexpr std::chrono::milliseconds kIgnoredWait{150};

} // namespace

TEST_F(ProgramChange, SelectsTheProgramOfTheCurrentBankOnAnyChannel) {
    open();
    ASSERT_EQ(programName(), kProgramNames[0]); // the bank's first program plays at start
    send(0xc2, 2);
    EXPECT_EQ(playUntil(kProgramNames[2], kLoadLimit), kProgramNames[2]);
    send(0xcf, 1);
    EXPECT_EQ(playUntil(kProgramNames[1], kLoadLimit), kProgramNames[1]);
}

TEST_F(ProgramChange, NumbersPastTheBanksEndAreIgnored) {
    open();
    send(0xc0, 3);
    send(0xc0, 127);
    EXPECT_EQ(playUntil("never", kIgnoredWait), kProgramNames[0]);
    // Nothing of the ignored ones lingers to spoil the next change.
    send(0xc0, 1);
    EXPECT_EQ(playUntil(kProgramNames[1], kLoadLimit), kProgramNames[1]);
}

TEST_F(ProgramChange, TheSettingSwitchesItOff) {
    ScopedEnv off("QUELLOR_PROGRAM_CHANGE", "off");
    open();
    send(0xc0, 2);
    EXPECT_EQ(playUntil("never", kIgnoredWait), kProgramNames[0]);
}

TEST_F(ProgramChange, AChangeWhileNotesSoundFadesOutInsteadOfCutting) {
    // The blocks come at about real time, as from a host's audio thread, so
    // the load can fade the output out before it exchanges the program.
    open();
    EventList chord;
    chord.addMidi(0x90, 57, 127, 0);
    chord.addMidi(0x90, 64, 127, 0);
    host.dispatch(effProcessEvents, 0, 0, chord.record());
    std::vector<float> heard, left(kBlock), right(kBlock);
    float* out[2] = {left.data(), right.data()};
    auto play = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) {
            host.effect()->processReplacing(host.effect(), nullptr, out, kBlock);
            heard.insert(heard.end(), left.begin(), left.end());
            std::this_thread::sleep_for(std::chrono::microseconds(kBlock * 1000000 / 44100));
        }
    };
    play(40);
    send(0xc0, 1);
    const auto end = std::chrono::steady_clock::now() + kLoadLimit;
    while (programName() != kProgramNames[1] && std::chrono::steady_clock::now() < end)
        play(1);
    play(20);
    ASSERT_EQ(programName(), kProgramNames[1]);
    EXPECT_GT(peak(StereoSignal{heard, heard}, 0, 40 * kBlock), 0.03f);
    EXPECT_LE(worstStepRatio(heard, 4410, int64_t(heard.size()), kClickStepFloor, 44),
              kClickStepRatio);
}
