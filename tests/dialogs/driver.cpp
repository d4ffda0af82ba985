// Drives modal dialogs from a timer on the test's own thread.
#include "tests/dialogs/driver.h"

#include "tests/support/windows.h"

#include <gtest/gtest.h>

namespace {
ModalScript* g_script = NULL;
int g_quiet = 0;
const DWORD kStepTimeoutMs = 15000;

struct FindPrefix {
    const std::string* title;
    HWND found;
};

BOOL CALLBACK MatchPrefix(HWND wnd, LPARAM param)
{
    FindPrefix* f = reinterpret_cast<FindPrefix*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(wnd))
        return TRUE;
    if (WindowText(wnd).compare(0, f->title->size(), *f->title) == 0) {
        f->found = wnd;
        return FALSE;
    }
    return TRUE;
}
} // namespace

ModalScript::ModalScript()
{
    g_script = this;
    deadline_ = GetTickCount() + kStepTimeoutMs;
    timer_ = SetTimer(NULL, 0, 25, &ModalScript::OnTimer);
}

ModalScript::~ModalScript()
{
    KillTimer(NULL, timer_);
    g_script = NULL;
    EXPECT_EQ(0u, steps_.size()) << "script steps left, next waits for \""
                                 << (steps_.empty() ? "" : steps_.front().title) << "\"";
}

ModalScript& ModalScript::When(const std::string& title, std::function<void(HWND)> action)
{
    steps_.push_back(Step{title, std::move(action)});
    return *this;
}

void CALLBACK ModalScript::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_script && g_quiet == 0)
        g_script->Tick();
}

void ModalScript::Tick()
{
    if (failed_) {
        // Close whatever modal window is left so that the test can end.
        HWND active = GetActiveWindow();
        if (active)
            PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (steps_.empty())
        return;
    HWND wnd = FindWindowStartingWith(steps_.front().title);
    if (!wnd) {
        if (static_cast<int>(GetTickCount() - deadline_) > 0) {
            ADD_FAILURE() << "no window \"" << steps_.front().title << "\" appeared";
            failed_ = true;
        }
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    deadline_ = GetTickCount() + kStepTimeoutMs;
    // A step may open another modal window; later steps then run from its loop.
    step.action(wnd);
}

void PumpQuietly(int ms)
{
    ++g_quiet;
    PumpMessages(ms);
    --g_quiet;
}

void Click(HWND dlg, int id)
{
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

void SetCheckAndClick(HWND dlg, int id, bool checked)
{
    CheckDlgButton(dlg, id, checked ? BST_CHECKED : BST_UNCHECKED);
    Click(dlg, id);
}

void SetText(HWND dlg, int id, const std::string& text)
{
    SetDlgItemTextA(dlg, id, text.c_str());
}

HWND FindWindowStartingWith(const std::string& title)
{
    FindPrefix f{&title, NULL};
    EnumWindows(MatchPrefix, reinterpret_cast<LPARAM>(&f));
    return f.found;
}
