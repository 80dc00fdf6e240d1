// Callers racing each other: `count` threads, each running `body(index)` once all of them exist, so
// that they start as close together as the machine allows; returns when every one has ended.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

template <class Body>
void RunTogether(int count, Body body)
{
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int index = 0; index < count; ++index)
        threads.emplace_back([&go, &body, index] {
            while (!go.load(std::memory_order_acquire))
                std::this_thread::yield();
            body(index);
        });
    go.store(true, std::memory_order_release);
    for (std::thread& thread : threads)
        thread.join();
}
