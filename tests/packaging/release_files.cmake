# The desktop entry, the AppStream metadata, the Debian changelog and the
# manual pages, each checked by the tool of those who read it, and each
# naming the release.
#   cmake -DVERSION=... -DSOURCE_DIR=... -DGENERATED=<build>/packaging
#         -DDESKTOP_FILE_VALIDATE=... -DAPPSTREAMCLI=... -DDPKG_PARSECHANGELOG=... -P release_files.cmake
cmake_minimum_required(VERSION 3.22)

set(_failures "")
macro(_fail text)
  string(APPEND _failures "${text}\n")
endmacro()

foreach(_tool DESKTOP_FILE_VALIDATE APPSTREAMCLI DPKG_PARSECHANGELOG)
  if(NOT ${_tool} OR ${_tool} MATCHES "NOTFOUND$")
    message(FATAL_ERROR "${_tool} is missing: scripts/bootstrap installs desktop-file-utils, appstream and dpkg-dev")
  endif()
endforeach()

# desktop-file-validate prints hints and warnings without failing: clean means silent.
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${SOURCE_DIR}/packaging/tunedex.desktop
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT "${_out}${_err}" STREQUAL "")
  _fail("desktop-file-validate: ${_out}${_err}")
endif()

file(GLOB _metainfo ${GENERATED}/*.metainfo.xml)
if(NOT _metainfo)
  _fail("no metainfo in ${GENERATED}")
endif()
foreach(_file IN LISTS _metainfo)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --explain ${_file}
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    _fail("appstreamcli validate ${_file}:\n${_out}${_err}")
  endif()
  file(READ ${_file} _xml)
  string(REGEX MATCH "<release version=\"([^\"]*)\"" _first "${_xml}")
  if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    _fail("${_file}: the newest release is '${CMAKE_MATCH_1}', not ${VERSION}")
  endif()
  string(FIND "${_xml}" "<screenshot " _at)
  if(_at EQUAL -1)
    _fail("${_file}: no screenshot")
  endif()
endforeach()

file(GLOB _changelogs ${GENERATED}/doc/*/changelog)
if(NOT _changelogs)
  _fail("no Debian changelogs in ${GENERATED}/doc")
endif()
foreach(_file IN LISTS _changelogs)
  get_filename_component(_package ${_file} DIRECTORY)
  get_filename_component(_package ${_package} NAME)
  execute_process(COMMAND ${DPKG_PARSECHANGELOG} -l ${_file} -S Source
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _source ERROR_VARIABLE _err OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${DPKG_PARSECHANGELOG} -l ${_file} -S Version
    OUTPUT_VARIABLE _version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _rc EQUAL 0 OR NOT _err STREQUAL "" OR NOT _source STREQUAL _package OR NOT _version STREQUAL VERSION)
    _fail("${_file}: dpkg-parsechangelog says ${_source} ${_version} (${_err}), expected ${_package} ${VERSION}")
  endif()
endforeach()

# groff's warnings about the manual pages, as lintian asks man for them.
find_program(MAN man)
file(GLOB _pages ${GENERATED}/man/*.1)
foreach(_page IN LISTS _pages)
  file(STRINGS ${_page} _th LIMIT_COUNT 1 REGEX "^\\.TH ")
  if(NOT _th MATCHES "\"TuneDeck ${VERSION}\"")
    _fail("${_page}: the title line does not name TuneDeck ${VERSION}: ${_th}")
  endif()
  if(MAN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
        ${MAN} --warnings -E UTF-8 -l -Tutf8 -Z ${_page}
      RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0 OR NOT _err STREQUAL "")
      _fail("man --warnings ${_page}: ${_err}")
    endif()
  endif()
endforeach()
list(LENGTH _pages _count)
if(_count LESS 3)
  _fail("expected the pages of tunedex, zvc450 and zvc450-emu in ${GENERATED}/man")
endif()

if(_failures)
  message(FATAL_ERROR "${_failures}")
endif()
