// The editor's commands through the open window: menus chosen, file controls
// clicked and files dropped, with the scripted platform answering every
// dialog and recording every message.
#include "base/ValueIds.h"
#include "editor/CEditorCommands.h"
#include "editor/CFileCommands.h"
#include "editor/CMenuCtrl.h"
#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CFrame.h"
#include "gui/CHeadlessWindow.h"
#include "gui/COptionMenu.h"
#include "patch/CFileReplacer.h"
#include "patch/CPluginFile.h"
#include "patch/CProgram.h"
#include "patch/PatchFiles.h"
#include "support/ScriptedPlatform.h"
#include "support/SndfileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace qgui;
namespace fs = std::filesystem;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Where the menus sit in the window.
const CPoint kSpectrumMenu{489, 53}, kTargetMenu{155, 220}, kControllerMenu{242, 220},
    kRoutingMenu{487, 220}, kPatternMenuA{99, 503}, kPatternMenuB{571, 503};

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// One cycle of sin + 0.5 sin(3x) in `frames` frames, through libsndfile.
bool writeCycle(const fs::path& p, int format, int frames) {
    std::vector<float> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / frames;
        samples[size_t(i)] = float(0.6 * (std::sin(kTwoPi * t) + 0.5 * std::sin(3 * kTwoPi * t)));
    }
    return writeSndfile(p.string(), format, 1, 44100, samples);
}

std::vector<std::string> entries(COptionMenu* m) {
    std::vector<std::string> all;
    for (int i = 0; i < m->getNbEntries(); ++i)
        all.emplace_back(m->getEntryText(i));
    return all;
}

// A file limit for this process, lifted again when it goes; writing past it
// fails with "File too large" (the signal that would end the process ignored).
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};

struct EditorCommands : ::testing::Test {
    fs::path root, bank;
    ScriptedPlatform platform;
    std::unique_ptr<CPluginFile> settings;
    std::unique_ptr<CSoundRenderer> renderer;
    CEditorCommands commands;
    std::unique_ptr<CPluginEditor> editor;

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("quellor-commands-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        bank = root / "QuellorData/Banks/Keys";
        fs::create_directories(bank);
        fs::create_directories(root / "QuellorData/Patterns");
        platform.rootFolder = root.string();
        {
            CPluginFile writer(platform);
            CProgram alpha;
            ASSERT_TRUE(saveProgramFile(alpha, (bank / "Alpha.qxlprg").c_str(), writer));
        }
        settings = std::make_unique<CPluginFile>(platform);
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), nullptr);
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get(), &commands);
        ASSERT_TRUE(open());
    }
    void TearDown() override {
        editor.reset();
        fs::remove_all(root);
    }

    bool open() {
        static int parent;
        return editor->openWith(&parent, std::make_unique<CHeadlessWindow>(), 1);
    }
    CProgram& program() { return renderer->program(); }
    // The whole program as the host would store it.
    std::string chunk() {
        void* data = nullptr;
        const int32_t n = renderer->getChunk(&data);
        return std::string(static_cast<const char*>(data), size_t(n));
    }
    COptionMenu* menuAt(CPoint at) {
        CFrame* f = editor->getFrame();
        for (int i = 0; i < f->getNbViews(); ++i) {
            auto* m = dynamic_cast<COptionMenu*>(f->getView(i));
            if (m && m->getViewSize().left == at.h && m->getViewSize().top == at.v) return m;
        }
        ADD_FAILURE() << "no menu at " << at.h << ", " << at.v;
        return nullptr;
    }
    // A click on the menu's entry, as the pop-up list does it.
    void choose(CPoint at, int index) {
        menuAt(at)->chooseEntry(index);
        editor->idle();
    }
    // A click on a file control of the window.
    void click(long tag) { editor->setTagValue(tag, 1.0); }
    void drop(const fs::path& p, int x, int y) {
        commands.fileDropped(*editor, p.c_str(), CPoint(x, y));
    }
    void answer(const fs::path& p) { platform.fileChoices.push_back(p.string()); }
    // One block: the audio side takes what the window handed over at its start.
    void renderBlock() {
        float left[64], right[64];
        float* out[2] = {left, right};
        renderer->processBlock(out, 64, true);
    }
    void setStep(int n, int k, double v) {
        renderer->setParameter(
            kSequencer1FirstId + kSequencerIdStride * n + kSequencerStepsOffset + k, v);
    }
    void setLength(int n, int steps) {
        renderer->setParameter(kSequencer1FirstId + kSequencerIdStride * n + 1, (steps - 1) / 31.0);
    }
    std::vector<double> steps(int n) {
        const SequencerPatch& s = program().sequencers[n];
        return std::vector<double>(s.steps, s.steps + kSequencerStepCount);
    }
    bool loadSampleFile(int slot, const fs::path& p) {
        renderer->loadSample(slot, p.c_str());
        return renderer->slotHasSample(slot);
    }
    // Files in a folder, by name.
    static std::vector<std::string> listing(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

bool sameCurve(const CEnvelope& a, const CEnvelope& b) {
    if (a.pointCount != b.pointCount) return false;
    for (int i = 0; i < a.pointCount; ++i)
        if (a.points[i].level != b.points[i].level || a.points[i].delta != b.points[i].delta ||
            a.points[i].curve != b.points[i].curve)
            return false;
    return true;
}

} // namespace

