#include "platform/CrashGuard.h"

#include <csetjmp>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace Kiln {
namespace {

thread_local sigjmp_buf* activeJump = nullptr;
const int kSignals[] = {SIGFPE, SIGSEGV, SIGBUS};

extern "C" void onFaultSignal(int signal) {
    if (activeJump) {
        sigjmp_buf* jump = activeJump;
        activeJump = nullptr;
        siglongjmp(*jump, signal);
    }
    // A fault on a thread that is not guarded: die the ordinary way.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

/// Installs the handlers, on their own stack so that a stack overflow can
/// still be reported; puts the previous ones back when it goes.
class HandlerScope {
public:
    HandlerScope() : stack(64 * 1024) {
        stack_t alternate{};
        alternate.ss_sp = stack.data();
        alternate.ss_size = stack.size();
        sigaltstack(&alternate, &previousStack);
        struct sigaction action {};
        action.sa_handler = onFaultSignal;
        action.sa_flags = SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &action, &previous[i]);
    }
    ~HandlerScope() { restore(); }
    void restore() {
        if (restored)
            return;
        restored = true;
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &previous[i], nullptr);
        sigaltstack(&previousStack, nullptr);
    }

private:
    std::vector<char> stack;
    stack_t previousStack{};
    struct sigaction previous[3] {};
    bool restored = false;
};

} // namespace

int runGuarded(const std::function<int()>& body, const std::function<int(Fault)>& onFault) {
    HandlerScope handlers;
    sigjmp_buf jump;
    const int signal = sigsetjmp(jump, 1);
    if (signal == 0) {
        activeJump = &jump;
        const int result = body();
        activeJump = nullptr;
        return result;
    }
    handlers.restore();
    return onFault(signal == SIGFPE ? Fault::Arithmetic : Fault::Segmentation);
}

void armFaultWatchdog(unsigned seconds) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(seconds);
}

void disarmFaultWatchdog() { alarm(0); }

void endAfterFault(int status) { _exit(status); }

} // namespace Kiln
