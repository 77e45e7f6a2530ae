#pragma once
// A write by a library that cannot be trusted to end well when it fails:
// HDF5, once a write of its has failed (a full disk), keeps the file open
// and half freed, and crashed in its exit handler; nothing a caller does
// afterwards (closing again, aborting, making room) gets it to let go. So
// the write runs in a process of its own where the system allows, and
// whatever the library leaves behind ends with that process.

#include <functional>
#include <optional>

#include "disc/problem.h"

namespace zep {

// Runs write (apart, where the system allows) and gives what it gave: its
// problem, or one naming how the process it ran in ended.
std::optional<Problem> WriteApart(const std::function<std::optional<Problem>()>& write);

// For a signal handler, before it removes the unfinished outputs: ends the
// process writing apart, if one is at work, and waits for it, so that it
// cannot make its file again once the file has been removed. Safe in a
// signal handler.
void EndWriterApart() noexcept;

}  // namespace zep
