# Checks that the subsystems depend on one another one way only: every `#include "dir/..."` of a
# subsystem's sources must name itself or a subsystem it may build on. The subsystems each may
# build on only lie below it, so a cycle among them always holds an include against the grain and
# fails here too. Run as `cmake -P tests/check_includes.cmake`; the source
# tree is the folder above this script. Fails naming the file and line of every crossing.

cmake_minimum_required(VERSION 3.25)

get_filename_component(root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Each subsystem and the ones below it that it may include. platform/ is the bottom, app/ the top.
set(allowed_platform "")
# The install's vocabulary: its paths, files and tables, named once for everything above it.
set(allowed_install platform)
set(allowed_stations platform install)
set(allowed_accounting platform install)
set(allowed_cards platform install)
set(allowed_sessions platform install stations accounting)
set(allowed_app platform install stations accounting cards sessions)
# The programs that set up an install, move tables in and out and write the takings report stand
# beside the console.
set(allowed_tools platform install accounting)
set(subsystems platform install stations accounting cards sessions app tools)

set(problems "")
foreach(from IN LISTS subsystems)
    file(GLOB_RECURSE sources RELATIVE "${root}" "${root}/${from}/*.cpp" "${root}/${from}/*.h")
    list(SORT sources)
    foreach(source IN LISTS sources)
        file(STRINGS "${root}/${source}" lines)
        set(number 0)
        foreach(line IN LISTS lines)
            math(EXPR number "${number} + 1")
            if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z0-9_]+)/")
                continue()
            endif()
            set(to "${CMAKE_MATCH_1}")
            # A subsystem's widget-free code never reaches into windows, its own or another's;
            # the programs' entry points belong to neither library.
            if(NOT source MATCHES "(/ui/|/main\\.cpp$|_main\\.cpp$)" AND line MATCHES "\"[A-Za-z0-9_]+/ui/")
                string(APPEND problems "${source}:${number}: widget-free code includes a window: ${line}\n")
            endif()
            if(to STREQUAL from OR NOT to IN_LIST subsystems)
                continue()
            endif()
            if(NOT to IN_LIST allowed_${from})
                string(APPEND problems "${source}:${number}: ${from}/ includes ${to}/ against the grain: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems)
    # Printed as is, one line each, so that every file and line can be followed from the log.
    message(NOTICE "${problems}")
    message(FATAL_ERROR "Subsystem includes do not point one way.")
endif()
message(STATUS "Subsystem includes point one way.")
