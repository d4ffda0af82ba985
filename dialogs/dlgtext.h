// Pure text, number and layout rules of the dialogs; no window, file or registry here.
#pragma once
#include <windows.h>

#include "transfer/diskcopy.h"  // FileNamePart, EndsWithSeparator

#include <string>

// Longest texts the design's buffers hold: a path in 260 bytes, an FTP text in 256.
enum { MAX_PATH_TEXT = 259, MAX_FTP_TEXT = 255 };

// Removes one trailing '\' or '/' when the text has at least minLength characters.
void StripOneSeparator(char* text, size_t minLength);
// A drive root as typed: at most 3 characters with ':' second (C:, C:\, C:/).
bool IsDriveRootText(const char* text);
// The Windows directory typed in any case, as a whole string (no trailing '\').
bool IsWindowsDirText(const char* text, const char* windowsDir);
// An FTP folder must begin with "/" or "..".
bool IsValidFtpFolder(const char* folder);

// Storage types: list position <-> stored byte (anything unknown shows as 0).
int StoragePosition(BYTE stored);
BYTE StorageValue(int position, bool allowAppend);

// "Folder Properties: %s" or "File Properties: %s" into out.
void FormatSheetCaption(const char* itemPath, char* out, size_t size);

// Tips: the string ID of tip number n (10 shares the text of 11), the number
// stored after showing n (0 after 15), and whether a stored value shows a tip.
int TipStringId(int number);
int NextTipNumber(int number);
bool TipIsShown(DWORD stored);
// Tutorial pages 0..6.
int NextTutorialPage(int page);
int PreviousTutorialPage(int page);

// Where a drive restore writes: folder + "\" + the original file's name.
// False for an empty folder or name, or when the result does not fit.
bool BuildRestoreTarget(const char* folder, const char* originalPath, char* out, size_t size);

// The subject of the error report when an FTP restore cannot start: the
// server address of the record's location for a failure to reach the server
// (codes 4, 5, 6 and 9), otherwise, or when the location names none, the
// stored name.
void RestoreErrorSubject(int code, const char* storedName, const char* location, char* out,
                         size_t size);

// The browser's program file from an "http\shell\open\command" text: leading
// double quotes skipped, cut at the next one.
void BrowserProgram(const char* command, char* out, size_t size);

// The last folder of a chosen file: the path cut at its last '\' (scanned from
// the end down to the second character); a path without one stays whole.
void LastDirectoryOf(const char* path, char* out, size_t size);

// A server's text as every control can show it: printable ASCII is kept,
// CR LF, a lone CR and a lone LF each become one CR LF, and every other byte
// becomes one '?'. The server's encoding is unknown, and what a byte above
// 127 turns into depends on the system's code page and fonts: under Wine,
// byte 0x98 of code page 1252 (the small tilde) after a digit, punctuation or
// a control byte crashes the edit control's text layout, and other code pages
// make combining marks or lead bytes of such bytes. '?' is the same byte in
// every code page, and is what Windows itself shows for a character it
// cannot show.
std::string ShowableServerText(const char* text, size_t length);

// Restore dialog layout from its outer size: list and the four buttons.
struct RestoreLayout {
    RECT list;  // x, y, width, height in left, top, right, bottom
    RECT restore;
    RECT remove;
    RECT removeAll;
    RECT close;
};
// listWidth and listHeight are the list's resulting size (the caller reads
// them back after moving it); pass -1 to take them from the requested size.
RestoreLayout LayoutRestore(int outerWidth, int outerHeight, int listWidth, int listHeight);
