#pragma once

// Every saver of the picture behind one signature, crossed with the faults a user's disk
// can throw at it: checks that report problems as text (so that a forked child can run them
// too), and the ways to cause a fault for real.

#include "tests/support/scratch_folder.h"
#include "win32/gdi32/persistent_picture.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace reliability {

using test_support::FolderState;
using test_support::ScratchFolder;

// The picture box's picture: the sample picture and its persistent image.
class SamplePictureBox : public gdi32::PersistentPicture {
public:
    SamplePictureBox();
    std::size_t liveHandlesAtStart() const { return liveHandles_; }

private:
    std::size_t liveHandles_;
};

std::size_t CountLiveHandles();

// What a save gave: written, or the raised error (number 0 and no description when the
// saver only answers false, as the imaging layer does).
struct SaveOutcome {
    bool written = false;
    std::int32_t number = 0;
    std::string description;
};

struct Saver {
    int index;
    std::string name;     // "BMP 8 bits", "effect Sepia (Pixels)", "GIF own palette", ...
    std::string fileName; // the name the window gives its file
    std::function<SaveOutcome(const std::string& path)> save;
};

// The BMP writer at every depth, every effect with both engines, PNG with and without a
// transparent colour, GIF through the own palette (with and without) and through the
// encoder, and JPEG; the imaging ones each in a session of their own, as the window runs them.
std::vector<Saver> AllSavers(const SamplePictureBox& picture);

// Empty when saver refused path with the error number (any error for the imaging layer),
// named path in its description and changed nothing in path's folder (when watched); else
// one line per problem.
std::string CheckRefused(const Saver& saver, const std::string& path, std::int32_t number, bool watchFolder = true);

// Empty when saver wrote path and the file starts as its format does.
std::string CheckSaved(const Saver& saver, const std::string& path);

struct ChildReport {
    bool ran = false; // the child ended normally
    std::string text; // what body returned
};

// Runs body in a forked child (a crash there stays there) and brings back its answer.
ChildReport RunInChild(const std::function<std::string()>& body);

// In a forked child: become the unprivileged user nobody.
bool BecomeNobody();

// In a forked child: a private mount namespace with a tmpfs of the given size at folder.
bool MountTinyDisk(const std::string& folder, const std::string& size);

// Writes path until the disk is full, then gives back room bytes; false if it never filled.
bool FillDiskLeaving(const std::string& path, std::size_t room);

} // namespace reliability
