#include "game_soak.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>

#include "audio_output.h"
#include "cgame_element.h"
#include "cvelmor.h"
#include "cvelmor_utils_utf8.h"
#include "d3d8_recording.h"
#include "dinput.h"
#include "engineroutine.h"
#include "gameinit_routine.h"
#include "input_headless.h"
#include "system_headless.h"
#include "v2dgui_cvelmorgui_main.h"
#include "v2dgui_stdclass_window.h"
#include "vlm_window.h"

namespace soak {

namespace fs = std::filesystem;

namespace {

const char* const kBestFile = "DATA/qbhs.dat";
constexpr int kLeft = 0, kRight = 1, kMiddle = 2;
constexpr int kScreenW = 800, kScreenH = 600;
constexpr uint32_t kAudioRate = 44100;
// Keys with what they type on some layout (German, Greek, Russian): text
// comes from the layout, keys stay where they are on the keyboard.
struct TypingKey {
    uint8_t key;
    const char* text;
};
const TypingKey kTypingKeys[] = {
    {vdinput::DIK_Q, "q"}, {vdinput::DIK_W, "w"}, {vdinput::DIK_E, "e"}, {vdinput::DIK_R, "R"},
    {vdinput::DIK_Y, "z"}, {vdinput::DIK_Z, "y"}, {vdinput::DIK_A, "a"}, {vdinput::DIK_S, "S"},
    {vdinput::DIK_APOSTROPHE, "\xC3\xA4"}, {vdinput::DIK_SEMICOLON, "\xC3\x96"}, {vdinput::DIK_D, "\xCE\xB4"},
    {vdinput::DIK_F, "\xD0\xB0"}, {vdinput::DIK_G, "\xD0\x9F"}, {vdinput::DIK_H, "\xC5\x82"},
    {vdinput::DIK_1, "1"}, {vdinput::DIK_2, "@"}, {vdinput::DIK_SPACE, " "}, {vdinput::DIK_PERIOD, "."},
    {vdinput::DIK_MINUS, "\xC3\x9F"}, {vdinput::DIK_NUMPAD5, "5"},
};
// Keys the game has no use for.
const uint8_t kOtherKeys[] = {vdinput::DIK_ESCAPE, vdinput::DIK_TAB, vdinput::DIK_F1, vdinput::DIK_LEFT,
                              vdinput::DIK_UP, vdinput::DIK_DELETE, vdinput::DIK_HOME, vdinput::DIK_LCONTROL};

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string Describe(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
    return text;
}

// The player, and the referee of what the game does with the player's input.
class Monkey {
public:
    Monkey(const SoakSettings& settings, platform::HeadlessSystem& system, platform::HeadlessInputSystem& input,
           vd3d::RecordingControl& d3d, SoakResult& result)
        : m_settings(settings), m_system(system), m_input(input), m_d3d(d3d), m_result(result), m_random(settings.seed) {}

    void Run() {
        fs::remove_all("DATA");
        fs::copy(m_settings.dataFolder, "DATA", fs::copy_options::recursive);
        fs::remove(kBestFile);
        m_system.onPeek = [this](platform::HeadlessSystem&) { OnPeek(); };
        // Woken while the window is away: the next pass of the loop acts.
        m_system.onWait = [](platform::HeadlessSystem& s) { s.Post(platform::MSG_NULL); };
        const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID), wall0 = Seconds(CLOCK_MONOTONIC);
        while (m_result.frames < m_settings.frames && m_result.faults.size() < kMaxFaults) RunOnce();
        m_result.cpuSeconds = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        m_result.wallSeconds = Seconds(CLOCK_MONOTONIC) - wall0;
        m_system.onPeek = nullptr;
        m_system.onWait = nullptr;
        Sample();
        m_result.endPeakKB = m_result.memory.back().peakKB;
        CheckFinalBest();
    }

private:
    static constexpr size_t kMaxFaults = 20;

    // One start of the game, as the player starts it, until it is closed.
    void RunOnce() {
        const uint64_t framesBefore = m_result.frames;
        g_bQuitFlag = 0;
        g_iDisplayMode = 1;
        m_closing = false;
        m_inPump = false;
        ++m_result.starts;
        const int exitCode = VelmorEntryPoint(GameMain);
        // The game keeps its engine pointer past the engine's end; a process
        // would end here, the soak starts the game again.
        g_pV2D = nullptr;
        // The Exit button's frame drew before the loop ended.
        if (!m_closing && g_bQuitFlag == 1 && exitCode == 0) CountFrame();
        if (exitCode != 0) Fault("the game ended with exit code " + std::to_string(exitCode));
        CheckLog();
        if (m_result.frames == framesBefore) Fault("the game drew no frame (is the instance lock taken?)");
        ForgetRun();
    }

