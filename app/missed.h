// No change missed, as the main window runs it: the copies waiting to be retried, the catch-up
// with what changed while the program was not running, and what the user sees of both.
#pragma once
#include <windows.h>

// At start, before the live worker runs: opens the pending list and the stored versions that
// the switches retryfailed and catchup ask for, and points the copies' outcomes at them.
void OpenMissedChanges(void);
// At the end of the start, once the monitors run: the retrier, the catch-up of every item,
// Windows asked to start the program again after a crash, and the count of waiting copies in
// the status line and the tray tip (kept up to date by a timer).
void StartMissedChanges(HWND wnd);
// After the Settings dialog: retrying follows its switch at once (the list is kept while it
// is off); the versions are recorded from now on when the catch-up was switched on.
void FollowMissedSwitches(HWND wnd);

// Monitoring was switched on: the catch-up of every item, unless it ran in this run already.
void CatchUpWhenMonitoring(HWND wnd);
// The item list was built anew: items added since start their record (the catch-up of each).
void NoteItemsListed(HWND wnd);
// An item's targets may have changed: new ones start their record.
void CatchUpItem(HWND wnd, const char* itemPath);

// Retry Now: every waiting copy goes at once.
void RetryWaitingNow(void);
// Stop All Transfers: the retries under way and queued are taken back; the list stays.
void StopRetries(void);
// A drive arrived: targets that wait as a whole try again.
void WakeRetries(void);

// Puts the command "Retry Now" into the popup (after "Stop All Transfers" when it holds that)
// while retrying is on, and takes it out while it is off.
void FitRetryCommand(HMENU popup);
// The main menu's popup that holds "Stop All Transfers".
HMENU SynchronizationMenu(HWND wnd);
// "1 copy waiting to be retried", "3 copies waiting to be retried"; "" for none. Pure.
void FormatWaitingCopies(long count, char* out, size_t size);
