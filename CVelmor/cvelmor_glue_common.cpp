extern "C" {
#include <lua.h>
}

#include <cmath>
#include <limits>

#include "cvelmor.h"
#include "cvelmor_glue.h"

// NaN, infinities and numbers beyond the integers the engine converts them
// to are refused wherever a number is expected.
bool GlueIsUsableNumber(double value) {
    return std::isfinite(value) && value > static_cast<double>(std::numeric_limits<int>::min()) - 1.0 &&
           value < static_cast<double>(std::numeric_limits<int>::max()) + 1.0;
}

namespace {

bool IsArgumentOfKind(lua_State* L, int index, int kind) {
    const int type = lua_type(L, index);
    if (type == LUA_TNUMBER && (kind == GLUE_NUMBER || kind == GLUE_HANDLE))
        return GlueIsUsableNumber(lua_tonumber(L, index));
    if (kind == GLUE_HANDLE) return type == LUA_TSTRING;
    return type == kind;
}

}  // namespace

int GlueFirstBadArgument(lua_State* L, std::initializer_list<int> expected) {
    int index = 0;
    for (int kind : expected) {
        ++index;
        if (!IsArgumentOfKind(L, index, kind)) return index;
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
        if (!IsArgumentOfKind(L, index, kind)) return index;
    }
    return 0;
}

int GlueReadNumbers(lua_State* L, int required, int total, float* values) {
    const int present = lua_gettop(L);
    for (int index = 1; index <= total; ++index) {
        if (index > required && index > present) break;
        if (lua_type(L, index) != LUA_TNUMBER) return index;
        const lua_Number value = lua_tonumber(L, index);
        if (!GlueIsUsableNumber(value)) return index;
        values[index - 1] = static_cast<float>(value);
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

int GlueToInt(lua_State* L, int index) {
    const lua_Number value = lua_tonumber(L, index);
    // Checked arguments are always in range; anything else reads as 0.
    return GlueIsUsableNumber(value) ? static_cast<int>(value) : 0;
}
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
