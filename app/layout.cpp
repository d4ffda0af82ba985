// Layout arithmetic of the main window: list, picture panel, buttons and status line.
#include "app/layout.h"

bool ClampMainWindowSize(int* width, int* height)
{
    bool fits = true;
    if (*width < MAIN_MIN_WIDTH) {
        *width = MAIN_MIN_WIDTH;
        fits = false;
    }
    if (*height < MAIN_MIN_HEIGHT) {
        *height = MAIN_MIN_HEIGHT;
        fits = false;
    }
    return fits;
}

MainLayout ComputeMainLayout(const MainLayoutInput& in)
{
    MainLayout out;
    const int W = in.width, H = in.height;
    const int A = in.addLeft, bw = in.buttonWidth, bh = in.buttonHeight;
    out.list = {50, 10, W - 67, H - 180};
    int panelHeight = H - 180 > PANEL_MIN_HEIGHT ? H - 180 : PANEL_MIN_HEIGHT;
    out.panel = {10, 10, 35, panelHeight};
    out.column0Width = out.list.width - 55;

    // The buttons hang below the list: the left group keeps the column of
    // "Add Item", the right group follows the list's right edge. The column
    // is taken in client coordinates, so that it stays put at every layout
    // whatever the width of the window frame (A - 4 would creep sideways by
    // the difference between the frame and 4 pixels each time).
    const int L = out.list.height;
    const int R = in.clientLeft + out.list.x + out.list.width;
    const int left = A - in.clientLeft;
    const int row1 = L + bh + 5, row2 = L + 2 * bh + 14, row3 = L + 3 * bh + 24;
    out.add = {left, row1, bw, bh};
    out.remove = {left + bw + 12, row1, bw, bh};
    out.enabled = {left, row2, 2 * bw, bh};
    out.disabled = {left, row3, 2 * bw, bh};
    out.properties = {R - 2 * bw - 16, row1, bw, bh};
    out.restore = {R - bw - 4, row1, bw, bh};
    out.settings = {R - bw - 4, row2, bw, bh};
    out.close = {R - bw - 4, row3, bw, bh};
    out.status = {0, H - in.statusHeight, W, in.statusHeight};
    return out;
}
