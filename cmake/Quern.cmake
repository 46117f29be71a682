# Build rules shared by every folder: warnings, sanitizers, static runtimes on
# Windows, platform-specific source selection and the test executables.

set(QUERN_ROOT ${CMAKE_SOURCE_DIR})

add_library(quern_options INTERFACE)
target_include_directories(quern_options INTERFACE ${QUERN_ROOT})
target_compile_options(quern_options INTERFACE -Wall -Wextra)
if(QUERN_WERROR)
    target_compile_options(quern_options INTERFACE -Werror)
endif()
if(WIN32)
    # Windows 7 API level; UNICODE stays off so that the A/W choice is explicit.
    target_compile_definitions(quern_options INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601
                               NOMINMAX WIN32_LEAN_AND_MEAN)
    target_link_options(quern_options INTERFACE -static -static-libgcc -static-libstdc++)
else()
    target_link_libraries(quern_options INTERFACE ${CMAKE_DL_LIBS} pthread)
endif()
if(QUERN_SANITIZE)
    target_compile_options(quern_options INTERFACE -fsanitize=${QUERN_SANITIZE}
                           -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(quern_options INTERFACE -fsanitize=${QUERN_SANITIZE})
    # Coverage for the fuzz targets: the libraries they drive must be
    # instrumented too, not only the targets' own files.
    if(QUERN_SANITIZE MATCHES "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT WIN32)
        target_compile_options(quern_options INTERFACE -fsanitize=fuzzer-no-link)
    endif()
endif()

# Sources of one folder (recursively): *_win32.cpp only on Windows, *_posix.cpp
# only elsewhere.
function(quern_collect_sources out dir)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    set(kept)
    foreach(src IN LISTS srcs)
        if(src MATCHES "_win32\\.cpp$" AND NOT WIN32)
            continue()
        endif()
        if(src MATCHES "_posix\\.cpp$" AND WIN32)
            continue()
        endif()
        list(APPEND kept ${src})
    endforeach()
    set(${out} ${kept} PARENT_SCOPE)
endfunction()

# One static library per folder.
function(quern_library name)
    cmake_parse_arguments(ARG "" "" "DEPS;SYSLIBS" ${ARGN})
    quern_collect_sources(srcs ${CMAKE_CURRENT_SOURCE_DIR})
    if(NOT srcs)
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE quern_options ${ARG_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC quern_options ${ARG_DEPS})
    if(WIN32 AND ARG_SYSLIBS)
        target_link_libraries(${name} PUBLIC ${ARG_SYSLIBS})
    endif()
endfunction()

# GoogleTest: the system package natively, the Debian sources for the mingw builds.
if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    set(QUERN_GTEST gtest gtest_main)
else()
    find_package(GTest REQUIRED)
    set(QUERN_GTEST GTest::gtest GTest::gtest_main)
endif()

# The stand-ins and the library under test sit beside the test executables;
# tests find them through QUERN_BIN_DIR.
set(QUERN_TEST_ENV "QUERN_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
if(WIN32)
    list(APPEND QUERN_TEST_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all")
endif()

# One GoogleTest executable per subsystem folder; every *.cpp in the test folder
# and its subfolders.
# The whole executable is one CTest test, which keeps Wine start-ups few.
function(quern_test name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT srcs)
        return()
    endif()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} ${QUERN_GTEST} quern_options)
    target_compile_definitions(${name} PRIVATE QUERN_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    # Test executables link the platform layer with the file-fault hook.
    set_target_properties(${name} PROPERTIES QUERN_FILE_FAULTS ON)
    target_compile_definitions(${name} PRIVATE QUERN_FILE_FAULTS)
    if(QUERN_SANITIZE STREQUAL "thread")
        # Under the thread sanitizer only the concurrency suites run.
        add_test(NAME ${name} COMMAND ${name} --gtest_filter=*Concurrency*)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${QUERN_TEST_ENV}" TIMEOUT 900)
endfunction()

# Windows builds: a version resource (the project's release version, product
# name and the given description) so that builds can be told apart in a
# file's properties. It adds a resource section and no import. Elsewhere it
# does nothing.
if(WIN32)
    enable_language(RC)
endif()
function(quern_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    get_target_property(type ${target} TYPE)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    if(type STREQUAL "SHARED_LIBRARY")
        set(QUERN_RC_TYPE VFT_DLL)
        set(QUERN_RC_FILE ${name}.dll)
    else()
        set(QUERN_RC_TYPE VFT_APP)
        set(QUERN_RC_FILE ${name}.exe)
    endif()
    set(QUERN_RC_NAME ${name})
    set(QUERN_RC_DESCRIPTION "${description}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${QUERN_ROOT}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