    // What a closed game leaves behind: nothing of its windows or input.
    void ForgetRun() {
        m_roundOpen = false;
        m_pendingRecord = false;
        m_awaySteps = m_lostSteps = m_heldSteps = 0;
        m_minimized = false;
        m_screenshotDue = false;
        for (int button : {kLeft, kRight, kMiddle}) m_input.ButtonUp(button);
        m_input.KeyUp(vdinput::DIK_LSHIFT);
        m_shift = false;
        m_input.keyboard.inputLost = m_input.mouse.inputLost = false;
        m_input.latch = platform::InputLatch();
        m_system.queue.clear();
    }

    void Fault(const std::string& what) {
        if (m_result.faults.size() < kMaxFaults)
            m_result.faults.push_back("frame " + std::to_string(m_result.frames) + ": " + what);
    }

    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(m_random() % n); }
    bool Chance(uint32_t perThousand) { return Below(1000) < perThousand; }

    // Every look at the message queue; the first one of a pump is one pass
    // of the main loop, after the previous frame.
    void OnPeek() {
        // Only passes of the main loop, where the game and its device exist.
        if (!m_inPump && g_pGUIManager != nullptr && m_d3d.device != nullptr) {
            m_inPump = true;
            ++m_result.steps;
            Observe();
            AdvanceTime();
            Act();
        }
        if (m_system.queue.empty()) m_inPump = false;
    }

    // ---- what the previous frame did ----

    void CountFrame() {
        ++m_result.frames;
        const bool warmUpReached = m_result.frames == m_settings.warmUpFrames;
        if (warmUpReached || (m_settings.sampleEvery && m_result.frames % m_settings.sampleEvery == 0)) Sample();
        if (warmUpReached) m_result.warmUpPeakKB = m_result.memory.back().peakKB;
    }

    void Sample() { m_result.memory.push_back(ReadMemory(m_result.frames)); }

    void Observe() {
        vd3d::RecordingDevice* device = m_d3d.device;
        const bool drew = device->CountCalls("Present") > 0;
        // The recording device keeps every call; a soak keeps only the last.
        device->ClearRecords();
        if (!drew) return;
        CountFrame();
        CheckRound();
        CheckBestFile();
        if (m_screenshotDue) CheckScreenshot();
    }

    // On its way in or in.
    bool WindowShown(const char* id) {
        const auto* window = dynamic_cast<const CGUIWindow*>(g_pGUIManager->GetElement(g_pGUIManager->GetElementID(id)));
        if (window == nullptr) {
            Fault(std::string("no window ") + id);
            return false;
        }
        return window->GetState() == CGUIWindow::STATE_SHOWING || window->GetState() == CGUIWindow::STATE_SHOWN;
    }
    std::string Text(const char* element) { return g_pGUIManager->GetElementParam(element, "text").GetString(); }

    void CheckRound() {
        if (g_bBoardActive != 1 || g_iTotalCells <= 0) return;
        if (g_iNextWanted <= g_iTotalCells) {
            m_roundOpen = true;
            return;
        }
        if (!m_roundOpen) return;
        m_roundOpen = false;
        ++m_result.rounds;
        const float time = g_fElapsedTime;
        const bool record = WindowShown("WND_DTP_HIGHSCORE"), complete = WindowShown("WND_DTP_COMPLETE");
        const bool better = !m_haveBest || time < m_bestOnDisk;
        const std::string round = "round " + std::to_string(m_result.rounds) + " (" + Describe(time) + " s, best " +
                                  (m_haveBest ? Describe(m_bestOnDisk) : std::string("none")) + "): ";
        if (record == complete) Fault(round + "the new-record and complete windows are both shown or both hidden");
        else if (record != better) Fault(round + (record ? "asks for a name" : "asks for no name"));
        if (g_iGameState != GAMESTATE_DIALOG) Fault(round + "the round goes on after its last tile");
        if (Text("L_MW_TIME_TIME") != FloatToString(time)) Fault(round + "shows " + Text("L_MW_TIME_TIME"));
        if (!(time > 0.0f)) Fault(round + "has no time");
        m_pendingRecord = record;
        m_pendingTime = time;
    }

