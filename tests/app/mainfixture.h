// A real main window in the test process, with its tray calls recorded, and item helpers.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the main window (after the registry is prepared).
    HWND Open(int show = SW_SHOWNORMAL);
    // Creates item keys for paths and reloads the list.
    void AddItems(const std::vector<std::string>& paths);
    void Reload();
    HWND List() const;
    std::vector<std::string> Rows() const;
    void Select(const std::vector<int>& rows);
    void Command(UINT id);

    // Tray calls seen since SetUp: NIM_ADD, NIM_MODIFY, NIM_DELETE.
    static std::vector<DWORD> trayCalls;
    HWND wnd_ = NULL;
    std::string install_;

private:
    class TempDirHolder;
    TempDirHolder* dir_ = nullptr;
};

// Registry helpers for targets: one FTP target and one disk target of an item path.
void AddFtpTarget(const std::string& itemPath, DWORD id, const char* name, const char* user,
                  const char* password, const char* address, WORD port);
void AddDiskTarget(const std::string& itemPath, DWORD id, const char* folder);
void SetItemSwitch(const std::string& itemPath, const char* name, BYTE value);
