# The Windows installer, made with NSIS from the saver built here and the
# help page: build-windows/Marivelle-Setup.exe. The version is the
# project's; the script is installer/marivelle.nsi.
if(NOT TARGET marivelle)
  return()
endif()
find_program(MARIVELLE_MAKENSIS makensis)
if(NOT MARIVELLE_MAKENSIS)
  message(FATAL_ERROR "The Windows installer needs makensis (Debian's nsis; see build.sh WINDOWS_PACKAGES)")
endif()

set(MARIVELLE_INSTALLER ${CMAKE_BINARY_DIR}/Marivelle-Setup.exe)
set(installer_script ${CMAKE_CURRENT_SOURCE_DIR}/installer/marivelle.nsi)
set(installer_help ${CMAKE_CURRENT_SOURCE_DIR}/data/help/Help.html)
add_custom_command(OUTPUT ${MARIVELLE_INSTALLER}
  COMMAND ${MARIVELLE_MAKENSIS} -V2
    -DVERSION=${PROJECT_VERSION}
    -DPROGRAM=$<TARGET_FILE:marivelle>
    -DHELP=${installer_help}
    -DICON=${MARIVELLE_HOST_ICON}
    -DOUTFILE=${MARIVELLE_INSTALLER}
    ${installer_script}
  DEPENDS marivelle ${installer_script} ${installer_help} ${MARIVELLE_HOST_ICON}
  COMMENT "Making the Windows installer Marivelle-Setup.exe"
  VERBATIM)
add_custom_target(marivelle_installer ALL DEPENDS ${MARIVELLE_INSTALLER})
