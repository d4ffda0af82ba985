// The test run's FTP servers on 127.0.0.1: their ports, the commands they received and the files
// they keep.
#pragma once
#include <string>
#include <vector>

// Windows path of a file in the servers' state folder (ports, logs, roots).
std::string ServerStatePath(const std::string& relative);
// Port of a scripted server ("normal", "split", ..., "vsftpd", "vsftpd-pasv"); 0 when unknown.
int ServerPort(const char* name);
// Commands the scripted server received since the last ClearCommands.
std::vector<std::string> ServerCommands(const char* name);
void ClearCommands(const char* name);
// A file kept by the pyftpdlib servers (remote path below their root).
std::string StoredFile(const std::string& remote);
