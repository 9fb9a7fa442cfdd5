#pragma once

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <functional>
#include <optional>

// A growable array shared between threads: one lock, held for every append, every read and
// every read-modify-write of an element. Elements are only ever appended, never removed, so
// an index stays valid for the life of the array.
template <typename T> class SharedArray final
{
public:
    SharedArray() = default;
    SharedArray(const SharedArray&) = delete;
    SharedArray& operator=(const SharedArray&) = delete;

    // Appends and returns the new element's index.
    qsizetype append(T value)
    {
        QMutexLocker lock(&m_mutex);
        m_items.append(std::move(value));
        return m_items.size() - 1;
    }

    qsizetype size() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items.size();
    }

    // A copy of one element; std::nullopt for an index out of range.
    std::optional<T> at(qsizetype index) const
    {
        QMutexLocker lock(&m_mutex);
        if (index < 0 || index >= m_items.size())
            return std::nullopt;
        return m_items.at(index);
    }

    // Runs fn on the element under the lock; returns false for an index out of range.
    template <typename Fn> bool update(qsizetype index, Fn&& fn)
    {
        QMutexLocker lock(&m_mutex);
        if (index < 0 || index >= m_items.size())
            return false;
        fn(m_items[index]);
        return true;
    }

    // Runs fn on the whole list under the lock (searches, conditional appends).
    template <typename Fn> decltype(auto) withLock(Fn&& fn)
    {
        QMutexLocker lock(&m_mutex);
        return fn(m_items);
    }

    template <typename Fn> decltype(auto) withLock(Fn&& fn) const
    {
        QMutexLocker lock(&m_mutex);
        return fn(std::as_const(m_items));
    }

    QList<T> snapshot() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_items.clear();
    }

private:
    mutable QMutex m_mutex;
    QList<T> m_items;
};
