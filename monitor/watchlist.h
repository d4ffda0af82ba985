// The watch list as the item keys give it.
#pragma once

// Calls visit for every item key, in enumeration order, with the item path
// and then (when the item has one) its short form, both upper case. Returns
// 0 when the Files key cannot be opened, else 1.
int ForEachWatchPath(void (*visit)(const char* path, void* context), void* context);
