# Tests of the Windows build: GoogleTest from Debian's sources, built with the same toolchain, and
# every test program run under Wine in a prefix of this build folder's own.
set(TSMERGE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TSMERGE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

if(NOT TSMERGE_WINE)
  message(FATAL_ERROR "wine is needed to run the Windows tests (apt-get install wine wine64)")
endif()
set(TSMERGE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TSMERGE_WINE_RUN ${CMAKE_COMMAND} -E env WINEPREFIX=${TSMERGE_WINEPREFIX} WINEDEBUG=-all
    ${TSMERGE_WINE})
set(CMAKE_CROSSCOMPILING_EMULATOR ${TSMERGE_WINE_RUN})
# Tests are listed when ctest runs, not when they are built: the build does not need Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
