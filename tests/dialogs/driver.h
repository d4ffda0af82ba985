// Drives modal dialogs from a timer on the test's own thread: each step waits for a window, then acts on it.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <string>

class ModalScript {
public:
    ModalScript();
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Waits for a visible window of this process whose title begins with
    // title, then runs action on it. Steps run in order.
    ModalScript& When(const std::string& title, std::function<void(HWND)> action);
    // Steps not run yet (0 when the script went through).
    size_t Pending() const { return steps_.size(); }

private:
    struct Step {
        std::string title;
        std::function<void(HWND)> action;
    };
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();

    std::deque<Step> steps_;
    UINT_PTR timer_ = 0;
    DWORD deadline_ = 0;
    bool failed_ = false;
};

// Pumps messages for ms milliseconds without letting a script step run.
void PumpQuietly(int ms);

// Clicks a button of a dialog (WM_COMMAND with BN_CLICKED, as a click sends).
void Click(HWND dlg, int id);
// Sets a check box and sends its click, as the user's click would.
void SetCheckAndClick(HWND dlg, int id, bool checked);
void SetText(HWND dlg, int id, const std::string& text);
// The first visible window of this process whose title begins with title.
HWND FindWindowStartingWith(const std::string& title);
