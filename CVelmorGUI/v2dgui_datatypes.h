// The GUI's parameter values, enumerations and actions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GUIPOINT {
    float x = 0.0f;
    float y = 0.0f;
};

// Left, top, width, height in pixels; the same four floats carry colours
// (r, g, b, a) and texture coordinates (left, top, right, bottom).
struct GUIRECT {
    float x = 0.0f;
    float y = 0.0f;
    float w = 0.0f;
    float h = 0.0f;
};

struct GUICOLOR {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
    float a = 1.0f;

    static GUICOLOR FromRect(const GUIRECT& rect) { return {rect.x, rect.y, rect.w, rect.h}; }
    GUIRECT ToRect() const { return {r, g, b, a}; }
    GUICOLOR operator*(const GUICOLOR& other) const { return {r * other.r, g * other.g, b * other.b, a * other.a}; }
};

// Numbers that stand for integers travel as floats and are truncated toward
// zero; values outside the integer range saturate, NaN reads as 0.
inline int32_t GUITruncate(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483520.0f) return INT32_MAX;
    if (value <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Integer results worked out in 64 bits, brought back into the 32-bit range.
inline int32_t GUISaturate(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Half-open: x <= px < x + w and y <= py < y + h.
inline bool GUIRectContains(const GUIRECT& rect, float px, float py) {
    return rect.x <= px && px < rect.x + rect.w && rect.y <= py && py < rect.y + rect.h;
}

typedef void (*V2DGUIACTIONFUNC)();

// Value types, as the parameter registry stores them.
enum V2DGUIValueType {
    GUIVAL_EMPTY = 0,
    GUIVAL_FLOAT = 1,
    GUIVAL_BOOLEAN = 2,
    GUIVAL_STRING = 3,
    GUIVAL_FUNCTION = 4,
    GUIVAL_POINT = 5,
    GUIVAL_RECT = 6,
    GUIVAL_ENUM = 7,
};

class CGUIEnum {
public:
    void Add(const std::string& name, const std::string& value) {
        m_names.push_back(name);
        m_values.push_back(value);
    }
    int32_t GetCount() const { return static_cast<int32_t>(m_names.size()); }
    const std::string& GetName(int32_t index) const { return m_names.at(static_cast<size_t>(index)); }
    const std::string& GetValue(int32_t index) const { return m_values.at(static_cast<size_t>(index)); }

private:
    std::vector<std::string> m_names;
    std::vector<std::string> m_values;
};

// A small tagged value; a getter of the wrong type raises a general error.
class CGUIValue {
public:
    CGUIValue() = default;
    explicit CGUIValue(float value) { SetFloat(value); }
    explicit CGUIValue(bool value) { SetBoolean(value); }
    explicit CGUIValue(const std::string& value) { SetString(value); }
    explicit CGUIValue(const char* value) { SetString(value); }
    explicit CGUIValue(V2DGUIACTIONFUNC value) { SetFunction(value); }
    explicit CGUIValue(const GUIPOINT& value) { SetPoint(value); }
    explicit CGUIValue(const GUIRECT& value) { SetRect(value); }
    explicit CGUIValue(CGUIEnum* value) { SetEnum(value); }

    void SetFloat(float value);
    void SetBoolean(bool value);
    void SetString(const std::string& value);
    void SetFunction(V2DGUIACTIONFUNC value);
    void SetPoint(const GUIPOINT& value);
    void SetRect(const GUIRECT& value);
    void SetEnum(CGUIEnum* value);

    float GetFloat() const;
    bool GetBoolean() const;
    const std::string& GetString() const;
    V2DGUIACTIONFUNC GetFunction() const;
    const GUIPOINT& GetPoint() const;
    const GUIRECT& GetRect() const;
    CGUIEnum* GetEnum() const;

    int32_t GetType() const { return m_iType; }

private:
    void Clear();
    void RequireType(int32_t type, const char* message) const;

    float m_fValue = 0.0f;
    uint8_t m_bValue = 0;
    std::string m_strValue;
    V2DGUIACTIONFUNC m_pFunction = nullptr;
    GUIPOINT m_Point;
    GUIRECT m_Rect;
    CGUIEnum* m_pEnum = nullptr;
    int32_t m_iType = GUIVAL_EMPTY;
};

enum V2DGUIActionKind {
    GUIACTION_NONE = 0,
    GUIACTION_SCRIPT = 1,
    GUIACTION_NATIVE = 2,
};

// What an event parameter holds: a script function's name or a native
// function of the game.
class CGUIAction {
public:
    void SetScript(const std::string& name) {
        m_strScript = name;
        m_iKind = GUIACTION_SCRIPT;
    }
    void SetNative(V2DGUIACTIONFUNC function) {
        m_pNative = function;
        m_iKind = GUIACTION_NATIVE;
    }
    // A function pointer is native; anything else must be a string naming a
    // script function (the value's type error otherwise).
    void Set(const CGUIValue& value);
    // The script name as a string value, or the native function.
    CGUIValue Get() const;

    int32_t GetKind() const { return m_iKind; }
    bool IsSet() const { return m_iKind != GUIACTION_NONE; }
    const std::string& GetScript() const { return m_strScript; }

    // Calls it; values go to a script function as its arguments (a point as
    // two numbers, a rectangle as four), to a native one through the GUI
    // manager's action parameter area. A kind of 0 raises "Unknown action
    // type!".
    void Fire() const;
    void Fire(const std::vector<CGUIValue>& values) const;
    // Fires only when set.
    void FireIfSet() const {
        if (IsSet()) Fire();
    }
    void FireIfSet(const std::vector<CGUIValue>& values) const {
        if (IsSet()) Fire(values);
    }

private:
    std::string m_strScript;
    V2DGUIACTIONFUNC m_pNative = nullptr;
    int32_t m_iKind = GUIACTION_NONE;
};
