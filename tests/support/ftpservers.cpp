// The test run's FTP servers.
#include "tests/support/ftpservers.h"

#include "tests/support/testenv.h"

#include <windows.h>

#include <algorithm>
#include <sstream>

std::string ServerStatePath(const std::string& relative)
{
    const char* state = getenv("TK_FTP_STATE");
    std::string path = "Z:" + std::string(state ? state : "") + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

int ServerPort(const char* name)
{
    std::istringstream in(ReadFileBytes(ServerStatePath("ports.txt")));
    std::string key;
    int port = 0;
    while (in >> key >> port)
        if (key == name)
            return port;
    return 0;
}

std::vector<std::string> ServerCommands(const char* name)
{
    std::vector<std::string> out;
    std::istringstream in(ReadFileBytes(ServerStatePath(std::string("commands-") + name + ".log")));
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

void ClearCommands(const char* name)
{
    DeleteFileA(ServerStatePath(std::string("commands-") + name + ".log").c_str());
}

std::string StoredFile(const std::string& remote)
{
    return ReadFileBytes(ServerStatePath("pyroot" + remote));
}