TEST_F(EditorCommands, MenusListTheirEntriesAndTheEnvelopeMenusShowTheSelectedEnvelope) {
    using V = std::vector<std::string>;
    EXPECT_EQ(entries(menuAt(kPatternMenuA)),
              (V{"Load Pattern", "Save Pattern", "-", "Clear Pattern", "-", "Shift Left",
                 "Shift Right", "Reverse"}));
    EXPECT_EQ(entries(menuAt(kPatternMenuB)), entries(menuAt(kPatternMenuA)));
    EXPECT_EQ(entries(menuAt(kRoutingMenu)),
              (V{"Add Envelope", "Delete Envelope", "-", "Move Up", "Move Down", "-", "Copy View",
                 "Paste View", "Reset View", "-", "Clone Envelope", "-", "Load Envelope",
                 "Save Envelope"}));
    EXPECT_EQ(entries(menuAt(kTargetMenu)),
              (V{"Amplitude", "Amplitude (MULT)", "Mix Level", "Mix Level (MULT)", "Panning",
                 "Pitch", "Frequency", "Phase", "Cutoff", "Resonance"}));
    EXPECT_EQ(
        entries(menuAt(kControllerMenu)),
        (V{"<no ctrl>", "Modulation Wheel", "Pitch Bend", "Aftertouch (poly)", "Aftertouch (mono)",
           "Breath Ctrl", "Foot Ctrl", "Expression", "CC16", "CC17", "CC18", "CC19"}));
    EXPECT_EQ(entries(menuAt(kSpectrumMenu)),
              (V{"Copy Spectrum", "Paste Spectrum", "Reset Spectrum", "-", "Import Spectrum",
                 "Export Spectrum"}));

    // Controller: entry c + 1 is source c, "<no ctrl>" stores 11 and shows again after reopening.
    choose(kControllerMenu, 3);
    EXPECT_EQ(program().currentEnvelope().controller, 2);
    choose(kControllerMenu, 0);
    EXPECT_EQ(program().currentEnvelope().controller, kNoController);
    choose(kTargetMenu, 5);
    EXPECT_EQ(program().currentEnvelope().targetKind, kTargetPitch);
    program().currentEnvelope().controller = 6;
    editor->close();
    ASSERT_TRUE(open());
    EXPECT_EQ(menuAt(kControllerMenu)->getCurrent(), 7);
    EXPECT_EQ(menuAt(kTargetMenu)->getCurrent(), 5);
    program().currentEnvelope().controller = kNoController;
    editor->close();
    ASSERT_TRUE(open());
    EXPECT_EQ(menuAt(kControllerMenu)->getCurrent(), 0);

    // A new envelope is shown at once: its target and controller.
    choose(kRoutingMenu, 0);
    EXPECT_EQ(program().selectedEnvelope, 1);
    EXPECT_EQ(menuAt(kTargetMenu)->getCurrent(), 0);
    EXPECT_EQ(menuAt(kControllerMenu)->getCurrent(), 0);
}

TEST_F(EditorCommands, TargetChoiceClampsTheDepthsToTheNewKind) {
    CEnvelope& e = program().currentEnvelope();
    e.targetKind = kTargetPitch;
    e.setDepth(0, 50.0);
    e.setDepth(kEnvelopeSampleDestination, -80.0);
    choose(kTargetMenu, kTargetAmplitude);
    EXPECT_EQ(e.targetKind, kTargetAmplitude);
    EXPECT_EQ(e.depths[0], 1.0);
    EXPECT_EQ(e.depths[kEnvelopeSampleDestination], -10.0);
}

