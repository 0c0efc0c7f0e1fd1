#pragma once

// A main window as the program has it after Form_Load, with a lock of its own and its
// messages recorded.

#include "app/frm_main.h"
#include "tests/app/qt_application.h"
#include "tests/app/recording_message_boxes.h"

#include <QCursor>
#include <QGuiApplication>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace lumivert::testing {

inline bool IsHourglassSet() {
    const QCursor* pointer = QGuiApplication::overrideCursor();
    return pointer && pointer->shape() == Qt::WaitCursor;
}

class LoadedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        instance = std::make_unique<SingleInstance>(LockPath());
        window = std::make_unique<frmMain>(*instance, &messages);
        ASSERT_TRUE(window->Form_Load());
        messages.whileShown = [this] { hourglass.push_back(IsHourglassSet()); };
    }

    QString LockPath() const { return privateFolder.filePath("window.lock"); }
    const frmMainDesign& ui() const { return window->controls(); }

    QTemporaryDir privateFolder;
    std::unique_ptr<SingleInstance> instance;
    RecordingMessageBoxes messages;
    std::vector<bool> hourglass; // for each message: the hourglass was up while it was shown
    std::unique_ptr<frmMain> window;
};

} // namespace lumivert::testing
