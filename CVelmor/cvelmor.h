// The engine core object. One CVelmor exists per process; it owns the state
// of every engine subsystem. Each group of operations is defined in the file
// of its area (named beside it below); each subsystem keeps its fields in a
// state struct declared in that subsystem's header.
#pragma once

#include <cstdint>
#include <string>

#include "cvelmor_ehs.h"
#include "cvelmor_gfx.h"
#include "cvelmor_inp.h"
#include "cvelmor_res.h"
#include "cvelmor_scr.h"
#include "cvelmor_sfx.h"

namespace platform {
class GameWindow;
}
namespace vd3d {
class IDirect3D8;
class IDirect3DDevice8;
}  // namespace vd3d

typedef void (*V2DCALLBACK)();

enum V2DCallbackKind {
    CALLBACK_FOCUS_LOST = 1,
    CALLBACK_FOCUS_RESTORED = 2,
    CALLBACK_TERMINATION = 3,
};

enum V2DLogLevel {
    LOG_UNDEFINED = 0,
    LOG_STEP = 1,
    LOG_DETAIL = 2,
    LOG_TITLE = 3,
    LOG_RESULT = 4,
    LOG_WARNING = 5,
    LOG_FATAL = 6,
};

// Frame timer fields, kept by TimerUpdate. Times are read from the
// system's microsecond clock, so short frames are measured as they are.
struct V2DTIMERSTATE {
    uint64_t qwLastUpdateUs = 0;
    uint64_t qwPrevUpdateUs = 0;
    int32_t iFrameTimeUs = 1000;
    float fFrameTime = 0.001f;
    int32_t iAccumulatedUs = 0;
    uint32_t dwFrameCount = 1;
    uint32_t dwFPS = 1;
};

class CVelmor {
public:
    CVelmor();
    ~CVelmor();
    CVelmor(const CVelmor&) = delete;
    CVelmor& operator=(const CVelmor&) = delete;

    // ---- Core: cvelmor.cpp -------------------------------------------------
    void SetAppInfo(const std::string& name, const std::string& version);
    void RegisterCallback(V2DCALLBACK function, int kind);
    // 1: run a frame now; 0: nothing to do (wait for a message); -1: quit.
    int32_t UpdateAllSystems();
    void TimerUpdate();
    // Measures the next frame from now: called when start-up loading is
    // over, so the first frame's time does not include it.
    void TimerRestart();
    float TimerGetDelta() const { return m_timer.fFrameTime; }
    uint32_t TimerGetFPS() const { return m_timer.dwFPS; }
    const std::string& GetAppName() const { return m_strAppName; }
    const std::string& GetAppVersion() const { return m_strAppVersion; }
    const V2DTIMERSTATE& GetTimer() const { return m_timer; }
    // The fatal path marks the engine before deleting it, so the destructor
    // runs the termination callback first.
    void MarkTerminated() { m_bTerminated = 1; }

    // ---- Log: cvelmor_log.cpp ------------------------------------------------
    // Each call opens, writes, flushes and closes "gamelog.txt"; they keep no
    // state, so they also work while no engine object exists.
    static void LogLine(const std::string& text);
    static void LogEntry(const std::string& text, int level);
    static void LogSeparator(int kind);
    static void LogBlankLines(int count);

    // ---- Focus (called by the window procedure): cvelmor.cpp ---------------------------------------------
    void OnFocusGained();
    void OnFocusLost();

    // ---- Graphics: cvelmor_gfx_*.cpp -----------------------------------------
    // The game window, the 3-D API object and the device, in this order.
    // Input and sound refuse to start while the device does not exist.
    bool GfxDeviceExists() const { return m_pD3DDevice != nullptr; }
    platform::GameWindow* m_hWnd = nullptr;
    vd3d::IDirect3D8* m_pD3D = nullptr;
    vd3d::IDirect3DDevice8* m_pD3DDevice = nullptr;