TEST_F(EditorCommands,
       DialogsOpenWithTheirTitleFilterModeAndRememberedPathAndCancelChangesNothing) {
    const std::string data = root.string() + "/QuellorData/";
    struct Case {
        std::function<void()> start;
        const char *title, *description, *pattern;
        bool forOpening;
        std::string initialPath;
    };
    const Case cases[] = {
        {[&] { click(454); }, "Load Program", "Program", "*.qxlprg", true,
         (bank / "Alpha.qxlprg").string()}, // the program loaded at start is remembered
        {[&] { click(455); }, "Save Program", "Program", "*.qxlprg", false,
         (bank / "Alpha.qxlprg").string()},
        {[&] { choose(kPatternMenuA, 0); }, "Load Sequencer Pattern", "Sequencer Pattern",
         "*.qxlseq", true, data + "Patterns/untitled.qxlseq"},
        {[&] { choose(kPatternMenuB, 1); }, "Save Sequencer Pattern", "Sequencer Pattern",
         "*.qxlseq", false, data + "Patterns/untitled.qxlseq"},
        {[&] { choose(kRoutingMenu, 12); }, "Load Envelope", "Envelope", "*.qxlenv", true,
         data + "Envelopes/untitled.qxlenv"},
        {[&] { choose(kRoutingMenu, 13); }, "Save Envelope", "Envelope", "*.qxlenv", false,
         data + "Envelopes/untitled.qxlenv"},
        {[&] { choose(kSpectrumMenu, 4); }, "Import Wave", "Microsoft Wave, AIFF, Quellor waves",
         "*.qxlwav;*.wav;*.aif;*.aiff", true, data + "Waves/untitled.qxlwav"},
        {[&] { choose(kSpectrumMenu, 5); }, "Export Wave", "Quellor waves", "*.qxlwav", false,
         data + "Waves/untitled.qxlwav"},
        {[&] { click(460); }, "Load Microtuning", "Microtuning (TUN, Scala)", "*.tun;*.scl;*.kbm",
         true, root.string() + "/Microtuning/standard.TUN"},
        {[&] { click(333); }, "Load Sample", "WAV, AIFF Audio Files", "*.wav;*.aif;*.aiff", true,
         ""},
    };
    const std::string before = chunk();
    for (const Case& c : cases) {
        platform.dialogs.clear();
        c.start();
        ASSERT_EQ(platform.dialogs.size(), 1u) << c.title;
        const ScriptedPlatform::Dialog& d = platform.dialogs[0];
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.description, c.description) << c.title;
        EXPECT_EQ(d.pattern, c.pattern) << c.title;
        EXPECT_EQ(d.forOpening, c.forOpening) << c.title;
        EXPECT_EQ(d.initialPath, c.initialPath) << c.title;
    }
    EXPECT_TRUE(platform.errors.empty());
    EXPECT_EQ(chunk(), before);
    EXPECT_EQ(listing(root / "QuellorData/Patterns"), std::vector<std::string>{});

    // Loading and saving share their kind's path: the chosen one is offered next time.
    answer(root / "QuellorData/Patterns/Arp.qxlseq");
    choose(kPatternMenuA, 1);
    EXPECT_TRUE(fs::exists(root / "QuellorData/Patterns/Arp.qxlseq"));
    platform.dialogs.clear();
    choose(kPatternMenuB, 0);
    ASSERT_EQ(platform.dialogs.size(), 1u);
    EXPECT_EQ(platform.dialogs[0].initialPath, (root / "QuellorData/Patterns/Arp.qxlseq").string());

    // The window's own commands, when the plug-in passes none: the same dialogs.
    editor.reset();
    editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
    ASSERT_TRUE(open());
    platform.dialogs.clear();
    click(455);
    ASSERT_EQ(platform.dialogs.size(), 1u);
    EXPECT_EQ(platform.dialogs[0].title, "Save Program");
}

