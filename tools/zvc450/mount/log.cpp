// log.cpp - messages of a running mount.

#include "log.h"

#include <cstdarg>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace mountfs {
namespace {

int g_fd = STDERR_FILENO;
bool g_syslogOpen = false;

}  // namespace

void SetLogTarget(int fd)
{
    g_fd = fd;
    if (fd < 0 && !g_syslogOpen) {
        openlog("zvc450-mount", LOG_PID, LOG_USER);
        g_syslogOpen = true;
    }
}

void Log(const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (g_fd >= 0)
        dprintf(g_fd, "zvc450 mount: %s\n", text);
    else
        syslog(LOG_WARNING, "%s", text);
}

}  // namespace mountfs
