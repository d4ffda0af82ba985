// Retrying failed copies: the failure classes, the backoff, and the per-target clocks over the
// pending list.
#include "transfer/retry.h"

#include "log/errors.h"

#include <stdlib.h>

#include <map>
#include <new>

namespace {

// A destination that cannot be opened: the system's error tells whether a name is at fault
// (too long or not allowed, which no wait mends), the one file (held by another program, or
// read-only), or the place as a whole (a folder, drive or share that is gone, a full disk,
// and anything not known, as these are what a user meets most).
int ClassifyDestination(DWORD systemError)
{
    switch (systemError) {
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return FAILURE_LASTING;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
        return FAILURE_FILE;
    default:
        return FAILURE_TARGET;
    }
}

struct TargetClock {
    DWORD failures;  // rounds in a row that failed
    DWORD wakeTick;
    bool waiting;  // wakeTick is ahead; failures in the meantime belong to the same round
};

}  // namespace

int ClassifyFailure(int code, DWORD systemError)
{
    switch (code) {
    case ERR_SUCCESS:
        return FAILURE_NONE;
    // No network, no name service, no server, or a connection that broke.
    case ERR_TCPIP:
    case ERR_HOST_NOT_RESOLVED:
    case ERR_CANNOT_CONNECT:
        return FAILURE_TARGET;
    // A read or write that failed (a share that went, a full disk), or a disk target's folder
    // that is no full path, which the system's error tells apart.
    case ERR_FILE_OPERATION:
        return systemError ? ClassifyDestination(systemError) : FAILURE_TARGET;
    // Another program holds the source; memory that others free again.
    case ERR_SOURCE_OPEN:
    case ERR_NO_MEMORY:
        return FAILURE_FILE;
    case ERR_DEST_OPEN:
        return ClassifyDestination(systemError);
    // Settings that are missing or switched off, a target that is gone, texts that no command
    // can carry: only the user changes these.
    case ERR_NO_SETTINGS:
    case ERR_FTP_NOT_ENABLED:
    case ERR_FTP_REJECTED:
    case ERR_GENERIC:
    // A server without AUTH TLS, a certificate not trusted: retrying would
    // meet the same refusal, and the user's trust or setting mends it.
    case ERR_TLS_REFUSED:
        return FAILURE_LASTING;
    // An encrypted connection that broke off, like a plain one.
    case ERR_TLS_FAILED:
        return FAILURE_TARGET;
    }
    // FTP replies. 4xx are transient by definition: 421 (service going down), 425 and 426
    // (data connection), 451, 452 (no room now) wait with their server; 450 (the file is busy
    // there) waits alone. 552 (storage allocation exceeded) is permanent to the protocol but is
    // the full disk of an FTP server, which the user's clean-up mends without touching
    // Tandemkeep. Every other 5xx (530 and 332 login refused, 532, 550, 553 name refused) and
    // whatever else stands until the user acts.
    if (code >= 400 && code < 500)
        return code == 450 ? FAILURE_FILE : FAILURE_TARGET;
    if (code == 552)
        return FAILURE_TARGET;
    return FAILURE_LASTING;
}

DWORD RetryDelayMs(DWORD failures, DWORD firstStepMs, DWORD random)
{
    const DWORD cap = RETRY_CAP_MS;
    DWORD delay = firstStepMs > cap ? cap : firstStepMs;
    for (DWORD i = 1; i < failures && delay < cap; ++i)
        delay = delay > cap / 2 ? cap : delay * 2;
    return delay - random % (delay / 4 + 1);
}

