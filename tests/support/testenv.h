// Test environment: a clean product key, temporary folders and file helpers.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Deletes HKLM\SOFTWARE\Tandemkeep with everything below and creates it empty.
void ResetProductKey();
// Deletes the product key altogether.
void DeleteProductKey();

void SetGlobalDword(const char* name, DWORD value);
void SetGlobalText(const char* name, const char* text);
void SetGlobalRaw(const char* name, DWORD type, const void* data, DWORD size);
void DeleteGlobalValue(const char* name);
bool GlobalValueExists(const char* name);
DWORD GetGlobalDword(const char* name, DWORD fallback);
std::string GetGlobalText(const char* name);

// Sets a value of an item key ("Files\<name>" relative path below the product key).
void SetItemRaw(const char* item, const char* subkey, const char* name, DWORD type,
                const void* data, DWORD size);

void RemoveTree(const std::string& path);

// A fresh folder below base (the temporary folder when NULL), removed with
// everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const char* tag = "tk", const char* base = NULL);
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& data);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Creates every missing folder of path.
void MakeDirs(const std::string& path);

// Points installdir at a fresh folder and switches logging on; returns the folder.
std::string UseInstallDir(const TempDir& dir);

// size bytes from a seeded generator: the same seed gives the same bytes.
// The texts sorted, each followed by the separator: a list whose order does not matter, compared
// as one text.
std::string SortedText(std::vector<std::string> texts, const char* separator = " ");
std::string RandomBytes(size_t size, unsigned seed);
// Equality of two byte strings, reported by sizes and first difference.
::testing::AssertionResult SameBytes(const std::string& want, const std::string& got);
// How often part occurs in text.
int CountOf(const std::string& text, const std::string& part);
// Every file below folder: path relative to it -> contents.
std::map<std::string, std::string> ReadTree(const std::string& folder);
