// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application object: checks for a display, creates the main window,
// runs it modally and ends the program when it closes.
class CTonveroApp {
public:
    static int run(int argc, char* argv[]);

    // True when Qt can open a window here; otherwise prints one line saying how to run headless.
    static bool checkDisplay();
};