DWORD RetryFirstStepMs(void)
{
    char text[16];
    DWORD n = GetEnvironmentVariableA("TK_RETRY_FIRST_MS", text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return RETRY_FIRST_STEP_MS;
    char* end = NULL;
    unsigned long ms = strtoul(text, &end, 10);
    if (*end || ms == 0 || ms > RETRY_FIRST_STEP_MS)
        return RETRY_FIRST_STEP_MS;
    return static_cast<DWORD>(ms);
}

struct RetrySchedule {
    CRITICAL_SECTION lock;  // taken before the pending list's own
    PendingList* list;
    std::map<std::string, TargetClock> clocks;
    HANDLE wake;
    DWORD (*tick)(void);
    DWORD seed;
};

namespace {

// Taken before the list's lock, never after it.
struct Held {
    RetrySchedule* s;
    explicit Held(RetrySchedule* schedule) : s(schedule) { EnterCriticalSection(&s->lock); }
    ~Held() { LeaveCriticalSection(&s->lock); }
};

DWORD Now(RetrySchedule* s)
{
    return s->tick ? s->tick() : GetTickCount();
}

DWORD Random(RetrySchedule* s)
{
    // xorshift32: enough to spread wake-ups.
    DWORD x = s->seed;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s->seed = x;
    return x;
}

// A tick that is still ahead of now. 0 stands for no wait; anything further ahead than two
// hours can only be a tick from before a wrap-around, long past.
bool Ahead(DWORD tick, DWORD now)
{
    DWORD diff = tick - now;
    return tick != 0 && diff != 0 && diff <= 2u * RETRY_CAP_MS;
}

DWORD TickAfter(DWORD now, DWORD delay)
{
    DWORD tick = now + delay;
    return tick ? tick : 1;
}

// The clock of the target that an entry's path, item and target id name.
std::string ClockKey(const char* path, size_t itemLength, BYTE kind, DWORD id)
{
    std::string key;
    key.reserve(itemLength + 6);
    key.push_back(static_cast<char>(kind));
    key.append(reinterpret_cast<const char*>(&id), sizeof id);
    for (size_t i = 0; i < itemLength; ++i)
        key.push_back((path[i] >= 'a' && path[i] <= 'z') ? path[i] - 'a' + 'A' : path[i]);
    return key;
}

}  // namespace

RetrySchedule* NewRetrySchedule(PendingList* list)
{
    RetrySchedule* s = new (std::nothrow) RetrySchedule();
    if (!s)
        return NULL;
    s->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!s->wake) {
        delete s;
        return NULL;
    }
    InitializeCriticalSection(&s->lock);
    s->list = list;
    s->seed = GetTickCount() ^ (GetCurrentProcessId() << 16) ^ 0x9E3779B9u;
    if (!s->seed)
        s->seed = 1;
    return s;
}

void FreeRetrySchedule(RetrySchedule* s)
{
    if (!s)
        return;
    CloseHandle(s->wake);
    DeleteCriticalSection(&s->lock);
    delete s;
}

void SetRetryTickSource(RetrySchedule* s, DWORD (*tick)(void))
{
    if (s)
        s->tick = tick;
}

HANDLE RetryWakeEvent(RetrySchedule* s)
{
    return s ? s->wake : NULL;
}

