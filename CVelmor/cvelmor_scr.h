// The script subsystem: one Lua state, chunks run from memory, global script
// functions called by name with typed parameters and results.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

struct lua_State;

enum V2DLuaValueStatus {
    LUAVAL_NUMBER = 1,
    LUAVAL_BOOLEAN = 2,
    LUAVAL_STRING = 3,
    LUAVAL_FUNCTION = 4,
};

// A typed script value: a number, a boolean, a string or a function name.
class CLuaValue {
public:
    explicit CLuaValue(double number) : m_number(number), m_status(LUAVAL_NUMBER) {}
    explicit CLuaValue(bool boolean) : m_boolean(boolean ? 1 : 0), m_status(LUAVAL_BOOLEAN) {}
    CLuaValue(const std::string& text, bool isFunction)
        : m_text(text), m_status(isFunction ? LUAVAL_FUNCTION : LUAVAL_STRING) {}

    double GetNumber() const;
    bool GetBoolean() const;
    const std::string& GetString() const;
    const std::string& GetFunction() const;
    int32_t GetStatus() const { return m_status; }

private:
    double m_number = 0.0;
    uint8_t m_boolean = 0;
    std::string m_text;
    int32_t m_status;
};

typedef int (*V2DSCRIPTFUNC)(lua_State* L);

struct V2DSCRIPTSTATE {
    uint8_t bInitialized = 0;
    lua_State* pLuaState = nullptr;
    std::vector<CLuaValue> pendingParams;
    std::vector<CLuaValue> results;
    std::string strLastCalledFunction;
};

// Native functions called from scripts must not let a C++ exception unwind
// through the interpreter: RunScriptFunction keeps it, raises a script error
// instead, and the engine rethrows the kept exception once the interpreter
// has returned from its protected call.
int RunScriptFunction(lua_State* L, V2DSCRIPTFUNC body);

// Defines the function a script calls: NAME is registered, glue_NAME holds
// the work.
#define V2D_SCRIPT_FUNCTION(NAME)                                                 \
    static int glue_##NAME(lua_State* L);                                         \
    static int script_##NAME(lua_State* L) { return RunScriptFunction(L, glue_##NAME); } \
    static int glue_##NAME(lua_State* L)
