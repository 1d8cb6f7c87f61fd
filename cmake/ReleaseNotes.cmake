# Release notes from CHANGELOG.md, the one place they are written, in the two
# forms the system wants besides: the Debian changelog of each package and the
# <releases> of the AppStream metainfo.
#
# CHANGELOG.md keeps the "Keep a Changelog" layout:
#
#   ## [1.2.0] - 2027-03-01          a release: version and ISO date
#   A paragraph about the release.
#   ### Fixed                        a group of items
#   - One item, which may go on      an item; indented lines continue it
#     on the next lines.
#
# "## [Unreleased]" and everything before the first release are left out.
# Inline Markdown (`code`, **bold**, [text](link)) becomes plain text.

# Plain text of one Markdown line.
function(_rn_plain out text)
  string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "**" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_rn_xml out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# `text` wrapped to lines of at most 79 columns; the first line starts with
# `first`, the others with `rest`.
function(_rn_wrap out text first rest)
  string(REGEX REPLACE "[ \t]+" " " text "${text}")
  string(STRIP "${text}" text)
  string(REPLACE ";" "@RN_SEMI@" text "${text}")
  string(REPLACE "[" "@RN_OPEN@" text "${text}")
  string(REPLACE "]" "@RN_CLOSE@" text "${text}")
  string(REPLACE " " ";" words "${text}")
  set(result "")
  set(line "${first}")
  set(lead "${first}")
  foreach(word IN LISTS words)
    string(REGEX REPLACE "@RN_[A-Z]+@" "x" probe "${line} ${word}")
    string(LENGTH "${probe}" len)
    if(NOT line STREQUAL lead AND len GREATER 79)
      string(APPEND result "${line}\n")
      set(line "${rest}${word}")
      set(lead "${rest}")
    elseif(line STREQUAL lead)
      set(line "${line}${word}")
    else()
      set(line "${line} ${word}")
    endif()
  endforeach()
  string(APPEND result "${line}\n")
  string(REPLACE "@RN_SEMI@" ";" result "${result}")
  string(REPLACE "@RN_OPEN@" "[" result "${result}")
  string(REPLACE "@RN_CLOSE@" "]" result "${result}")
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# "2027-03-01" -> "Mon, 01 Mar 2027 00:00:00 +0000" (the changelog's date).
function(_rn_rfc2822 out iso)
  string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" ok "${iso}")
  if(NOT ok)
    message(FATAL_ERROR "CHANGELOG.md: '${iso}' is not a date like 2027-03-01")
  endif()
  set(y ${CMAKE_MATCH_1})
  math(EXPR m "1${CMAKE_MATCH_2} - 100")
  math(EXPR d "1${CMAKE_MATCH_3} - 100")
  # Day of the week (Sakamoto), 0 = Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR i "${m} - 1")
  list(GET offsets ${i} t)
  set(yy ${y})
  if(m LESS 3)
    math(EXPR yy "${y} - 1")
  endif()
  math(EXPR wd "(${yy} + ${yy} / 4 - ${yy} / 100 + ${yy} / 400 + ${t} + ${d}) % 7")
  set(days Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET days ${wd} dayName)
  list(GET months ${i} monthName)
  set(${out} "${dayName}, ${CMAKE_MATCH_3} ${monthName} ${y} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# tunedeck_release_notes(CHANGELOG <file> VERSION <current> MAINTAINER <name <mail>>
#                        DEBIAN_CHANGELOG <out-var> APPSTREAM <out-var> [FOUND <out-var>])
# DEBIAN_CHANGELOG receives the entries with @PACKAGE@ where each package puts
# its name; FOUND is true when CHANGELOG.md has an entry for VERSION.
function(tunedeck_release_notes)
  cmake_parse_arguments(RN "" "CHANGELOG;VERSION;MAINTAINER;DEBIAN_CHANGELOG;APPSTREAM;FOUND" "" ${ARGN})
  file(READ "${RN_CHANGELOG}" content)
  # One list element per line; ';' and brackets would disturb the list.
  string(REPLACE ";" "@RN_SEMI@" content "${content}")
  string(REPLACE "[" "@RN_OPEN@" content "${content}")
  string(REPLACE "]" "@RN_CLOSE@" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  list(APPEND lines "## @RN_OPEN@end@RN_CLOSE@")  # closes the last release

  set(deb "")
  set(xml "")
  set(found FALSE)
  set(version "")
  set(block "")       # text of the paragraph or item being read
  set(kind "")        # para or item
  set(entries "")     # Debian lines of the current release
  set(body "")        # AppStream description of the current release
  set(inList FALSE)

  foreach(raw IN LISTS lines)
    string(REPLACE "@RN_SEMI@" ";" raw "${raw}")
    string(REPLACE "@RN_OPEN@" "[" raw "${raw}")
    string(REPLACE "@RN_CLOSE@" "]" raw "${raw}")
    string(REGEX REPLACE "[ \t\r]+$" "" line "${raw}")

    # A line that ends the block being read: empty, a heading or a new item.
    set(ends FALSE)
    if(line STREQUAL "" OR line MATCHES "^#" OR line MATCHES "^[-*] ")
      set(ends TRUE)
    endif()
    if(ends AND NOT block STREQUAL "" AND NOT version STREQUAL "")
      string(STRIP "${block}" text)
      _rn_plain(text "${text}")
      _rn_xml(x "${text}")
      if(kind STREQUAL "item")
        _rn_wrap(w "${text}" "  * " "    ")
        if(NOT inList)
          string(APPEND body "        <ul>\n")
          set(inList TRUE)
        endif()
        string(APPEND body "          <li>${x}</li>\n")
      else()
        _rn_wrap(w "${text}" "  " "  ")
        if(inList)
          string(APPEND body "        </ul>\n")
          set(inList FALSE)
        endif()
        string(APPEND body "        <p>${x}</p>\n")
      endif()
      string(APPEND entries "${w}")
    endif()
    if(ends)
      set(block "")
      set(kind "")
    endif()

    if(line MATCHES "^## ")
      # The release before this heading is complete.
      if(NOT version STREQUAL "")
        if(inList)
          string(APPEND body "        </ul>\n")
          set(inList FALSE)
        endif()
        _rn_rfc2822(when "${date}")
        string(APPEND deb "@PACKAGE@ (${version}) unstable; urgency=medium\n\n${entries}\n"
                          " -- ${RN_MAINTAINER}  ${when}\n\n")
        string(APPEND xml "    <release version=\"${version}\" date=\"${date}\">\n"
                          "      <description>\n${body}      </description>\n    </release>\n")
      endif()
      set(version "")
      set(entries "")
      set(body "")
      if(line MATCHES "^## \\[?([0-9][0-9A-Za-z.+~]*)\\]? +- +([0-9-]+)")
        set(version "${CMAKE_MATCH_1}")
        set(date "${CMAKE_MATCH_2}")
        if(version STREQUAL RN_VERSION)
          set(found TRUE)
        endif()
      endif()
    elseif(line MATCHES "^###+ +(.*)")
      if(NOT version STREQUAL "")
        set(heading "${CMAKE_MATCH_1}")
        _rn_plain(heading "${heading}")
        _rn_xml(x "${heading}")
        if(inList)
          string(APPEND body "        </ul>\n")
          set(inList FALSE)
        endif()
        string(APPEND body "        <p>${x}:</p>\n")
        if(NOT entries STREQUAL "")
          string(APPEND entries "\n")
        endif()
        string(APPEND entries "  ${heading}:\n")
      endif()
    elseif(line MATCHES "^[-*] +(.*)")
      set(block "${CMAKE_MATCH_1}")
      set(kind "item")
    elseif(NOT line STREQUAL "")
      if(kind STREQUAL "")
        set(kind "para")
      endif()
      string(STRIP "${line}" stripped)
      string(APPEND block " ${stripped}")
    endif()
  endforeach()

  set(${RN_DEBIAN_CHANGELOG} "${deb}" PARENT_SCOPE)
  set(${RN_APPSTREAM} "${xml}" PARENT_SCOPE)
  if(RN_FOUND)
    set(${RN_FOUND} ${found} PARENT_SCOPE)
  endif()
endfunction()
