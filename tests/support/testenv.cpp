// Test environment: a clean product key, temporary folders and file helpers.
#include "tests/support/testenv.h"

#include "store/layout.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <string.h>

#include <random>

void DeleteProductKey()
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY);
}

void ResetProductKey()
{
    DeleteProductKey();
    HKEY key = NULL;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (key)
        RegCloseKey(key);
}

void SetGlobalRaw(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = NULL;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
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
    HKEY key = OpenProductKey();
    if (key) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

bool GlobalValueExists(const char* name)
{
    HKEY key = OpenProductKey();
    if (!key)
        return false;
    bool exists = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

DWORD GetGlobalDword(const char* name, DWORD fallback)
{
    HKEY key = OpenProductKey();
    DWORD value = fallback;
    if (key) {
        ReadRegDword(key, name, &value);
        RegCloseKey(key);
    }
    return value;
}

std::string GetGlobalText(const char* name)
{
    HKEY key = OpenProductKey();
    char text[4096] = "";
    if (key) {
        ReadRegText(key, name, text, sizeof text);
        RegCloseKey(key);
    }
    return text;
}

void SetItemRaw(const char* item, const char* subkey, const char* name, DWORD type,
                const void* data, DWORD size)
{
    std::string path = std::string(TK_FILES_KEY) + "\\" + item;
    if (subkey && *subkey)
        path += std::string("\\") + subkey;
    HKEY key = NULL;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

TempDir::TempDir(const char* tag)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static unsigned counter = 0;
    char name[MAX_PATH];
    for (;;) {
        snprintf(name, sizeof name, "%s%s-%lu-%u", base, tag, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, NULL))
            break;
    }
    // Long form, so comparisons with resolved paths hold.
    char longName[MAX_PATH];
    DWORD got = GetLongPathNameA(name, longName, sizeof longName);
    path_ = (got > 0 && got < sizeof longName) ? longName : name;
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

std::string TempDir::operator/(const std::string& relative) const
{
    return path_ + "\\" + relative;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            std::string child = path + "\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
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
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

namespace {

void CollectTree(const std::string& folder, const std::string& prefix,
                 std::map<std::string, std::string>* out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectTree(folder + "\\" + name, prefix + name + "\\", out);
        else
            (*out)[prefix + name] = ReadFileBytes(folder + "\\" + name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

}  // namespace

std::map<std::string, std::string> ReadTree(const std::string& folder)
{
    std::map<std::string, std::string> out;
    CollectTree(folder, "", &out);
    return out;
}
