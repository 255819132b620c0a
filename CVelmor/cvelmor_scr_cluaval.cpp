#include "cvelmor_ehs.h"
#include "cvelmor_scr.h"

double CLuaValue::GetNumber() const {
    if (m_status != LUAVAL_NUMBER) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "CLuaValue error: cannot return number because of different status!",
                            "cvelmor_scr_cluaval", __LINE__);
    }
    return m_number;
}

bool CLuaValue::GetBoolean() const {
    if (m_status != LUAVAL_BOOLEAN) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "CLuaValue error: cannot return boolean because of different status!",
                            "cvelmor_scr_cluaval", __LINE__);
    }
    return m_boolean != 0;
}

const std::string& CLuaValue::GetString() const {
    if (m_status != LUAVAL_STRING) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "CLuaValue error: cannot return string because of different status!",
                            "cvelmor_scr_cluaval", __LINE__);
    }
    return m_text;
}

const std::string& CLuaValue::GetFunction() const {
    if (m_status != LUAVAL_FUNCTION) {
        throw CEHSException(EHS_TYPE_GENERAL, 0,
                            "CLuaValue error: cannot return function because of different status!",
                            "cvelmor_scr_cluaval", __LINE__);
    }
    return m_text;
}
