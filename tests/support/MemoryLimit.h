// Every test process watches its own memory: one that holds more than its
// limit ends at once, with a message and an exit status of its own, instead
// of growing until the machine's out-of-memory killer ends other processes.
//
// The watch reads the resident size and the allocator's bytes in use, and
// holds the larger against the limit, so it works alike in plain builds and
// under AddressSanitizer, whose huge reservation of address space would trip
// a limit on address space or data size before the first test ran, and on a
// machine whose resident size lags behind what a process touched.
#pragma once

#include <cstdint>

namespace ond::test {

// Above the biggest test program's peak when all its tests run in one
// process (about 250 MB, and about 1 GB under AddressSanitizer, whose
// quarantine holds freed memory), and low enough that a few runaway tests at
// once leave the machine its memory.
constexpr std::int64_t DefaultMemoryLimitMb = 2048;
// Another limit in MB for every test process; 0 turns the watch off.
constexpr const char* MemoryLimitVariable = "ONDREL_TEST_MEMORY_LIMIT_MB";
// How a process the watch ended exits.
constexpr int MemoryLimitExitStatus = 86;

// Starts watching this process against limitMb, or changes the limit of the
// running watch. A forked child has no watch until it calls this (threads
// do not survive a fork). False when the watch could not start.
bool WatchMemory(std::int64_t limitMb);

// The limit being watched in this process, 0 when none.
std::int64_t WatchedMemoryLimitMb();

// This process's resident size in MB, -1 when it cannot be read.
std::int64_t ResidentMemoryMb();

// The bytes this process's allocator has handed out and not had back, in MB.
std::int64_t HeapMemoryMb();

// What the watch holds against the limit: the larger of the two, in MB.
std::int64_t HeldMemoryMb();

}  // namespace ond::test
