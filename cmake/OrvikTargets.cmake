option(ORVIK_TSAN "Build with ThreadSanitizer" OFF)
if(ORVIK_TSAN AND ORVIK_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer: turn ORVIK_SANITIZE off")
endif()

# Shared compile settings for every target of the project.
add_library(orvik_settings INTERFACE)
set(ORVIK_WARNINGS -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wold-style-cast)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND ORVIK_WARNINGS -Wshadow=local)
endif()
target_compile_options(orvik_settings INTERFACE ${ORVIK_WARNINGS})
# A unity build compiles a target's sources a few at a time as one translation unit: much faster for code heavy
# with templates (Asio, GoogleTest), whose instantiations are then made once. Each source still names only what
# it includes (clang-tidy compiles changed sources alone). GCC's warning about types of an anonymous namespace in
# a class is meant for headers; a source included into a unity file looks like one.
set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(orvik_settings INTERFACE -Wno-subobject-linkage)
endif()
# mold links the large sanitizer-built test programs several times faster than the default linker; taken where it
# is installed (the test dependencies bring it).
find_program(ORVIK_MOLD mold)
if(ORVIK_MOLD)
    add_link_options(-fuse-ld=mold)
endif()
# Debug sections compressed: a sanitizer-built test program carries ~80 MB of them, and the suite builds some fifty
# such programs twice over; gdb, addr2line and the sanitizers' symbolizer read them as they are.
include(CheckLinkerFlag)
check_linker_flag(CXX -gz ORVIK_LINKER_COMPRESSES_DEBUG)
if(ORVIK_LINKER_COMPRESSES_DEBUG)
    add_compile_options(-gz)
    add_link_options(-gz)
endif()
if(ORVIK_WERROR)
    target_compile_options(orvik_settings INTERFACE -Werror)
endif()
if(ORVIK_SANITIZE)
    target_compile_options(orvik_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined)
    target_link_options(orvik_settings INTERFACE -fsanitize=address,undefined)
endif()
# ThreadSanitizer instruments every target (also those that forget orvik_settings): uninstrumented code of ours
# would hide races. It does not model stand-alone fences, so Asio's fenced blocks go: its handlers already pass
# between threads through mutexes, which it does model.
if(ORVIK_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_compile_definitions(ASIO_DISABLE_FENCED_BLOCK)
    add_link_options(-fsanitize=thread)
endif()

include(OrvikTestSelection)

# orvik_unit_tests(<name> <sources...> LIBS <libs...>) builds one GoogleTest executable and registers its tests.
function(orvik_unit_tests name)
    orvik_tests_selected(${name} selected)
    if(NOT ORVIK_BUILD_TESTS OR NOT selected)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    orvik_x11_sources_alone(${ARG_SOURCES})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main orvik_settings)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${ARG_PROPERTIES})
endfunction()

# orvik_library(<name> SOURCES <files...> PUBLIC <libs...> PRIVATE <libs...>) builds one application library
# whose include root is helper/. A folder whose sources are not written yet gives a header-only target.
# Xlib's macros (Status, None, Bool; min and max from Xlibint.h) would leak from a source that includes it into the
# sources after it in a unity file: sources that include an X11 header, or one of ours named for X11, build alone.
function(orvik_x11_sources_alone)
    foreach(source IN LISTS ARGN)
        get_filename_component(path ${source} ABSOLUTE)
        file(STRINGS ${path} x11_includes REGEX "^#include .*X11")
        if(x11_includes)
            set_source_files_properties(${source} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
        endif()
    endforeach()
endfunction()

function(orvik_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    if(ARG_SOURCES)
        orvik_x11_sources_alone(${ARG_SOURCES})
        add_library(${name} STATIC ${ARG_SOURCES})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/helper)
        target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE} orvik_settings)
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/helper)
        target_link_libraries(${name} INTERFACE ${ARG_PUBLIC})
    endif()
endfunction()

# orvik_foreign_program(<target>): a test's stand-in for another application (a Qt clipboard owner, a slide show).
# It is never built with ThreadSanitizer, whose reports would be about the toolkit rather than about us.
function(orvik_foreign_program target)
    foreach(property IN ITEMS COMPILE_OPTIONS LINK_OPTIONS)
        get_target_property(options ${target} ${property})
        if(options)
            list(REMOVE_ITEM options -fsanitize=thread)
            set_target_properties(${target} PROPERTIES ${property} "${options}")
        endif()
    endforeach()
endfunction()
