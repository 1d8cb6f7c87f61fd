// log.h - messages of a running mount: on the terminal in the foreground,
// to the system log in the background.
#pragma once

namespace mountfs {

// In the foreground, messages go to `fd` (a copy of the terminal's stderr);
// with fd < 0 to syslog.
void SetLogTarget(int fd);
void Log(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace mountfs
