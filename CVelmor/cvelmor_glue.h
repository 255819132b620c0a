// Shared pieces of the native functions that scripts call.
#pragma once

#include <initializer_list>
#include <string>

#include "cvelmor_scr.h"

class CVelmor;

// Argument kinds: the interpreter's type codes, plus "number or string" for
// a handle-or-identifier argument.
enum V2DGlueArg {
    GLUE_BOOLEAN = 1,
    GLUE_NUMBER = 3,
    GLUE_STRING = 4,
    GLUE_HANDLE = 100,
};

// Whether the engine takes a number from scripts and data: it is finite and
// its whole part lies within the 32-bit integers.
bool GlueIsUsableNumber(double value);

// 1-based position of the first argument whose type differs, or 0. A number
// the engine does not take (above) is of no kind.
int GlueFirstBadArgument(lua_State* L, std::initializer_list<int> expected);

// The same with optional trailing arguments: those present are checked too.
int GlueFirstBadArgument(lua_State* L, std::initializer_list<int> required, std::initializer_list<int> optional);

// Checks and reads number arguments in one pass, for the calls scripts make
// many times a frame: arguments 1 to `required` must be numbers, those up to
// `total` may be absent (their `values` stay as given). Returns what
// GlueFirstBadArgument would for the same kinds.
int GlueReadNumbers(lua_State* L, int required, int total, float* values);

// Throws the argument-type error of glue_<name> when badIndex is not 0.
void GlueCheckArguments(const char* name, int badIndex, const char* file, unsigned line);

// Numbers passed where the engine takes an integer are truncated toward 0;
// numbers the argument check refuses read as 0.
int GlueToInt(lua_State* L, int index);
float GlueToFloat(lua_State* L, int index);
bool GlueIsString(lua_State* L, int index);
bool GlueToBoolean(lua_State* L, int index);
std::string GlueToString(lua_State* L, int index);
int GlueArgCount(lua_State* L);

void GluePushNumber(lua_State* L, double value);
void GluePushBoolean(lua_State* L, bool value);
void GluePushString(lua_State* L, const std::string& value);

// Registers every engine script function in table order.
void RegisterEngineScriptFunctions(CVelmor& engine);
void RegisterGlueSys(CVelmor& engine);
void RegisterGlueLog(CVelmor& engine);
void RegisterGlueGfx(CVelmor& engine);
void RegisterGlueInp(CVelmor& engine);
void RegisterGlueSfx(CVelmor& engine);
void RegisterGlueRes(CVelmor& engine);
void RegisterGlueUtil(CVelmor& engine);
