// The script state: creation, libraries, function registration, chunks.
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "cvelmor_scr_pending.h"

namespace {

int OnLuaPanic(lua_State*) {
    throw CEHSException(EHS_TYPE_GAME, 0, "Lua is on panic! Error source is unknown.", "cvelmor_scr_main",
                        __LINE__);
}

void OpenLibrary(lua_State* L, lua_CFunction opener) {
    lua_pushcfunction(L, opener);
    lua_pushstring(L, "");
    lua_call(L, 1, 0);
}

}  // namespace

void CVelmor::ScriptsInit() {
    SetCheckpoint(137, 28);
    if (m_scr.bInitialized) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Script subsystem reinitialization!", "cvelmor_scr_main", __LINE__);
    }
    m_scr.bInitialized = 1;
    m_bScrStarted = 1;

    LogSeparator(1);
    LogEntry("Initializing Scripts Subsystem...", LOG_TITLE);
    LogBlankLines(1);
    LogEntry("   Creating Lua state...", LOG_STEP);
    m_scr.pLuaState = lua_open();
    if (!m_scr.pLuaState) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot create lua state!", "cvelmor_scr_main", __LINE__);
    }
    LogEntry("   Done.", LOG_RESULT);
    LogBlankLines(1);
    LogBlankLines(1);
    LogEntry("   Initializing standart Lua libraries...", LOG_STEP);
    lua_State* L = m_scr.pLuaState;
    OpenLibrary(L, luaopen_base);
    OpenLibrary(L, luaopen_math);
    OpenLibrary(L, luaopen_io);
    lua_settop(L, 0);
    // Scripts come with the data: they may read and write files but never
    // start programs.
    lua_getglobal(L, "io");
    if (lua_istable(L, -1)) {
        lua_pushstring(L, "popen");
        lua_pushnil(L);
        lua_rawset(L, -3);
    }
    lua_settop(L, 0);
    GuardProtectedCalls(L);
    LogEntry("   Done.", LOG_RESULT);
    LogBlankLines(1);
    lua_atpanic(L, OnLuaPanic);
    RegisterEngineScriptFunctions(*this);
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::ScriptsDeinit() {
    SetCheckpoint(137, 75);
    if (!m_scr.bInitialized) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Internal error - scripts subsystem was not initialized!",
                            "cvelmor_scr_main", __LINE__);
    }
    LogSeparator(1);
    LogEntry("Deinitializing Scripts Subsystem...", LOG_TITLE);
    if (m_scr.pLuaState) lua_close(m_scr.pLuaState);
    m_scr.pLuaState = nullptr;
    m_scr.bInitialized = 0;
    m_scr.pendingParams.clear();
    m_scr.results.clear();
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::ScriptRegisterFunction(const std::string& name, V2DSCRIPTFUNC function) {
    SetCheckpoint(137, 95);
    lua_State* L = m_scr.pLuaState;
    lua_pushstring(L, name.c_str());
    lua_pushcclosure(L, function, 0);
    lua_settable(L, LUA_GLOBALSINDEX);
}

void CVelmor::ScriptLoadFromBuffer(const char* buffer, size_t size, const std::string& name) {
    SetCheckpoint(137, 103);
    LogBlankLines(1);
    LogEntry("Loading script from buffer: " + name, LOG_STEP);
    lua_State* L = m_scr.pLuaState;
    const int loadResult = luaL_loadbuffer(L, buffer, size, name.c_str());
    if (loadResult != 0) {
        const char* text = lua_tostring(L, -1);
        const std::string message = text ? text : "";
        lua_pop(L, 1);
        throw CEHSException(EHS_TYPE_LUA, static_cast<uint32_t>(loadResult), message, "cvelmor_scr_main", __LINE__);
    }
    const int callResult = lua_pcall(L, 0, 0, 0);
    if (callResult != 0) ThrowScriptError(L, callResult, "cvelmor_scr_main", __LINE__);
    RethrowPendingEngineError(L);
    lua_settop(L, 0);
    LogEntry("Done.", LOG_RESULT);
    LogBlankLines(1);
}
