# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file of the engine (ENGINE_DIR) includes anything of the user interface: a
# header of Qt's widgets or print support (a name found in their folders among QT_DIRS and
# not in those of Qt's core and GUI, or one spelt QtWidgets/... or QtPrintSupport/...) or a
# file of src/ui.
#   cmake -DENGINE_DIR=src/engine "-DQT_DIRS=dir|dir" -P CheckEngineIncludes.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" QT_DIRS "${QT_DIRS}")
set(forbidden_names)
set(allowed_names)
foreach(dir ${QT_DIRS})
    get_filename_component(module ${dir} NAME)
    file(GLOB headers RELATIVE ${dir} ${dir}/*)
    if(module MATCHES "^Qt(Widgets|PrintSupport)$")
        list(APPEND forbidden_names ${headers})
    elseif(module MATCHES "^Qt(Core|Gui)$")
        list(APPEND allowed_names ${headers})
    endif()
endforeach()
list(REMOVE_ITEM forbidden_names ${allowed_names})
if(NOT forbidden_names)
    message(FATAL_ERROR "No header of Qt's widgets found in ${QT_DIRS}")
endif()

file(GLOB_RECURSE sources ${ENGINE_DIR}/*.h ${ENGINE_DIR}/*.cpp)
set(found "")
foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
        get_filename_component(name ${header} NAME)
        if(header MATCHES "^(ui/|\\.\\./ui/|QtWidgets/|QtPrintSupport/)" OR name IN_LIST forbidden_names)
            string(APPEND found "  ${source}: ${header}\n")
        endif()
    endforeach()
endforeach()
if(found)
    message(FATAL_ERROR "The engine must not include the user interface (widgets, print support, src/ui):\n${found}")
endif()
