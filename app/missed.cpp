// The pending list, the retrier and the catch-up as the main window starts and shows them.
#include "app/missed.h"

#include "app/appstate.h"
#include "app/tray.h"
#include "monitor/catchup.h"
#include "resources/resource.h"
#include "store/pending.h"
#include "store/storedstate.h"
#include "store/store.h"
#include "transfer/outcome.h"
#include "transfer/retrier.h"
#include "transfer/worker.h"

#include <commctrl.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>

namespace {

const UINT_PTR kWaitingTimer = 0x5457;  // "TW"
// The count part of the status line, at its right end.
const int kCountWidth = 220;

// Main thread only. The list and the versions, once opened, stay open until the process
// ends: the threads that use them are never joined.
PendingList* g_list = NULL;
RetrySchedule* g_schedule = NULL;
StoredState* g_stored = NULL;
bool g_retrying = false;
bool g_retrierStarted = false;
bool g_caughtUp = false;  // the catch-up of every item ran in this run
bool g_listed = false;    // g_items holds the items as listed last
std::set<std::string> g_items;
long g_shownCount = -1;
int g_shownWidth = -1;

// A state file beside the logs; kept in memory only when there is no installation folder.
std::string StatePath(const char* name)
{
    char path[TK_PATH_SIZE];
    return GetStateFilePath(name, path, sizeof path) ? path : "";
}

void OpenSwitchedOn(bool retrying, bool catchUp)
{
    if (retrying && !g_list) {
        g_list = OpenPendingList(StatePath(TK_PENDING_FILE).c_str());
        g_schedule = NewRetrySchedule(g_list);
    }
    if (catchUp && !g_stored)
        g_stored = OpenStoredState(StatePath(TK_STORED_FILE).c_str());
    g_retrying = retrying && g_schedule;
    SetCopyOutcomes(g_retrying ? g_schedule : NULL, g_stored);
}

void StartRetrier(HWND wnd)
{
    if (!g_schedule || g_retrierStarted)
        return;
    RetrierStart* start = static_cast<RetrierStart*>(calloc(1, sizeof(RetrierStart)));
    if (!start)
        return;
    start->schedule = g_schedule;
    start->queue = g_app.live.queue;
    start->workEvent = g_app.live.workEvent;
    start->liveStopEvent = g_app.live.liveStopEvent;
    start->shutdownEvent = g_app.live.shutdownEvent;
    start->mainWindow = wnd;
    uintptr_t thread = _beginthreadex(NULL, 0, RetrierThread, start, 0, NULL);
    if (!thread) {
        free(start);
        return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    g_retrierStarted = true;
}

// Runs on the monitors' heels; the thread does nothing while monitoring is off.
void StartCatchUp(HWND wnd, const char* onlyItem)
{
    if (!g_stored)
        return;
    CatchUpStart* start = static_cast<CatchUpStart*>(calloc(1, sizeof(CatchUpStart)));
    if (!start)
        return;
    start->state = g_stored;
    start->queue = g_app.live.queue;
    start->workEvent = g_app.live.workEvent;
    start->liveStopEvent = g_app.live.liveStopEvent;
    start->shutdownEvent = g_app.live.shutdownEvent;
    start->mainWindow = wnd;
    start->sizeFilter = FitsSizeLimit;
    lstrcpynA(start->onlyItem, onlyItem ? onlyItem : "", sizeof start->onlyItem);
    uintptr_t thread = _beginthreadex(NULL, 0, CatchUpThread, start, 0, NULL);
    if (thread)
        CloseHandle(reinterpret_cast<HANDLE>(thread));
    else
        free(start);
}

// After a crash or a hang Windows starts the program again, hidden, and the catch-up and the
// list take over. Windows before Vista has no such service.
void AskForRestart(void)
{
    typedef HRESULT(WINAPI * RegisterRestart)(PCWSTR, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    RegisterRestart reg = kernel ? reinterpret_cast<RegisterRestart>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "RegisterApplicationRestart")))
                                 : NULL;
    if (reg)
        reg(L"HIDE", 0);
}

// The count, in a second part of the status line and after the tray's plain tip.
void ShowWaitingCopies(HWND wnd)
{
    long count = g_retrying ? CountPendingCopies(g_list) : 0;
    HWND bar = g_app.statusBar;
    RECT client = {};
    if (bar)
        GetClientRect(bar, &client);
    if (count == g_shownCount && (count == 0 || client.right == g_shownWidth))
        return;
    char text[64];
    FormatWaitingCopies(count, text, sizeof text);
    if (bar) {
        int edges[2] = {client.right - kCountWidth > 100 ? client.right - kCountWidth : 100, -1};
        if (count == 0)
            edges[0] = -1;
        SendMessageA(bar, SB_SETPARTS, count ? 2 : 1, reinterpret_cast<LPARAM>(edges));
        if (count)
            SendMessageA(bar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text));
    }
    if (count != g_shownCount)
        SetTrayWaitingText(wnd, text);
    g_shownCount = count;
    g_shownWidth = client.right;
}

