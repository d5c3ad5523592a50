// The named kernel objects that the installer shares with other processes of the same
// application name (the installed product among them), open to every account.
#pragma once

#include "support/unique_resource.h"

#include <windows.h>

#include <string>

// Counts the running processes of one application name: each holds one unit of a global
// semaphore for as long as it runs.
class InstanceCounter {
public:
    // Creates or joins the semaphore "Global\" + name + ".{a3526b56-...}" and adds this
    // process's unit. Throws std::system_error when the semaphore cannot be made.
    explicit InstanceCounter(const std::wstring& applicationName);
    // Takes back the units this process still holds, or gives back those it owes.
    ~InstanceCounter();
    InstanceCounter(const InstanceCounter&) = delete;
    InstanceCounter& operator=(const InstanceCounter&) = delete;

    // The number of running processes of the application name, this one included; 0 when
    // the semaphore cannot be asked.
    long Count() const;

    static std::wstring ObjectName(const std::wstring& applicationName);

private:
    kv::unique_handle semaphore_;
    long held_ = 0;
};

// Admits one installer at a time: a global mutex named after the application.
class ApplicationMutex {
public:
    // Creates or opens "Global\" + name + ".{5ead623c-...}", not owned. A mutex that cannot
    // be made leaves the handle null: try_lock then never succeeds.
    explicit ApplicationMutex(const std::wstring& applicationName);
    // Releases the mutex if owned and closes it.
    ~ApplicationMutex();
    ApplicationMutex(const ApplicationMutex&) = delete;
    ApplicationMutex& operator=(const ApplicationMutex&) = delete;

    // Takes the mutex without waiting; an abandoned mutex counts as taken.
    bool try_lock();
    void unlock();
    bool owned() const { return owned_; }

    static std::wstring ObjectName(const std::wstring& applicationName);

private:
    kv::unique_handle mutex_;
    bool owned_ = false;
};

// Lets go of the installer's mutex for the length of a block and takes it back, without
// waiting, at the block's end.
class ApplicationMutexRelease {
public:
    explicit ApplicationMutexRelease(ApplicationMutex& mutex) : mutex_(mutex) { mutex_.unlock(); }
    ~ApplicationMutexRelease() { mutex_.try_lock(); }
    ApplicationMutexRelease(const ApplicationMutexRelease&) = delete;
    ApplicationMutexRelease& operator=(const ApplicationMutexRelease&) = delete;

private:
    ApplicationMutex& mutex_;
};
