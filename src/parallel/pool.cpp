#include "parallel/pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>

#include "parallel/cpu_count.hpp"

namespace qv::par {
namespace {

// A decimal integer, optional leading '+'; -1 if anything else.
long long parse_count(const char* s) {
    if (!s) return -1;
    if (*s == '+') ++s;
    if (!*s) return -1;
    long long v = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return -1;
        v = v * 10 + (*s - '0');
        if (v > (1LL << 40)) return -1;
    }
    return v;
}

// The scheduler's state and its life across fork().
//
// oneTBB's worker threads do not survive a fork: in the child its scheduler
// still counts them, so work would never be handed to anyone (or a lock a
// worker held at the fork stays locked). So just before a fork the arena is
// terminated and the scheduler finalized, which joins the workers; both
// processes start a new one on their next parallel operation. Finalizing
// fails while another thread (not the forking one) is still registered with
// the scheduler; the child then never touches the scheduler again and runs
// every pattern on its calling thread.
struct Scheduler {
    std::mutex start_mutex;                            // starting the arena
    std::atomic<oneapi::tbb::task_arena*> arena{nullptr};
    oneapi::tbb::task_scheduler_handle handle;         // lets a fork finalize the scheduler
    std::atomic<bool> unusable{false};                 // child of a fork that could not finalize
    bool fork_finalized = true;                        // set by the prepare handler
    // Operations hold it shared, a fork exclusively. Readers first, so that a
    // nested operation inside a piece never waits behind a pending fork.
    pthread_rwlock_t fork_lock;

    Scheduler() { init_fork_lock(); }

    void init_fork_lock() {
        pthread_rwlockattr_t attr;
        pthread_rwlockattr_init(&attr);
        pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_READER_NP);
        pthread_rwlock_init(&fork_lock, &attr);
        pthread_rwlockattr_destroy(&attr);
    }
};

// Never destroyed: worker threads may outlive static destruction.
Scheduler& scheduler() {
    static Scheduler* s = new Scheduler;
    return *s;
}

void before_fork() {
    Scheduler& s = scheduler();
    pthread_rwlock_wrlock(&s.fork_lock);  // no operation runs from here on
    s.fork_finalized = true;
    if (oneapi::tbb::task_arena* a = s.arena.load(std::memory_order_acquire)) {
        a->terminate();
        delete a;
        s.arena.store(nullptr, std::memory_order_release);
        s.fork_finalized = oneapi::tbb::finalize(s.handle, std::nothrow);
    }
}

void after_fork_in_parent() { pthread_rwlock_unlock(&scheduler().fork_lock); }

void after_fork_in_child() {
    Scheduler& s = scheduler();
    if (!s.fork_finalized) s.unusable.store(true, std::memory_order_relaxed);
    // The lock records its writer by thread id, which the child's thread does
    // not share: start it afresh (the child has no other thread).
    s.init_fork_lock();
}

// The arena, started on first use (caller holds fork_lock shared).
oneapi::tbb::task_arena* running_arena() {
    Scheduler& s = scheduler();
    if (oneapi::tbb::task_arena* a = s.arena.load(std::memory_order_acquire)) return a;
    if (s.unusable.load(std::memory_order_relaxed)) return nullptr;
    std::lock_guard<std::mutex> lock(s.start_mutex);
    if (oneapi::tbb::task_arena* a = s.arena.load(std::memory_order_acquire)) return a;

    static std::once_flag once;
    std::call_once(once, [] {
        // The scheduler's default allows one thread per core; a larger N asks
        // for more. Held for the life of the process.
        int n = static_cast<int>(pool_size());
        new oneapi::tbb::global_control(oneapi::tbb::global_control::max_allowed_parallelism,
                                        static_cast<std::size_t>(std::max(n, oneapi::tbb::info::default_concurrency())));
        pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    });
    if (!s.handle) s.handle = oneapi::tbb::task_scheduler_handle(oneapi::tbb::attach{});
    // N slots, one kept for the calling thread: N - 1 workers join it.
    auto* a = new oneapi::tbb::task_arena(static_cast<int>(pool_size()), 1);
    a->initialize();
    s.arena.store(a, std::memory_order_release);
    return a;
}

}  // namespace

std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t cpus) {
    std::size_t fallback = cpus ? cpus : 1;
    long long n = parse_count(num_threads);
    if (n >= 1) return static_cast<std::size_t>(n);
    if (n == 0) return fallback;
    long long m = parse_count(rs_num_cpus);
    if (m >= 1) return static_cast<std::size_t>(m);
    return fallback;
}

std::size_t pool_size() {
    static const std::size_t n =
        pool_size_from(std::getenv("RAYON_NUM_THREADS"), std::getenv("RAYON_RS_NUM_CPUS"), available_cpus());
    return n;
}

namespace detail {

Session::Session() {
    Scheduler& s = scheduler();
    pthread_rwlock_rdlock(&s.fork_lock);
    try {
        arena_ = running_arena();
    } catch (...) {
        pthread_rwlock_unlock(&s.fork_lock);
        throw;
    }
}

Session::~Session() { pthread_rwlock_unlock(&scheduler().fork_lock); }

}  // namespace detail

}  // namespace qv::par
