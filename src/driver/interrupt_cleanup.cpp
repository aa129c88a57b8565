#include "driver/interrupt_cleanup.h"

#if defined(_WIN32)

#include <windows.h>

namespace {

// The console handler runs on a thread of its own; the file was opened with
// delete sharing, so it can be removed while the run still holds it.
const char* volatile removal_path = nullptr;

BOOL WINAPI remove_on_console_event(DWORD /*event*/) {
    const char* path = removal_path;
    if (path != nullptr) {
        DeleteFileA(path);
    }
    return FALSE; // the default handler then ends the process
}

} // namespace

// The file is made right after this: a console event in between removes
// nothing yet, which is all a name without its file needs.
void remove_on_interrupt(const char* path) {
    removal_path = path;
    SetConsoleCtrlHandler(remove_on_console_event, TRUE);
}

void arm_removal_on_interrupt() {}

void stop_removing_on_interrupt() {
    SetConsoleCtrlHandler(remove_on_console_event, FALSE);
    removal_path = nullptr;
}

#else

#include <csignal>
#include <iterator>

#include <unistd.h>

namespace {

// What ends a run from outside: Ctrl-C and Ctrl-\, a closed terminal, kill,
// a reader gone, and the file-size limit.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};
constexpr std::size_t SIGNAL_COUNT = std::size(ENDING_SIGNALS);

struct sigaction previous_actions[SIGNAL_COUNT];
bool replaced[SIGNAL_COUNT];
sigset_t previous_mask;

const char* removal_path = nullptr;
volatile sig_atomic_t armed = 0;

// Only async-signal-safe calls: unlink, signal and raise. The signal is
// held while this runs, so it ends the process once the handler returns.
extern "C" void remove_and_end(int signal_number) {
    if (armed != 0) {
        unlink(removal_path);
    }
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

sigset_t ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : ENDING_SIGNALS) {
        sigaddset(&set, signal_number);
    }
    return set;
}

} // namespace

void remove_on_interrupt(const char* path) {
    removal_path = path;
    armed = 0;
    const sigset_t set = ending_signals();
    sigprocmask(SIG_BLOCK, &set, &previous_mask);
    struct sigaction action = {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < SIGNAL_COUNT; ++i) {
        sigaction(ENDING_SIGNALS[i], &action, &previous_actions[i]);
        // A signal ignored at start (nohup, a job in the background) stays
        // ignored: what it would interrupt the caller meant to run on.
        replaced[i] = previous_actions[i].sa_handler != SIG_IGN;
        if (!replaced[i]) {
            sigaction(ENDING_SIGNALS[i], &previous_actions[i], nullptr);
        }
    }
}

void arm_removal_on_interrupt() {
    armed = 1;
    sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
}

void stop_removing_on_interrupt() {
    armed = 0;
    for (std::size_t i = 0; i < SIGNAL_COUNT; ++i) {
        if (replaced[i]) {
            sigaction(ENDING_SIGNALS[i], &previous_actions[i], nullptr);
            replaced[i] = false;
        }
    }
    sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
}

#endif