    // The file changes only when a new record is confirmed, and then holds
    // the name typed and the round's time.
    void CheckBestFile() {
        std::string bytes = ReadBytes(kBestFile);
        if (bytes == m_bestBytes) return;
        const size_t end = bytes.find('\0');
        float time = 0.0f;
        if (end == std::string::npos || bytes.size() != end + 5) {
            Fault("the best-result file is damaged (" + std::to_string(bytes.size()) + " bytes)");
        } else {
            std::memcpy(&time, bytes.data() + end + 1, 4);  // little-endian on this machine
            const std::string name = bytes.substr(0, end);
            if (!m_pendingRecord) Fault("the best-result file changed without a new record");
            else if (time != m_pendingTime) Fault("saved " + Describe(time) + " s for a round of " + Describe(m_pendingTime) + " s");
            if (name.empty() || Utf8Length(name) > 16 || name != Text("TBX_HS_NAME"))
                Fault("saved the name \"" + name + "\" while the name box holds \"" + Text("TBX_HS_NAME") + "\"");
            ++m_result.records;
            m_haveBest = true;
            m_bestOnDisk = time;
            if (m_result.bestSavedRound == 0.0f || m_pendingTime < m_result.bestSavedRound)
                m_result.bestSavedRound = m_pendingTime;
        }
        m_pendingRecord = false;
        m_bestBytes = std::move(bytes);
    }

