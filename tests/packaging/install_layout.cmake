# Where `cmake --install` puts the library's files for each kind of prefix:
# the udev rule where udev reads it (or, for an install of the user's own,
# under the prefix with the command to copy it), the Qt module in zvc450usb/
# next to the library, which is where the library loads it from (when the
# build has one: QT_MODULE is ZVC450_BUILD_GUI).
#   cmake -DBUILD_DIR=... -DWORK=... -DQT_MODULE=ON -P install_layout.cmake
cmake_minimum_required(VERSION 3.22)

set(_rule 60-zvc450.rules)
set(_failures "")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/home")

# install(<case> <prefix> <destdir or ""> <expected rule path> <expect a copy hint>)
function(check_install case prefix destdir expected hint)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${destdir} HOME=${WORK}/home
      ${CMAKE_COMMAND} --install ${BUILD_DIR} --component library --prefix ${prefix}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(problems "")
  if(NOT rc EQUAL 0)
    list(APPEND problems "install failed (${rc}): ${err}")
  endif()
  if(NOT EXISTS "${expected}")
    list(APPEND problems "no rule at ${expected}")
  endif()
  set(copy "sudo install -m 644 ${expected} /etc/udev/rules.d/")
  string(FIND "${out}${err}" "${copy}" at)
  if(hint AND at EQUAL -1)
    list(APPEND problems "no hint '${copy}' in: ${out}${err}")
  elseif(NOT hint AND NOT at EQUAL -1)
    list(APPEND problems "a copy hint for a rule that udev reads: ${out}${err}")
  endif()

  # The module sits in zvc450usb/ next to the library's real file.
  file(GLOB_RECURSE libraries "${destdir}${prefix}/libzvc450usb.so.*.*")
  if(NOT libraries)
    list(APPEND problems "no library under ${destdir}${prefix}")
  endif()
  foreach(library IN LISTS libraries)
    get_filename_component(dir "${library}" DIRECTORY)
    if(QT_MODULE AND NOT EXISTS "${dir}/zvc450usb/libzvc450usb-qt.so")
      list(APPEND problems "no Qt module in ${dir}/zvc450usb")
    endif()
  endforeach()

  if(problems)
    list(JOIN problems "\n  " text)
    set(_failures "${_failures}${case}:\n  ${text}\n" PARENT_SCOPE)
  endif()
endfunction()

check_install("a package (prefix /usr)" /usr ${WORK}/usr
  ${WORK}/usr/usr/lib/udev/rules.d/${_rule} FALSE)
check_install("an add-on in /opt" /opt/tunedeck ${WORK}/opt
  ${WORK}/opt/usr/lib/udev/rules.d/${_rule} FALSE)
check_install("the user's own (prefix ~/.local)" ${WORK}/home/.local ""
  ${WORK}/home/.local/lib/udev/rules.d/${_rule} TRUE)
# Staged for someone else's package: no advice to whoever stages it.
check_install("staged for /usr/local" /usr/local ${WORK}/local
  ${WORK}/local/usr/local/lib/udev/rules.d/${_rule} FALSE)

if(_failures)
  message(FATAL_ERROR "${_failures}")
endif()
