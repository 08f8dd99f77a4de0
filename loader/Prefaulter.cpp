#include "loader/Prefaulter.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <sys/mman.h>
#include <thread>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older kernels refuse it with EINVAL
#endif

namespace lumora::loader
{

namespace
{

// Buffers smaller than this (thumbnails) fill before a second thread pays.
constexpr size_t kSmallest = size_t(4) << 20;
// 256 KB a step: the pages are still in the cache when the decoder writes.
constexpr size_t kStep = size_t(256) << 10;

struct State {
    std::mutex mutex;
    std::condition_variable wake;
    char *address = nullptr;
    size_t length = 0;
    size_t done = 0;
    bool started = false;
    bool allowed = false;
    bool unsupported = false;
};

State &state()
{
    static State *one = new State; // the thread outlives static teardown
    return *one;
}

void run()
{
    State &s = state();
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] { return s.address && s.done < s.length; });
        const size_t step = std::min(kStep, s.length - s.done);
        // Under the lock, so leave() waits for this step and no more.
        if (madvise(s.address + s.done, step, MADV_POPULATE_WRITE) != 0 && errno != EINTR &&
            errno != EAGAIN) {
            // EINVAL: a kernel without it; anything else (memory short):
            // the decoder's own faults will say so.
            s.unsupported = errno == EINVAL;
            s.address = nullptr;
            continue;
        }
        s.done += step;
    }
}

} // namespace

void Prefaulter::start()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (s.started)
        return;
    s.started = true;
    std::thread(run).detach();
}

void Prefaulter::allow(bool allowed)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.allowed = allowed;
}

void Prefaulter::follow(void *address, size_t length)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (!s.started || !s.allowed || s.unsupported || length < kSmallest)
        return;
    s.address = static_cast<char *>(address);
    s.length = length;
    s.done = 0;
    s.wake.notify_one();
}

void Prefaulter::leave(void *address)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    if (s.address == address)
        s.address = nullptr;
}

} // namespace lumora::loader
