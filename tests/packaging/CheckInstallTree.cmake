# Installs the build into a fresh folder and checks that everything a desktop
# and a packager need is there, and that the files refer to each other
# correctly: each desktop entry (the program's and the virtual pad's) starts
# an installed program and names an installed icon, the metainfo launches the
# program's entry.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DICON_SIZES=16;32;... -P CheckInstallTree.cmake
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(app_id org.vellumix.Demo)
set(programs vellumix-demo vellumix-virtual-pad vellumix-padctl vellumix-sigconv)
# desktop entry -> the program it must start
set(desktop_entries ${app_id}=vellumix-demo org.vellumix.VirtualPad=vellumix-virtual-pad)
set(expected
  lib/udev/rules.d/70-vellumix-pad.rules
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
foreach(program IN LISTS programs)
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
message(STATUS "install tree complete: ${PREFIX}")
