# The Debian package (scripts/package.sh): the programs together in /usr/libexec/quorvel, their
# names in /usr/bin, the menu entries, icons, AppStream metainfo, manual pages, copyright and
# changelog. `cmake --install` lays out the same tree below any prefix.

include(GNUInstallDirs)

set(QUORVEL_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quorvel)
set(QUORVEL_APP_ID com.kelvarin.QuorvelServer)
set(package_dir ${CMAKE_CURRENT_LIST_DIR})
set(package_out ${CMAKE_BINARY_DIR}/package-data)
file(RELATIVE_PATH bin_to_programs /usr/${CMAKE_INSTALL_BINDIR} /usr/${QUORVEL_PROGRAM_DIR})

# Every file below is installed world-readable, every folder 0755, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(GZIP_PROGRAM gzip REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

# gzip -9n: the manual pages and the changelog as Debian ships them, without a time stamp inside.
function(quorvel_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${output}
        DEPENDS ${source} VERBATIM)
endfunction()

# One program of the package: into the programs' folder, and, when it has a command name, a link
# to it in /usr/bin and its manual page, packaging/man/<command>.1.
function(quorvel_package_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${QUORVEL_PROGRAM_DIR})
    if(ARGC LESS 2)
        return()
    endif()
    set(command ${ARGV1})
    set(page ${package_dir}/man/${command}.1)
    if(NOT EXISTS ${page})
        message(FATAL_ERROR "The program ${command} needs its manual page, ${page}")
    endif()
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(REMOVE \"\${bin}/${command}\")
        file(CREATE_LINK \"${bin_to_programs}/$<TARGET_FILE_NAME:${target}>\" \"\${bin}/${command}\" SYMBOLIC)")
    quorvel_gzip(${page} ${package_out}/man/${command}.1.gz)
    add_custom_target(manpage-${command} ALL DEPENDS ${package_out}/man/${command}.1.gz)
    install(FILES ${package_out}/man/${command}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

file(MAKE_DIRECTORY ${package_out}/man)

# The programs: target, then the command in /usr/bin. A new program is one line here (and its
# manual page, and its lines in packaging/contents.txt).
quorvel_package_program(QuorvelServer quorvel)
quorvel_package_program(CardCreator quorvel-cards)
quorvel_package_program(quorvel-setup quorvel-setup)
quorvel_package_program(quorvel-import quorvel-import)
quorvel_package_program(quorvel-export quorvel-export)
quorvel_package_program(quorvel-report quorvel-report)
quorvel_package_program(quorvel-audit quorvel-audit)
quorvel_package_program(quorvel-smb-agent)

# Menu entries and their icons, drawn once as SVG and rendered at the usual sizes.
set(icon_pngs)
foreach(app IN ITEMS ${QUORVEL_APP_ID} ${QUORVEL_APP_ID}.Cards)
    install(FILES ${package_dir}/${app}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${package_dir}/icons/${app}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
        set(png ${package_out}/icons/${size}x${size}/${app}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${package_out}/icons/${size}x${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${package_dir}/icons/${app}.svg
            DEPENDS ${package_dir}/icons/${app}.svg VERBATIM)
        list(APPEND icon_pngs ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endforeach()
add_custom_target(package-icons ALL DEPENDS ${icon_pngs})

# The metainfo's release is the changelog's top entry, dated as the changelog dates it.
file(STRINGS ${package_dir}/changelog changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog: no date in its top entry's trailer")
endif()
set(release_day ${CMAKE_MATCH_1})
set(release_year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} release_month)
if(release_month LESS 0)
    message(FATAL_ERROR "packaging/changelog: no month ${CMAKE_MATCH_2}")
endif()
math(EXPR release_month "${release_month} + 1")
string(REGEX REPLACE "^([0-9])$" "0\\1" release_month ${release_month})
string(REGEX REPLACE "^([0-9])$" "0\\1" release_day ${release_day})
set(QUORVEL_RELEASE_DATE ${release_year}-${release_month}-${release_day})
configure_file(${package_dir}/${QUORVEL_APP_ID}.metainfo.xml.in ${package_out}/${QUORVEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${package_out}/${QUORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
quorvel_gzip(${package_dir}/changelog ${package_out}/changelog.gz)
add_custom_target(package-changelog ALL DEPENDS ${package_out}/changelog.gz)
install(FILES ${package_dir}/copyright ${package_out}/changelog.gz DESTINATION ${doc_dir})

# ---- CPack: one .deb, quorvel_<version>_amd64.deb ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "QuorvelServer maintainers <maintainers@quorvel.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator's console of an internet and games café")
set(CPACK_PACKAGE_DESCRIPTION "\
QuorvelServer controls up to twelve stations of an internet and games café
from the counter computer, through two small files on each station's network
share: it shows which stations are reachable, opens paid sessions and counts
them down into the station's command file, stops sessions, shuts stations down
or logs their users off, and bills every session into a day-by-day ledger at
per-minute tariffs. Its card creator makes and prints batches of prepaid
access cards. The interface is Arabic, laid out right to left.")
# The libraries come from the programs themselves; the platform plugins, the Arabic font of the
# windows and the Latin one of the printed report are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-core, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
