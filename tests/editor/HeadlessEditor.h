// What the editor tests share: the editor over a headless window, on a
// renderer whose data root is a folder of the test's own (named after the
// test, empty at the start, removed at the end).
#pragma once

#include "editor/CPluginEditor.h"
#include "engine/CSoundRenderer.h"
#include "gui/CHeadlessWindow.h"
#include "gui/CScale.h"
#include "patch/CPluginFile.h"
#include "support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

struct HeadlessEditor {
    // The empty data root, called prefix-<the test's name>, for the test to
    // fill before start.
    void makeRoot(const std::string& prefix) {
        root = std::filesystem::temp_directory_path() /
               (prefix + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        platform.rootFolder = root.string();
    }
    // The settings, the renderer (telling host, which may be null) and the
    // editor, over what the root holds now.
    void start(IRendererHost* host) {
        settings = std::make_unique<CPluginFile>(platform);
        settings->init();
        renderer = std::make_unique<CSoundRenderer>(settings.get(), host);
        editor = std::make_unique<CPluginEditor>(nullptr, renderer.get());
    }
    // Opens the editor on a new headless window at scale s, idled once.
    bool open(qgui::CScale s = 1) {
        scale = s;
        auto w = std::make_unique<qgui::CHeadlessWindow>();
        window = w.get();
        static int parent;
        const bool ok = editor->openWith(&parent, std::move(w), s);
        if (ok) editor->idle();
        return ok;
    }
    // The editor goes first, then the renderer (before the test's host), then
    // the root.
    void finish() {
        editor.reset();
        renderer.reset();
        if (!root.empty()) std::filesystem::remove_all(root);
    }

    std::filesystem::path root;
    ScriptedPlatform platform;
    std::unique_ptr<CPluginFile> settings;
    std::unique_ptr<CSoundRenderer> renderer;
    std::unique_ptr<CPluginEditor> editor;
    qgui::CHeadlessWindow* window = nullptr;
    qgui::CScale scale = 1;
};