void CALLBACK OnWaitingTimer(HWND wnd, UINT, UINT_PTR, DWORD)
{
    ShowWaitingCopies(wnd);
}

void FitMainMenu(HWND wnd)
{
    HMENU sync = SynchronizationMenu(wnd);
    if (sync)
        FitRetryCommand(sync);
}

}  // namespace

void OpenMissedChanges(void)
{
    OpenSwitchedOn(ReadGlobalSwitch(TK_VALUE_RETRYFAILED) != 0,
                   ReadGlobalSwitch(TK_VALUE_CATCHUP) != 0);
}

void StartMissedChanges(HWND wnd)
{
    StartRetrier(wnd);
    if (g_schedule || g_stored)
        AskForRestart();
    NoteItemsListed(wnd);
    CatchUpWhenMonitoring(wnd);
    FitMainMenu(wnd);
    ShowWaitingCopies(wnd);
    SetTimer(wnd, kWaitingTimer, 1000, OnWaitingTimer);
}

void FollowMissedSwitches(HWND wnd)
{
    bool wasRetrying = g_retrying, recorded = g_stored != NULL;
    OpenSwitchedOn(ReadGlobalSwitch(TK_VALUE_RETRYFAILED) != 0,
                   ReadGlobalSwitch(TK_VALUE_CATCHUP) != 0);
    StartRetrier(wnd);
    if ((g_retrying && !wasRetrying) || (g_stored && !recorded))
        AskForRestart();
    if (g_retrying != wasRetrying)
        SetEvent(RetryWakeEvent(g_schedule));
    FitMainMenu(wnd);
    ShowWaitingCopies(wnd);
}

void CatchUpWhenMonitoring(HWND wnd)
{
    if (g_caughtUp || !g_stored || !IsMonitoringEnabled())
        return;
    g_caughtUp = true;
    StartCatchUp(wnd, NULL);
}

void NoteItemsListed(HWND wnd)
{
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    std::set<std::string> items;
    char path[TK_PATH_SIZE];
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        path[0] = '\0';
        ListView_GetItemText(list, row, 0, path, sizeof path);
        items.insert(path);
    }
    // Until the catch-up of every item has run, it takes the new ones too.
    if (g_listed && g_caughtUp)
        for (const std::string& item : items)
            if (!g_items.count(item))
                StartCatchUp(wnd, item.c_str());
    g_items = items;
    g_listed = true;
}

void CatchUpItem(HWND wnd, const char* itemPath)
{
    if (g_caughtUp && itemPath)
        StartCatchUp(wnd, itemPath);
}

void RetryWaitingNow(void)
{
    if (g_retrying)
        RetryAllNow(g_schedule);
}

void StopRetries(void)
{
    if (!g_schedule)
        return;
    RemoveRetriedRequests(g_app.live.queue);
    ReleaseTakenCopies(g_schedule);
}

void WakeRetries(void)
{
    if (g_retrying)
        WakeWaitingTargets(g_schedule);
}

void FitRetryCommand(HMENU popup)
{
    bool present = GetMenuState(popup, IDM_RETRY_NOW, MF_BYCOMMAND) != static_cast<UINT>(-1);
    if (!g_retrying) {
        if (present)
            DeleteMenu(popup, IDM_RETRY_NOW, MF_BYCOMMAND);
        return;
    }
    if (present)
        return;
    int count = GetMenuItemCount(popup), at = count;
    for (int i = 0; i < count; ++i)
        if (GetMenuItemID(popup, i) == IDM_STOP_ALL)
            at = i + 1;
    InsertMenuA(popup, static_cast<UINT>(at), MF_BYPOSITION | MF_STRING, IDM_RETRY_NOW,
                "Retry &Now");
}

HMENU SynchronizationMenu(HWND wnd)
{
    HMENU bar = GetMenu(wnd);
    for (int i = 0; bar && i < GetMenuItemCount(bar); ++i) {
        HMENU popup = GetSubMenu(bar, i);
        if (popup && GetMenuState(popup, IDM_STOP_ALL, MF_BYCOMMAND) != static_cast<UINT>(-1))
            return popup;
    }
    return NULL;
}

void FormatWaitingCopies(long count, char* out, size_t size)
{
    if (count <= 0)
        snprintf(out, size, "%s", "");
    else
        snprintf(out, size, "%ld %s waiting to be retried", count, count == 1 ? "copy" : "copies");
}
