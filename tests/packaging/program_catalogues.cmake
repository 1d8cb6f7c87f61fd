# The program's component (the tunedeck package) carries the compiled
# catalogues where the installed program looks for them: share/tunedex/
# translations beside its bin/.
#   cmake -DBUILD_DIR=... -DWORK=... "-DLANGUAGES=ko;de" -P program_catalogues.cmake
cmake_minimum_required(VERSION 3.22)

file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK}
    ${CMAKE_COMMAND} --install ${BUILD_DIR} --component program --prefix /usr
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed (${rc}): ${err}")
endif()
if(NOT EXISTS "${WORK}/usr/bin/tunedex")
  message(FATAL_ERROR "no program in the component")
endif()
foreach(lang IN LISTS LANGUAGES)
  set(qm "${WORK}/usr/share/tunedex/translations/tunedex_${lang}.qm")
  if(NOT EXISTS "${qm}")
    message(FATAL_ERROR "no ${lang} catalogue at ${qm}")
  endif()
  file(SIZE "${qm}" size)
  if(size LESS 1000)
    message(FATAL_ERROR "the ${lang} catalogue holds almost nothing (${size} bytes)")
  endif()
endforeach()
