// The FTP replies window: every reply line the FTP servers send, kept for the whole run.
#include "dialogs/dialogs.h"

#include "common/messages.h"
#include "common/seams.h"
#include "dialogs/dlgtext.h"
#include "resources/resource.h"
#include "store/layout.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>

namespace {

// The window's record, created with it and freed when it goes; the window
// lives for the whole run. Only the main thread touches it: every FTP reply
// arrives on that thread.
struct RepliesWindow {
    size_t runningTotal;  // characters ever appended, also kept by "Clear Window"
    std::string pending;  // lines received since the text was last brought up to date
};

// The text keeps the newest replies up to this many characters, whole lines:
// a server that talks without end must not fill the memory, and an edit
// control takes longer for every change the more text it holds. Lines are
// gathered and added together a moment after they arrive, so that a burst
// of replies costs one change of the text, not one per line.
enum { REPLIES_TEXT_LIMIT = 512 * 1024, FLUSH_TIMER = 1, FLUSH_DELAY_MS = 50 };

// Drops text from the front, up to a line's end, until no more than keep
// characters are left.
void KeepNewest(std::string* text, size_t keep)
{
    if (text->size() <= keep)
        return;
    size_t cut = text->find('\n', text->size() - keep);
    text->erase(0, cut == std::string::npos ? text->size() : cut + 1);
}

// Removes the oldest characters of the edit, at least count, up to the end
// of a reply line (the edit's own lines are wrapped ones).
void DropOldest(HWND edit, int length, int count)
{
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(edit, &text[0], length + 1)));
    size_t cut = text.find('\n', static_cast<size_t>(count));
    SendMessageA(edit, EM_SETSEL, 0, cut == std::string::npos ? length : static_cast<int>(cut + 1));
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

void FlushReplies(HWND dlg, RepliesWindow* w)
{
    KillTimer(dlg, FLUSH_TIMER);
    if (w->pending.empty())
        return;
    HWND edit = GetDlgItem(dlg, IDC_REPLIES_TEXT);
    int length = GetWindowTextLengthA(edit);
    if (w->pending.size() >= REPLIES_TEXT_LIMIT / 2) {
        SetWindowTextA(edit, "");
        length = 0;
    } else if (static_cast<size_t>(length) + w->pending.size() > REPLIES_TEXT_LIMIT) {
        // A quarter at a time, so that this is rare.
        DropOldest(edit, length, static_cast<int>(w->pending.size()) + REPLIES_TEXT_LIMIT / 4);
        length = GetWindowTextLengthA(edit);
    }
    SendMessageA(edit, EM_SETSEL, length, length);
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w->pending.c_str()));
    w->pending.clear();
}

void OnReply(HWND dlg, RepliesWindow* w, const char* line)
{
    if (!line)
        return;
    // The text shows what the server sent in a form the edit control takes;
    // "Save As..." writes what it shows.
    std::string shown = ShowableServerText(line, strlen(line));
    w->runningTotal += shown.size();
    if (w->pending.empty())
        SetTimer(dlg, FLUSH_TIMER, FLUSH_DELAY_MS, NULL);
    w->pending += shown;
    KeepNewest(&w->pending, REPLIES_TEXT_LIMIT);
}

void OnSize(HWND dlg)
{
    RECT client;
    GetClientRect(dlg, &client);
    int W = client.right, H = client.bottom;
    HWND text = GetDlgItem(dlg, IDC_REPLIES_TEXT);
    MoveWindow(text, 50, 20, W - 70, H - 100, TRUE);
    RECT textClient;
    GetClientRect(text, &textClient);
    MoveWindow(GetDlgItem(dlg, IDC_REPLIES_CLEAR), 50, H - 75, textClient.right + 20, 25, TRUE);
    HWND close = GetDlgItem(dlg, IDC_REPLIES_CLOSE);
    RECT r;
    GetWindowRect(close, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    MoveWindow(close, W - w - 20, H - h - 10, w, h, TRUE);
    MoveWindow(GetDlgItem(dlg, IDC_REPLIES_SAVE), 50, H - h - 10, w, h, TRUE);
    InvalidateRect(dlg, NULL, TRUE);
}

bool FileExistsForReading(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

void OnSaveAs(HWND dlg, RepliesWindow* w)
{
    FlushReplies(dlg, w);
    char path[TK_PATH_SIZE] = "";
    if (!BrowseForFile(dlg, path))
        return;
    if (FileExistsForReading(path) &&
        ShowMessageBox(dlg, "That file already exists - overwrite?", "Confirm Overwrite",
                       MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    HWND edit = GetDlgItem(dlg, IDC_REPLIES_TEXT);
    int len = GetWindowTextLengthA(edit);
    char* buffer = static_cast<char*>(malloc(static_cast<size_t>(len) + 1));
    if (!buffer)
        return;
    int got = GetWindowTextA(edit, buffer, len + 1);
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        free(buffer);
        ShowMessageBox(dlg, "Couldn't open file!", "Error", MB_OK | MB_ICONSTOP);
        return;
    }
    DWORD written = 0;
    BOOL ok = got <= 0 || (WriteFile(file, buffer, static_cast<DWORD>(got), &written, NULL) &&
                           written == static_cast<DWORD>(got));
    CloseHandle(file);
    free(buffer);
    if (!ok)
        ShowMessageBox(dlg, "The FTP replies could not be written completely to the file.", "Error",
                       MB_OK | MB_ICONSTOP);
}

void OnCommand(HWND dlg, RepliesWindow* w, int id)
{
    switch (id) {
    case IDC_REPLIES_CLEAR:
        w->pending.clear();
        SetDlgItemTextA(dlg, IDC_REPLIES_TEXT, "");
        break;
    case IDC_REPLIES_CLOSE:
        ShowWindow(dlg, SW_HIDE);
        break;
    case IDC_REPLIES_SAVE:
        OnSaveAs(dlg, w);
        break;
    }
}

void OnInitDialog(HWND dlg)
{
    // Replies are kept for the whole run, beyond the edit's default limit.
    SendDlgItemMessageA(dlg, IDC_REPLIES_TEXT, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    OnSize(dlg);
}

void OnDestroy(HWND dlg, RepliesWindow* w)
{
    SetWindowLongPtrA(dlg, DWLP_USER, 0);
    delete w;
}

INT_PTR CALLBACK RepliesProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    RepliesWindow* w = reinterpret_cast<RepliesWindow*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!w)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return TRUE;
    case WM_SIZE:
        OnSize(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, w, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        ShowWindow(dlg, SW_HIDE);
        return TRUE;
    case UM_FTPREPLY:
        OnReply(dlg, w, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_TIMER:
        FlushReplies(dlg, w);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(dlg, w);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND CreateRepliesWindow(HWND owner)
{
    RepliesWindow* w = new (std::nothrow) RepliesWindow();
    if (!w)
        return NULL;
    // WM_INITDIALOG is the last step of a successful creation: without a
    // window the record was never taken.
    HWND wnd = CreateDialogParamA(GetModuleHandleA(NULL), "SERVEROUTPUT", owner, RepliesProc,
                                  reinterpret_cast<LPARAM>(w));
    if (!wnd)
        delete w;
    return wnd;
}
