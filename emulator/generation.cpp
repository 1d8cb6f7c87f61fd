#include "generation.h"

namespace emu {

uint32_t ParseVersionText(const std::string &text)
{
    size_t i = 0;
    uint32_t major = 0;
    for (int n = 0; n < 4 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++n, ++i)
        major = major * 16 + static_cast<uint32_t>(text[i] - '0');
    if (i >= text.size() || text[i] != '.')
        return major << 16;
    ++i;
    uint32_t minor = 0, weight = 0x1000;
    for (int n = 0; n < 4 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++n, ++i) {
        minor += static_cast<uint32_t>(text[i] - '0') * weight;
        weight /= 16;
    }
    return (major << 16) + minor;
}

Generation::Generation(const std::string &versionText) : text_(versionText), number_(ParseVersionText(versionText)) {}

}  // namespace emu
