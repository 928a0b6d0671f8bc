# ORVIK_ONLY_TESTS names the test executables a build is for (the ThreadSanitizer build runs only the threaded
# tests). When it is set, "all" builds those executables and what they need, and CTest runs their tests only.
set(ORVIK_ONLY_TESTS "" CACHE STRING "Test executables to build and run (a list); empty: every test")

# orvik_tests_selected(<executable> <result-variable>): whether the tests of <executable> are to be built and run.
# Folders that register tests with add_test ask this first; orvik_unit_tests asks it itself.
function(orvik_tests_selected executable result)
    if(NOT ORVIK_ONLY_TESTS OR executable IN_LIST ORVIK_ONLY_TESTS)
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

# Run once every folder is read: a name that no folder defined (misspelt, or its program renamed) fails the
# configuration, rather than dropping that program from the build unnoticed.
function(orvik_check_selected_tests_exist)
    set(missing)
    foreach(executable IN LISTS ORVIK_ONLY_TESTS)
        if(NOT TARGET ${executable})
            list(APPEND missing ${executable})
        endif()
    endforeach()
    if(missing)
        list(JOIN missing ", " missing)
        message(FATAL_ERROR "ORVIK_ONLY_TESTS names test programs that no folder defines: ${missing}")
    endif()
endfunction()

# Run once every folder is read: takes every other target out of "all" and drops the test discovery of test
# executables that are not selected (CTest would otherwise report them as not built).
function(orvik_keep_selected_tests_only)
    string(JOIN "|" selected ${ORVIK_ONLY_TESTS})
    set(folders ${PROJECT_SOURCE_DIR})
    while(folders)
        list(POP_FRONT folders folder)
        get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${subfolders})
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            if(NOT target IN_LIST ORVIK_ONLY_TESTS)
                set_property(TARGET ${target} PROPERTY EXCLUDE_FROM_ALL ON)
            endif()
        endforeach()
        get_property(discoveries DIRECTORY ${folder} PROPERTY TEST_INCLUDE_FILES)
        list(FILTER discoveries INCLUDE REGEX "/(${selected})\\[[0-9]+\\]_include\\.cmake$")
        set_property(DIRECTORY ${folder} PROPERTY TEST_INCLUDE_FILES ${discoveries})
    endwhile()
endfunction()

if(ORVIK_ONLY_TESTS)
    cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL orvik_check_selected_tests_exist)
    cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL orvik_keep_selected_tests_only)
endif()
