// The process entry, the fatal-error handlers and the game window's
// message handling.
#pragma once

#include <cstdint>

class CVelmor;
namespace platform {
class GameWindow;
}

typedef void (*V2DGAMEMAIN)(CVelmor* pV2D);

// Runs the whole program: single-instance lock, fault translation, the
// engine object and the game's main routine under the fatal-error handlers.
// Returns the process exit code: 0 after a normal end or when another copy
// runs, 1 after a fatal error (also one reported while the engine stopped
// after a normal end). A machine fault that cannot be raised as an exception
// (on another thread, in a library's code) ends the process from its signal
// handler with platform::kFaultExitStatus (1).
int VelmorEntryPoint(V2DGAMEMAIN gameMain);

// Marks the current engine terminated and deletes it: the termination
// callback runs, then the subsystems stop and the footer is written.
void Terminate();

// Reports the exception being handled as the entry point's handlers do
// (report file and log block, a text line, or the unknown-exception line).
// Only valid inside a catch block.
void ReportCurrentFatalError();

// The game window's message handler.
int32_t V2DWindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);

// Creates and shows the game window (class "v2d_gamewindow", titled with the
// application name) with a client area of exactly width x height: framed at
// (100, 100) when windowed, a top-most pop-up at (0, 0) in full screen.
// Stores the window in *phWnd and marks the window active.
void CreateGameWindow(platform::GameWindow** phWnd, int width, int height, bool windowed);
// Hides the game window, then lets it and its class go.
void DestroyGameWindow(platform::GameWindow* hWnd);
