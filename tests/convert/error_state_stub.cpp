/*
 * error_state_stub.cpp - the library's error state, for the converter tests
 * that link the converters without the rest of the library.  Same rules as
 * the library's accessors: code 6 stores an errno, every setter returns its
 * argument.
 */
#include "zvc450usb.h"

#include <cerrno>

namespace {
int g_error = 0;
int g_internal = 0;
unsigned g_system = 0;
}  // namespace

extern "C" {
int ZVC450_GetError(void) { return g_error; }
int ZVC450_SetError(int code) { return g_error = code; }
int ZVC450_GetInternalError(void) { return g_internal; }
int ZVC450_SetInternalError(int code)
{
    g_error = ZVC450USB_ERR_INTERNAL;
    return g_internal = code;
}
unsigned ZVC450_GetWindowsError(void) { return g_system; }
unsigned ZVC450_SetWindowsError(unsigned code)
{
    g_error = ZVC450USB_ERR_WINDOWS;
    return g_system = code != 0 ? code : static_cast<unsigned>(errno);
}
}
