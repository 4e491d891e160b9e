# What `cmake --install` adds beside the programs and the film data: the
# desktop entry, the file types of projects and presets with their icons, the
# application icon at the theme's sizes, the AppStream metadata, manual pages
# made from the programs' own --help, and the completion of emulsa-render.
# Then the Debian packages (CPack): `emulsa` (the programs and all the above)
# and `emulsa-data` (the film data folder).

set(desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
set(icons_dir ${PROJECT_SOURCE_DIR}/resources/icons)
set(app_id org.emulsa.Emulsa)

install(FILES ${desktop_dir}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_dir}/${app_id}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME ${app_id}.xml)
configure_file(${desktop_dir}/${app_id}.metainfo.xml.in ${CMAKE_BINARY_DIR}/share/metainfo/${app_id}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/share/metainfo/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop_dir}/emulsa-render.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME emulsa-render)

# Icons: each scalable drawing as it is, and rendered at the theme's sizes.
add_executable(emulsa-icons ${PROJECT_SOURCE_DIR}/tools/icons/main.cpp)
target_link_libraries(emulsa-icons PRIVATE Qt5::Gui)
set(icon_root ${CMAKE_BINARY_DIR}/share/icons/hicolor)
set(icon_outputs "")
foreach(icon IN ITEMS "apps;${app_id}" "mimetypes;application-x-emulsa-project" "mimetypes;application-x-emulsa-preset")
  list(GET icon 0 category)
  list(GET icon 1 name)
  set(sizes 16 22 24 32 48 64 128 256)
  if(category STREQUAL "apps")
    list(APPEND sizes 512)
  endif()
  set(outputs "")
  foreach(size ${sizes})
    list(APPEND outputs ${icon_root}/${size}x${size}/${category}/${name}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${EMULSA_RUN_TOOL} $<TARGET_FILE:emulsa-icons> ${icons_dir}/${name}.svg ${icon_root} ${category} ${name} ${sizes}
    DEPENDS emulsa-icons ${icons_dir}/${name}.svg
    COMMENT "Rendering the icon ${name}"
    VERBATIM)
  list(APPEND icon_outputs ${outputs})
  install(FILES ${icons_dir}/${name}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/${category})
endforeach()
add_custom_target(emulsa_icons ALL DEPENDS ${icon_outputs})
install(DIRECTORY ${icon_root}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Manual pages from each program's --help and --version, so they never drift
# from the programs.
find_program(HELP2MAN_PROGRAM help2man)
if(HELP2MAN_PROGRAM)
  set(man_dir ${CMAKE_BINARY_DIR}/share/man/man1)
  set(man_pages "")
  foreach(page IN ITEMS
      "emulsa;film-emulation colour grading of video clips"
      "emulsa-render;grade video clips with a film look and write them to disk"
      "emulsa-filmdata;generate the film data folder, camera profiles and LUTs")
    list(GET page 0 program)
    list(GET page 1 summary)
    add_custom_command(
      OUTPUT ${man_dir}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        ${EMULSA_RUN_TOOL} ${HELP2MAN_PROGRAM} --no-info --no-discard-stderr --section=1 --name=${summary}
        --output=${man_dir}/${program}.1 $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${man_dir}/${program}.1
      DEPENDS ${program}
      COMMENT "Writing the manual page of ${program}"
      VERBATIM)
    list(APPEND man_pages ${man_dir}/${program}.1.gz)
  endforeach()
  add_custom_target(emulsa_manual_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

# What Debian wants beside each package's files: the changelog and the
# copyright in its documentation folder.
foreach(package IN ITEMS "emulsa;program" "emulsa-data;data")
  list(GET package 0 PACKAGE)
  list(GET package 1 component)
  set(doc_dir ${CMAKE_BINARY_DIR}/share/doc/${PACKAGE})
  configure_file(${desktop_dir}/debian/changelog.in ${doc_dir}/changelog @ONLY)
  add_custom_command(
    OUTPUT ${doc_dir}/changelog.gz
    COMMAND gzip -9nkf ${doc_dir}/changelog
    DEPENDS ${doc_dir}/changelog
    VERBATIM)
  list(APPEND doc_outputs ${doc_dir}/changelog.gz)
  install(FILES ${doc_dir}/changelog.gz ${desktop_dir}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE} COMPONENT ${component})
endforeach()
add_custom_target(emulsa_package_docs ALL DEPENDS ${doc_outputs})

# Debian packages. Each description's first line is its synopsis.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME emulsa)
set(CPACK_PACKAGE_VENDOR "The Emulsa developers")
set(CPACK_PACKAGE_CONTACT "The Emulsa developers <dev@emulsa.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program data)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://emulsa.org)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME emulsa)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "emulsa-data (= ${PROJECT_VERSION}), xvfb, xauth, libqt5multimedia5-plugins, qt5-image-formats-plugins, libgl1-mesa-dri, libegl-mesa0")
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "film-emulation colour grading of video clips
Emulsa grades camera footage with the colour, contrast and grain of film
stocks, plays the graded clip in real time with its sound, and renders
graded clips to movies or TIFF sequences, also from the command line
(emulsa-render).")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA
  ${desktop_dir}/debian/postinst ${desktop_dir}/debian/postrm)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_DATA_PACKAGE_NAME emulsa-data)
set(CPACK_DEBIAN_DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DATA_DESCRIPTION "film data for Emulsa
The film stocks' tables, the grain of each gauge, the camera profiles'
conversions and the example presets that Emulsa grades with.")
include(CPack)
