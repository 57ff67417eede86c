#pragma once

#include <QString>

namespace kw {

// One running copy of the program per working directory: an advisory lock on the directory
// itself, so no file is created for it and a crashed copy leaves no stale lock behind.
class WorkLock
{
public:
    WorkLock() = default;
    ~WorkLock();
    WorkLock(const WorkLock &) = delete;
    WorkLock &operator=(const WorkLock &) = delete;

    // False when another process holds the directory.
    bool acquire(const QString &directory);
    void release();

    static QString busyMessage() { return QStringLiteral("Dane są już otwarte w innym oknie programu."); }

private:
    int fd_ = -1;
};

} // namespace kw
