// Drives modal dialogs from a timer on the test's own thread, and the set-up every dialog test
// shares.
#pragma once
#include <windows.h>

#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using Strings = std::vector<std::string>;

// The parts written one after the other, each followed by a space.
template <typename... Parts>
std::string Join(const Parts&... parts)
{
    std::ostringstream out;
    ((out << parts << ' '), ...);
    return out.str();
}

// The step RunModal waits for: a window's title and what to do with it; then the window it ran on.
inline std::string g_stepTitle;
inline std::function<void(HWND)> g_step;
inline HWND g_stepWindow = NULL;
inline DWORD g_stepDeadline = 0;

// Runs the step once its window shows. A window that does not show in 15 seconds has the active
// one cancelled; one still open 15 seconds after its step fails the test and is ended, so that a
// dialog that will not close is a failure, not a hang.
inline void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD)
{
    bool late = static_cast<int>(GetTickCount() - g_stepDeadline) > 0;
    if (!g_step) {
        if (late && IsWindow(g_stepWindow)) {
            ADD_FAILURE() << "\"" << g_stepTitle << "\" stays open";
            EndDialog(std::exchange(g_stepWindow, nullptr), 0);
        }
        return;
    }
    std::vector<HWND> found = FindProcessWindows(g_stepTitle.c_str());
    if (late) {
        PostMessageA(GetActiveWindow(), WM_COMMAND, IDCANCEL, 0);
    } else if (!found.empty()) {
        g_stepWindow = found[0];
        g_stepDeadline = GetTickCount() + 15000;
        std::exchange(g_step, nullptr)(found[0]);
    }
}

// Runs open, which shows a modal window, and step on the window with the title once it shows.
inline void RunModal(const std::function<void()>& open, const std::string& title,
                     std::function<void(HWND)> step)
{
    g_stepTitle = title;
    g_step = std::move(step);
    g_stepWindow = NULL;
    g_stepDeadline = GetTickCount() + 15000;
    UINT_PTR timer = SetTimer(NULL, 0, 25, RunStep);
    open();
    KillTimer(NULL, timer);
    EXPECT_FALSE(g_step) << "no window \"" << title << "\"";
    g_step = nullptr;
}

// A button clicked as the user's click sends it.
inline void Click(HWND dlg, int id)
{
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

inline void Shot(HWND wnd, const char* name)
{
    PumpMessages(60);
    SaveWindowShot(wnd, name);
}

// Controls as a text: a button's check state, -id: whether id is enabled, else the control's text.
inline std::string Shown(HWND dlg, std::initializer_list<int> ids)
{
    std::string out;
    for (int id : ids) {
        char kind[16] = "";
        GetClassNameA(GetDlgItem(dlg, id), kind, sizeof kind);
        out += (id < 0                      ? std::to_string(IsWindowEnabled(GetDlgItem(dlg, -id)))
                : lstrcmpiA(kind, "Button") ? DlgItemText(dlg, id)
                                            : std::to_string(IsDlgButtonChecked(dlg, id))) +
               " ";
    }
    return out;
}

// A user's action: 'c' a click, 'p' a posted click (its modal window is a step's), 't' and 'u' a
// check box ticked or unticked and clicked, '=' text typed, 'y' and 'n' the answer to the next
// message box.
struct Act {
    Act(char op, int id = 0, std::string text = "") : op(op), id(id), text(std::move(text)) {}
    char op;
    int id;
    std::string text;
};

// A fresh product key, a temporary folder, an owner window and recorded message boxes.
class DialogTest : public ::testing::Test {
protected:
    DialogTest() { ResetProductKey(); }
    ~DialogTest() override
    {
        DestroyWindow(owner_);
        DeleteProductKey();
    }
    void Do(HWND dlg, std::initializer_list<Act> acts)
    {
        for (const Act& a : acts) {
            if (a.op == 't' || a.op == 'u')
                CheckDlgButton(dlg, a.id, a.op == 't' ? BST_CHECKED : BST_UNCHECKED);
            if (a.op == 'y' || a.op == 'n')
                boxes_.Answer(a.op == 'y' ? IDYES : IDNO);
            else if (a.op == '=')
                SetDlgItemTextA(dlg, a.id, a.text.c_str());
            else if (a.op == 'p')
                PostMessageA(dlg, WM_COMMAND, a.id, 0);
            else
                Click(dlg, a.id);
        }
    }
    std::string Captions() const
    {
        std::string out;
        for (const MessageBoxRecorder::Box& b : boxes_.boxes())
            out += b.caption + "|";
        return out;
    }

    TempDir dir_;
    HWND owner_ = CreateTestOwner(60, 40, 700, 600);
    MessageBoxRecorder boxes_;
};
