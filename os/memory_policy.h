#pragma once

// How the program's process keeps memory between saves.

#include <cstddef>
#include <thread>

namespace os {

// Keeps the memory a save frees for the next save instead of returning it to the system.
// A save of a large picture allocates several picture-sized buffers; fresh memory costs a
// page fault per 4 KiB on first touch, which on a virtual machine can take longer than the
// save's own work. With this policy only the first save pays that, and the process keeps
// what its largest save needed (at most two copies of the picture) until it ends.
// Call once at start-up, before the first thread.
void RetainFreedMemory();

// Maps the code of the program and of every library it has loaded into the process now,
// so that the first save does not stop at each page of code it runs for the first time (a
// page fault each, taken once per process, as costly as on fresh memory). The pages come
// from the system's file cache; the call costs a few milliseconds at start-up.
void MapLoadedCode();

// Makes sure the heap holds bytes of free memory that is already backed by the system, so
// that even the first save after a picture was loaded finds its buffers without a page
// fault. All other free memory is given back first: an earlier, larger picture's, so a
// smaller picture opened later does not keep it, and what saves and dialogs left free
// between the heap's blocks, so a long session does not grow. Call when a picture has been
// loaded, with WorkingMemoryFor() its size, and again after each save; it costs about one
// pass over the memory (at load time or after the save, not during one).
void PrepareWorkingMemory(std::size_t bytes);

// The same on a thread of its own, so that a picture's opening does not wait for it (the
// decoding and the display's reduced copy take about as long): the memory is taken from the
// heap now, the rest of the heap's free memory given back, and the block backed by the
// thread and held until Release(). Held, it is safe from the trims of later preparations;
// Release() before a save or an opening, so that its allocations find it.
class WorkingMemoryPreparation {
public:
    WorkingMemoryPreparation() = default;
    WorkingMemoryPreparation(const WorkingMemoryPreparation&) = delete;
    WorkingMemoryPreparation& operator=(const WorkingMemoryPreparation&) = delete;
    ~WorkingMemoryPreparation() { Release(); }

    // Releases what an earlier call prepared, then prepares bytes (0: only gives back).
    void Prepare(std::size_t bytes);
    // Waits until the memory is backed and frees it into the heap; nothing when there is none.
    void Release();
    // While the prepared memory is held: gives back to the system what else the heap holds
    // free (what was freed since Prepare(), such as a replaced copy of the picture).
    void GiveBackOtherFreeMemory();

private:
    std::jthread thread_;   // backs block_
    void* block_ = nullptr; // malloc'd; freed by Release()
};

// What a save of a width × height picture allocates at once, besides the picture itself:
// two copies of the picture at 32 bits (an effect holds its working copy and a band of file
// rows; a PNG with a transparent colour its canvas and the filtered rows; no other save more).
// 0 for a picture too large for the heap to keep its buffers.
std::size_t WorkingMemoryFor(int width, int height);

// The memory a width × height picture needs while it is open and saved: the picture once
// at 32 bits and the working memory of its saves, three copies in all. Opening takes no more
// (a JPEG is decoded into the picture itself; another format's decoded form is let go before
// the working memory is made ready).
std::size_t MemoryToOpen(int width, int height);

// How many bytes this process may still take without the system swapping or refusing: the
// system's available memory (MemAvailable), lowered by the process's control group limit
// (memory.max of each group up to the root) and its address-space limit (RLIMIT_AS) where
// either is set, plus the free memory the process's heap holds already.
std::size_t AvailableMemory();

} // namespace os