void NoteCopyFailures(RetrySchedule* s, CopyFailure* failures, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        failures[i].result = RETRY_NOT_KEPT;
    if (!s)
        return;
    Held held(s);
    DWORD now = Now(s);
    std::vector<PendingFailure> kept;
    std::vector<size_t> from;
    try {
        for (size_t i = 0; i < count; ++i) {
            CopyFailure& f = failures[i];
            if (!f.path)
                continue;
            int scope = ClassifyFailure(f.code, f.systemError);
            if (scope == FAILURE_NONE || scope == FAILURE_LASTING) {
                RemovePendingCopy(s->list, f.path, f.kind, f.id, NULL);
                continue;
            }
            DWORD due = 0;
            if (scope == FAILURE_TARGET) {
                TargetClock& c = s->clocks[ClockKey(f.path, f.itemLength, f.kind, f.id)];
                if (!c.waiting || !Ahead(c.wakeTick, now)) {
                    ++c.failures;
                    c.wakeTick =
                        TickAfter(now, RetryDelayMs(c.failures, RetryFirstStepMs(), Random(s)));
                    c.waiting = true;
                }
            } else {
                PendingState before = {};
                DWORD attempts =
                    FindPendingCopy(s->list, f.path, f.kind, f.id, &before) ? before.attempts : 0;
                due = TickAfter(now, RetryDelayMs(attempts + 1, RetryFirstStepMs(), Random(s)));
            }
            kept.push_back(PendingFailure{f.path, f.kind, f.id, f.itemLength, f.code,
                                          static_cast<BYTE>(scope), due, 0});
            from.push_back(i);
        }
    } catch (const std::bad_alloc&) {
        // What was gathered is still kept; the rest is reported as ever.
    }
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    NotePendingFailures(s->list, kept.data(), kept.size(),
                        (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    for (size_t k = 0; k < kept.size(); ++k) {
        int noted = kept[k].result;
        failures[from[k]].result = noted == PENDING_NOT_KEPT   ? RETRY_NOT_KEPT
                                   : noted == PENDING_REPEATED ? RETRY_KEPT_QUIET
                                                               : RETRY_KEPT_REPORT;
    }
    if (!kept.empty())
        SetEvent(s->wake);
}

int NoteCopyFailure(RetrySchedule* s, const char* path, BYTE kind, DWORD id, WORD itemLength,
                    int code, DWORD systemError)
{
    CopyFailure f = {path, kind, id, itemLength, code, systemError, RETRY_NOT_KEPT};
    NoteCopyFailures(s, &f, 1);
    return f.result;
}

int NoteCopySuccess(RetrySchedule* s, const char* path, BYTE kind, DWORD id, WORD itemLength,
                    PendingState* was)
{
    if (!s || !path)
        return 0;
    Held held(s);
    PendingState entry = {};
    int pending = RemovePendingCopy(s->list, path, kind, id, &entry);
    if (was && pending)
        *was = entry;
    if (s->clocks.erase(ClockKey(path, itemLength, kind, id)))
        SetEvent(s->wake);
    return pending;
}

size_t TakeDueCopies(RetrySchedule* s, size_t max, std::vector<DueCopy>* out, DWORD* nextMs)
{
    DWORD next = INFINITE;
    size_t taken = 0;
    if (s && out) {
        Held held(s);
        DWORD now = Now(s);
        std::vector<std::string> woken;
        auto waitFor = [&next, now](DWORD tick) {
            if (tick - now < next)
                next = tick - now;
        };
        ForEachPendingCopy(s->list, [&](PendingEntry& e) {
            PendingState& st = *e.state;
            if (st.takenTick && now - st.takenTick < RETRY_CAP_MS)
                return true;  // under way
            st.takenTick = 0;
            if (Ahead(st.dueTick, now)) {
                waitFor(st.dueTick);
                return true;
            }
            std::string key = ClockKey(e.path, st.itemLength, e.kind, e.targetId);
            auto clock = s->clocks.find(key);
            if (clock != s->clocks.end() && clock->second.waiting &&
                Ahead(clock->second.wakeTick, now)) {
                waitFor(clock->second.wakeTick);
                return true;
            }
            if (taken >= max) {
                next = 0;
                return true;
            }
            out->push_back(DueCopy{std::string(e.path, e.length), e.kind, e.targetId});
            st.takenTick = now ? now : 1;
            ++taken;
            if (clock != s->clocks.end())
                clock->second.waiting = false;
            return true;
        });
    }
    if (nextMs)
        *nextMs = next;
    return taken;
}

int DropPendingCopy(RetrySchedule* s, const char* path, BYTE kind, DWORD id)
{
    if (!s || !path)
        return 0;
    Held held(s);
    return RemovePendingCopy(s->list, path, kind, id, NULL);
}

void RetryAllNow(RetrySchedule* s)
{
    if (!s)
        return;
    Held held(s);
    for (auto& c : s->clocks)
        c.second.waiting = false;
    ForEachPendingCopy(s->list, [](PendingEntry& e) {
        e.state->dueTick = 0;
        return true;
    });
    SetEvent(s->wake);
}

void WakeWaitingTargets(RetrySchedule* s)
{
    if (!s)
        return;
    Held held(s);
    for (auto& c : s->clocks)
        c.second.waiting = false;
    SetEvent(s->wake);
}

void ReleaseTakenCopies(RetrySchedule* s)
{
    if (!s)
        return;
    Held held(s);
    DWORD now = Now(s);
    DWORD first = RetryFirstStepMs();
    ForEachPendingCopy(s->list, [&](PendingEntry& e) {
        if (e.state->takenTick) {
            e.state->takenTick = 0;
            e.state->dueTick = TickAfter(now, RetryDelayMs(e.state->attempts, first, Random(s)));
        }
        return true;
    });
    SetEvent(s->wake);
}
