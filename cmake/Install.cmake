# What `cmake --install` puts beside the programs and the language files: the AppStream
# description (named by its component id, reverse-DNS as AppStream asks), the manual pages, the
# systemd user unit for the service and the icon in the sizes a menu asks for. The desktop entry
# and the scalable icon are installed with the window.

set(VOSTRAND_HOMEPAGE "https://vostrand-uploader.example/" CACHE STRING
    "home page named in the AppStream description")
set(VOSTRAND_SCREENSHOT_URL "${VOSTRAND_HOMEPAGE}docs/screenshot.png" CACHE STRING
    "where the AppStream description finds docs/screenshot.png")
configure_file(${CMAKE_SOURCE_DIR}/data/com.vostrand.Uploader.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/data/com.vostrand.Uploader.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/com.vostrand.Uploader.metainfo.xml
        DESTINATION share/metainfo)

# The unit names the program by its absolute path, so it is written when it is installed: then the
# prefix is the one given to `cmake --install --prefix` or the package's /usr.
install(CODE "
    set(VOSTRAND_BIN_FOLDER \"\${CMAKE_INSTALL_PREFIX}/bin\")
    configure_file(\"${CMAKE_SOURCE_DIR}/data/vostrand-service.service.in\"
                   \"${CMAKE_BINARY_DIR}/data/unit/vostrand-service.service\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\" TYPE FILE
         FILES \"${CMAKE_BINARY_DIR}/data/unit/vostrand-service.service\")
")

# Manual pages: the two command-line programs' from their own --help, so they cannot drift apart;
# the window, which has no --help, has one written by hand.
set(VOSTRAND_LANGUAGE_DOC_FOLDER ${CMAKE_INSTALL_PREFIX}/share/vostrand-uploader/language/)
set(VOSTRAND_UNIT_DOC_FOLDER ${CMAKE_INSTALL_PREFIX}/lib/systemd/user)
set(man_dir ${CMAKE_BINARY_DIR}/man)
configure_file(${CMAKE_SOURCE_DIR}/data/man/vostrand-uploader.1.in ${man_dir}/vostrand-uploader.1
               @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/data/man/vostrand-service.h2m.in ${man_dir}/vostrand-service.h2m
               @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/data/man/vostrand-upload.h2m ${man_dir}/vostrand-upload.h2m
               COPYONLY)
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
set(man_pages)
if(HELP2MAN)
    foreach(program vostrand-upload vostrand-service)
        if(TARGET ${program})
            add_custom_command(
                OUTPUT ${man_dir}/${program}.1
                COMMAND ${HELP2MAN} --no-info --no-discard-stderr
                        --version-string=${VOSTRAND_VERSION_TEXT}
                        --include=${man_dir}/${program}.h2m --output=${man_dir}/${program}.1
                        $<TARGET_FILE:${program}>
                DEPENDS ${program} ${man_dir}/${program}.h2m
                COMMENT "Manual page of ${program} from its --help"
                VERBATIM)
            list(APPEND man_pages ${program})
        endif()
    endforeach()
else()
    message(WARNING "help2man not found: the manual pages of vostrand-upload and vostrand-service "
                    "are not made (scripts/setup installs it)")
endif()
list(APPEND man_pages vostrand-uploader)
set(man_files)
foreach(page ${man_pages})
    # Compressed the way Debian ships manual pages; -n keeps the package reproducible.
    add_custom_command(
        OUTPUT ${man_dir}/${page}.1.gz
        COMMAND ${GZIP} -9nkf ${man_dir}/${page}.1
        DEPENDS ${man_dir}/${page}.1
        VERBATIM)
    list(APPEND man_files ${man_dir}/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_files})
install(FILES ${man_files} DESTINATION share/man/man1)

# The menus of desktops without SVG support ask for these; made from the scalable icon when a
# converter is at hand.
set(VOSTRAND_ICON ${CMAKE_SOURCE_DIR}/data/icons/vostrand-uploader.svg)
find_program(RSVG_CONVERT rsvg-convert)
if(EXISTS ${VOSTRAND_ICON} AND RSVG_CONVERT)
    set(icon_files)
    foreach(size 48 256)
        set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/vostrand-uploader.png)
        add_custom_command(
            OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
            COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
                    ${VOSTRAND_ICON}
            DEPENDS ${VOSTRAND_ICON}
            VERBATIM)
        list(APPEND icon_files ${png})
        install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${icon_files})
endif()
