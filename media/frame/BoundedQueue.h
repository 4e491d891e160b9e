#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace Emulsa {

// A first-in first-out queue between two threads holding at most `capacity`
// items: push() waits while it is full, pop() while it is empty. close()
// ends it for both sides: pushes fail at once, pops drain what is queued and
// then fail. Items are moved in and out, so a queue of unique pointers or
// buffers hands ownership over.
//
// This must be safe to call from any number of threads.
template<typename T> class BoundedQueue
{
public:
    explicit BoundedQueue(std::size_t capacity)
        : m_capacity(capacity > 0 ? capacity : 1)
    {
    }

    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // False, leaving `item` with the caller, when the queue was closed
    // before there was room.
    bool push(T& item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_notFull.wait(lock, [this] { return m_closed || m_items.size() < m_capacity; });
        if (m_closed)
            return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }
    bool push(T&& item) { return push(item); }

    // Queues `item` only when there is room at once; false (the item left
    // with the caller) when the queue is full or closed.
    bool tryPush(T& item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed || m_items.size() >= m_capacity)
            return false;
        m_items.push_back(std::move(item));
        m_notEmpty.notify_one();
        return true;
    }

    // False when the queue is closed and empty.
    bool pop(T& item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_notEmpty.wait(lock, [this] { return m_closed || !m_items.empty(); });
        return takeFront(item);
    }

    // Takes an item without waiting; false when none is queued.
    bool tryPop(T& item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return takeFront(item);
    }

    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_notFull.notify_all();
        m_notEmpty.notify_all();
    }

    // Closes the queue and drops what it holds (a cancelled pipeline).
    void abandon()
    {
        std::deque<T> dropped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
            dropped.swap(m_items);
            m_notFull.notify_all();
            m_notEmpty.notify_all();
        }
    }

    bool isClosed() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }
    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.size();
    }
    std::size_t capacity() const { return m_capacity; }

private:
    // Moves the oldest item out, if any, and wakes a waiting producer; the
    // caller holds the lock.
    bool takeFront(T& item)
    {
        if (m_items.empty())
            return false;
        item = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return true;
    }

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_notFull;
    std::condition_variable m_notEmpty;
    std::deque<T> m_items;
    bool m_closed = false;
};

} // namespace Emulsa
