// The main window's event loop: set-up of menus and shortcuts, then every
// event of the window routed to its command.
#pragma once

#include "platform/ui.h"

constexpr int ListMenu = 212;
constexpr int NamesMenu = 213;

// Set-up: core library output, menus, shortcuts, drops, the Lists view.
void SetUpMainLoop();
// One event of the loop, pre-sorted and dispatched.
void DispatchMainEvent(const WindowEvent &event);
// Set-up, then events until the window is closed; never returns.
[[noreturn]] void RunMainLoop();
// Close the window, release the core library, end the program.
[[noreturn]] void CloseMainWindow();
