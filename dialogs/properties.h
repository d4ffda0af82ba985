// Internal to the item properties sheet: the page procedures and what they share.
#pragma once
#include <windows.h>

#include "store/layout.h"

// The item path shared by the two target pages (set at their initialisation).
extern char g_targetPagePath[TK_PATH_SIZE];

INT_PTR CALLBACK TargetPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// Creates every missing folder of a drive target's folder, level by level
// at each '\'; failures (levels that exist or cannot be made) are ignored.
void CreateFolderLevels(const char* folder);
