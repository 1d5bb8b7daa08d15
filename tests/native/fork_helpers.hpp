// Run a function in a forked child and collect its exit status.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace qv::test {

// The child runs fn and exits with its result (0: success); it is killed
// after timeout_s seconds. Returns the exit status, or -signal if the child
// was killed (-SIGALRM: timed out).
template <class Fn>
int run_in_child(Fn fn, unsigned timeout_s = 30) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(timeout_s);
        int rc = 1;
        try {
            rc = fn();
        } catch (...) {
            rc = 2;
        }
        _exit(rc);
    }
    if (pid < 0) return -1000;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s + 10);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace qv::test
