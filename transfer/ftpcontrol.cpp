// FTP control connection (placeholder until the FTP client is written: every
// connect is refused, so FTP targets are reported as unreachable).
#include "transfer/ftp.h"

#include "app/appstate.h"
#include "log/errors.h"

int StartFtpConnection(HWND, FtpJob*)
{
    return ERR_TCPIP;
}

int StartFtpDownload(HWND, BatchList*, const char*, const char*, const char*)
{
    return 0;
}

void OnControlSocketEvent(SOCKET, WORD, WORD) {}
void OnDataSocketEvent(SOCKET, WORD, WORD) {}
void StopFtpBatches(HWND) {}

void StopAllTransfers(void)
{
    if (g_app.live.liveStopEvent)
        SetEvent(g_app.live.liveStopEvent);
}