    // Device: cvelmor_gfx_main.cpp. Preinit probes the card for the wanted
    // screen size; Init opens the window and the device in mode 1 (16-bit),
    // 2 (32-bit) or 3 (the desktop; the only one that may be windowed).
    void GfxPreinit(uint32_t width, uint32_t height);
    void GetVideoCardCaps(V2DVIDEOCAPS& caps) const;
    void GetScreenSize(uint32_t& width, uint32_t& height) const;
    void GfxInit(int32_t mode, bool windowed);
    // Before each frame: false while the device is lost; resets it once it
    // can be reset.
    bool GfxCheckDevice();
    void GfxDeinit();
    static const char* GetFormatName(uint32_t format);
    bool IsTextureFormatUsable(uint32_t format, uint32_t displayFormat);

    // Vertex quads: cvelmor_gfx_vquad.cpp. Positions in pixels, colours and
    // texture coordinates 0..1; vertex index 0..3 from the top left clockwise.
    void VQuadSetPos(float x, float y, float w, float h, float z);
    void VQuadSetPosByVertex(int index, float x, float y, float z);
    void VQuadRotate(float cx, float cy, float degrees);
    void VQuadScale(float cx, float cy, float factor);
    void VQuadMove(float dx, float dy, float dz);
    void VQuadSetColor(float r, float g, float b, float a);
    void VQuadSetColorByVertex(int index, float r, float g, float b, float a);
    void VQuadSetTexCoords(int set, float left, float top, float right, float bottom);  // set 1 or 2
    void VQuadRender();  // queues the quad; dropped outside a scene
    void BeginBatch();
    void FlushBatch();  // before any change of texture, technique or viewport
    void EndBatch();