    void CheckScreenshot() {
        m_screenshotDue = false;
        int found = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("screenshot", 0) == 0 && entry.path().extension() == ".bmp") {
                ++found;
                fs::remove(entry.path());
            }
        }
        if (found != 1) Fault("F9 saved " + std::to_string(found) + " screenshots");
        m_result.screenshots += static_cast<uint64_t>(found);
    }

    void CheckLog() {
        const std::vector<std::string> lines = ReadLines("gamelog.txt");
        for (const std::string& line : lines) {
            if (line.rfind(" !!!: ", 0) == 0) Fault("fatal log line: " + line);
        }
        size_t last = lines.size();
        while (last > 0 && lines[last - 1].empty()) --last;
        // The footer: two separators, the closing title, two separators.
        if (last < 5 || lines[last - 3].find("End of log.") == std::string::npos)
            Fault("the log does not end with its footer");
        if (fs::exists("ehslog.txt")) Fault("a fatal-error report was written: " + ReadBytes("ehslog.txt"));
    }

    void CheckFinalBest() {
        const std::string bytes = ReadBytes(kBestFile);
        if (bytes.size() >= 5) std::memcpy(&m_result.bestTime, bytes.data() + bytes.size() - 4, 4);
        if (m_result.bestTime != m_result.bestSavedRound)
            Fault("the best time on disk is " + Describe(m_result.bestTime) + " s, the best saved round " +
                  Describe(m_result.bestSavedRound) + " s");
    }

    // ---- the player ----

    void AdvanceTime() {
        const bool away = m_awaySteps > 0 || m_lostSteps > 0;
        uint32_t ms = away ? 50 + Below(200) : 15 + Below(10);
        if (!away && Below(500) == 0) ms = 100 + Below(500);  // a stall
        m_system.AdvanceMilliseconds(ms);
        // The sound card takes what was mixed meanwhile.
        m_pcm.resize(2u * kAudioRate * ms / 1000u);
        platform::AudioPull(m_pcm.data(), static_cast<uint32_t>(m_pcm.size() / 2));
    }

    void Act() {
        if (m_closing) return;
        if (m_result.frames >= m_settings.frames) return Close();
        if (m_awaySteps > 0) {
            if (--m_awaySteps == 0) ComeBack();
            return;
        }
        if (m_lostSteps > 0) {
            if (--m_lostSteps == 0) m_d3d.device->RestoreWindow();
            return;
        }
        if (m_heldSteps > 0 && --m_heldSteps == 0) return m_input.ButtonUp(m_heldButton);
        if (WarmUpTour()) return;
        if (WindowShown("WND_DTP_HIGHSCORE")) return OnRecordWindow();
        if (WindowShown("WND_DTP_COMPLETE")) return OnDialog("BTN_CMP_OK");
        if (WindowShown("WND_DTP_HELP")) return OnDialog("BTN_HLP_OK");
        if (g_iGameState == GAMESTATE_PLAYING && Chance(450)) return ClickNextTile();
        if (g_iGameState == GAMESTATE_NO_ROUND && Chance(60)) return ClickElement("BTN_MW_START");
        AnyAction();
    }

    // The warm-up meets every rare event once, so whatever they allocate
    // the first time is there before memory is compared.
    bool WarmUpTour() {
        const std::pair<uint64_t, std::function<void()>> tour[] = {
            {15, [this] { Screenshot(); }},  {30, [this] { LoseFocus(true); }}, {45, [this] { LoseDevice(); }},
            {60, [this] { LoseFocus(false); }}, {75, [this] { Close(); }},
        };
        if (m_tourDone >= sizeof tour / sizeof tour[0]) return false;
        if (m_result.frames * 100 < tour[m_tourDone].first * m_settings.warmUpFrames) return false;
        tour[m_tourDone++].second();
        return true;
    }

    void OnRecordWindow() {
        const uint32_t roll = Below(1000);
        if (roll < 250) return TypeKey(kTypingKeys[Below(static_cast<uint32_t>(std::size(kTypingKeys)))]);
        if (roll < 310) return Tap(vdinput::DIK_BACK);
        if (roll < 360) return Tap(vdinput::DIK_RETURN);
        if (roll < 400) return ClickElement("BTN_HS_OK");
        AnyAction();
    }

    void OnDialog(const char* okButton) {
        const uint32_t roll = Below(1000);
        if (roll < 60) return ClickElement(okButton);
        if (roll < 100) return Tap(vdinput::DIK_RETURN);
        AnyAction();
    }

    // Anything a player may do on any screen, by weight in ten thousand.
    void AnyAction() {
        const std::pair<uint32_t, std::function<void()>> actions[] = {
            {3000, [this] { MoveBy(static_cast<int32_t>(Below(41)) - 20, static_cast<int32_t>(Below(41)) - 20); }},
            {800, [this] { MoveTo(RandomX(), RandomY()); }},
            {700, [this] { Click(kLeft, RandomX(), RandomY()); }},
            {700, [this] { ClickBoard(); }},
            {250, [this] { ClickElement("BTN_MW_START"); }},
            {150, [this] { ClickElement("BTN_MW_HELP"); }},
            {8, [this] { ClickElement("BTN_MW_EXIT"); }},
            {300, [this] { Hold(kLeft); }},
            {150, [this] { Click(Below(2) ? kRight : kMiddle, RandomX(), RandomY()); }},
            {150, [this] { m_input.TurnWheel(static_cast<int32_t>(Below(5)) - 2); }},
            {100, [this] { ToggleShift(); }},
            {250, [this] { TypeKey(kTypingKeys[Below(static_cast<uint32_t>(std::size(kTypingKeys)))]); }},
            {80, [this] { Tap(vdinput::DIK_BACK); }},
            {80, [this] { Tap(vdinput::DIK_RETURN); }},
            {80, [this] { Tap(kOtherKeys[Below(sizeof kOtherKeys)]); }},
            {60, [this] { Tap(vdinput::DIK_F2); }},
            {4, [this] { Screenshot(); }},
            {15, [this] { LoseFocus(false); }},
            {6, [this] { LoseFocus(true); }},
            {4, [this] { LoseDevice(); }},
            {1, [this] { Close(); }},
        };
        uint32_t roll = Below(10000);
        for (const auto& action : actions) {
            if (roll < action.first) return action.second();
            roll -= action.first;
        }
    }

    int32_t RandomX() { return static_cast<int32_t>(Below(kScreenW)); }
    int32_t RandomY() { return static_cast<int32_t>(Below(kScreenH)); }

    void MoveTo(int32_t x, int32_t y) {
        x = std::min(std::max(x, 0), kScreenW - 1);
        y = std::min(std::max(y, 0), kScreenH - 1);
        m_input.MoveMouse(x - m_input.cursorX, y - m_input.cursorY);
        m_input.cursorX = x;
        m_input.cursorY = y;
    }
    void MoveBy(int32_t dx, int32_t dy) { MoveTo(m_input.cursorX + dx, m_input.cursorY + dy); }

    // Pressed and released between two frames.
    void Click(int button, int32_t x, int32_t y) {
        MoveTo(x, y);
        m_input.ButtonDown(button);
        m_input.ButtonUp(button);
    }

    void ClickBoard() {
        const QBBOARDGEOMETRY& board = g_BoardGeometry;
        // The board and a cell's width around it.
        const float x = board.fOriginX - board.fCellWidth + static_cast<float>(Below(
                            static_cast<uint32_t>(board.fCellWidth * static_cast<float>(g_xvSizeX.GetValue() + 2))));
        const float y = board.fOriginY - board.fCellHeight + static_cast<float>(Below(
                            static_cast<uint32_t>(board.fCellHeight * static_cast<float>(g_xvSizeY.GetValue() + 2))));
        Click(kLeft, static_cast<int32_t>(x), static_cast<int32_t>(y));
    }

    void ClickNextTile() {
        for (int32_t i = 0; i < g_Board.GetDim1(); ++i) {
            for (int32_t j = 0; j < g_Board.GetDim2(); ++j) {
                const CGameElement* tile = g_Board.At(i, j);
                if (tile == nullptr || tile->GetNumber() != g_iNextWanted) continue;
                return Click(kLeft, static_cast<int32_t>(tile->GetX()) + static_cast<int32_t>(Below(static_cast<uint32_t>(g_BoardGeometry.fCellWidth))),
                             static_cast<int32_t>(tile->GetY()) + static_cast<int32_t>(Below(static_cast<uint32_t>(g_BoardGeometry.fCellHeight))));
            }
        }
    }

    // Somewhere on an element, as it stands on the screen now.
    void ClickElement(const char* id) {
        const CGUIElement* element = g_pGUIManager->GetElement(g_pGUIManager->GetElementID(id));
        if (element == nullptr) return Fault(std::string("no element ") + id);
        const GUIRECT& rect = element->GetEffectiveRect();
        Click(kLeft, static_cast<int32_t>(rect.x) + static_cast<int32_t>(Below(static_cast<uint32_t>(rect.w))),
              static_cast<int32_t>(rect.y) + static_cast<int32_t>(Below(static_cast<uint32_t>(rect.h))));
    }

    // Held for a while; the mouse may wander meanwhile.
    void Hold(int button) {
        if (m_heldSteps > 0) return;
        m_input.ButtonDown(button);
        m_heldButton = button;
        m_heldSteps = 2 + Below(40);
    }

    void Tap(uint8_t key) {
        m_input.KeyDown(key);
        m_input.KeyUp(key);
    }

    void TypeKey(const TypingKey& typing) {
        Tap(typing.key);
        m_input.TypeText(typing.text);
    }

    void ToggleShift() {
        m_shift = !m_shift;
        if (m_shift) m_input.KeyDown(vdinput::DIK_LSHIFT);
        else m_input.KeyUp(vdinput::DIK_LSHIFT);
    }

    void Screenshot() {
        Tap(vdinput::DIK_F9);
        m_screenshotDue = true;
    }

    // Another window takes the focus (and with `minimize` the full-screen
    // window goes away with its device) for a while.
    void LoseFocus(bool minimize) {
        m_system.Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
        m_input.keyboard.inputLost = m_input.mouse.inputLost = true;
        if (minimize) m_d3d.device->LoseDevice();
        m_minimized = minimize;
        m_awaySteps = 1 + Below(20);
        ++m_result.focusLosses;
        if (minimize) ++m_result.deviceLosses;
    }

    void ComeBack() {
        if (m_minimized) m_d3d.device->RestoreWindow();
        m_minimized = false;
        m_system.Post(platform::MSG_ACTIVATE, Below(2) ? platform::ACTIVATE_ACTIVE : platform::ACTIVATE_CLICKACTIVE);
    }

    // The device goes while the window stays (another program took the
    // display) and comes back a little later.
    void LoseDevice() {
        m_d3d.device->LoseDevice();
        m_lostSteps = 1 + Below(10);
        ++m_result.deviceLosses;
    }

    // The window is closed; the soak starts the game again unless it is over.
    void Close() {
        m_system.Post(platform::MSG_DESTROY);
        m_closing = true;
    }

    const SoakSettings& m_settings;
    platform::HeadlessSystem& m_system;
    platform::HeadlessInputSystem& m_input;
    vd3d::RecordingControl& m_d3d;
    SoakResult& m_result;
    std::mt19937 m_random;
    std::vector<int16_t> m_pcm;

    bool m_inPump = false;
    bool m_closing = false;
    uint32_t m_awaySteps = 0;
    uint32_t m_lostSteps = 0;
    bool m_minimized = false;
    uint32_t m_heldSteps = 0;
    int m_heldButton = kLeft;
    bool m_shift = false;
    bool m_screenshotDue = false;
    size_t m_tourDone = 0;

    bool m_roundOpen = false;
    bool m_pendingRecord = false;
    float m_pendingTime = 0.0f;
    bool m_haveBest = false;
    float m_bestOnDisk = 0.0f;
    std::string m_bestBytes;
};

long StatusKB(const std::string& status, const char* field) {
    const size_t at = status.find(field);
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + std::strlen(field), nullptr, 10);
}

}  // namespace

MemorySample ReadMemory(uint64_t frame) {
    const std::string status = ReadBytes("/proc/self/status");
    return MemorySample{frame, StatusKB(status, "VmHWM:"), StatusKB(status, "VmRSS:")};
}

SoakResult RunGameSoak(const SoakSettings& settings, platform::HeadlessSystem& system,
                       platform::HeadlessInputSystem& input, vd3d::RecordingControl& d3d) {
    SoakResult result;
    Monkey(settings, system, input, d3d, result).Run();
    return result;
}

}  // namespace soak
