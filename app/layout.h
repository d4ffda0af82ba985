// Where the main window's controls go for a given window size (pure arithmetic).
#pragma once

enum { MAIN_MIN_WIDTH = 450, MAIN_MIN_HEIGHT = 400, PANEL_MIN_HEIGHT = 190 };

struct LayoutBox {
    int x, y, width, height;  // client coordinates of the main window
};

struct MainLayoutInput {
    int width, height;  // outer size of the main window
    int addLeft;        // outer left edge to the "Add Item" button's left edge
    int clientLeft;     // outer left edge to the client area's left edge
    int buttonWidth, buttonHeight;
    int statusHeight;
};

struct MainLayout {
    LayoutBox list, panel;
    int column0Width;
    LayoutBox add, remove, enabled, disabled, properties, restore, settings, close;
    LayoutBox status;
};

// FALSE when the window is below the minimum size; *width and *height then
// hold the size it must be given instead.
bool ClampMainWindowSize(int* width, int* height);
MainLayout ComputeMainLayout(const MainLayoutInput& in);
