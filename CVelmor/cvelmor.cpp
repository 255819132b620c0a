// The engine core: construction and the stop order, application info,
// callbacks, the frame timer and the per-frame system update.
#include "cvelmor.h"

#include <cstdio>

#include "system.h"
#include "vlm_window.h"

uint8_t g_bQuitFlag = 0;
uint8_t g_bWindowActive = 0;
int32_t g_iDisplayMode = 1;

const char* const V2D_ENGINE_NAME = "Velmor2D Engine ";
const char* const V2D_ENGINE_VERSION = "v.1.0";

namespace {
CVelmor* g_pCurrentEngine = nullptr;
}

CVelmor* GetEngine() {
    SetCheckpoint(112, 260);
    return g_pCurrentEngine;
}

CVelmor::CVelmor() {
    g_pCurrentEngine = this;
    SetCheckpoint(112, 97);
    m_timer.dwLastUpdate = platform::GetSystem().Milliseconds();
    m_timer.dwPrevUpdate = m_timer.dwLastUpdate - 1;
    m_timer.iFrameTimeMs = 1;
    m_timer.iAccumulatedMs = 0;
    m_timer.dwFrameCount = 1;
    m_timer.dwFPS = 1;
    std::remove("gamelog.txt");
    m_bGfxPrepared = m_bResStarted = m_bInpStarted = 0;
    m_bSfxStarted = m_bScrStarted = m_bGfxStarted = 0;
}

CVelmor::~CVelmor() noexcept(false) {
    // Whatever happens below, this object stops being the engine, so the
    // fatal path never deletes it a second time.
    struct ClearCurrent {
        CVelmor* self;
        ~ClearCurrent() {
            if (g_pCurrentEngine == self) g_pCurrentEngine = nullptr;
        }
    } clearCurrent{this};

    if (m_bTerminated == 1 && m_pfnTermination) RunStopStep(m_pfnTermination);
    StopStartedSubsystems();
    WriteLogFooter();
}

// A stop step that fails is reported like any fatal error, and the steps
// after it still run, so the log always ends with its footer.
template <typename Step>
void CVelmor::RunStopStep(Step step) {
    try {
        step();
    } catch (...) {
        ReportCurrentFatalError();
    }
}

void CVelmor::StopStartedSubsystems() {
    // Order: input, sound and music, graphics, resources, scripts.
    if (m_bInpStarted) RunStopStep([this] { InputDeinit(); });
    if (m_bSfxStarted) RunStopStep([this] { SoundDeinit(); });
    if (m_bGfxPrepared) RunStopStep([this] { GfxDeinit(); });
    if (m_bResStarted) RunStopStep([this] { ResourcesDeinit(); });
    if (m_bScrStarted) RunStopStep([this] { ScriptsDeinit(); });
}

void CVelmor::WriteLogFooter() {
    LogBlankLines(1);
    LogSeparator(1);
    LogSeparator(1);
    LogEntry("End of log.", LOG_TITLE);
    LogSeparator(1);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::SetAppInfo(const std::string& name, const std::string& version) {
    SetCheckpoint(112, 274);
    m_strAppName = name;
    m_strAppVersion = version;

    LogBlankLines(2);
    LogSeparator(1);
    LogEntry("Starting " + name + " " + version, LOG_TITLE);
    LogEntry(std::string("Powered by ") + V2D_ENGINE_NAME + V2D_ENGINE_VERSION, LOG_TITLE);
    LogEntry(std::string("Built: ") + __DATE__ + "   " + __TIME__, LOG_TITLE);
    const V2DLOCALSTAMP now = LocalStampNow();
    LogBlankLines(1);
    LogEntry("Execution date: " + now.date, LOG_TITLE);
    LogEntry("Execution time: " + now.time, LOG_TITLE);
    LogSeparator(1);
    LogBlankLines(2);
}

void CVelmor::RegisterCallback(V2DCALLBACK function, int kind) {
    SetCheckpoint(112, 367);
    LogSeparator(1);
    switch (kind) {
        case CALLBACK_FOCUS_LOST:
            m_pfnFocusLost = function;
            LogEntry("Callback function for lost focus registered.", LOG_RESULT);
            break;
        case CALLBACK_FOCUS_RESTORED:
            m_pfnFocusRestored = function;
            LogEntry("Callback function for restored focus registered.", LOG_RESULT);
            break;
        case CALLBACK_TERMINATION:
            m_pfnTermination = function;
            LogEntry("Callback function for termination registered.", LOG_RESULT);
            break;
        default:
            break;
    }
    LogSeparator(1);
    LogBlankLines(1);
}

int32_t CVelmor::PumpMessages() {
    platform::System& system = platform::GetSystem();
    platform::Message msg;
    while (system.PeekMessage(msg)) {
        if (msg.code == platform::MSG_QUIT) return -1;
        V2DWindowProc(msg.code, msg.wParam, msg.lParam);
    }
    return 0;
}

int32_t CVelmor::UpdateAllSystems() {
    SetCheckpoint(112, 499);
    if (PumpMessages() == -1) return -1;
    if (g_bWindowActive == 0) return 0;
    if (GfxDeviceExists() && !GfxCheckDevice()) return 0;
    TimerUpdate();
    InputUpdate();
    SoundUpdate();
    return 1;
}

void CVelmor::TimerUpdate() {
    SetCheckpoint(112, 328);
    const uint32_t now = platform::GetSystem().Milliseconds();
    int32_t frameMs = static_cast<int32_t>(now - m_timer.dwPrevUpdate);
    m_timer.dwLastUpdate = now;
    m_timer.dwPrevUpdate = now;
    if (frameMs < 1) frameMs = 1;
    if (frameMs > 300) frameMs = 300;
    m_timer.iFrameTimeMs = frameMs;
    m_timer.iAccumulatedMs += frameMs;
    m_timer.fFrameTime = static_cast<float>(frameMs) * 0.001f;
    if (m_timer.iAccumulatedMs < 1000) {
        ++m_timer.dwFrameCount;
    } else {
        m_timer.dwFPS = m_timer.dwFrameCount + 1;
        m_timer.dwFrameCount = 0;
        m_timer.iAccumulatedMs = 0;
    }
}

void CVelmor::OnFocusGained() {
    SetCheckpoint(112, 435);
    LogLine("FOCUS GAINED");
    if (m_pfnFocusRestored) m_pfnFocusRestored();
    // The first update swallows the time spent in the background, the second
    // leaves only the moment between the two as the next frame's time.
    TimerUpdate();
    TimerUpdate();
    InputReacquire();
    SoundResume();
}

void CVelmor::OnFocusLost() {
    SetCheckpoint(112, 463);
    if (m_pfnFocusLost) m_pfnFocusLost();
    LogLine("FOCUS LOST");
    if (m_gfx.pVertexBuffer && m_gfx.pLockedVertices) {
        m_gfx.pVertexBuffer->Unlock();
        m_gfx.pLockedVertices = nullptr;
        m_gfx.dwQueuedQuads = 0;
    }
    if (m_bSfxStarted) SoundPause();
}
