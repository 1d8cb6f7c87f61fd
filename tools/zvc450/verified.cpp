// verified.cpp - checking copies by reading them back from the player.

#include "verified.h"

#include "device.h"
#include "listing.h"
#include "output.h"

#include <cstdio>

namespace cli {

std::string ByteOffsetText(long long offset)
{
    char text[64];
    std::snprintf(text, sizeof text, "byte %lld (0x%llX)", offset, static_cast<unsigned long long>(offset));
    return text;
}

int CompareWithPlayer(const Device &device, const Entry &entry, const std::string &path,
                      const std::string &context, const std::string &what)
{
    long long difference = -1;
    int ok;
    {
        QuietScope quiet(device.quiet());
        ok = ZVC450_VerifyFile(nullptr, device.handle(), device.memory(), entry.number, path.c_str(),
                               entry.name.c_str(), entry.record.dwSize, &difference);
    }
    if (!ok)
        return ReportError(context + ": reading it back");
    if (difference < 0)
        return kExitOk;
    std::fprintf(stderr, "zvc450: %s: %s at %s\n", ForMessage(context).c_str(), what.c_str(),
                 ByteOffsetText(difference).c_str());
    return kExitFailed;
}

}  // namespace cli
