// Test helpers for real windows: pumping messages, finding windows, answering message boxes.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Dispatches this thread's messages for about ms milliseconds.
void PumpMessages(int ms);
// Pumps until cond() holds or timeoutMs passes; returns cond().
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs);

// Top-level windows of a process (this one when pid is 0) with exactly this title (any title when
// NULL).
std::vector<HWND> FindProcessWindows(const char* title, bool visibleOnly = true, DWORD pid = 0);
std::string WindowText(HWND wnd);
inline std::string DlgItemText(HWND dlg, int id)
{
    return WindowText(GetDlgItem(dlg, id));
}

// A plain top-level window to own dialogs in tests.
HWND CreateTestOwner(int x, int y, int w, int h);

// Records message boxes instead of showing them and answers them from a
// queue (IDOK when the queue is empty). Installed for its lifetime.
class MessageBoxRecorder {
public:
    struct Box {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
    };
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    void Answer(int id) { answers_.push_back(id); }
    const std::vector<Box>& boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }

private:
    static int Hook(HWND owner, const char* text, const char* caption, UINT type);
    std::vector<Box> boxes_;
    std::deque<int> answers_;
};

// Saves a screenshot of a window (PNG is written by the test script from
// the BMP) into the build tree's screenshots folder; returns the BMP path.
std::string SaveWindowShot(HWND wnd, const char* name);
