#pragma once

// A main window as the program has it after Form_Load, with a lock of its own and its
// messages recorded.

#include "app/frm_main.h"
#include "app/mdl_common.h"
#include "assets/sample_picture.h"
#include "tests/app/qt_application.h"
#include "tests/app/recording_message_boxes.h"

#include <QCursor>
#include <QFile>
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

// Makes a stand-in in the program's folder the browser the program starts: ready as soon
// as it started (it offers no page the program could fill), and gone a few seconds later.
inline void UseStandInBrowser() {
    const QString browser = QString::fromStdString(mdlCommon::GetAppFolder()) + "test-browser";
    QFile script(browser);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 5\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("BROWSER", browser.toLocal8Bit());
}

// The sample picture as a file in folder, for a decoder to compare with; its path.
inline QString WriteSamplePicture(const QTemporaryDir& folder) {
    const QString path = folder.filePath("sample.bmp");
    QFile sample(path);
    const auto bytes = assets::SamplePictureFile();
    EXPECT_TRUE(sample.open(QIODevice::WriteOnly));
    sample.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
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
