# What `cmake --install` puts where, and the Debian packages CPack makes of it:
#   kestrel-utility    the window, kestrel-ecf, kestrel-cli, the keep-alive's
#                      report helper, the shipped define.ecf, menu entry, icons,
#                      metainfo, the service's systemd unit (disabled)
#   kestrel-agent-sim  the simulated agents, for test benches only
include(GNUInstallDirs)

set(KESTREL_APP_ID org.kestrel.KestrelUtility)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${gen})

install(TARGETS kestrel-utility kestrel-ecf kestrel-cli
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT utility)
# Found by the program at ../libexec/kestrel-utility from its own folder.
install(TARGETS kestrel-igmp-report
    RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/kestrel-utility COMPONENT utility)
install(TARGETS kestrel-agent-sim
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
# The headless service's unit, installed disabled: nothing enables or starts
# it (Debian keeps units in /lib/systemd/system).
install(FILES ${pkg}/kestrel-utility.service
    DESTINATION /lib/systemd/system COMPONENT utility)

# Copied into the user's folder on the first start.
install(FILES ${CMAKE_BINARY_DIR}/bin/cfg/define.ecf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel-utility COMPONENT utility)
install(FILES ${pkg}/${KESTREL_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT utility)
install(FILES ${pkg}/${KESTREL_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT utility)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kestrel.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME kestrel-utility.svg COMPONENT utility)

# The icon drawn at the usual sizes.
find_program(KESTREL_RSVG_CONVERT rsvg-convert)
if(KESTREL_RSVG_CONVERT)
    set(pngs "")
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${gen}/icons/${size}x${size}/kestrel-utility.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}/icons/${size}x${size}
            COMMAND ${KESTREL_RSVG_CONVERT} -w ${size} -h ${size}
                    -o ${png} ${PROJECT_SOURCE_DIR}/resources/kestrel.svg
            DEPENDS ${PROJECT_SOURCE_DIR}/resources/kestrel.svg VERBATIM)
        list(APPEND pngs ${png})
        install(FILES ${png}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            COMPONENT utility)
    endforeach()
    add_custom_target(kestrel_icons ALL DEPENDS ${pngs})
else()
    message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): no PNG icons are installed")
endif()

# Manual pages, changelog and copyright, compressed as Debian wants them.
find_program(KESTREL_GZIP gzip REQUIRED)
set(docs "")
function(kestrel_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${KESTREL_GZIP} -9nc ${source} > ${output}
        DEPENDS ${source})
    set(docs ${docs} ${output} PARENT_SCOPE)
endfunction()
foreach(page kestrel-utility kestrel-ecf kestrel-agent-sim)
    kestrel_gzip(${pkg}/man/${page}.1 ${gen}/${page}.1.gz)
endforeach()
kestrel_gzip(${PROJECT_SOURCE_DIR}/tools/cli/kestrel-cli.1 ${gen}/kestrel-cli.1.gz)
kestrel_gzip(${pkg}/changelog ${gen}/changelog.gz)
add_custom_target(kestrel_docs ALL DEPENDS ${docs})

install(FILES ${gen}/kestrel-utility.1.gz ${gen}/kestrel-ecf.1.gz ${gen}/kestrel-cli.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT utility)
install(FILES ${gen}/kestrel-agent-sim.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
foreach(component_package utility:kestrel-utility sim:kestrel-agent-sim)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${pkg}/copyright ${gen}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# cpack -G DEB in the build folder writes both packages to packages/.
set(CPACK_PACKAGE_NAME kestrel-utility)
set(CPACK_PACKAGE_VENDOR "The Kestrel Utility developers")
set(CPACK_PACKAGE_CONTACT "Kestrel Utility developers <kestrel@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_COMPONENTS_ALL utility sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrel.example.org/")

set(CPACK_DEBIAN_UTILITY_PACKAGE_NAME kestrel-utility)
set(CPACK_COMPONENT_UTILITY_DESCRIPTION
    "find, watch, configure and upgrade small managed switches
A desktop program that finds the small managed Ethernet switches of a LAN
by broadcast and multicast, keeps a monitor list that it polls, logs their
traps, changes their settings and password and upgrades their firmware.

Also holds kestrel-ecf, which shows and creates the settings file.")
# The window needs the fonts its dialogs are laid out for; setcap gives the
# keep-alive's helper its capability.
set(CPACK_DEBIAN_UTILITY_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")
set(CPACK_DEBIAN_UTILITY_PACKAGE_RECOMMENDS "libcap2-bin")
set(CPACK_DEBIAN_UTILITY_PACKAGE_CONTROL_EXTRA ${pkg}/postinst)

set(CPACK_DEBIAN_SIM_PACKAGE_NAME kestrel-agent-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_SIM_DESCRIPTION
    "simulated switches for testing the Kestrel Utility
Plays any number of simulated managed switches (agents) that answer the
Kestrel Utility's discovery, polls, set requests and firmware upgrade and
send traps. For test benches inside a private network namespace; a
workstation that manages real switches does not need it.")

include(CPack)
