// cmd_convert.cpp - converting a voice recording that is already on the PC.

#include "commands.h"
#include "device.h"
#include "interrupt.h"
#include "localfile.h"
#include "output.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace cli {
namespace {

struct ProgressState {
    ProgressLine *line;
};

extern "C" int OnConvertProgress(unsigned pos, unsigned total, void *user)
{
    static_cast<ProgressState *>(user)->line->Update(pos, total);
    return InterruptPending() ? 1 : 0;
}

}  // namespace

int RunConvert(Invocation &inv)
{
    const std::string &source = inv.args.operands[0];
    const std::string ext = Extension(BaseName(source));
    const bool bcw = SameAsciiText(ext, "BCW");
    if (!bcw && !SameAsciiText(ext, "BVF"))
        return UsageError(inv.command, "'" + source + "': a recording is named *.BCW or *.BVF");
    struct stat st;
    if (::stat(source.c_str(), &st) != 0)
        return Fail("convert: " + source + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return Fail("convert: " + source + ": not a regular file");

    std::string target = inv.args.operands.size() > 1 ? inv.args.operands[1] : WithExtension(source, "WAV");
    if (IsDirectory(target))
        target = JoinPath(target, WithExtension(BaseName(source), "WAV"));
    if (SameFile(source, target))
        return Fail("convert: " + target + " is the recording itself");

    // The converter writes a temporary file next to the target, which only
    // replaces an older file of that name once it is complete.
    PendingFile pending(target);
    if (!pending.ok())
        return Fail("convert: cannot create a file next to " + target + ": " + std::strerror(errno));
    int ok;
    {
        ProgressLine line("Converting " + BaseName(source), inv.global.quiet);
        ProgressState state{&line};
        ok = bcw ? ZVC450_ConvertBcwToWav(source.c_str(), pending.temp().c_str(), OnConvertProgress, &state)
                 : ZVC450_ConvertBvfToWav(source.c_str(), pending.temp().c_str(), OnConvertProgress, &state);
    }
    if (!ok)
        return ReportError(ZVC450_GetError() == ZVC450USB_ERR_FILE_TOOBIG
                               ? "convert " + source + ": its WAV would be too large (4 GiB at most)"
                               : "convert " + source);
    if (!pending.Commit())
        return Fail("convert: " + target + ": " + std::strerror(errno));
    WarnIfSilent("convert " + source, target);
    return kExitOk;
}

}  // namespace cli
