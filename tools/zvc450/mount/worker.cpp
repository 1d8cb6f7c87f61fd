// worker.cpp - the thread that talks to the player.

#include "worker.h"

#include <future>

namespace mountfs {

Worker::Worker() : thread_([this] { Loop(); }) {}

Worker::~Worker()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

int Worker::Run(const std::function<int()> &job)
{
    if (OnWorker())
        return job();
    std::promise<int> done;
    std::future<int> result = done.get_future();
    Post([&job, &done] { done.set_value(job()); });
    return result.get();
}

void Worker::Post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool Worker::Busy() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_ || !jobs_.empty();
}

void Worker::Loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;  // stopping, and nothing is left to do
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        job();
        lock.lock();
        running_ = false;
    }
}

}  // namespace mountfs
