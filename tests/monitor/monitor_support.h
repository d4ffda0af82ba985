// Test helpers for the monitor: a reader of the NT protocol on the built-in monitor, logs and item options.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "transfer/queue.h"

// Opens the built-in monitor, hands it an event and reads reports as the
// notification thread would.
class MonitorReader {
public:
    MonitorReader();
    ~MonitorReader();
    HANDLE device() const { return device_; }
    HANDLE event() const { return event_; }
    // Sends one watch path in upper case, as the link does; waits until in force.
    void Watch(const std::string& path);
    void ForgetAll();
    // Reads reports until path has been seen (true) or timeoutMs passes.
    bool WaitFor(const std::string& path, int timeoutMs = 10000);
    // Reads every report that arrives within quietMs of the previous one.
    void Drain(int quietMs);
    const std::vector<std::string>& seen() const { return seen_; }
    int Count(const std::string& path) const;
    void Clear() { seen_.clear(); }

private:
    bool ReadOne(int waitMs);
    HANDLE device_;
    HANDLE event_;
    std::vector<std::string> seen_;
};

// Text parts (after " - ") of the lines of the backup (0) or error (1) log.
std::vector<std::string> LogTexts(const std::string& installDir, int selector);

// Sets a one-byte option of the item that has path as its own path.
void SetItemOption(const std::string& itemPath, const char* name, BYTE value);

// Requests now queued, as (kind, path) pairs in queue order.
std::vector<std::pair<int, std::string>> QueuedRequests(RequestQueue* queue);
