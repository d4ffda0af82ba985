// Bounded readers and writers of single registry values; registry data is untrusted.
#pragma once
#include <windows.h>

// Reads a REG_SZ value into buf (size bytes). The text ends at the first zero
// byte of the data or at the end of the data; a value of another type, or one
// whose text does not fit in size-1 characters, reads as absent (FALSE, buf
// untouched).
BOOL ReadRegText(HKEY key, const char* name, char* buf, DWORD size);

// Reads a REG_BINARY (or REG_DWORD) value into out. A value shorter than size
// bytes, or of another type, reads as absent (FALSE, out untouched); of a
// longer value the first size bytes are taken.
BOOL ReadRegBinary(HKEY key, const char* name, void* out, DWORD size);

// Reads a 4-byte number stored as REG_DWORD (or as 4+ bytes of REG_BINARY).
BOOL ReadRegDword(HKEY key, const char* name, DWORD* out);

// Writes text as REG_SZ with a fixed data size: the text, its zero and zero
// padding up to size bytes. FALSE when the text does not fit.
BOOL WriteRegFixedText(HKEY key, const char* name, const char* text, DWORD size);

// Writes text as REG_SZ whose data length is the text length (no zero).
BOOL WriteRegText(HKEY key, const char* name, const char* text);

BOOL WriteRegBinary(HKEY key, const char* name, const void* data, DWORD size);
BOOL WriteRegDword(HKEY key, const char* name, DWORD value);

// Opens SOFTWARE\Tandemkeep (full access); NULL when it cannot be opened.
HKEY OpenProductKey(void);

// Deletes a key with everything below it; TRUE when it is gone afterwards.
BOOL DeleteKeyTree(HKEY parent, const char* name);
