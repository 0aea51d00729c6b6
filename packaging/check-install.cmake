# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what `cmake --install` put into STAGE (a DESTDIR with prefix /usr): every icon size
# at its real pixel size, and the files that the desktop entry and the metainfo name.
# cmake -DSTAGE=... -DAPP_ID=... -DICON_SIZES=16;24;... -DSOURCE_DIR=... -P check-install.cmake
set(usr ${STAGE}/usr)
set(failures)
macro(fail message)
    list(APPEND failures "${message}")
endmacro()

foreach(file bin/Rasterblatt share/man/man1/Rasterblatt.1.gz share/doc/rasterblatt/copyright
        share/icons/hicolor/scalable/apps/${APP_ID}.svg)
    if(NOT EXISTS ${usr}/${file})
        fail("missing: /usr/${file}")
    endif()
endforeach()

# A PNG's width and height are the two big-endian 32-bit numbers at byte 16.
foreach(size ${ICON_SIZES})
    set(icon ${usr}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    if(NOT EXISTS ${icon})
        fail("missing: ${size} px icon")
        continue()
    endif()
    file(READ ${icon} header OFFSET 16 LIMIT 8 HEX)
    math(EXPR expected "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "" expected "${expected}")
    string(LENGTH "${expected}" length)
    math(EXPR padding "8 - ${length}")
    string(REPEAT "0" ${padding} zeros)
    if(NOT header STREQUAL "${zeros}${expected}${zeros}${expected}")
        fail("${size} px icon has the wrong size (header ${header})")
    endif()
endforeach()

# The desktop entry starts the installed program and shows the installed icon.
file(STRINGS ${usr}/share/applications/${APP_ID}.desktop entry)
list(FILTER entry INCLUDE REGEX "^(Exec|Icon)=")
foreach(line ${entry})
    if(line MATCHES "^Exec=([^ ]+)" AND NOT EXISTS ${usr}/bin/${CMAKE_MATCH_1})
        fail("Exec names a program that is not installed: ${line}")
    elseif(line MATCHES "^Icon=(.*)" AND NOT CMAKE_MATCH_1 STREQUAL APP_ID)
        fail("Icon is not the installed icon: ${line}")
    endif()
endforeach()

# The metainfo launches the installed desktop entry, and its screenshot is one of docs/.
file(READ ${usr}/share/metainfo/${APP_ID}.metainfo.xml metainfo)
string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]+)</launchable>" launchable "${metainfo}")
if(NOT launchable OR NOT EXISTS ${usr}/share/applications/${CMAKE_MATCH_1})
    fail("launchable is not the installed desktop entry")
endif()
string(REGEX MATCHALL "<image[^>]*>[^<]+</image>" images "${metainfo}")
if(NOT images)
    fail("no screenshot")
endif()
foreach(image ${images})
    string(REGEX REPLACE ".*/([^/<]+)</image>$" "\\1" name "${image}")
    if(NOT EXISTS ${SOURCE_DIR}/docs/${name})
        fail("screenshot docs/${name} does not exist")
    endif()
endforeach()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "installed files:\n  ${text}")
endif()
message(STATUS "installed files: all there")