    // Scene: cvelmor_gfx_scene.cpp.
    void SceneBegin();
    void SceneClearScreen(float r, float g, float b);
    void SceneEnd();
    void ScenePresent();
    void SceneRender();  // the dynamic lights, then queue the quad
    // Clipped to the screen; what is queued is drawn first.
    void SceneSetViewport(int32_t x, int32_t y, int32_t w, int32_t h);
    // The viewport set now, as SceneSetViewport left it.
    void SceneGetViewport(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const;
    // Level 1 and bend 0 give the identity ramp.
    void SceneSetGamma(float level, float bend);
    // The front buffer to "screenshotN.bmp"; not while rendering windowed.
    void SceneMakeScreenshot();

    // Dynamic lights: cvelmor_gfx_light.cpp. Mode 0 disabled, 1 vertex
    // colours, 2 Dot3 (the direction to the Dot3 light in the specular
    // colours). Techniques set the mode and the ambient colour.
    void SetDynLightMode(uint32_t fp_dwMode);
    int32_t LightAdd(const std::string& fp_strID, const V2DLIGHT& fp_Light);  // an existing name keeps its light
    V2DLIGHT* GetLight(int32_t fp_iID);  // null when there is none
    void SetDot3Light(int32_t fp_iID);

    // Textures: cvelmor_gfx_tex.cpp. Format index 1..4 picks TextureFormat01
    // to 04 of the display mode (anything else 1); edge 0 keeps the image's
    // size; stages 0..7. Setting a texture draws what is queued first.
    int32_t LoadTextureFromMemory(const void* fp_pData, int32_t fp_iSize, int32_t fp_iFormat, const char* fp_pszID,
                                  int32_t fp_iMipLevels, int32_t fp_iTag, int32_t fp_iEdgeSize);
    int32_t GetTextureID(const std::string& fp_strID);  // -1 (and a warning) when absent
    void UnloadTexture(const std::string& fp_strID);
    void UnloadTexture(int32_t fp_iID);
    void SetTexture(int32_t fp_iID, uint32_t fp_dwStage);
    void SetTexture(const std::string& fp_strID, uint32_t fp_dwStage);
    void SetTexture(const CSmartID& fp_ID, uint32_t fp_dwStage);
    void SetNoTexture(uint32_t fp_dwStage);
    // Lets the demand operations find textures, techniques and fonts while
    // their managers exist.
    void GfxSetDemandLookups(bool fp_bManagersExist);

    // Techniques: cvelmor_gfx_tech.cpp. Applying one pushes only the groups
    // of settings it defines, after drawing what is queued.
    void LoadTechniquesPack(const void* fp_pData, int32_t fp_iSize);
    int32_t GetTechniqueID(const std::string& fp_strID);  // -1 (and a warning) when absent
    void ApplyTechnique(int32_t fp_iID);
    void ApplyTechnique(const std::string& fp_strID);
    void ApplyTechnique(const CSmartID& fp_ID);

    // Fonts: cvelmor_gfx_font.cpp. Colour index 0..9, or -1 to keep the
    // quad's colour; max characters 0 for the whole text.
    int32_t LoadFontFromMemory(const void* fp_pData, int32_t fp_iSize);
    int32_t GetFontID(const std::string& fp_strID);  // -1 (and a warning) when absent
    void SetCurrentFont(int32_t fp_iID);
    void SetCurrentFont(const std::string& fp_strID);
    void SetCurrentFont(const CSmartID& fp_ID);  // checked when drawing
    void DrawText(const char* fp_pszText, float fp_fX, float fp_fY, uint32_t fp_dwMaxChars, int32_t fp_iColorIndex,
                  float fp_fAlpha);
    // "%" and a digit switch colours (when the colour index is not -1).
    void DrawTextEx(const char* fp_pszText, float fp_fX, float fp_fY, uint32_t fp_dwMaxChars, int32_t fp_iColorIndex,
                    float fp_fAlpha, bool fp_bApplyTechnique, float fp_fScale, float fp_fCharSpacing,
                    float fp_fLineSpacing);
    // Up to the end of the first line.
    float GetStringWidth(const char* fp_pszText, int32_t fp_iFontID, float fp_fScale, float fp_fCharSpacing);

    V2DGFXSTATE m_gfx;

    // ---- Resources: cvelmor_res_main.cpp, cvelmor_res_cres.cpp,
    //      cvelmor_utils_demand.cpp ---------------------------------------------
    void ResourcesInit();
    void ResourcesDeinit();
    // A TypeID may have one function in each registry; LoadRes wins.
    void RegisterLoadFunction(V2DLOADRESFUNC function, const char* fp_pszTypeID);
    void RegisterLoadFunctionEx(V2DLOADRESEXFUNC function, const char* fp_pszTypeID);
    void LoadResource(const char* fp_pszID);  // load by ID
    void LoadResources(int32_t fp_iTag);      // load by tag; 0 loads every record
    int32_t ResGetMode() const { return m_res.iMode; }
    // The record table; null before ResourcesInit and after ResourcesDeinit.
    const TItemsManager<CV2DResource>* ResGetResources() const { return m_res.pResources.get(); }
    void ResSetDemandLookup(V2DDemandKind kind, V2DITEMLOOKUP lookup);
    V2DITEMLOOKUP ResGetDemandLookup(V2DDemandKind kind) const { return m_res.demandLookups[kind]; }
    bool GetXMLEncryptMode() const { return m_res.bXMLEncryptMode != 0; }
    void SetXMLEncryptMode(bool scrambled) { m_res.bXMLEncryptMode = scrambled ? 1 : 0; }
    V2DRESSTATE m_res;

    // ---- Input: cvelmor_inp_main.cpp, cvelmor_inp_keyboard.cpp,
    //      cvelmor_inp_mouse.cpp, cvelmor_inp_keynames.cpp ------------------------
    void InputInit();
    void InputDeinit();
    // Once per active frame; both do nothing while there is no input object.
    void InputUpdate();
    void InputReacquire();
    void KeyboardInit();
    void KeyboardDeinit();
    void KeyboardUpdate();
    void MouseInit();
    void MouseDeinit();
    void MouseUpdate();
    // Key codes 0 to 255; buttons 1 to 8. Anything else is never held.
    // Clicked: pressed since the previous frame (held now, and newly pressed
    // or not held then); a key held on is clicked only once.
    bool KeyboardIsKeyPressed(int32_t key) const;
    bool KeyboardIsKeyClicked(int32_t key) const;
    int32_t KeyboardGetAnyPressedKey() const;  // lowest held code 0..254, else 0
    void KeyboardSetTextBufferStatus(bool on);
    void KeyboardSetTextInBuffer(const std::string& text);
    const std::string& KeyboardGetTextInBuffer() const;
    // The text typed this frame (UTF-8, as the player's keyboard layout made
    // it; may hold control characters, which no text takes).
    const std::string& KeyboardGetTypedText() const;
    // Sizes count characters; a shorter size cuts the text at once.
    void KeyboardSetTextBufferSize(uint32_t size);
    // Appends the frame's typed characters that fit, then Backspace removes
    // the last character.
    void ProcessTextInput();
    bool MouseIsKeyPressed(int32_t button) const;
    bool MouseIsKeyClicked(int32_t button) const;
    int32_t MouseGetAnyPressedKey() const;  // lowest held button, else 0
    int32_t MouseGetDeltaX() const;
    int32_t MouseGetDeltaY() const;
    int32_t MouseGetWheelDelta() const;  // -1, 0 or 1
    void MouseGetCursorPos(int32_t& x, int32_t& y) const;
    uint8_t MouseGetCursorStatus() const;  // 1: inside the client area of the active window
    bool MouseIsDoubleClicked() const;     // this frame's click was the second of a double click
    static int32_t KeyNameToCode(const std::string& name);  // 0 for an unknown name
    V2DINPUTSTATE m_inp;

    // ---- Scripts: cvelmor_scr_main.cpp, cvelmor_scr_func.cpp -----------------
    void ScriptsInit();
    void ScriptsDeinit();
    void ScriptLoadFromBuffer(const char* buffer, size_t size, const std::string& name);
    void ScriptRegisterFunction(const std::string& name, V2DSCRIPTFUNC function);
    void ScriptAddParam(const CLuaValue& value);
    // wanted: number of results, -1 for all. Results land last-to-first.
    void ScriptCallFunction(const std::string& name, int wanted);
    bool ScriptHasFunction(const std::string& name) const;
    const std::vector<CLuaValue>& ScriptGetResults() const { return m_scr.results; }
    // Kept for fatal-error reports, so it survives an exception out of a call.
    const std::string& ScriptGetLastCalledFunctionName() const { return m_scr.strLastCalledFunction; }
    V2DSCRIPTSTATE m_scr;

    // ---- Sound and music: cvelmor_sfx_main.cpp, cvelmor_sfx_classes.cpp,
    //      cvelmor_sfx_sound.cpp, cvelmor_sfx_music.cpp, cvelmor_sfx_playlists.cpp --
    // Without a sound device the subsystem runs in no-sound mode: loads answer
    // -2 and every other operation does nothing. Play, stop, pause, resume,
    // the attributes and music requests are ignored while the window is
    // inactive. Frequency in Hz, volume 0..100, pan -100..100; -1, -1 and
    // -101 leave the attribute as it is.
    void SoundInit(int32_t fp_iFrequency);
    void SoundDeinit();
    void SoundUpdate();  // once per active frame: playlists, queued music
    void SoundSetGlobalVolumes(int32_t fp_iSoundVolume, int32_t fp_iMusicVolume);
    float SoundGetCPU() const;
    void SoundPause();   // the whole output, on focus loss
    void SoundResume();  // and on focus gain
    int32_t SoundLoad(const char* fp_pszFileName, const char* fp_pszID, int32_t fp_iTag, bool fp_bStreamed,
                      int32_t fp_iMaxPlaybacks, bool fp_bPlain, uint32_t fp_dwOffset, uint32_t fp_dwSize);
    int32_t SoundFind(const std::string& fp_strID);  // -1 (and a warning) when absent
    void SoundUnload(int32_t fp_iID);
    void SoundUnload(const std::string& fp_strID);
    void SoundPlay(int32_t fp_iID, bool fp_bLoop, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan);
    void SoundPlay(const CSmartID& fp_ID, bool fp_bLoop, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan);
    void SoundStop(int32_t fp_iID);
    void SoundPause(int32_t fp_iID);
    void SoundResume(int32_t fp_iID);
    void SoundSetAttributes(int32_t fp_iID, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan);
    void SoundSlideAttributes(int32_t fp_iID, int32_t fp_iFrequency, int32_t fp_iVolume, int32_t fp_iPan,
                              int32_t fp_iTime);
    bool SoundIsPlaying(int32_t fp_iID);
    int32_t MusicLoad(const char* fp_pszFileName, const char* fp_pszID, int32_t fp_iTag, uint32_t fp_dwOffset,
                      uint32_t fp_dwSize, bool fp_bPreloaded);
    int32_t MusicFind(const std::string& fp_strID);  // -1 (and a warning) when absent
    // The piece starts once the current one has stopped, fading out over
    // fp_iFadeTime ms; requesting the current piece does nothing.
    void PlayMusic(int32_t fp_iID, bool fp_bLoop, int32_t fp_iFadeTime);
    void PlayMusic(const std::string& fp_strID, bool fp_bLoop, int32_t fp_iFadeTime);
    void StopMusic(int32_t fp_iFadeTime);
    bool IsMusicPlaying();
    void SetMusicVolume(int32_t fp_iVolume, int32_t fp_iTime);  // slides the current piece's volume
    int32_t PlaylistLoad(const void* fp_pData, int32_t fp_iSize);
    int32_t PlaylistFind(const std::string& fp_strID);  // -1 (and a warning) when absent
    void PlaylistSet(int32_t fp_iID);
    void PlaylistSet(const std::string& fp_strID);
    void PlaylistClear();  // fades the music out; no playlist is current
    V2DSFXSTATE m_sfx;

    // ---- Subsystem-started flags, in this order ----------------------------
    uint8_t m_bGfxPrepared = 0;   // set by GfxPreinit once the 3-D API object exists
    uint8_t m_bResStarted = 0;
    uint8_t m_bInpStarted = 0;
    uint8_t m_bSfxStarted = 0;
    uint8_t m_bScrStarted = 0;
    uint8_t m_bGfxStarted = 0;    // set as the last step of GfxInit

private:
    // Returns -1 when the quit message was taken, 0 when the queue is empty.
    int32_t PumpMessages();
    void StopStartedSubsystems();
    void GfxProbeAdapter();
    void GfxEnumerateModes();
    void GfxEnumerateTextureFormats();
    void GfxReadDeviceCaps();
    void GfxCreateIndexBuffer();
    void GfxSetupDevice();
    void GfxReleasePartialInit();
    void GfxRequireDevice(const char* file, uint32_t line) const;  // "D3DDevice object was not created!"
    void GfxLockVertices(uint32_t line);
    void GfxUnlockVertices(uint32_t line);
    void GfxDrawQueuedQuads();
    uint32_t TextureFormatForIndex(int32_t fp_iFormat) const;
    void ForgetTextureOnStages(int32_t fp_iID);
    void RequireTextureStage(uint32_t fp_dwStage, uint32_t line) const;
    float LightDepthScale() const;
    void ApplyLights();
    void ApplyVertexLighting();
    void ApplyDot3Lighting();
    V2DSound& SoundByID(int32_t fp_iID);  // raises "Invalid sound ID: " for anything else
    V2DBaseMusic& CurrentMusic(const char* fp_pszInvalid);  // raises fp_pszInvalid when there is none
    void PlaylistNext();
    void UpdateCursor();
    void UpdateDoubleClick();
    template <typename Step>
    void RunStopStep(Step step);
    void WriteLogFooter();

    std::string m_strAppName;
    std::string m_strAppVersion;
    V2DTIMERSTATE m_timer;
    V2DCALLBACK m_pfnFocusLost = nullptr;
    V2DCALLBACK m_pfnFocusRestored = nullptr;
    V2DCALLBACK m_pfnTermination = nullptr;
    uint8_t m_bTerminated = 0;
};

// The current engine object (null before the first and after the last).
CVelmor* GetEngine();

// Process-wide flags.
extern uint8_t g_bQuitFlag;        // 1 ends the main loop at its next test
extern uint8_t g_bWindowActive;    // 1 while the game window is the active window
extern int32_t g_iDisplayMode;     // 1: 16-bit display mode, 2: 32-bit display mode

// Engine name and version as the log header shows them.
extern const char* const V2D_ENGINE_NAME;
extern const char* const V2D_ENGINE_VERSION;
