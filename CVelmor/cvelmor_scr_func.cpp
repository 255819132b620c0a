// Calling global script functions by name with typed parameters and results.
extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <exception>

#include "cvelmor.h"
#include "cvelmor_scr_pending.h"

namespace {

std::exception_ptr g_pendingException;

const char* const kPendingMessage = "engine error in a native function";

}  // namespace

int RunScriptFunction(lua_State* L, V2DSCRIPTFUNC body) {
    try {
        return body(L);
    } catch (...) {
        g_pendingException = std::current_exception();
    }
    // No C++ object is alive in this frame any more, so leaving it through
    // the interpreter's error jump is safe.
    lua_pushstring(L, kPendingMessage);
    return lua_error(L);
}

namespace {

// pcall, xpcall and coroutine.resume with the library's own version as
// upvalue 1: an engine error kept while the call unwound is raised again, so
// a script can catch its own errors but never an engine error.
int GuardedProtectedCall(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    if (g_pendingException) {
        lua_settop(L, 0);
        lua_pushstring(L, kPendingMessage);
        return lua_error(L);
    }
    return lua_gettop(L);
}

void GuardField(lua_State* L, int table, const char* name) {
    lua_pushstring(L, name);
    lua_pushstring(L, name);
    lua_rawget(L, table);
    if (lua_isfunction(L, -1)) {
        lua_pushcclosure(L, GuardedProtectedCall, 1);
        lua_rawset(L, table);
    } else {
        lua_pop(L, 2);
    }
}

}  // namespace

void GuardProtectedCalls(lua_State* L) {
    GuardField(L, LUA_GLOBALSINDEX, "pcall");
    GuardField(L, LUA_GLOBALSINDEX, "xpcall");
    lua_getglobal(L, "coroutine");
    if (lua_istable(L, -1)) GuardField(L, lua_gettop(L), "resume");
    lua_pop(L, 1);
}

void RethrowPendingEngineError(lua_State* L) {
    if (!g_pendingException) return;
    std::exception_ptr kept = g_pendingException;
    g_pendingException = nullptr;
    lua_settop(L, 0);
    std::rethrow_exception(kept);
}

void ThrowScriptError(lua_State* L, int result, const char* file, uint32_t line) {
    if (g_pendingException) {
        std::exception_ptr kept = g_pendingException;
        g_pendingException = nullptr;
        lua_settop(L, 0);
        std::rethrow_exception(kept);
    }
    const char* text = lua_tostring(L, -1);
    const std::string message = text ? text : "";
    lua_settop(L, 0);
    throw CEHSException(EHS_TYPE_LUA, static_cast<uint32_t>(result), message, file, line);
}

void CVelmor::ScriptAddParam(const CLuaValue& value) {
    SetCheckpoint(139, 45);
    m_scr.pendingParams.push_back(value);
}

bool CVelmor::ScriptHasFunction(const std::string& name) const {
    lua_State* L = m_scr.pLuaState;
    if (!L) return false;
    lua_getfield(L, LUA_GLOBALSINDEX, name.c_str());
    const bool function = lua_isfunction(L, -1);
    lua_pop(L, 1);
    return function;
}

void CVelmor::ScriptCallFunction(const std::string& name, int wanted) {
    SetCheckpoint(139, 50);
    // The pending parameters belong to this call whatever its outcome.
    struct ClearParams {
        std::vector<CLuaValue>& params;
        ~ClearParams() { params.clear(); }
    } clearParams{m_scr.pendingParams};

    lua_State* L = m_scr.pLuaState;
    lua_settop(L, 0);
    m_scr.strLastCalledFunction = name;
    NoteScriptFunctionForFaultReports(name);
    m_scr.results.clear();

    lua_pushstring(L, name.c_str());
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (lua_type(L, -1) != LUA_TFUNCTION) {
        lua_settop(L, 0);
        return;
    }
    for (const CLuaValue& param : m_scr.pendingParams) {
        switch (param.GetStatus()) {
            case LUAVAL_NUMBER: lua_pushnumber(L, param.GetNumber()); break;
            case LUAVAL_BOOLEAN: lua_pushboolean(L, param.GetBoolean() ? 1 : 0); break;
            case LUAVAL_STRING: lua_pushstring(L, param.GetString().c_str()); break;
            case LUAVAL_FUNCTION: lua_pushstring(L, param.GetFunction().c_str()); break;
            default:
                lua_settop(L, 0);
                throw CEHSException(EHS_TYPE_GAME, 0,
                                    "Function: " + name + " Wrong parameter type. Type id = " +
                                        std::to_string(param.GetStatus()),
                                    "cvelmor_scr_func", __LINE__);
        }
    }
    const int callResult = lua_pcall(L, static_cast<int>(m_scr.pendingParams.size()), wanted, 0);
    if (callResult != 0) ThrowScriptError(L, callResult, "cvelmor_scr_func", __LINE__);
    RethrowPendingEngineError(L);

    while (lua_gettop(L) > 0) {
        const int type = lua_type(L, -1);
        switch (type) {
            case LUA_TBOOLEAN: m_scr.results.emplace_back(lua_toboolean(L, -1) != 0); break;
            case LUA_TNUMBER: m_scr.results.emplace_back(static_cast<double>(lua_tonumber(L, -1))); break;
            case LUA_TSTRING: m_scr.results.emplace_back(std::string(lua_tostring(L, -1)), false); break;
            // A function value has no name to give; it comes back as an
            // empty function name.
            case LUA_TFUNCTION: m_scr.results.emplace_back(std::string(), true); break;
            default:
                lua_settop(L, 0);
                throw CEHSException(EHS_TYPE_GAME, 0,
                                    "Function: " + name + " returned result of invalid type. Type id = " +
                                        std::to_string(type),
                                    "cvelmor_scr_func", __LINE__);
        }
        lua_pop(L, 1);
    }
}
