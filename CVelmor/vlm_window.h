// The process entry, the fatal-error handlers and the game window's
// message handling.
#pragma once

#include <cstdint>

class CVelmor;

typedef void (*V2DGAMEMAIN)(CVelmor* pV2D);

// Runs the whole program: single-instance lock, fault translation, the
// engine object and the game's main routine under the fatal-error handlers.
// Returns the process exit code (always 0).
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
