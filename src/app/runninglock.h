#pragma once

#include <QString>

#include <memory>

// Keeps a second bar off the same notes folder: one running bar holds the
// lock on a file there for as long as it lives.
class RunningLock
{
public:
    explicit RunningLock(QString path);
    ~RunningLock();
    RunningLock(const RunningLock &) = delete;
    RunningLock &operator=(const RunningLock &) = delete;

    // False only when another process holds it. When the lock cannot be
    // taken at all (a read-only folder), the bar runs without it.
    bool tryLock();

private:
    struct Handle;
    QString m_path;
    std::unique_ptr<Handle> m_handle;
};
