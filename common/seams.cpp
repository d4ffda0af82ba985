// Message boxes and shell launches, with hooks for tests.
#include "common/seams.h"

namespace {
MessageBoxHook g_messageBoxHook = NULL;
ShellExecuteHook g_shellExecuteHook = NULL;
PopupMenuHook g_popupMenuHook = NULL;
}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook old = g_messageBoxHook;
    g_messageBoxHook = hook;
    return old;
}

ShellExecuteHook SetShellExecuteHook(ShellExecuteHook hook)
{
    ShellExecuteHook old = g_shellExecuteHook;
    g_shellExecuteHook = hook;
    return old;
}

PopupMenuHook SetPopupMenuHook(PopupMenuHook hook)
{
    PopupMenuHook old = g_popupMenuHook;
    g_popupMenuHook = hook;
    return old;
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    if (g_messageBoxHook)
        return g_messageBoxHook(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

BOOL RunShellExecute(SHELLEXECUTEINFOA* info)
{
    if (g_shellExecuteHook)
        return g_shellExecuteHook(info);
    return ShellExecuteExA(info);
}

void LoadProgramString(int id, char* out, int size)
{
    if (!out || size <= 0)
        return;
    out[0] = '\0';
    LoadStringA(GetModuleHandleA(NULL), static_cast<UINT>(id), out, size);
}

UINT TrackMenu(HMENU menu, UINT flags, int x, int y, HWND owner)
{
    if (!g_popupMenuHook)
        return static_cast<UINT>(TrackPopupMenu(menu, flags, x, y, 0, owner, NULL));
    UINT chosen = g_popupMenuHook(menu, flags);
    if (flags & TPM_RETURNCMD)
        return chosen;
    if (chosen && !(flags & TPM_NONOTIFY))
        PostMessageA(owner, WM_COMMAND, chosen, 0);
    return chosen ? TRUE : FALSE;
}
