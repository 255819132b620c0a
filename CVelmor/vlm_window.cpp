#include "vlm_window.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "cvelmor.h"
#include "display_settings.h"
#include "faults.h"
#include "system.h"
#include "window.h"

namespace {

void TranslateFault(uint32_t code, const platform::FaultInfo& info) {
    TranslateMachineFault(code, &info);
}

std::terminate_handler g_previousTerminate = nullptr;

// A fault's exception that finds no handler on its way up (a frame without
// unwind tables called the faulting code) ends here, still inside the
// signal handler: it is reported in place as the handler would have.
[[noreturn]] void ReportFaultWithoutHandler() {
    static bool s_entered = false;
    if (s_entered) _exit(platform::kFaultExitStatus);  // the report itself failed
    s_entered = true;
    try {
        if (std::current_exception()) throw;
    } catch (const CEHSException& e) {
        if (e.GetType() == EHS_TYPE_WIN32) ReportFaultInPlace(platform::FaultInfo{e.GetCode(), 0, nullptr, nullptr});
        _exit(platform::kFaultExitStatus);
    } catch (const platform::UntranslatedFault& fault) {
        ReportFaultInPlace(platform::FaultInfo{fault.code, 0, nullptr, nullptr});
        _exit(platform::kFaultExitStatus);
    } catch (...) {
    }
    if (g_previousTerminate) g_previousTerminate();
    std::abort();
}

// Set by every report of a fatal error, also one from a failed stop step
// after a normal end: the run then is no success.
bool g_fatalErrorReported = false;

std::string LastCalledScriptFunction() {
    const CVelmor* engine = GetEngine();
    return engine ? engine->ScriptGetLastCalledFunctionName() : std::string();
}

void LogFatalBlock(const CEHSException& e) {
    CVelmor::LogBlankLines(2);
    CVelmor::LogSeparator(3);
    CVelmor::LogEntry("Fatal error!", LOG_FATAL);
    CVelmor::LogEntry(std::string("Error type: ") + e.GetTypeName(), LOG_FATAL);
    CVelmor::LogEntry("Error code: " + std::to_string(e.GetCode()), LOG_FATAL);
    CVelmor::LogEntry("Error desc: " + e.GetDesc(), LOG_FATAL);
    CVelmor::LogEntry("Error location: ", LOG_FATAL);
    if (e.GetType() == EHS_TYPE_WIN32) {
        CVelmor::LogEntry("   FileID: " + std::to_string(GetCheckpointFileID()), LOG_FATAL);
        CVelmor::LogEntry("   Line: " + std::to_string(GetCheckpointLine()), LOG_FATAL);
    } else {
        CVelmor::LogEntry("   File: " + e.GetFile(), LOG_FATAL);
        CVelmor::LogEntry("   Line: " + std::to_string(e.GetLine()), LOG_FATAL);
    }
    CVelmor::LogEntry("Last called Lua function name: " + LastCalledScriptFunction(), LOG_FATAL);
    CVelmor::LogSeparator(3);
    CVelmor::LogBlankLines(2);
}

// The log and the report file are where the details stay; a maker who
// started the program from a terminal sees the one line that matters there.
void PrintFatalSummary(const std::string& what, const std::string& where) {
    std::string line = "Fatal error: " + what;
    if (!where.empty()) line += " (" + where + ")";
    const std::string function = LastCalledScriptFunction();
    if (!function.empty()) line += " in Lua function " + function;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string FatalLocation(const CEHSException& e) {
    if (e.GetType() == EHS_TYPE_WIN32)
        return "checkpoint " + std::to_string(GetCheckpointFileID()) + ":" + std::to_string(GetCheckpointLine());
    if (e.GetFile().empty()) return std::string();
    return e.GetFile() + ":" + std::to_string(e.GetLine());
}

}  // namespace

void ReportCurrentFatalError() {
    g_fatalErrorReported = true;
    try {
        throw;
    } catch (CEHSException& e) {
        e.WriteReport();
        LogFatalBlock(e);
        PrintFatalSummary(std::string(e.GetTypeName()) + " " + e.GetDesc(), FatalLocation(e));
    } catch (const CV2DFatalText& e) {
        CVelmor::LogEntry(e.what(), LOG_FATAL);
        PrintFatalSummary(e.what(), std::string());
    } catch (...) {
        CVelmor::LogEntry("EXCEPTION OF UNKNOWN TYPE!", LOG_FATAL);
        PrintFatalSummary("EXCEPTION OF UNKNOWN TYPE!", std::string());
    }
}

void Terminate() {
    CVelmor* engine = GetEngine();
    if (!engine) return;
    engine->MarkTerminated();
    delete engine;
}

int VelmorEntryPoint(V2DGAMEMAIN gameMain) {
    platform::InstanceLock instance("Velmor2D App");
    if (!instance.Acquired()) return 0;

    g_fatalErrorReported = false;
    try {
        PrepareFaultReportsInPlace();
        platform::InstallFaultTranslator(TranslateFault, ReportFaultInPlace);
        if (std::get_terminate() != ReportFaultWithoutHandler)
            g_previousTerminate = std::set_terminate(ReportFaultWithoutHandler);
        SetCheckpoint(111, 114);
        CVelmor* engine = new (std::nothrow) CVelmor();
        if (!engine) throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create CVelmor object!", "vlm_window", 121);
        // A program-wide object that failed before main ends the run here,
        // with the log and the report the engine now has.
        RaiseKeptEarlyFault();
        gameMain(engine);
        delete engine;
        return g_fatalErrorReported ? 1 : 0;
    } catch (...) {
        ReportCurrentFatalError();
        Terminate();
    }
    return 1;
}

int32_t V2DWindowProc(uint32_t msg, uintptr_t wParam, intptr_t) {
    switch (msg) {
        case platform::MSG_DESTROY:
            g_bWindowActive = 0;
            platform::GetSystem().PostQuitMessage(0);
            return 0;
        case platform::MSG_ACTIVATE:
            if (wParam == platform::ACTIVATE_ACTIVE || wParam == platform::ACTIVATE_CLICKACTIVE) {
                if (g_bWindowActive == 0) {
                    g_bWindowActive = 1;
                    if (CVelmor* engine = GetEngine()) engine->OnFocusGained();
                }
            } else if (g_bWindowActive == 1) {
                g_bWindowActive = 0;
                if (CVelmor* engine = GetEngine()) engine->OnFocusLost();
            }
            return 0;
        default:
            return 0;
    }
}

namespace {
const char* const kWindowClass = "v2d_gamewindow";
}

void CreateGameWindow(platform::GameWindow** phWnd, int width, int height, bool windowed) {
    SetCheckpoint(111, 257);
    platform::WindowSystem& windows = platform::GetWindowSystem();
    if (!windows.RegisterWindowClass(kWindowClass))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot register window class!", "vlm_window", 277);

    const platform::WindowStyle style = windowed ? platform::WindowStyle::Windowed : platform::WindowStyle::FullScreen;
    const int position = windowed ? 100 : 0;
    const CVelmor* engine = GetEngine();
    platform::GameWindow* window = windows.CreateWindow(kWindowClass, engine ? engine->GetAppName() : std::string(),
                                                        style, position, position, width, height);
    if (!window)
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Invalid window handle returned by CreateWindowEx()", "vlm_window",
                            310);
    *phWnd = window;

    window->SetStyle(style);
    if (windowed) {
        // The frame keeps its corner; the client area becomes exactly the
        // wanted size.
        const platform::WindowRect outer = window->GetWindowRect();
        const platform::WindowRect client = window->GetClientRect();
        window->SetPlacement(outer.left, outer.top, width + outer.Width() - client.Width(),
                             height + outer.Height() - client.Height(), false);
    } else {
        window->SetPlacement(0, 0, width, height, true);
    }
    g_bWindowActive = 1;
    window->Show();
    for (const std::string& note : platform::TakeDisplayNotes()) CVelmor::LogEntry(note, LOG_WARNING);
}

// The window goes with its class, so nothing of it outlives the graphics
// subsystem.
void DestroyGameWindow(platform::GameWindow* hWnd) {
    SetCheckpoint(111, 421);
    platform::WindowSystem& windows = platform::GetWindowSystem();
    if (hWnd) {
        hWnd->Hide();
        windows.DestroyWindow(hWnd);
    }
    windows.UnregisterWindowClass(kWindowClass);
}
