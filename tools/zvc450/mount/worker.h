// worker.h - the one thread that talks to the player.
//
// The library serves one operation at a time and keeps its state (the
// packet buffer, the error code) library-wide, so every call into it is made
// from this thread, one job after the other, in the order they were asked
// for.  The file-system threads hand jobs over and wait for their result, or
// (for a file being fetched) go on and read what has arrived.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace mountfs {

class Worker {
public:
    Worker();
    ~Worker();  // finishes the jobs already asked for, then stops
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Runs `job` on the worker thread and returns what it returns.
    int Run(const std::function<int()> &job);
    // Queues `job` and returns at once.
    void Post(std::function<void()> job);
    // True while a job runs or waits: the player cannot answer anything else
    // before it is done.
    bool Busy() const;
    // True when called from the worker thread itself.
    bool OnWorker() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;  // a job is being run
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace mountfs
