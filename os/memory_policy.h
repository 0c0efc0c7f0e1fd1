#pragma once

// How the program's process keeps memory between saves.

#include <cstddef>

namespace os {

// Keeps the memory a save frees for the next save instead of returning it to the system.
// A save of a large picture allocates several picture-sized buffers; fresh memory costs a
// page fault per 4 KiB on first touch, which on a virtual machine can take longer than the
// save's own work. With this policy only the first save pays that, and the process keeps
// what its largest save needed (about three copies of the picture) until it ends.
// Call once at start-up, before the first save.
void RetainFreedMemory();

// Maps the code of the program and of every library it has loaded into the process now,
// so that the first save does not stop at each page of code it runs for the first time (a
// page fault each, taken once per process, as costly as on fresh memory). The pages come
// from the system's file cache; the call costs a few milliseconds at start-up.
void MapLoadedCode();

// Makes sure the heap holds bytes of free memory that is already backed by the system, so
// that even the first save after a picture was loaded finds its buffers without a page
// fault. Memory held beyond that for an earlier, larger picture is given back first, so a
// smaller picture opened later does not keep the larger one's memory. Call when a picture
// has been loaded, with WorkingMemoryFor() its size; it costs about one pass over the
// memory (at load time, not during a save).
void PrepareWorkingMemory(std::size_t bytes);

// What the largest save of a width × height picture allocates at once, with room for the
// heap's small blocks between them: three copies of the picture at 32 bits (an effect holds
// its working copy and the converted file rows; a PNG with a transparent colour its canvas
// and the filtered rows). 0 for a picture too large for the heap to keep its buffers.
std::size_t WorkingMemoryFor(int width, int height);

} // namespace os
