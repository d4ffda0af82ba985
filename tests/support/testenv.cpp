// Test environment: a clean product key, temporary folders and file helpers.
#include "tests/support/testenv.h"

#include "store/layout.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

// A key below HKEY_LOCAL_MACHINE for the length of a statement: opened (NULL when missing) or
// created.
struct MachineKey {
    HKEY key = NULL;
    explicit MachineKey(const std::string& path, bool create = false)
    {
        if (create)
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                            &key, NULL);
        else
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    ~MachineKey() { RegCloseKey(key); }  // fails harmlessly on NULL
};

// Calls visit(full path, path relative to folder, whether a folder) for everything below folder,
// each folder after its contents.
void WalkTree(const std::string& folder, const std::string& relative,
              const std::function<void(const std::string&, const std::string&, bool)>& visit)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        bool isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name == "." || name == "..")
            continue;
        if (isFolder)
            WalkTree(folder + "\\" + name, relative + name + "\\", visit);
        visit(folder + "\\" + name, relative + name, isFolder);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

}  // namespace

void DeleteProductKey()
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY);
}

void ResetProductKey()
{
    DeleteProductKey();
    MachineKey created(TK_PRODUCT_KEY, true);
}

void SetGlobalRaw(const char* name, DWORD type, const void* data, DWORD size)
{
    RegSetValueExA(MachineKey(TK_PRODUCT_KEY, true).key, name, 0, type,
                   static_cast<const BYTE*>(data), size);
}

void SetGlobalDword(const char* name, DWORD value)
{
    SetGlobalRaw(name, REG_DWORD, &value, sizeof value);
}

void SetGlobalText(const char* name, const char* text)
{
    SetGlobalRaw(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

void DeleteGlobalValue(const char* name)
{
    RegDeleteValueA(MachineKey(TK_PRODUCT_KEY).key, name);
}

bool GlobalValueExists(const char* name)
{
    return RegQueryValueExA(MachineKey(TK_PRODUCT_KEY).key, name, NULL, NULL, NULL, NULL) ==
           ERROR_SUCCESS;
}

DWORD GetGlobalDword(const char* name, DWORD fallback)
{
    ReadRegDword(MachineKey(TK_PRODUCT_KEY).key, name, &fallback);
    return fallback;
}

std::string GetGlobalText(const char* name)
{
    char text[4096] = "";
    ReadRegText(MachineKey(TK_PRODUCT_KEY).key, name, text, sizeof text);
    return text;
}

void SetItemRaw(const char* item, const char* subkey, const char* name, DWORD type,
                const void* data, DWORD size)
{
    std::string path = std::string(TK_FILES_KEY) + "\\" + item;
    if (subkey && *subkey)
        path += std::string("\\") + subkey;
    RegSetValueExA(MachineKey(path, true).key, name, 0, type, static_cast<const BYTE*>(data), size);
}

TempDir::TempDir(const char* tag, const char* base)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned counter = 0;
    char name[MAX_PATH];
    do
        snprintf(name, sizeof name, "%s%s-%lu-%u", base ? base : temp, tag, GetCurrentProcessId(),
                 ++counter);
    while (!CreateDirectoryA(name, NULL));
    // Long form, so comparisons with resolved paths hold.
    char longName[MAX_PATH];
    DWORD got = GetLongPathNameA(name, longName, sizeof longName);
    path_ = (got > 0 && got < sizeof longName) ? longName : name;
}

void RemoveTree(const std::string& path)
{
    WalkTree(path, "", [](const std::string& child, const std::string&, bool isFolder) {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFolder)
            RemoveDirectoryA(child.c_str());
        else
            DeleteFileA(child.c_str());
    });
    RemoveDirectoryA(path.c_str());
}

std::map<std::string, std::string> ReadTree(const std::string& folder)
{
    std::map<std::string, std::string> out;
    WalkTree(folder, "",
             [&out](const std::string& path, const std::string& relative, bool isFolder) {
                 if (!isFolder)
                     out[relative] = ReadFileBytes(path);
             });
    return out;
}

bool WriteFileBytes(const std::string& path, const std::string& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

std::string ReadFileBytes(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return std::string();
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.append(buf, n);
    fclose(f);
    return data;
}

bool FileExists(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path)
{
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
}

std::string UseInstallDir(const TempDir& dir)
{
    SetGlobalText("installdir", dir.path().c_str());
    SetGlobalDword("logging", 1);
    return dir.path();
}

std::string SortedText(std::vector<std::string> texts, const char* separator)
{
    std::sort(texts.begin(), texts.end());
    std::string all;
    for (const std::string& t : texts)
        all += t + separator;
    return all;
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

::testing::AssertionResult SameBytes(const std::string& want, const std::string& got)
{
    if (want == got)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at])
        ++at;
    return ::testing::AssertionFailure() << "want " << want.size() << " bytes, got " << got.size()
                                         << ", first difference at " << at;
}

int CountOf(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
        ++n;
    return n;
}
