#pragma once

// How the program's process keeps memory between saves.

namespace os {

// Keeps the memory a save frees for the next save instead of returning it to the system.
// A save of a large picture allocates several picture-sized buffers; fresh memory costs a
// page fault per 4 KiB on first touch, which on a virtual machine can take longer than the
// save's own work. With this policy only the first save pays that, and the process keeps
// what its largest save needed (about three copies of the picture) until it ends.
// Call once at start-up, before the first save.
void RetainFreedMemory();

} // namespace os
