extern "C" {
#include <lua.h>
}

#include "cvelmor.h"
#include "cvelmor_glue.h"

int GlueFirstBadArgument(lua_State* L, std::initializer_list<int> expected) {
    int index = 0;
    for (int kind : expected) {
        ++index;
        const int type = lua_type(L, index);
        const bool ok = kind == GLUE_HANDLE ? (type == LUA_TNUMBER || type == LUA_TSTRING) : type == kind;
        if (!ok) return index;
    }
    return 0;
}

int GlueFirstBadArgument(lua_State* L, std::initializer_list<int> required, std::initializer_list<int> optional) {
    const int bad = GlueFirstBadArgument(L, required);
    if (bad != 0) return bad;
    int index = static_cast<int>(required.size());
    for (int kind : optional) {
        ++index;
        if (index > lua_gettop(L)) break;
        if (lua_type(L, index) != kind) return index;
    }
    return 0;
}

void GlueCheckArguments(const char* name, int badIndex, const char* file, unsigned line) {
    if (badIndex == 0) return;
    throw CEHSException(EHS_TYPE_GAME, 0,
                        std::string("Error in glue function: glue_") + name + "." +
                            "Invalid argument type. Index = " + std::to_string(badIndex),
                        file, line);
}

int GlueToInt(lua_State* L, int index) { return static_cast<int>(lua_tonumber(L, index)); }
float GlueToFloat(lua_State* L, int index) { return static_cast<float>(lua_tonumber(L, index)); }
bool GlueIsString(lua_State* L, int index) { return lua_type(L, index) == LUA_TSTRING; }
bool GlueToBoolean(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }

std::string GlueToString(lua_State* L, int index) {
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    return text ? std::string(text, length) : std::string();
}

int GlueArgCount(lua_State* L) { return lua_gettop(L); }

void GluePushNumber(lua_State* L, double value) { lua_pushnumber(L, value); }
void GluePushBoolean(lua_State* L, bool value) { lua_pushboolean(L, value ? 1 : 0); }
void GluePushString(lua_State* L, const std::string& value) { lua_pushlstring(L, value.data(), value.size()); }

void RegisterEngineScriptFunctions(CVelmor& engine) {
    RegisterGlueSys(engine);
    RegisterGlueLog(engine);
    RegisterGlueGfx(engine);
    RegisterGlueInp(engine);
    RegisterGlueSfx(engine);
    RegisterGlueRes(engine);
    RegisterGlueUtil(engine);
}
