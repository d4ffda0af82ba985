// Retrying failed copies: which failures may pass, how long to wait, and one clock per target
// that wakes the files waiting for it together.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "store/pending.h"

// What a failure says about the next attempt.
enum FailureScope {
    FAILURE_NONE = 0,     // not a failure
    FAILURE_LASTING = 1,  // will not pass by itself: reported as ever, never retried
    FAILURE_TARGET = 2,   // the target cannot be reached or take files now: it waits as a whole
    FAILURE_FILE = 3,     // this one file cannot be read or written now: the file waits alone
};

// Scope of a failure by its error code (log/errors.h, or an FTP reply code) and, when known,
// the Win32 error of the failed call (0 when not known; only ERR_DEST_OPEN and
// ERR_FILE_OPERATION look at it). Pure.
int ClassifyFailure(int code, DWORD systemError);

enum { RETRY_FIRST_STEP_MS = 30000, RETRY_CAP_MS = 3600000 };

// The wait after `failures` failures in a row (1 after the first): firstStepMs, doubled with
// each further failure, never more than an hour. random takes up to a quarter off, so that
// targets that failed together do not all come back at the same moment; the full wait is the
// longest, so the hour holds. Pure.
DWORD RetryDelayMs(DWORD failures, DWORD firstStepMs, DWORD random);

// The first step: 30 s, or what the environment variable TK_RETRY_FIRST_MS says (1 to 30000),
// so that tests with the real program keep their waits short.
DWORD RetryFirstStepMs(void);

struct RetrySchedule;

// A schedule over a pending list, which it uses but does not own. NULL when memory runs out.
RetrySchedule* NewRetrySchedule(PendingList* list);
void FreeRetrySchedule(RetrySchedule* schedule);

// Test seam: where the schedule reads the time (GetTickCount when NULL).
void SetRetryTickSource(RetrySchedule* schedule, DWORD (*tick)(void));

// Set whenever something may have fallen due sooner than the retrier's wait: a new failure, a
// target that answered, Retry Now, Stop All. Auto-reset; owned by the schedule.
HANDLE RetryWakeEvent(RetrySchedule* schedule);

// Results of NoteCopyFailure.
enum {
    RETRY_NOT_KEPT = 0,     // report it as ever; nothing is retried (an entry there was goes)
    RETRY_KEPT_REPORT = 1,  // kept for retrying; report it: a first failure, or another kind
    RETRY_KEPT_QUIET = 2,   // kept; the same failure as before, which the user has heard of
};

// A copy of path to target (kind, id) failed with code (systemError as for ClassifyFailure);
// itemLength is the length of the covering item's key name. A target-wide failure sets the
// target's clock back, once per round of attempts however many files failed in it; a failure
// of the file alone makes that file wait its own delay. Returns RETRY_*. The entry is on disk
// (flushed) before this returns.
int NoteCopyFailure(RetrySchedule* schedule, const char* path, BYTE kind, DWORD id, WORD itemLength,
                    int code, DWORD systemError);

// The same for many copies at once, with one write and one flush: the files of an FTP batch
// whose connection failed.
struct CopyFailure {
    const char* path;
    BYTE kind;
    DWORD id;
    WORD itemLength;
    int code;
    DWORD systemError;
    int result;  // out: RETRY_*
};
void NoteCopyFailures(RetrySchedule* schedule, CopyFailure* failures, size_t count);

// A copy of path to target (kind, id) went through, live or retried: the target is reachable
// again, so the files waiting for it fall due now. 1 when the copy had been pending; *was (may
// be NULL) then holds its entry, whose firstFailure says how long it waited.
int NoteCopySuccess(RetrySchedule* schedule, const char* path, BYTE kind, DWORD id, WORD itemLength,
                    PendingState* was);

// Drops the entry of a copy that is no longer to be made (its file or target has gone), telling
// no clock anything. 1 when there was one.
int DropPendingCopy(RetrySchedule* schedule, const char* path, BYTE kind, DWORD id);

struct DueCopy {
    std::string path;
    BYTE kind;
    DWORD targetId;
};

// Hands out up to max copies that are due, marking them under way until their success or
// failure is noted (or an hour has passed, should neither ever be). *nextMs receives how long
// until the next one falls due: 0 when more are due than were taken, INFINITE when none waits.
size_t TakeDueCopies(RetrySchedule* schedule, size_t max, std::vector<DueCopy>* out, DWORD* nextMs);

// Retry Now: every pending copy and every target falls due at once.
void RetryAllNow(RetrySchedule* schedule);
// A network change or a drive that came back: the targets waiting as a whole try at once.
void WakeWaitingTargets(RetrySchedule* schedule);
// Stop All Transfers: the retries under way are taken back and wait their delays again.
void ReleaseTakenCopies(RetrySchedule* schedule);
