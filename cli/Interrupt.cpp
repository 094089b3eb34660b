#include "cli/Interrupt.h"

#include "cli/Errors.h"

#include <atomic>
#include <cstddef>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace kestrino::cli {
namespace {

// Set from a signal handler or the console's control thread.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event) {
    interrupted.store(true);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // Closing the console ends the process when this returns: leave the main
    // thread a moment to remove its temporary file.
    Sleep(2000);
    return TRUE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(kSignals)];

void OnSignal(int) { interrupted.store(true); }
#endif

}  // namespace

InterruptGuard::InterruptGuard() {
    interrupted.store(false);
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
#endif
}

bool Interrupted() noexcept { return interrupted.load(); }

void ThrowIfInterrupted() {
    if (Interrupted()) throw EInterrupted();
}

}  // namespace kestrino::cli
