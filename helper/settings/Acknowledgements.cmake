# The libraries the program links and their licences, read at configure time from the Debian packages' copyright
# files: the licence of the "Files: *" stanza of a machine-readable file, else the licence given here (the X.Org
# and Avahi packages still ship free-form files, and a field naming many licences for parts of the sources is
# summed up by the one given here). Sets ORVIK_ACKNOWLEDGED_LIBRARIES to "Name (Licence), …".
set(ORVIK_ACKNOWLEDGED_PACKAGES
    "Qt|libqt6core6|LGPL-3 or GPL-2"
    "OpenSSL|libssl[0-9]*|Apache-2.0"
    "FFmpeg|libavcodec[0-9]*|LGPL-2.1+"
    "x264|libx264-[0-9]*|GPL-2+"
    "libqrencode|libqrencode[0-9]*|LGPL-2.1+"
    "Avahi|libavahi-client[0-9]*|LGPL-2.1+"
    "libsecret|libsecret-1-[0-9]*|LGPL-2.1+"
    "PulseAudio|libpulse[0-9]*|LGPL-2.1+"
    "ICU|libicu[0-9]*|ICU"
    "systemd|libsystemd[0-9]*|LGPL-2.1+"
    "GLib|libglib2.0-[0-9]*|LGPL-2.1+"
    "Xlib|libx11-[0-9]*|MIT"
    "libxkbcommon|libxkbcommon[0-9]*|MIT"
    "JSON for Modern C++|nlohmann-json3-dev|MIT"
    "Asio|libasio-dev|BSL-1.0")

function(orvik_licence_of pattern fallback result)
    file(GLOB copyrights /usr/share/doc/${pattern}/copyright)
    set(licence ${fallback})
    if(copyrights)
        list(GET copyrights 0 copyright)
        file(STRINGS ${copyright} lines LIMIT_COUNT 400)
        set(inWildcard FALSE)
        foreach(line IN LISTS lines)
            if(line MATCHES "^Files: \\*$")
                set(inWildcard TRUE)
            elseif(inWildcard AND line MATCHES "^License: (.+)$")
                string(STRIP "${CMAKE_MATCH_1}" licence)
                break()
            endif()
        endforeach()
    endif()
    string(REGEX MATCHALL " and " parts "${licence}")
    list(LENGTH parts conjunctions)
    if(conjunctions GREATER 1)
        set(licence ${fallback})
    endif()
    set(${result} "${licence}" PARENT_SCOPE)
endfunction()

set(acknowledged "")
foreach(entry IN LISTS ORVIK_ACKNOWLEDGED_PACKAGES)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 pattern)
    list(GET fields 2 fallback)
    orvik_licence_of("${pattern}" "${fallback}" licence)
    # Debian's name for the MIT licence.
    string(REPLACE "Expat" "MIT" licence "${licence}")
    list(APPEND acknowledged "${name} (${licence})")
endforeach()
list(JOIN acknowledged ", " ORVIK_ACKNOWLEDGED_LIBRARIES)
