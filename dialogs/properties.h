// Internal to the item properties sheet: the pages' records and procedures.
#pragma once
#include <windows.h>

// What a target page works on, handed to it as its page parameter and kept
// with its window for the modal run of the sheet.
struct TargetPage {
    const char* itemPath;  // the sheet's item
    int kind;              // KIND_FTP or KIND_HD
    DWORD currentId;       // the target in the fields; 0 while they hold a new one
    // FTP page: the certificate that target refused last, as the page shows
    // it and as "Trust It" stores it; empty for none.
    char refused[65];
    char refusedText[256];
};

// The Options page's record.
struct OptionsPage {
    const char* itemPath;
};

INT_PTR CALLBACK TargetPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
