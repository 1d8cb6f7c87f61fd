cmake_minimum_required(VERSION 3.22)
# Checks the dynamic symbol table of libzvc450usb.so: every defined symbol is
# a ZVC450_ function, and the frame, packet, identification and error
# functions are all there.
execute_process(COMMAND nm -D --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(names "")
foreach(line ${lines})
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
  if(NOT name MATCHES "^ZVC450_")
    message(FATAL_ERROR "unexpected export: ${name}")
  endif()
endforeach()
foreach(required
    Open Close Free IsValidHandle GetModuleHandle GetError SetError GetInternalError SetInternalError
    GetWindowsError SetWindowsError SetTimeout SetUserUSBID GetExpectedFirmwareVersion
    SetExpectedFirmwareVersion TestConnection RetrieveFirmwareVersion GetFirmwareVersion
    GetFirmwareVersionString SendUSB RecvUSB SendCommandNone SendCommand SendCommandEx SendCommandEx2
    SendCommandIrregular SendCommandExIrregular DispError)
  if(NOT "ZVC450_${required}" IN_LIST names)
    message(FATAL_ERROR "missing export: ZVC450_${required}")
  endif()
endforeach()
list(LENGTH names count)
message(STATUS "${count} exports, all ZVC450_")
