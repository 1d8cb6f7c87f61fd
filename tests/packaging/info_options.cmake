# Every program answers --version and --help at once, with no display and no
# player, and refuses an option it does not know.
#   cmake -DVERSION=x.y.z -DPROGRAMS="name=path;..." -P info_options.cmake
cmake_minimum_required(VERSION 3.22)

set(_failures "")
macro(_fail text)
  list(APPEND _failures "${text}")
endmacro()

# No display of any kind: the program must not need one for these.
set(_no_display ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)

foreach(_entry IN LISTS PROGRAMS)
  string(REPLACE "=" ";" _pair "${_entry}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _path)

  execute_process(COMMAND ${_no_display} ${_path} --version
    TIMEOUT 30 RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0 OR NOT _out STREQUAL "${_name} ${VERSION}\n")
    _fail("${_name} --version: exit ${_rc}, printed '${_out}' '${_err}', expected '${_name} ${VERSION}'")
  endif()

  execute_process(COMMAND ${_no_display} ${_path} --help
    TIMEOUT 30 RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0 OR NOT _out MATCHES "^Usage: ${_name} " OR NOT _out MATCHES "--version")
    _fail("${_name} --help: exit ${_rc}, printed '${_out}' '${_err}'")
  endif()

  # Past --help and --version the desktop program starts Qt, which then needs
  # a platform to get as far as the arguments.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${_path} --no-such-option
    TIMEOUT 30 RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 2 OR NOT _err MATCHES "--no-such-option")
    _fail("${_name} --no-such-option: exit ${_rc}, printed '${_out}' '${_err}', expected exit 2 naming the option")
  endif()
endforeach()

if(_failures)
  list(JOIN _failures "\n" _text)
  message(FATAL_ERROR "${_text}")
endif()
