#include "cli/Interrupt.h"

#include "cli/Errors.h"
#include "fileio/SafeFile.h"

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
// Requests to end: noted, and the run ends orderly with the old file kept.
constexpr int kRequests[] = {SIGINT, SIGTERM, SIGHUP};
// Signals whose default ends the process at once: the file layer's named
// temporary, if it needed one, goes first, then the signal does what it would have.
constexpr int kFatal[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};
struct sigaction previous[std::size(kRequests) + std::size(kFatal)];

void OnRequest(int) { interrupted.store(true); }

void OnFatal(int signal) {
    fileio::RemoveNamedTemporaryNow();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Installs the handler unless the signal was ignored when the program started
// (nohup, a script's background job): ignored, it stays ignored.
void Install(int signal, void (*handler)(int), struct sigaction& before) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, nullptr, &before);
    if (before.sa_handler == SIG_IGN) return;
    sigaction(signal, &action, nullptr);
}
#endif

}  // namespace

InterruptGuard::InterruptGuard() {
    interrupted.store(false);
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    for (std::size_t i = 0; i < std::size(kRequests); ++i) Install(kRequests[i], OnRequest, previous[i]);
    for (std::size_t i = 0; i < std::size(kFatal); ++i) Install(kFatal[i], OnFatal, previous[std::size(kRequests) + i]);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    for (std::size_t i = 0; i < std::size(kRequests); ++i) sigaction(kRequests[i], &previous[i], nullptr);
    for (std::size_t i = 0; i < std::size(kFatal); ++i) sigaction(kFatal[i], &previous[std::size(kRequests) + i], nullptr);
#endif
}

bool Interrupted() noexcept { return interrupted.load(); }

void ThrowIfInterrupted() {
    if (Interrupted()) throw EInterrupted();
}

}  // namespace kestrino::cli
