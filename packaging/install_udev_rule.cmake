# Installs the udev rule of the player (ZVC450_UDEV_RULE) where udev reads it.
#
# udev reads the rules of installed software from /usr/lib/udev/rules.d and
# the administrator's from /etc/udev/rules.d. A system install (prefix /usr,
# /opt/..., or a package) puts the rule into /usr/lib/udev/rules.d whatever the
# prefix. An install into /usr/local or under the home folder keeps it under
# the prefix instead, since such an install should not write into the system's
# own folders (and from $HOME it cannot), and tells how to copy it.

set(_system_dir /usr/lib/udev/rules.d)
get_filename_component(_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)

function(_under out path top)
  set(${out} FALSE PARENT_SCOPE)
  if(top STREQUAL "" OR top STREQUAL "/")
    return()
  endif()
  get_filename_component(top "${top}" ABSOLUTE)
  string(LENGTH "${top}/" _n)
  string(SUBSTRING "${path}/" 0 ${_n} _head)
  if(_head STREQUAL "${top}/")
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

_under(_local "${_prefix}" /usr/local)
_under(_home "${_prefix}" "$ENV{HOME}")
if(_local OR _home)
  set(_dir "${_prefix}/lib/udev/rules.d")
else()
  set(_dir "${_system_dir}")
endif()

file(INSTALL DESTINATION "${_dir}" TYPE FILE
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  FILES "${ZVC450_UDEV_RULE}")

get_filename_component(_name "${ZVC450_UDEV_RULE}" NAME)
if((_local OR _home) AND "$ENV{DESTDIR}" STREQUAL "")
  message(NOTICE
    "\nThe udev rule for the player went to ${_dir}/${_name},\n"
    "which udev may not read. To use a player without root, copy it to where udev\n"
    "reads it, reload the rules and plug the player in again:\n\n"
    "    sudo install -m 644 ${_dir}/${_name} /etc/udev/rules.d/\n"
    "    sudo udevadm control --reload-rules\n"
    "    sudo udevadm trigger --subsystem-match=usb\n")
endif()
