#pragma once

// What the browser tests share: stand-in and real headless browsers, the registry's browser
// entry, reading a page back through DevTools.

#include "tests/support/scratch_folder.h"
#include "win32/user32/user32.h"

#include <QJsonValue>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace lumivert::testing {

class BrowserTestFolder {
public:
    BrowserTestFolder();  // also points TMPDIR at the folder, for the browser profiles
    ~BrowserTestFolder(); // ends every browser started meanwhile, removes the folder
    BrowserTestFolder(const BrowserTestFolder&) = delete;
    BrowserTestFolder& operator=(const BrowserTestFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // An executable script of that name: "#!/bin/sh", then body.
    std::filesystem::path WriteScript(const std::string& name, const std::string& body) const;
    // The installed Chromium, headless, quiet and without network.
    std::filesystem::path HeadlessChromium() const;
    // The same with a DevTools port, to look into a browser the program has no controls of.
    std::filesystem::path InspectableHeadlessChromium() const;
    // A 24-bit BMP picture of width × 2 pixels.
    std::filesystem::path WritePicture(const std::string& name, int width) const;

private:
    test_support::ScratchFolder scratch_;
    std::filesystem::path path_{scratch_.path()};
    std::string oldTmpDir_;
};

// A file that a started program writes, once it ends with end, what the writer writes last
// (empty if it never does within a bounded wait).
std::string ReadFileOnceWritten(const std::filesystem::path& path, char end = '|');

// Makes command the browser's App Paths entry, the registry's only key; "" leaves none.
void UseBrowserCommand(const std::string& command);

// Ends the process group of every browser this program started and forgets the frame.
void EndAllBrowsers();

// Evaluates expression in the frame's first page until accept holds for its value (bounded).
std::optional<QJsonValue> EvaluateInPage(user32::HWND frame, const std::string& expression,
                                         bool (*accept)(const QJsonValue&) = nullptr,
                                         std::chrono::milliseconds limit = std::chrono::seconds(10));

// The same in the page of the one inspectable browser that runs.
std::optional<QJsonValue> EvaluateInInspectablePage(const std::string& expression,
                                                    bool (*accept)(const QJsonValue&) = nullptr,
                                                    std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace lumivert::testing
