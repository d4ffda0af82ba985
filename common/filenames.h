// File names as the program's ANSI functions can use them: listings that never give a look-alike
// name, and the test for names that the system's code page cannot show.
#pragma once
#include <windows.h>

// The ANSI form of a wide name (length in characters, -1 when terminated) in
// out (size bytes). 1 when it is the name itself; 0 when a character has no
// exact form in the code page (or out is too small). Such a character becomes
// '?', never the look-alike letter the system's own conversion picks ("Ł" as
// "L"), which would name some other file or none: no file name holds '?', so
// the text cannot open or stand for another file.
int AnsiFileName(const wchar_t* wide, int length, char* out, int size);

// 1 when path holds '?' or '*', which no file name may hold: a name shown as
// far as the code page allows (AnsiFileName), or a pattern. Such a path names
// nothing the ANSI file functions can open.
int IsUnshowablePath(const char* path);

// One entry of a listing: the find data with its names in ANSI, and whether
// cFileName is the entry's own name (else it shows '?' where it must).
struct FoundName {
    WIN32_FIND_DATAA data;
    bool exact;
};

// FindFirstFile and FindNextFile on an ANSI pattern, listed through the wide
// functions so that each name comes as AnsiFileName gives it. Closed with
// FindClose; INVALID_HANDLE_VALUE when nothing can be listed.
HANDLE FindFirstName(const char* pattern, FoundName* out);
BOOL FindNextName(HANDLE find, FoundName* out);
