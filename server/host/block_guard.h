// Keeps the server running when a program cuts short a shared file the
// server has mapped.  Touching a page past the file's end would end the
// process (SIGBUS); in a guarded block such a fault instead puts zero pages
// in place of the whole block, so the command under way goes on reading
// zeros and writing into memory nobody sees, and the block is recorded as
// lost.  The loop then mends the file and decides what becomes of the
// block (see PosixHost::mend_lost_blocks).
#ifndef LUMO_SERVER_HOST_BLOCK_GUARD_H
#define LUMO_SERVER_HOST_BLOCK_GUARD_H

#include <cstddef>

namespace lumo::server::block_guard {

// Installs the fault handler (once; a fault outside the guarded blocks
// goes to whatever handled it before).  False when it cannot.
bool install();
// Guards the mapping at `base` of `size` bytes; false when every place
// for one is taken (the block is then unguarded).
bool guard(void* base, size_t size);
// Stops guarding it (before it is unmapped).
void unguard(void* base);
// Counts the faults taken so far: a change means a block was lost.
unsigned faults();
// The base of a block lost since it was last taken, or null; each lost
// block is given once.
void* take_lost();

}  // namespace lumo::server::block_guard

#endif
