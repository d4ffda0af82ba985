// The recorder window.
#include "tests/support/recorder.h"

#include "common/messages.h"
#include "log/errors.h"

#include <algorithm>
#include <iterator>

namespace {

const char kClass[] = "TkRecorderWindow";

// Private messages whose lParam is a text of the sender's.
const UINT kTextMessages[] = {UM_FTPREPLY,      UM_STATUSTEXT,   UM_TRAYSTATE,   UM_SETCAPTION,
                              UM_DISKFILESTART, UM_FTPFILESTART, UM_BROWSETARGET};

}  // namespace

Recorder::Recorder(Handler handler) : handler_(std::move(handler))
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);  // fails harmlessly when registered before
    window_ = CreateWindowA(kClass, "", WS_OVERLAPPED, 0, 0, 100, 100, NULL, NULL,
                            GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Recorder::~Recorder()
{
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

LRESULT CALLBACK Recorder::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Recorder* self = reinterpret_cast<Recorder*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!self || msg < WM_USER)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    Recorded r{msg, wParam, lParam, 0, ""};
    if (msg == UM_REPORTERROR && lParam) {
        const ErrorReport* report = reinterpret_cast<const ErrorReport*>(lParam);
        r.code = report->code;
        r.text = report->subject;
    } else if (lParam && std::count(std::begin(kTextMessages), std::end(kTextMessages), msg)) {
        r.text = reinterpret_cast<const char*>(lParam);
    }
    self->seen_.push_back(r);
    LRESULT result = TRUE;
    if (self->handler_ && self->handler_(wnd, msg, wParam, lParam, &result))
        return result;
    return TRUE;
}

std::vector<Recorded> Recorder::Seen(UINT msg) const
{
    std::vector<Recorded> out;
    for (const Recorded& r : seen_)
        if (r.msg == msg)
            out.push_back(r);
    return out;
}

std::vector<std::string> Recorder::Texts(UINT msg) const
{
    std::vector<std::string> out;
    for (const Recorded& r : Seen(msg))
        out.push_back(r.text);
    return out;
}
