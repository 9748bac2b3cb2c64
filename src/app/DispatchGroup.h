#pragma once

#include <functional>

#include <QList>

namespace vesk {

/// Counts outstanding work; `notify` handlers run (on the main thread) once the count is back
/// at zero, at once when nothing is outstanding.
class DispatchGroup
{
public:
    void enter() { ++m_count; }
    void leave()
    {
        if (m_count > 0 && --m_count == 0)
            flush();
    }
    void notify(std::function<void()> handler)
    {
        if (m_count == 0) {
            handler();
            return;
        }
        m_handlers.append(std::move(handler));
    }
    int count() const { return m_count; }

private:
    void flush()
    {
        const QList<std::function<void()>> handlers = std::exchange(m_handlers, {});
        for (const auto& handler : handlers)
            handler();
    }

    int m_count = 0;
    QList<std::function<void()>> m_handlers;
};

} // namespace vesk
