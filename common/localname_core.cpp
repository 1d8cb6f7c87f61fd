// localname_core.cpp - local file names made from the player's names.

#include "localname_core.h"

std::size_t zvs450_DecodeUtf8(const std::string &s, std::size_t i, unsigned long *character)
{
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    unsigned long cp = len == 1 ? c : c & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no characters.
    static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    *character = cp;
    return len;
}

bool zvs450_IsControlCharacter(unsigned long cp)
{
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

LocalNameStatus zvs450_SafeLocalName(const std::string &name, std::string *safe, bool keepLeadingDot,
                                     std::size_t maxBytes)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        unsigned long cp = 0;
        const std::size_t len = zvs450_DecodeUtf8(name, i, &cp);
        if (len == 0 || zvs450_IsControlCharacter(cp) || cp == '/') {
            out += '_';
            i += len == 0 ? 1 : len;
        } else {
            out.append(name, i, len);
            i += len;
        }
    }
    if (!keepLeadingDot && !out.empty() && out[0] == '.')
        out[0] = '_';
    const bool changed = out != name;
    *safe = out;
    if (out.empty())
        return LocalNameStatus::Empty;
    if (out.size() > maxBytes)
        return LocalNameStatus::TooLong;
    return changed ? LocalNameStatus::Changed : LocalNameStatus::Unchanged;
}

bool zvs450_IsOnePathComponent(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}
