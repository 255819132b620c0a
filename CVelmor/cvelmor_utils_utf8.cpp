#include "cvelmor_utils_utf8.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

V2DUTF8CHAR Utf8Next(const char* text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const unsigned char lead = bytes[0];
    size_t length = 0;
    uint32_t code = 0, lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, lowest = 0x10000;
    } else {
        return {lead, 1};  // ASCII, or a byte that starts no sequence
    }
    // A zero byte is no continuation, so the walk stops at the text's end.
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(bytes[i])) return {lead, 1};
        code = (code << 6) | (bytes[i] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < lowest || surrogate || code > 0x10FFFF) return {lead, 1};
    return {code, length};
}

size_t Utf8Length(const std::string& text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += Utf8Next(text.c_str() + at).length) ++count;
    return count;
}

size_t Utf8PrefixBytes(const std::string& text, size_t count) {
    size_t at = 0;
    for (size_t n = 0; n < count && at < text.size(); ++n) at += Utf8Next(text.c_str() + at).length;
    return at;
}

void Utf8PopBack(std::string& text) {
    // Read from the start: only that says where the last character begins.
    size_t last = 0;
    for (size_t at = 0; at < text.size(); at += Utf8Next(text.c_str() + at).length) last = at;
    text.resize(text.empty() ? 0 : last);
}

bool Utf8IsControl(uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }
