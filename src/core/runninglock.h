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

    enum class Result
    {
        Acquired,
        HeldElsewhere, // another bar runs on this folder
        Failed,        // no lock could be taken at all; error() says why
    };
    Result tryLock();
    QString error() const { return m_error; }

private:
    struct Handle;
    QString m_path;
    QString m_error;
    std::unique_ptr<Handle> m_handle;
};
