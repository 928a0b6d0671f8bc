# Shared compile settings for every target of the project.
add_library(orvik_settings INTERFACE)
target_compile_options(orvik_settings INTERFACE -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion
                       -Wold-style-cast)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(orvik_settings INTERFACE -Wshadow=local)
endif()
if(ORVIK_WERROR)
    target_compile_options(orvik_settings INTERFACE -Werror)
endif()
if(ORVIK_SANITIZE)
    target_compile_options(orvik_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined)
    target_link_options(orvik_settings INTERFACE -fsanitize=address,undefined)
endif()

# orvik_unit_tests(<name> <sources...> LIBS <libs...>) builds one GoogleTest executable and registers its tests.
function(orvik_unit_tests name)
    if(NOT ORVIK_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main orvik_settings)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${ARG_PROPERTIES})
endfunction()

# orvik_library(<name> SOURCES <files...> PUBLIC <libs...> PRIVATE <libs...>) builds one application library
# whose include root is helper/. A folder whose sources are not written yet gives a header-only target.
function(orvik_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    if(ARG_SOURCES)
        add_library(${name} STATIC ${ARG_SOURCES})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/helper)
        target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE} orvik_settings)
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/helper)
        target_link_libraries(${name} INTERFACE ${ARG_PUBLIC})
    endif()
endfunction()
