// The engine core: construction and the stop order, application info,
// callbacks, the frame timer and the per-frame system update.
#include "cvelmor.h"

#include <cstdio>

#include "cvelmor_utils_csmartid.h"
#include "system.h"
#include "vlm_window.h"

uint8_t g_bQuitFlag = 0;
uint8_t g_bWindowActive = 0;
int32_t g_iDisplayMode = 1;

const char* const V2D_ENGINE_NAME = "Velmor2D Engine ";
const char* const V2D_ENGINE_VERSION = "v.1.0";

namespace {
CVelmor* g_pCurrentEngine = nullptr;

constexpr int32_t kMicrosecondsPerMs = 1000;
constexpr int32_t kMicrosecondsPerSecond = 1000000;
constexpr int64_t kLongestFrameUs = 300000;
}  // namespace

CVelmor* GetEngine() {
    SetCheckpoint(112, 260);
    return g_pCurrentEngine;
}

CVelmor::CVelmor() {
    g_pCurrentEngine = this;
    SetCheckpoint(112, 97);
    m_timer.qwLastUpdateUs = platform::GetSystem().Microseconds();
    m_timer.qwPrevUpdateUs = m_timer.qwLastUpdateUs - kMicrosecondsPerMs;
    m_timer.iFrameTimeUs = kMicrosecondsPerMs;
    m_timer.iAccumulatedUs = 0;
    m_timer.dwFrameCount = 1;
    m_timer.dwFPS = 1;
    std::remove("gamelog.txt");
    m_bGfxPrepared = m_bResStarted = m_bInpStarted = 0;
    m_bSfxStarted = m_bScrStarted = m_bGfxStarted = 0;
}

CVelmor::~CVelmor() {
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
    CSmartID::UnbindAll();
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

// A long stall (a dragged window, a slow load) counts as only 0.3 s of game
// time. The lower bound only keeps the time from being zero: one
// microsecond never makes game time run ahead of the clock.
void CVelmor::TimerUpdate() {
    SetCheckpoint(112, 328);
    const uint64_t now = platform::GetSystem().Microseconds();
    int64_t frameUs = static_cast<int64_t>(now - m_timer.qwPrevUpdateUs);
    m_timer.qwLastUpdateUs = now;
    m_timer.qwPrevUpdateUs = now;
    if (frameUs < 1) frameUs = 1;
    if (frameUs > kLongestFrameUs) frameUs = kLongestFrameUs;
    m_timer.iFrameTimeUs = static_cast<int32_t>(frameUs);
    m_timer.iAccumulatedUs += m_timer.iFrameTimeUs;
    m_timer.fFrameTime = static_cast<float>(frameUs) * 0.000001f;
    if (m_timer.iAccumulatedUs < kMicrosecondsPerSecond) {
        ++m_timer.dwFrameCount;
    } else {
        m_timer.dwFPS = m_timer.dwFrameCount + 1;
        m_timer.dwFrameCount = 0;
        m_timer.iAccumulatedUs = 0;
    }
}

void CVelmor::TimerRestart() {
    SetCheckpoint(112, __LINE__);
    m_timer.qwLastUpdateUs = platform::GetSystem().Microseconds();
    m_timer.qwPrevUpdateUs = m_timer.qwLastUpdateUs;
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
