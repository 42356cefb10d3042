# Warnings and sanitizers shared by every target of the project.
#
# OSTREL_PLATFORM names the platform files each library builds (platform/<name>*.cpp): Win32
# when cross-building for Windows, Posix otherwise.
if(WIN32)
  set(OSTREL_PLATFORM Win32)
else()
  set(OSTREL_PLATFORM Posix)
endif()
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# CI builds with OSTREL_WERROR=ON so that a new warning fails the build instead of scrolling by.
if(OSTREL_WERROR)
  add_compile_options(-Werror)
  # Under the sanitizers GCC 12 sees "maybe uninitialized" members inside the standard
  # library's own <regex> and <functional>; it stays a warning there, shown but not fatal.
  if(OSTREL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-error=maybe-uninitialized)
  endif()
endif()

# The fuzz build gives every library the fuzzer's coverage instrumentation, so a target sees
# the code it drives; only the fuzz targets link the fuzzer's runtime (fuzz/CMakeLists.txt).
if(OSTREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "OSTREL_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(OSTREL_SANITIZE)
  add_compile_options(-fsanitize=${OSTREL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OSTREL_SANITIZE})
endif()

find_package(Threads REQUIRED)
if(CMAKE_CROSSCOMPILING)
  # No GoogleTest is packaged for the target: it is built from the sources Debian ships.
  if(OSTREL_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# ostrel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [ENV K=V])
# One GoogleTest executable; its cases are registered with ctest one by one.
# The discovery script splits list values, so LABELS and ENV take one value
# each; a test needing more environment sets it in its own main.
function(ostrel_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  list(LENGTH T_LABELS n_labels)
  list(LENGTH T_ENV n_env)
  if(n_labels GREATER 1 OR n_env GREATER 1)
    message(FATAL_ERROR "ostrel_add_test(${name}): LABELS and ENV take one value each")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(props LABELS "${T_LABELS}" TIMEOUT 120)
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator each start costs a second or more: the binary runs whole, once.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props})
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# For the programs of the directory that calls it (and those below): the mingw runtime as
# DLLs (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) instead of linked in, so a
# program and Qt's DLLs share one C++ runtime, its exceptions and its allocator.
macro(ostrel_shared_runtime)
  string(REGEX REPLACE "-static(-libgcc|-libstdc\\+\\+)?" "" CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS}")
endmacro()
