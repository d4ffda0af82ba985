// Source folders, items with targets and whole-tree comparison for the end-to-end tests.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>

// A folder outside the temporary folder: the intake filters out every changed
// path that contains "TEMP" or "TMP", and %TEMP% contains "Temp".
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// Adds a disk target (storage type 1 unless told) to an existing item; false on failure.
bool AddDiskTarget(const std::string& item, const std::string& folder, BYTE storage = 1);
// Adds an anonymous FTP target on 127.0.0.1:port with a remote folder; false on failure.
bool AddFtpTarget(const std::string& item, int port, const std::string& remoteFolder);

// Every file below folder: path relative to it -> contents.
std::map<std::string, std::string> ReadTree(const std::string& folder);

// Rewrites a probe file in a watched folder until arrived() holds, so that a
// test begins once the program's monitor is watching; false after timeoutMs.
bool WaitForWatch(const std::string& probe, const std::function<bool()>& arrived,
                  int timeoutMs = 30000);
