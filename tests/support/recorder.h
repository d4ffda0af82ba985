// One recorder window: stands in for the main window or an owner and keeps every private message it
// gets.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct Recorded {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    int code;          // UM_REPORTERROR: the report's code
    std::string text;  // the text a message carries (path, reply line, caption, status, subject)
};

// A hidden top-level window on the calling thread. Messages from WM_USER on
// are recorded; a handler, when set, sees them first and may answer them
// (it returns true when it did, with the result in *result).
class Recorder {
public:
    typedef std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> Handler;
    explicit Recorder(Handler handler = Handler());
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    HWND window() const { return window_; }
    std::vector<Recorded> Seen(UINT msg) const;
    // The texts of every message msg, in order.
    std::vector<std::string> Texts(UINT msg) const;
    size_t Count(UINT msg) const { return Seen(msg).size(); }
    void Clear() { seen_.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND window_;
    Handler handler_;
    std::vector<Recorded> seen_;
};
