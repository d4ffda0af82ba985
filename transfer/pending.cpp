// Folder transfer not written yet: folder transfers start nothing.
#include "transfer/folder.h"

int StartFolderTransfer(FolderTransfer*) { return 1; }
HWND CreateProgressWindow(HWND, const char*) { return NULL; }
