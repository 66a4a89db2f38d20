// A device client fed from a queue: whoever produces events posts them, a
// watcher thread waits for them. The simulator's clients, and tests' scripted ones.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/Nodes.h"

namespace Services::Nodes::Sim {

class QueuedClient : public DeviceClient {
public:
    // Events held before the oldest are dropped (a client nobody reads).
    static constexpr size_t MaxQueuedEvents = 64;

    bool wait(quint32 timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        auto ready = [this] { return !m_events.empty() || m_interrupted; };
        if (timeoutMs == 0xFFFFFFFFu) {
            m_wake.wait(lock, ready);
            return true;
        }
        return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }

    void interrupt() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_interrupted = true;
        }
        m_wake.notify_all();
    }

    quint32 eventType() override
    {
        std::lock_guard lock(m_mutex);
        return m_events.empty() ? 0 : m_events.front();
    }

    void acknowledge() override
    {
        std::lock_guard lock(m_mutex);
        if (!m_events.empty())
            m_events.pop_front();
        m_interrupted = false;
    }

    // From any thread.
    void post(quint32 type)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_events.empty() && m_events.back() == type)
                return; // the same news twice in a row is one event
            if (m_events.size() >= MaxQueuedEvents)
                m_events.pop_front();
            m_events.push_back(type);
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<quint32> m_events;
    bool m_interrupted = false;
};

} // namespace Services::Nodes::Sim
