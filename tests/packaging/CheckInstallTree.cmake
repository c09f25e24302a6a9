# Installs the build into a fresh folder and checks that everything a desktop
# and a packager need is there, and that the files refer to each other
# correctly: each desktop entry (the program's and the virtual pad's) starts
# an installed program and names an installed icon, the metainfo launches the
# program's entry, the capture service's activation file and user unit start
# the installed service under its bus name.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DICON_SIZES=16;32;... -P CheckInstallTree.cmake
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(app_id org.vellumix.Demo)
set(programs vellumix-demo vellumix-virtual-pad vellumix-padctl vellumix-sigconv vellumix-padd)
# desktop entry -> the program it must start
set(desktop_entries ${app_id}=vellumix-demo org.vellumix.VirtualPad=vellumix-virtual-pad)
set(bus_name org.vellumix.Pad1)
set(expected
  lib/udev/rules.d/70-vellumix-pad.rules
  lib/systemd/user/vellumix-padd.service
  share/dbus-1/services/${bus_name}.service
  share/dbus-1/interfaces/${bus_name}.xml
  libexec/vellumix/vellumix-padd-picture
  share/metainfo/${app_id}.metainfo.xml
  share/icons/hicolor/scalable/apps/vellumix-demo.svg
  share/doc/vellumix-demo/copyright
  share/doc/vellumix-demo/changelog.gz)
foreach(entry IN LISTS desktop_entries)
  string(REGEX REPLACE "=.*" "" id "${entry}")
  list(APPEND expected share/applications/${id}.desktop)
endforeach()
foreach(size IN LISTS ICON_SIZES)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vellumix-demo.png)
endforeach()
foreach(program IN LISTS programs)
  list(APPEND expected bin/${program} share/man/man1/${program}.1.gz)
endforeach()

set(missing)
foreach(path IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${path}")
    list(APPEND missing ${path})
  endif()
endforeach()
foreach(program IN LISTS programs ITEMS ../libexec/vellumix/vellumix-padd-picture)
  execute_process(COMMAND test -x "${PREFIX}/bin/${program}" RESULT_VARIABLE not_executable)
  if(not_executable)
    list(APPEND missing "bin/${program} (as a program)")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "missing from the install tree:\n  ${text}")
endif()

# Nothing that is not listed: a stray file would ship in the package unseen.
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
set(extra ${installed})
list(REMOVE_ITEM extra ${expected})
if(extra)
  list(JOIN extra "\n  " text)
  message(FATAL_ERROR "installed but not expected:\n  ${text}")
endif()

foreach(entry IN LISTS desktop_entries)
  string(REGEX MATCH "^([^=]+)=(.+)$" _ "${entry}")
  set(id ${CMAKE_MATCH_1})
  set(program ${CMAKE_MATCH_2})
  file(READ "${PREFIX}/share/applications/${id}.desktop" desktop)
  string(REGEX MATCH "\nExec=([^ \n]+)" _ "${desktop}")
  if(NOT CMAKE_MATCH_1 STREQUAL program)
    message(FATAL_ERROR "${id}.desktop starts '${CMAKE_MATCH_1}', not ${program}")
  endif()
  string(REGEX MATCH "\nIcon=([^\n]+)" _ "${desktop}")
  if(NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/${CMAKE_MATCH_1}.svg")
    message(FATAL_ERROR "${id}.desktop names the icon '${CMAKE_MATCH_1}', which is not installed")
  endif()
endforeach()
file(READ "${PREFIX}/share/metainfo/${app_id}.metainfo.xml" metainfo)
if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">${app_id}.desktop</launchable>")
  message(FATAL_ERROR "the metainfo does not launch ${app_id}.desktop")
endif()
# The activation file and the unit start the same installed program (by the
# path it was configured for) under the name the service owns.
file(READ "${PREFIX}/share/dbus-1/services/${bus_name}.service" activation)
file(READ "${PREFIX}/lib/systemd/user/vellumix-padd.service" unit)
string(REGEX MATCH "\nName=([^\n]+)" _ "${activation}")
set(activated_name "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nBusName=([^\n]+)" _ "${unit}")
if(NOT activated_name STREQUAL bus_name OR NOT CMAKE_MATCH_1 STREQUAL bus_name)
  message(FATAL_ERROR "the activation file and the unit name '${activated_name}' and "
                      "'${CMAKE_MATCH_1}', not ${bus_name}")
endif()
if(NOT unit MATCHES "\nType=dbus\n" OR NOT activation MATCHES "\nSystemdService=vellumix-padd.service")
  message(FATAL_ERROR "the activation file and the user unit do not name each other")
endif()
string(REGEX MATCH "\nExec=([^ \n]+)" _ "${activation}")
set(exec "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nExecStart=([^ \n]+)" _ "${unit}")
if(NOT exec STREQUAL CMAKE_MATCH_1 OR NOT exec MATCHES "/bin/vellumix-padd$")
  message(FATAL_ERROR "the activation file starts '${exec}', the unit '${CMAKE_MATCH_1}'")
endif()
message(STATUS "install tree complete: ${PREFIX}")
