// The thread pool behind RunOnThreads and the thread-count setting. One queue of calls under
// one mutex; a call's parts are handed out one by one to whichever thread asks first (its
// caller included). Workers are started when a call first needs them and live until the
// process ends; the pool itself is never destroyed, so a host's static objects may still
// draw while the process exits.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "zumeld/util/ThreadPool_p.h"
#include "zumeld/util/Threads.h"

namespace Zumeld {

namespace {

constexpr int kMaxThreads = 64;

int HardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min<unsigned>(n, kMaxThreads));
}

std::atomic<int> g_threadCount{0};  // 0: the hardware's

// One RunOnThreads call. Lives on its caller's stack; the pool forgets it once its last part
// is handed out, and the caller returns only when every part handed out has finished.
struct Call {
    void (*run)(void*, int) = nullptr;
    void* context = nullptr;
    int parts = 0;
    int next = 0;      // the next part to hand out
    int finished = 0;  // parts done
    std::exception_ptr error;
};

class Pool {
  public:
    void Run(Call& call, int threads) {
        std::unique_lock<std::mutex> lock(m_mutex);
        StartWorkers(threads - 1);
        m_queue.push_back(&call);
        m_work.notify_all();
        // The caller works on its own call's parts until none are left to hand out.
        while (call.next < call.parts) RunOnePart(call, lock);
        m_done.wait(lock, [&] { return call.finished == call.parts; });
    }

  private:
    // A system that refuses another thread leaves the pool as it is: the callers take the
    // parts the missing workers would have run.
    void StartWorkers(int wanted) {
        while (!m_refused && static_cast<int>(m_workers) < wanted) {
            try {
                std::thread([this] { WorkerLoop(); }).detach();
                ++m_workers;
            } catch (const std::system_error&) {
                m_refused = true;
            }
        }
    }

    // With the lock held: hands out the next part of `call`, runs it without the lock and
    // records it as finished.
    void RunOnePart(Call& call, std::unique_lock<std::mutex>& lock) {
        const int part = call.next++;
        if (call.next == call.parts)
            m_queue.erase(std::find(m_queue.begin(), m_queue.end(), &call));
        lock.unlock();
        std::exception_ptr error;
        try {
            call.run(call.context, part);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !call.error) call.error = error;
        if (++call.finished == call.parts) m_done.notify_all();
    }

    void WorkerLoop() {
        t_insidePart = true;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [&] { return !m_queue.empty(); });
            RunOnePart(*m_queue.front(), lock);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;  // a call was queued
    std::condition_variable m_done;  // a call's last part finished
    std::deque<Call*> m_queue;       // calls with parts not yet handed out
    unsigned m_workers = 0;
    bool m_refused = false;  // the system refused a thread: no more are asked for

  public:
    static thread_local bool t_insidePart;
};

thread_local bool Pool::t_insidePart = false;

Pool& ThePool() {
    static Pool& pool = *new Pool;
    return pool;
}

}  // namespace

void SetThreadCount(int nThreads) {
    g_threadCount.store(nThreads <= 0 ? 0 : std::min(nThreads, kMaxThreads));
}

int GetThreadCount() {
    const int n = g_threadCount.load();
    return n == 0 ? HardwareThreads() : n;
}

int PartCount(std::int64_t work, std::int64_t minPerPart) {
    const int threads = GetThreadCount();
    if (threads <= 1 || work <= 0) return 1;
    const std::int64_t most =
        std::max<std::int64_t>(1, work / std::max<std::int64_t>(minPerPart, 1));
    return static_cast<int>(std::min<std::int64_t>(most, std::int64_t{threads} * 4));
}

void RunOnThreads(int parts, void (*run)(void*, int), void* context) {
    const int threads = GetThreadCount();
    if (parts <= 1 || threads <= 1 || Pool::t_insidePart) {
        for (int i = 0; i < parts; ++i) run(context, i);
        return;
    }
    Call call;
    call.run = run;
    call.context = context;
    call.parts = parts;
    ThePool().Run(call, std::min(threads, parts));
    if (call.error) std::rethrow_exception(call.error);
}

}  // namespace Zumeld
