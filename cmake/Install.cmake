# Where an installed copy puts its files (GNU layout under the prefix), and
# the Debian package made from them. Everything the program shows is inside
# the executable; the rest are the desktop's hooks into it.
include(GNUInstallDirs)

set(marivelle_desktop ${CMAKE_CURRENT_SOURCE_DIR}/data/desktop)
set(marivelle_package_docs ${CMAKE_CURRENT_SOURCE_DIR}/docs/package)
set(MARIVELLE_APPSTREAM_ID io.github.tarnwick.marivelle)

install(TARGETS marivelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The help page: beside the program in the build tree, among the package's
# documents when installed; the program finds it from its own folder.
set(marivelle_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/marivelle)
file(RELATIVE_PATH help_from_bin /${CMAKE_INSTALL_BINDIR} /${marivelle_doc_dir})
target_compile_definitions(marivelle_app PRIVATE MARIVELLE_HELP_FROM_PROGRAM="${help_from_bin}/")
set(marivelle_help ${CMAKE_CURRENT_SOURCE_DIR}/data/help/Help.html)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/Help.html
  COMMAND ${CMAKE_COMMAND} -E copy ${marivelle_help} ${CMAKE_CURRENT_BINARY_DIR}/Help.html
  DEPENDS ${marivelle_help}
  VERBATIM)
add_custom_target(marivelle_help ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/Help.html)
add_dependencies(marivelle marivelle_help)
install(FILES ${marivelle_help} DESTINATION ${marivelle_doc_dir})

# XScreenSaver looks for its hacks in libexec/xscreensaver and for their
# options in share/xscreensaver/config. The hack is the program itself.
file(RELATIVE_PATH hack_to_bin /${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver /${CMAKE_INSTALL_BINDIR}/marivelle)
set(hack_link ${CMAKE_CURRENT_BINARY_DIR}/install/marivelle)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/install)
file(CREATE_LINK ${hack_to_bin} ${hack_link} SYMBOLIC)
install(FILES ${hack_link} DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
install(FILES ${marivelle_desktop}/marivelle.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

install(FILES ${marivelle_desktop}/marivelle.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers)
install(FILES ${marivelle_desktop}/marivelle-settings.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${marivelle_desktop}/${MARIVELLE_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Drawn by the content generator into the build tree (tools/contentgen).
install(DIRECTORY ${MARIVELLE_ICONS_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Manual page and changelog go in compressed, without a time stamp in the
# gzip header so the package is the same from one build to the next.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(compressed)
foreach(doc marivelle.6 changelog)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/install/${doc})
  add_custom_command(OUTPUT ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${marivelle_package_docs}/${doc} ${out}
    COMMAND ${GZIP_EXECUTABLE} -9 -n -f ${out}
    DEPENDS ${marivelle_package_docs}/${doc}
    VERBATIM)
  list(APPEND compressed ${out}.gz)
endforeach()
add_custom_target(marivelle_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/marivelle.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
# The folder is named for the package, not for the CMake project.
install(FILES ${marivelle_package_docs}/copyright ${CMAKE_CURRENT_BINARY_DIR}/install/changelog.gz
  DESTINATION ${marivelle_doc_dir})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marivelle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "3D Marivelle maintainers <maintainers@users.noreply.c-seed-caac53a2.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D aquarium screen saver")
# CPack puts the summary first and indents the paragraphs as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Schools of tropical fish swim across one of six underwater scenes, three
in salt water and three in fresh water, with caustic light on the sea
bed, rising bubbles, drifting plankton, a starfish, an optional digital
clock and looping ambient sounds.

It runs as an XScreenSaver hack, in the MATE and Xfce screen savers, or
as a program in a window of its own with its settings.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarnwick.github.io/marivelle/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# OpenGL is opened at run time, so the library scan cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1")
# The clock's and the frame rate's text need some font; the sounds reach a
# sound server through ALSA's plug-ins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation | fonts-dejavu-core, libasound2-plugins")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | mate-screensaver | xfce4-screensaver")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Directories the system owns must not be claimed with other permissions.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
