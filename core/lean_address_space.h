#pragma once

namespace core {

// Keeps the process's address space lean, so that under an address-space
// limit the memory that is there goes to what needs it, and what runs short
// runs short for everyone alike:
// - threads started without a stack size of their own (ours, Qt's, the
//   libraries') get a small stack instead of the system's 8 MiB default, each
//   of which is address space taken at once; Qt's painting waits for threads
//   of its own to finish its fills, so a thread must be able to start while
//   any memory is left;
// - every thread allocates from the one heap: the heaps glibc makes for
//   other threads each reserve 64 MiB of address space, and one that cannot
//   grow fails a library's allocation while the main heap still has room.
// Called first thing, before any thread is started.
void keep_address_space_lean();

}  // namespace core
