# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a desktop citizen: `cmake --install` lays out the program, its desktop entry and
# software-centre metadata, the MIME type of result files, the icons, the manual pages, the shell
# completion, the user's manual and the licence by the XDG and Debian conventions under any prefix, and
# CPack makes a Debian package of the same tree (cpack -G DEB in the build folder).

include(GNUInstallDirs)
set(tonvix_desktop ${CMAKE_CURRENT_LIST_DIR})

# The window icon is the installed icon.
target_sources(tonvix PRIVATE ${tonvix_desktop}/Ikona.qrc)

# The PNG sizes are drawn from the SVG by Qt's own renderer.
add_executable(tonvix-render-icon ${tonvix_desktop}/RenderIcon.cpp)
target_link_libraries(tonvix-render-icon PRIVATE Qt6::Gui Qt6::Svg)
set(tonvix_icon_pngs)
foreach(size 48 256)
  set(folder ${CMAKE_BINARY_DIR}/icons/${size}x${size})
  add_custom_command(OUTPUT ${folder}/tonvix.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND tonvix-render-icon ${tonvix_desktop}/tonvix.svg ${size} ${folder}/tonvix.png
    DEPENDS tonvix-render-icon ${tonvix_desktop}/tonvix.svg
    COMMENT "Drawing the ${size} px icon")
  list(APPEND tonvix_icon_pngs ${folder}/tonvix.png)
  install(FILES ${folder}/tonvix.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(tonvix_icons ALL DEPENDS ${tonvix_icon_pngs})

# The manual pages and the shell completion are written from the programs' own help, so that they
# say what --help says; the pages are compressed as Debian keeps them.
add_executable(tonvix-command-docs ${tonvix_desktop}/CommandDocs.cpp ${PROJECT_SOURCE_DIR}/app/CommandLine.cpp)
target_link_libraries(tonvix-command-docs PRIVATE tonvix_cli)
set(tonvix_docs ${CMAKE_BINARY_DIR}/command-docs)
add_custom_command(
  OUTPUT ${tonvix_docs}/tonvix.1.gz ${tonvix_docs}/tonvix-cli.1.gz ${tonvix_docs}/tonvix-cli
  COMMAND tonvix-command-docs ${tonvix_docs}
  COMMAND gzip -9nf ${tonvix_docs}/tonvix.1 ${tonvix_docs}/tonvix-cli.1
  DEPENDS tonvix-command-docs
  COMMENT "Writing the manual pages and the bash completion")
add_custom_target(tonvix_command_docs ALL
  DEPENDS ${tonvix_docs}/tonvix.1.gz ${tonvix_docs}/tonvix-cli.1.gz ${tonvix_docs}/tonvix-cli)
install(FILES ${tonvix_docs}/tonvix.1.gz ${tonvix_docs}/tonvix-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${tonvix_docs}/tonvix-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The user's manual, beside the program's data: the window opens it from share/tonvix next to its own
# bin folder, in the build tree (copied there) as in any prefix.
set(tonvix_manual ${PROJECT_SOURCE_DIR}/docs/podrecznik)
file(GLOB tonvix_manual_files CONFIGURE_DEPENDS ${tonvix_manual}/*)
list(APPEND tonvix_manual_files ${PROJECT_SOURCE_DIR}/docs/main-window-sound-pressure.png
     ${PROJECT_SOURCE_DIR}/docs/main-window-frequency.png)
set(tonvix_manual_copies)
foreach(file ${tonvix_manual_files})
  get_filename_component(name ${file} NAME)
  set(copy ${CMAKE_BINARY_DIR}/share/tonvix/podrecznik/${name})
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy} DEPENDS ${file})
  list(APPEND tonvix_manual_copies ${copy})
endforeach()
add_custom_target(tonvix_manual ALL DEPENDS ${tonvix_manual_copies})
add_dependencies(tonvix tonvix_manual)
install(FILES ${tonvix_manual_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/tonvix/podrecznik)

# The copyright file in the machine-readable form Debian reads; the licence text itself is the
# system's (/usr/share/common-licenses/GPL-3) and the About box's.
install(FILES ${tonvix_desktop}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tonvix)

# The desktop entry and the software-centre metadata carry the program's identifier in their names.
configure_file(${tonvix_desktop}/tonvix.metainfo.xml.in ${CMAKE_BINARY_DIR}/${TONVIX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${TONVIX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(TARGETS tonvix tonvix-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${tonvix_desktop}/tonvix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${TONVIX_APP_ID}.desktop)
install(FILES ${tonvix_desktop}/tonvix-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tonvix.xml)
install(FILES ${tonvix_desktop}/tonvix.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# A direct install refreshes the MIME and desktop databases of its prefix, so that result files are
# known and open with the program at once. A staged install (DESTDIR, as packages are made) leaves
# that to the package manager's triggers.
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    foreach(step \"update-mime-database;mime\" \"update-desktop-database;applications\")
      list(GET step 0 tool)
      list(GET step 1 folder)
      find_program(found_\${tool} \${tool})
      if(found_\${tool})
        execute_process(COMMAND \${found_\${tool}} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/\${folder}\")
      endif()
    endforeach()
  endif()
")

# The Debian package: Debian's own Qt, QCustomPlot, PulseAudio and ALSA libraries, found from the
# program's links by dpkg-shlibdeps; the Qt plugins it loads at run time are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonvix)
set(CPACK_PACKAGE_VENDOR Marvelle)
set(CPACK_PACKAGE_CONTACT "Marvelle <tonvix@marvelle.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-channel sound level meter and frequency response analyser")
set(CPACK_PACKAGE_DESCRIPTION
    "Tonvix turns a PC's stereo sound card into a two-channel sound level meter and a frequency
response analyser. It shows the level of both channels in decibels and on a chart over time,
and measures the frequency response of whatever lies between the card's output and its input
with a stepped sine sweep.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcanberra-pulse")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "pavucontrol | pavucontrol-qt, xdg-utils, pulseaudio | pipewire-pulse, qt6-wayland, sound-theme-freedesktop")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mosquitto-clients")
include(CPack)
