#pragma once

// A main window as the program has it after Form_Load, with a lock of its own and its
// messages recorded.

#include "app/frm_main.h"
#include "tests/app/qt_application.h"
#include "tests/app/recording_messages.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace lumivert::testing {

class LoadedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        instance = std::make_unique<SingleInstance>(LockPath());
        window = std::make_unique<frmMain>(*instance, &messages);
        ASSERT_TRUE(window->Form_Load());
    }

    QString LockPath() const { return privateFolder.filePath("window.lock"); }
    const frmMainDesign& ui() const { return window->controls(); }

    QTemporaryDir privateFolder;
    std::unique_ptr<SingleInstance> instance;
    RecordingMessages messages;
    std::unique_ptr<frmMain> window;
};

} // namespace lumivert::testing