TEST_F(EditorCommands, PatternShiftsAndReverseRestoreAndTouchOnlyTheFirstLengthSteps) {
    setLength(1, 5);
    for (int k = 0; k < kSequencerStepCount; ++k)
        setStep(1, k, 0.3 + 0.02 * k);
    const std::vector<double> start = steps(1);

    choose(kPatternMenuB, 5); // Shift Left: step k takes step k + 1, round the first five
    std::vector<double> left = steps(1);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(left[size_t(k)], start[size_t((k + 1) % 5)]) << k;
    EXPECT_TRUE(std::equal(left.begin() + 5, left.end(), start.begin() + 5));
    // The running sequencer took the shifted pattern.
    renderBlock();
    for (int k = 0; k < kSequencerStepCount; ++k)
        EXPECT_EQ(renderer->sequencer(1).step(k), sequencerStepValue(left[size_t(k)])) << k;
    choose(kPatternMenuB, 6); // Shift Right
    EXPECT_EQ(steps(1), start);

    choose(kPatternMenuB, 7);
    std::vector<double> reversed = steps(1);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(reversed[size_t(k)], start[size_t(4 - k)]);
    EXPECT_TRUE(std::equal(reversed.begin() + 5, reversed.end(), start.begin() + 5));
    choose(kPatternMenuB, 7);
    EXPECT_EQ(steps(1), start);
    EXPECT_EQ(steps(0), std::vector<double>(kSequencerStepCount, 0.0)); // the other one untouched

    // Clear: everything but the running switch.
    renderer->setParameter(kSequencer2FirstId, 1.0);
    renderer->setParameter(kSequencer2FirstId + 5, 0.8);
    choose(kPatternMenuB, 3);
    const SequencerPatch& s = program().sequencers[1];
    EXPECT_EQ(s.running, 1.0);
    EXPECT_EQ(s.length, 0.0);
    EXPECT_EQ(s.transpose, 0.5);
    EXPECT_EQ(steps(1), std::vector<double>(kSequencerStepCount, 0.0));
    renderBlock();
    EXPECT_EQ(renderer->sequencer(1).length(), 1);
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(EditorCommands, EnvelopeListCommands) {
    CProgram& p = program();
    // Add, clone, move, delete.
    p.currentEnvelope().targetKind = kTargetPanning;
    choose(kRoutingMenu, 0);
    EXPECT_EQ(p.envelopeCount, 2);
    EXPECT_EQ(p.selectedEnvelope, 1);
    p.currentEnvelope().targetKind = kTargetCutoff;
    choose(kRoutingMenu, 10);
    EXPECT_EQ(p.envelopeCount, 3);
    EXPECT_EQ(p.envelopes[2].targetKind, kTargetCutoff);
    choose(kRoutingMenu, 3); // Move Up
    EXPECT_EQ(p.selectedEnvelope, 1);
    choose(kRoutingMenu, 3);
    EXPECT_EQ(p.selectedEnvelope, 0);
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetPanning);
    EXPECT_EQ(menuAt(kTargetMenu)->getCurrent(), kTargetCutoff);
    choose(kRoutingMenu, 4); // Move Down
    EXPECT_EQ(p.selectedEnvelope, 1);
    choose(kRoutingMenu, 1);
    EXPECT_EQ(p.envelopeCount, 2);
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetCutoff);

    // Copy View from KBD, Paste View into VEL: the key curve lands on the velocity curve.
    p.selectedEnvelope = 0;
    p.keyCurves[0].setLevel(0, 0.25);
    p.keyCurves[0].recompute();
    p.envelopeView = kViewKeyCurve;
    choose(kRoutingMenu, 6);
    p.envelopeView = kViewVelocityCurve;
    choose(kRoutingMenu, 7);
    EXPECT_TRUE(sameCurve(p.velocityCurves[0], p.keyCurves[0]));
    EXPECT_EQ(p.velocityCurves[0].points[0].level, 0.25);

    // Paste into ENV: the points come, the envelope's own target and depths 0..9 stay.
    p.envelopeView = kViewEnvelope;
    p.envelopes[0].setLevel(1, 0.4);
    p.envelopes[0].setDepth(2, 0.7);
    p.envelopes[0].recompute();
    choose(kRoutingMenu, 6);
    p.selectedEnvelope = 1;
    p.envelopes[1].setDepth(kEnvelopeFilterDestination, 0.3);
    choose(kRoutingMenu, 7);
    EXPECT_TRUE(sameCurve(p.envelopes[1], p.envelopes[0]));
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetCutoff);
    EXPECT_EQ(p.envelopes[1].depths[2], 0.0);
    EXPECT_EQ(p.envelopes[1].depths[kEnvelopeFilterDestination], 0.3);

    // Reset View: the default curve, the routing kept.
    choose(kRoutingMenu, 8);
    EXPECT_EQ(p.envelopes[1].pointCount, 3);
    EXPECT_EQ(p.envelopes[1].points[1].level, 1.0);
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetCutoff);
    EXPECT_EQ(p.envelopes[1].depths[kEnvelopeFilterDestination], 0.3);
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(EditorCommands, SideFilesSaveAndLoadThroughTheirMenus) {
    CProgram& p = program();
    // A pattern saved from A loads into B, which then plays it.
    setLength(0, 7);
    setStep(0, 2, 0.9);
    answer(root / "p.qxlseq");
    choose(kPatternMenuA, 1);
    answer(root / "p.qxlseq");
    choose(kPatternMenuB, 0);
    EXPECT_EQ(p.sequencers[1].steps[2], 0.9);
    renderBlock();
    EXPECT_EQ(renderer->sequencer(1).length(), 7);

    // An envelope saved and loaded back into another keeps that one's routing.
    p.envelopes[0].setLevel(1, 0.3);
    p.envelopes[0].recompute();
    answer(root / "e.qxlenv");
    choose(kRoutingMenu, 13);
    choose(kRoutingMenu, 0);
    p.currentEnvelope().targetKind = kTargetPhase;
    answer(root / "e.qxlenv");
    choose(kRoutingMenu, 12);
    EXPECT_TRUE(sameCurve(p.envelopes[1], p.envelopes[0]));
    EXPECT_EQ(p.envelopes[1].targetKind, kTargetPhase);

    // Spectrum: copy, paste onto another operator, reset, export and import back.
    p.selectedOperator = 0;
    p.operators[0].harmonicAmplitudes[4] = 0.6;
    choose(kSpectrumMenu, 0);
    p.selectedOperator = 3;
    choose(kSpectrumMenu, 1);
    EXPECT_EQ(p.operators[3].harmonicAmplitudes[4], 0.6);
    const float pasted = renderer->waves().evaluate(3, 0.1);
    answer(root / "w.qxlwav");
    choose(kSpectrumMenu, 5);
    choose(kSpectrumMenu, 2);
    EXPECT_EQ(p.operators[3].harmonicAmplitudes[4], 0.0);
    EXPECT_EQ(p.operators[3].harmonicAmplitudes[0], 1.0);
    EXPECT_NE(renderer->waves().evaluate(3, 0.1), pasted); // the wave was rebuilt
    answer(root / "w.qxlwav");
    choose(kSpectrumMenu, 4);
    EXPECT_EQ(p.operators[3].harmonicAmplitudes[4], 0.6);
    EXPECT_EQ(renderer->waves().evaluate(3, 0.1), pasted);
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(EditorCommands, ImportSpectrumReadsWavThenAiffThenASavedWave) {
    CProgram& p = program();
    struct Case {
        const char* name;
        int format;
    };
    const Case cases[] = {{"cycle.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                          {"cycle.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                          {"cycle.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24}};
    int op = 1;
    for (const Case& c : cases) {
        ASSERT_TRUE(writeCycle(root / c.name, c.format, 1024)) << c.name;
        p.selectedOperator = op;
        const float before = renderer->waves().evaluate(op, 0.25);
        answer(root / c.name);
        choose(kSpectrumMenu, 4);
        const double* a = p.operators[op].harmonicAmplitudes;
        EXPECT_DOUBLE_EQ(a[0], 1.0) << c.name;
        EXPECT_NEAR(a[2], 0.5, 0.02) << c.name;
        EXPECT_LT(a[1], 0.01) << c.name;
        EXPECT_NE(renderer->waves().evaluate(op, 0.25), before) << c.name;
        ++op;
    }
    // A file that is none of the three: the message, and the spectrum as it was.
    writeText(root / "noise.wav", "RIFF and nothing of a wave");
    const std::string before = chunk();
    answer(root / "noise.wav");
    choose(kSpectrumMenu, 4);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "The format of the file is unknown or file is corrupted");
    EXPECT_EQ(platform.captions[0], "Quellor");
    EXPECT_EQ(chunk(), before);
}

TEST_F(EditorCommands, EveryMessageInItsSituation) {
    const std::string before = chunk();
    // A file that is not what the dialog asked for.
    writeText(root / "junk.qxlseq", "not a pattern at all");
    writeText(root / "junk.qxlenv", "not an envelope");
    answer(root / "junk.qxlseq");
    choose(kPatternMenuA, 0);
    answer(root / "junk.qxlenv");
    choose(kRoutingMenu, 12);
    // A file that cannot be opened: the stream's own text.
    answer(root / "missing.qxlseq");
    choose(kPatternMenuA, 0);
    // A tuning file the reader refuses: its reason in a box titled "File Error".
    writeText(root / "bad.tun", "[Tuning]\nnote 60 6050\n");
    answer(root / "bad.tun");
    click(460);
    // A program file that is no program.
    answer(root / "junk.qxlseq");
    click(454);
    const std::vector<std::string> texts = {
        "The format of the file is unknown or file is corrupted",
        "The format of the file is unknown or file is corrupted", "Failed to open the file",
        "Syntax error: '=' missing! (line 2)",
        "The format of the file is unknown or file is corrupted"};
    EXPECT_EQ(platform.errors, texts);
    EXPECT_EQ(platform.captions,
              (std::vector<std::string>{"Quellor", "Quellor", "Quellor", "File Error", "Quellor"}));
    EXPECT_EQ(chunk(), before);

    // A sample that cannot be copied beside the saved program.
    ASSERT_TRUE(writeCycle(root / "kick.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 500));
    ASSERT_TRUE(loadSampleFile(0, root / "kick.wav"));
    fs::remove(root / "kick.wav");
    platform.errors.clear();
    answer(bank / "Drums.qxlprg");
    click(455);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0].rfind("Failed to save sample\n" + (root / "kick.wav").string(), 0),
              0u)
        << platform.errors[0];
    EXPECT_FALSE(fs::exists(bank / "Drums.qxlprg"));

    // The one question, before a slot is emptied; No keeps the sample.
    platform.yesNoAnswers = {false, true};
    click(338);
    EXPECT_EQ(platform.questions, std::vector<std::string>{"Clear Sample?"});
    EXPECT_TRUE(renderer->slotHasSample(0));
    click(338);
    EXPECT_FALSE(renderer->slotHasSample(0));
    EXPECT_EQ(program().sampleSlots[0].samplePath[0], '\0');
    click(338); // an empty slot asks nothing
    EXPECT_EQ(platform.questions.size(), 2u);
    // "Not enough of free memory to finish the operation" needs an allocation
    // that fails: nothing a test can bring about here without breaking the sanitizers.
}

TEST_F(EditorCommands, CommandsThatAskActOnlyOnceTheAnswerComes) {
    platform.answerLater = true;
    const fs::path pattern = root / "QuellorData/Patterns/Steps.qxlseq";
    setStep(0, 3, 0.75);
    ASSERT_TRUE(savePatternFile(program(), 0, pattern.c_str(), *settings));
    setStep(0, 3, 0.0);
    answer(pattern);
    choose(kPatternMenuA, 0); // Load Pattern
    EXPECT_TRUE(editor->isDialogOpen());
    EXPECT_EQ(steps(0)[3], 0.0);
    platform.answerHeldDialogs();
    editor->idle();
    EXPECT_FALSE(editor->isDialogOpen());
    EXPECT_EQ(steps(0)[3], 0.75);

    // The question before a slot is emptied.
    ASSERT_TRUE(writeCycle(root / "kick.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 500));
    ASSERT_TRUE(loadSampleFile(0, root / "kick.wav"));
    platform.yesNoAnswers = {true};
    click(338);
    EXPECT_TRUE(editor->isDialogOpen());
    EXPECT_TRUE(renderer->slotHasSample(0));
    platform.answerHeldDialogs();
    editor->idle();
    EXPECT_FALSE(renderer->slotHasSample(0));
    EXPECT_EQ(platform.questions, std::vector<std::string>{"Clear Sample?"});

    // Cancelled later is cancelled all the same: nothing changes, nothing is said.
    const std::string before = chunk();
    click(454);
    EXPECT_TRUE(editor->isDialogOpen());
    platform.answerHeldDialogs();
    editor->idle();
    EXPECT_FALSE(editor->isDialogOpen());
    EXPECT_EQ(chunk(), before);
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(EditorCommands, ProgramLoadSaveAndTheSampleCopyRules) {
    const fs::path source = root / "Samples";
    fs::create_directories(source);
    ASSERT_TRUE(writeCycle(source / "kick.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3000));
    ASSERT_TRUE(writeCycle(source / "snare.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2000));
    ASSERT_TRUE(loadSampleFile(0, source / "kick.wav"));
    ASSERT_TRUE(loadSampleFile(5, source / "snare.wav"));
    // The user's own file of the sample's name, already beside the program.
    writeText(bank / "snare.wav", "mine");
    renderer->setParameter(kMasterLevelId, 0.77);

    answer(bank / "Drums.qxlprg");
    click(455);
    EXPECT_TRUE(platform.errors.empty()) << platform.errors[0];
    EXPECT_EQ(readAll(bank / "kick.wav"), readAll(source / "kick.wav"));
    EXPECT_EQ(std::string(program().sampleSlots[0].samplePath), (bank / "kick.wav").string());
    EXPECT_EQ(readAll(bank / "snare.wav"), "mine");
    EXPECT_EQ(std::string(program().sampleSlots[5].samplePath), (source / "snare.wav").string());
    EXPECT_STREQ(program().name, "Drums");
    EXPECT_EQ(entries(editor->programMenu()), (std::vector<std::string>{"Alpha", "Drums"}));
    EXPECT_EQ(editor->programMenu()->getCurrent(), 1);
    EXPECT_EQ(listing(bank),
              (std::vector<std::string>{"Alpha.qxlprg", "Drums.qxlprg", "kick.wav", "snare.wav"}));

    // A path without a folder fails the first slot, and nothing is written.
    platform.fileChoices.push_back("Drums2.qxlprg");
    click(455);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to save sample\n" + (bank / "kick.wav").string());
    EXPECT_FALSE(fs::exists("Drums2.qxlprg"));

    // Load Program: the file's values, its name, its folder as the bank.
    answer(bank / "Alpha.qxlprg");
    click(454);
    EXPECT_NE(renderer->getParameter(kMasterLevelId), 0.77);
    EXPECT_STREQ(program().name, "Alpha");
    EXPECT_STREQ(program().bankName, "Keys");
    answer(bank / "Drums.qxlprg");
    click(454);
    EXPECT_DOUBLE_EQ(renderer->getParameter(kMasterLevelId), 0.77);
    EXPECT_TRUE(renderer->slotHasSample(0));
}

TEST_F(EditorCommands, NamesWithNonAsciiBytesSaveAndLoad) {
    const fs::path folder = root / "QuellorData/Banks/Klänge";
    fs::create_directories(folder);
    renderer->setParameter(kMasterLevelId, 0.61);
    answer(folder / "Süße Fläche.qxlprg");
    click(455);
    ASSERT_TRUE(fs::exists(folder / "Süße Fläche.qxlprg"));
    EXPECT_STREQ(program().name, "Süße Fläche");
    renderer->setParameter(kMasterLevelId, 0.1);
    answer(folder / "Süße Fläche.qxlprg");
    click(454);
    EXPECT_DOUBLE_EQ(renderer->getParameter(kMasterLevelId), 0.61);
    EXPECT_STREQ(program().bankName, "Klänge");
    answer(folder / "Töne.qxlseq");
    choose(kPatternMenuA, 1);
    EXPECT_TRUE(fs::exists(folder / "Töne.qxlseq"));
    EXPECT_TRUE(platform.errors.empty());
}

TEST_F(EditorCommands, FailedSavesLeaveNoHalfWrittenFile) {
    // A folder that cannot hold files (a path through a regular file).
    writeText(root / "plain", "x");
    answer(root / "plain/Lead.qxlprg");
    click(455);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to open the file\n" +
                                      (root / "plain/Lead.qxlprg").string() + "\nNot a directory");

    // A folder without write permission: root writes anywhere, so only others see this case.
    const fs::path locked = root / "locked";
    fs::create_directories(locked);
    if (geteuid() != 0) {
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        answer(locked / "Lead.qxlprg");
        click(455);
        EXPECT_EQ(platform.errors.back(), "Failed to open the file\n" +
                                              (locked / "Lead.qxlprg").string() +
                                              "\nPermission denied");
        EXPECT_TRUE(fs::is_empty(locked));
        fs::permissions(locked, fs::perms::owner_all);
    } else {
        std::cout << "[ skipped  ] a folder without write permission: tests run as root, "
                     "who may write anywhere\n";
    }

    // A path longer than the dialogs' 260 characters: said so, nothing cut short written.
    const fs::path deep = root / std::string(120, 'd') / std::string(120, 'e');
    fs::create_directories(deep);
    const fs::path longPath = deep / (std::string(60, 'f') + ".qxlprg");
    ASSERT_GE(longPath.string().size(), 260u);
    platform.errors.clear();
    answer(longPath);
    click(455);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0].rfind("The path is longer than", 0), 0u);
    EXPECT_NE(platform.errors[0].find(longPath.string()), std::string::npos);
    EXPECT_TRUE(fs::is_empty(deep));
    drop(longPath, 100, 100);
    EXPECT_EQ(platform.errors.size(), 2u);

    // The disk fills while Save Program copies a sample: no copy, no program file.
    ASSERT_TRUE(writeCycle(root / "big.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100000));
    ASSERT_TRUE(loadSampleFile(2, root / "big.wav"));
    const fs::path out = root / "Out";
    fs::create_directories(out);
    writeText(out / "Pad.qxlprg", "the old program");
    platform.errors.clear();
    {
        FileSizeLimit limit(100000);
        answer(out / "Pad.qxlprg");
        click(455);
    }
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0].rfind("Failed to save sample\n" + (root / "big.wav").string() +
                                           "\nUnknown File Error\n" + (out / "big.wav").string(),
                                       0),
              0u)
        << platform.errors[0];
    EXPECT_EQ(listing(out), std::vector<std::string>{"Pad.qxlprg"});
    EXPECT_EQ(readAll(out / "Pad.qxlprg"), "the old program");
    EXPECT_EQ(std::string(program().sampleSlots[2].samplePath), (root / "big.wav").string());

    // ... and while it writes the program itself: the old file stays whole.
    renderer->clearSlot(2);
    platform.errors.clear();
    {
        FileSizeLimit limit(1000);
        answer(out / "Pad.qxlprg");
        click(455);
    }
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0],
              "Unknown File Error\n" + (out / "Pad.qxlprg").string() + "\nFile too large");
    EXPECT_EQ(listing(out), std::vector<std::string>{"Pad.qxlprg"});
    EXPECT_EQ(readAll(out / "Pad.qxlprg"), "the old program");
    // Without the limit the same save goes through.
    answer(out / "Pad.qxlprg");
    click(455);
    EXPECT_EQ(platform.errors.size(), 1u);
    EXPECT_NE(readAll(out / "Pad.qxlprg"), "the old program");
    EXPECT_EQ(listing(out), std::vector<std::string>{"Pad.qxlprg"});
}

TEST_F(EditorCommands, MicrotuningAndSamplesLoadThroughTheirFields) {
    writeText(root / "Quarter.tun", "; a test map\n[Tuning]\nnote 69 = 6950\n");
    answer(root / "Quarter.tun");
    click(460);
    EXPECT_NEAR(program().tuningRatios[69], std::pow(2.0, 50.0 / 1200.0), 1e-12);
    EXPECT_NEAR(program().tuningRatios[60], 1.0, 1e-12);
    EXPECT_STREQ(program().tuningName, "Quarter");

    ASSERT_TRUE(writeCycle(root / "tone.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 800));
    answer(root / "tone.aif");
    click(330 + 4);
    EXPECT_TRUE(renderer->slotHasSample(4));
    EXPECT_EQ(std::string(program().sampleSlots[4].samplePath), (root / "tone.aif").string());
    // A file that is no sample: the renderer's own message, the slot as it was.
    answer(root / "Quarter.tun");
    click(330 + 4);
    ASSERT_EQ(platform.errors.size(), 1u);
    EXPECT_EQ(platform.errors[0], "Failed to load the sample\n" + (root / "Quarter.tun").string());
    EXPECT_EQ(std::string(program().sampleSlots[4].samplePath), (root / "tone.aif").string());
}

TEST_F(EditorCommands, DroppedFilesLoadByKindAndPlace) {
    CProgram& p = program();
    // Files of each kind, made by the save commands and by libsndfile.
    {
        CProgram other;
        other.operators[0].harmonicAmplitudes[6] = 0.45;
        other.sequencers[0].steps[1] = 0.7;
        other.envelopes[0].setLevel(1, 0.2);
        other.envelopes[0].recompute();
        other.setValue(kMasterLevelId, 0.33);
        ASSERT_TRUE(exportWaveFile(other, (root / "w.qxlwav").c_str(), *settings));
        ASSERT_TRUE(savePatternFile(other, 0, (root / "p.QXLSEQ").c_str(), *settings));
        ASSERT_TRUE(saveEnvelopeFile(other, (root / "e.qxlenv").c_str(), *settings));
        ASSERT_TRUE(saveProgramFile(other, (root / "Dropped.QxlPrg").c_str(), *settings));
    }
    ASSERT_TRUE(writeCycle(root / "s.WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 600));
    writeText(root / "t.tun", "[Tuning]\nnote 60 = 6050\n");
    writeText(root / "notes.txt", "nothing of ours");
    ASSERT_TRUE(platform.errors.empty());

    // Ignored without a word: an unknown kind, a pattern off the strips, a
    // sample off the name fields or while the mix matrix shows.
    const std::string before = chunk();
    drop(root / "notes.txt", 100, 100);
    drop(root / "p.QXLSEQ", 100, 300);
    drop(root / "s.WAV", 30, 60);
    editor->setTagValue(CPluginEditor::kLayoutTag, 1.0);
    ASSERT_EQ(editor->getLayout(), 1);
    drop(root / "s.WAV", 300, 60);
    EXPECT_EQ(chunk(), before);
    for (int s = 0; s < kSampleSlotCount; ++s)
        EXPECT_FALSE(renderer->slotHasSample(s));

    drop(root / "s.WAV", 30, 53 + 14 * 3 + 5); // slot 3's name field
    EXPECT_TRUE(renderer->slotHasSample(3));
    drop(root / "p.QXLSEQ", 700, 540); // over sequencer B's steps
    EXPECT_EQ(p.sequencers[1].steps[1], 0.7);
    EXPECT_EQ(p.sequencers[0].steps[1], 0.0);
    p.selectedOperator = 5;
    drop(root / "w.qxlwav", 600, 100);
    EXPECT_EQ(p.operators[5].harmonicAmplitudes[6], 0.45);
    drop(root / "e.qxlenv", 600, 100);
    EXPECT_EQ(p.envelopes[0].points[1].level, 0.2);
    drop(root / "t.tun", 600, 100);
    EXPECT_STREQ(p.tuningName, "t");
    EXPECT_TRUE(platform.errors.empty());

    drop(root / "Dropped.QxlPrg", 600, 100);
    EXPECT_STREQ(p.name, "Dropped");
    EXPECT_DOUBLE_EQ(renderer->getParameter(kMasterLevelId), 0.33);
    EXPECT_TRUE(platform.errors.empty());
    EXPECT_TRUE(platform.dialogs.empty());
}
