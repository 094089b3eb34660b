#pragma once

namespace kestrino::cli {

// While a guard lives, Ctrl+C (and, on POSIX, SIGTERM and SIGHUP) no longer
// end the program at once: they are noted, and the file being written is
// cleaned up by whoever sees Interrupted() first. Other signals that end the
// program first remove a named temporary of the file layer. Signals ignored
// when the program started stay ignored. One guard at a time.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Whether an interruption arrived while a guard lived.
bool Interrupted() noexcept;

// Throws EInterrupted when Interrupted().
void ThrowIfInterrupted();

}  // namespace kestrino::cli
