# SPDX-License-Identifier: GPL-3.0-or-later
# The core tests for Windows: GoogleTest built from the distribution's
# sources with the same toolchain, the tests that hold on either system,
# and those of the Win32 platform layer. They run under Wine on the build
# machine, in a prefix of the build tree's own (.ci/run makes it fresh).
set(PURGO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PURGO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Tests of the portable parts; those of the POSIX layer stay Linux's.
set(PURGO_PORTABLE_TESTS
  cleaner_base_test.cpp qs_list_test.cpp scan_folders_test.cpp xml_dom_test.cpp
  app_utils_test.cpp dyn_string_test.cpp multi_fonts_test.cpp multi_languages_test.cpp
  string_table_test.cpp language_packs_test.cpp start_language_test.cpp command_line_args_test.cpp)
list(TRANSFORM PURGO_PORTABLE_TESTS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
file(GLOB PURGO_WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*_test.cpp)

add_executable(purgo_core_tests Sandbox.h win32/Sandbox.cpp win32/PosixEnv.h
  ${PURGO_PORTABLE_TESTS} ${PURGO_WIN32_TEST_SOURCES})
target_link_libraries(purgo_core_tests PRIVATE purgo_core gtest gtest_main)
# The source tree as Wine shows it (drive Z: is the root folder).
string(REPLACE "/" "\\\\" PURGO_SOURCE_DIR_WINDOWS "Z:${PROJECT_SOURCE_DIR}")
target_compile_definitions(purgo_core_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  PURGO_SOURCE_DIR="${PURGO_SOURCE_DIR_WINDOWS}")
# setenv and unsetenv, which the shared tests use, over the CRT's own.
target_compile_options(purgo_core_tests PRIVATE -include ${CMAKE_CURRENT_SOURCE_DIR}/win32/PosixEnv.h)
purgo_warnings(purgo_core_tests)

set(PURGO_TEST_TMP ${CMAKE_BINARY_DIR}/test-tmp)
file(MAKE_DIRECTORY ${PURGO_TEST_TMP})
set(PURGO_WINE_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;PURGO_TEST_TMP=${PURGO_TEST_TMP}")
# Shared tests left out here, each for a reason of Linux's own (the README
# lists them): paths written with "/" as the delimiter, a time zone set
# through TZ, which Windows does not read, and texts with control
# characters, which MSXML cannot hold (Win32XmlDom covers the rest). And
# one for Wine's sake: packs installed as symbolic links, which Wine 8
# cannot make.
set(PURGO_WIN32_LEFT_OUT
  PathFunctions.Delimiters ScanFoldersTest.* AppMultiLangs.RegistersEveryTextInOrder
  TQelMultiLanguages.ParsePaths TQelMultiLanguages.ParseReadsDescriptions FileTimes.LocalDateTime
  XmlDomTest.ReadsBackWhatItWrites TQelMultiLanguages.ParseFollowsLinksToFolders)
list(JOIN PURGO_WIN32_LEFT_OUT ":" PURGO_WIN32_FILTER)
# One program run: every start of a Windows program under Wine costs a
# second or more, so the suites are not split into a test each.
add_test(NAME win32_core_tests COMMAND purgo_core_tests --gtest_filter=-${PURGO_WIN32_FILTER})
set_tests_properties(win32_core_tests PROPERTIES ENVIRONMENT "${PURGO_WINE_ENV}" TIMEOUT 900)

# The program itself, as a user runs it.
add_test(NAME win32_cli_preview_and_clean
  COMMAND ${CMAKE_COMMAND} -DWINE=${CMAKE_CROSSCOMPILING_EMULATOR} -DCLI=$<TARGET_FILE:purgo-cli>
    -DPREFIX=${CMAKE_BINARY_DIR}/wine-prefix -P ${CMAKE_CURRENT_SOURCE_DIR}/win32/cli-preview.cmake)
set_tests_properties(win32_cli_preview_and_clean PROPERTIES ENVIRONMENT "${PURGO_WINE_ENV}" TIMEOUT 300)
