# Project-wide compile settings, applied through one interface target so that
# every library, program and test gets the same warnings and sanitizers.
add_library(vellumix_settings INTERFACE)
add_library(vellumix::settings ALIAS vellumix_settings)

target_compile_options(vellumix_settings INTERFACE -Wall -Wextra -Wpedantic)
if(VELLUMIX_WARNINGS_AS_ERRORS)
  target_compile_options(vellumix_settings INTERFACE -Werror)
endif()

if(VELLUMIX_ENABLE_ASAN AND VELLUMIX_ENABLE_TSAN)
  message(FATAL_ERROR "AddressSanitizer and ThreadSanitizer cannot be combined")
endif()
if(VELLUMIX_ENABLE_ASAN)
  target_compile_options(vellumix_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vellumix_settings INTERFACE -fsanitize=address,undefined)
endif()
# libFuzzer steers by coverage, so the code under test is instrumented too;
# only the fuzz targets themselves link the fuzzer's main.
if(VELLUMIX_BUILD_FUZZERS)
  target_compile_options(vellumix_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(VELLUMIX_ENABLE_TSAN)
  target_compile_options(vellumix_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vellumix_settings INTERFACE -fsanitize=thread)
endif()

# Optimised builds carry the hardening lintian looks for in a package: checked
# variants of the string and memory functions where the compiler knows the
# buffer's size (they need optimisation to know it), a canary in every
# function with a local array or an address-taken local, and relocations
# resolved at start-up so the tables can be made read-only. -U first, so a
# toolchain that already defines another level does not warn about the
# redefinition. Debug builds stay as they are (glibc fortifies nothing
# without optimisation), and the sanitizer and fuzz builds bring their own
# checks (ASan replaces the same functions FORTIFY does).
if(NOT (VELLUMIX_ENABLE_ASAN OR VELLUMIX_ENABLE_TSAN OR VELLUMIX_BUILD_FUZZERS))
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  target_compile_options(vellumix_settings INTERFACE
    "$<${optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  target_link_options(vellumix_settings INTERFACE "$<${optimised}:LINKER:-z,relro,-z,now>")
endif()

# vellumix_add_test(NAME SOURCES... [LIBS ...]): one GoogleTest program per
# source folder, discovered by CTest. XDG_RUNTIME_DIR points at a fresh folder
# so the per-user port folder of a test never touches the user's own.
function(vellumix_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vellumix::core vellumix::settings
                        GTest::gtest GTest::gtest_main GTest::gmock ${ARG_LIBS})
  # Shared test helpers are included as "support/...".
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(runtime_dir "${CMAKE_BINARY_DIR}/test-runtime/${name}")
  file(MAKE_DIRECTORY "${runtime_dir}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    # One variable only: gtest_discover_tests splits a list-valued property
    # into separate arguments, so a second NAME=VALUE would be lost. The
    # widget tests choose the offscreen platform themselves (GuiTestMain).
    PROPERTIES TIMEOUT 120
               ENVIRONMENT "XDG_RUNTIME_DIR=${runtime_dir}")
endfunction()

# vellumix_add_benchmark(NAME SOURCES...)
function(vellumix_add_benchmark name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vellumix::core vellumix::settings benchmark::benchmark)
endfunction()

# vellumix_program(TARGET): a program the user runs. All of them land in
# <build>/bin, so the README can name one folder, and are installed.
function(vellumix_program target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  install(TARGETS ${target} RUNTIME DESTINATION bin)
endfunction()

# The one version string, from project(): every program's --version prints it.
configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.h.in
               ${PROJECT_BINARY_DIR}/generated/vellumix/Version.h @ONLY)
target_include_directories(vellumix_settings INTERFACE ${PROJECT_BINARY_DIR}/generated)

# vellumix_check_settings(): stops the configuration when a library or
# program of the project does not link vellumix::settings itself, so none is
# built without the warnings, the sanitizers or the hardening above. Called
# once, at the end of the top-level CMakeLists.
function(vellumix_check_settings)
  set(unsettled)
  set(folders ${PROJECT_SOURCE_DIR})
  while(folders)
    list(POP_FRONT folders folder)
    get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${subfolders})
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        continue()
      endif()
      get_target_property(links ${target} LINK_LIBRARIES)
      if(NOT "vellumix::settings" IN_LIST links AND NOT "vellumix_settings" IN_LIST links)
        list(APPEND unsettled ${target})
      endif()
    endforeach()
  endwhile()
  if(unsettled)
    list(JOIN unsettled ", " text)
    message(FATAL_ERROR "these targets do not link vellumix::settings: ${text}")
  endif()
endfunction()
