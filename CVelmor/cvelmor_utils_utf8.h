// Text is UTF-8. Every byte that does not start a valid UTF-8 sequence (a
// stray continuation byte, a cut or overlong sequence, a surrogate or a code
// past U+10FFFF) is one character of its own: the Latin-1 character of that
// byte, as 8-bit text always read. So every byte string is a sequence of
// characters, and counting, cutting and drawing agree on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct V2DUTF8CHAR {
    uint32_t code;  // the code point
    size_t length;  // its bytes, at least 1
};

// The character that starts at `text`, which must be followed by a zero byte
// somewhere (as a C string or std::string::c_str is); a zero byte is the
// character 0 of length 1. Never reads past that zero byte.
V2DUTF8CHAR Utf8Next(const char* text);

// Characters in `text`.
size_t Utf8Length(const std::string& text);

// Bytes of the first `count` characters (all of them when there are fewer).
size_t Utf8PrefixBytes(const std::string& text, size_t count);

// Removes the last character, if there is one.
void Utf8PopBack(std::string& text);

// C0 and C1 controls and DEL: never typed into text.
bool Utf8IsControl(uint32_t code);

// Appends the typed characters of `typed` (valid UTF-8, no controls) to
// `text`, in order, while `fits(text + character)` holds; stops at the first
// character that does not fit. Returns whether anything was appended.
template <typename Fits>
bool Utf8AppendTyped(std::string& text, const std::string& typed, Fits fits) {
    bool appended = false;
    for (size_t at = 0; at < typed.size();) {
        const V2DUTF8CHAR c = Utf8Next(typed.c_str() + at);
        const std::string bytes = typed.substr(at, c.length);
        at += c.length;
        const bool invalid = c.code >= 0x80 && c.length == 1;
        if (invalid || Utf8IsControl(c.code)) continue;
        if (!fits(text + bytes)) break;
        text += bytes;
        appended = true;
    }
    return appended;
}
