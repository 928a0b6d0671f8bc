# What a distribution package gets from `cmake --install`: the programs without debug information and a menu entry
# that desktop-file-validate accepts without a remark. Run with -DBUILD_DIR=… -DPREFIX=… (a folder it empties).
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install failed")
endif()

foreach(program IN ITEMS orvik-helper orvik-shortcuts)
    execute_process(COMMAND readelf --sections --wide ${PREFIX}/bin/${program} OUTPUT_VARIABLE sections
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${program} is not installed")
    endif()
    if(sections MATCHES "\\.debug_info|\\.symtab")
        message(FATAL_ERROR "${program} is installed with its debug information")
    endif()
endforeach()

execute_process(COMMAND desktop-file-validate ${PREFIX}/share/applications/orvik-helper.desktop
    OUTPUT_VARIABLE remarks ERROR_VARIABLE remarks RESULT_VARIABLE failed)
if(failed OR NOT remarks STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${remarks}")
endif()
