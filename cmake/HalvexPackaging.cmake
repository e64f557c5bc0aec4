# What users install, and the packages built from it with CPack:
#   Windows (windows-cross, windows-msvc): NSIS, Halvex-<version>-win64.exe
#   Linux: .tar.gz and .deb (the .deb installs under /opt/halvex; registration stays
#   a per-user step, halvex_register install).
# Install components: driver (the driver folder), tools, utility (when built),
# documentation; vrhost is "development" and stays out of the packages.

# The driver starts this program from its own bin/<platform>/ for an Oculus headset.
# The build's own is the stand-in that plays a motion scenario; a release names the
# real one here.
set(HALVEX_OCULUS_SUBPROCESS_PROGRAM "" CACHE FILEPATH
    "halvex_oculus_subprocess program to install in the driver folder instead of the simulated stand-in")
if(HALVEX_OCULUS_SUBPROCESS_PROGRAM)
  install(PROGRAMS ${HALVEX_OCULUS_SUBPROCESS_PROGRAM}
      DESTINATION halvex/bin/${HALVEX_PLATFORM_DIR} COMPONENT driver)
elseif(TARGET halvex_oculus_subprocess)
  install(TARGETS halvex_oculus_subprocess
      RUNTIME DESTINATION halvex/bin/${HALVEX_PLATFORM_DIR} COMPONENT driver)
endif()

foreach(tool fusion_replay halvex_replay wmr_decode)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin COMPONENT tools)
  endif()
endforeach()
install(PROGRAMS tools/plots/plot_recording tools/plots/plot_session
    DESTINATION tools/plots COMPONENT tools)
install(FILES tools/plots/plot_common.py DESTINATION tools/plots COMPONENT tools)

if(WIN32)
  set(HALVEX_DOC_DIR .)
else()
  set(HALVEX_DOC_DIR share/doc/halvex)
endif()
install(FILES README.md LICENSE DESTINATION ${HALVEX_DOC_DIR} COMPONENT documentation)

# The Visual Studio build's utility needs Qt's DLLs beside it (untested here: no
# MSVC on the build machines).
if(MSVC AND TARGET driver_halvex_configutil)
  get_target_property(halvex_qmake ${HALVEX_QT_PACKAGE}::qmake IMPORTED_LOCATION)
  get_filename_component(halvex_qt_bin "${halvex_qmake}" DIRECTORY)
  find_program(HALVEX_WINDEPLOYQT windeployqt HINTS "${halvex_qt_bin}")
  if(HALVEX_WINDEPLOYQT)
    install(CODE "execute_process(COMMAND \"${HALVEX_WINDEPLOYQT}\" --release --no-translations
        \"\${CMAKE_INSTALL_PREFIX}/driver_halvex_configutil/driver_halvex_configutil.exe\")"
        COMPONENT utility)
  else()
    message(WARNING "windeployqt not found: the installed settings utility will lack Qt's DLLs")
  endif()
endif()

set(CPACK_PACKAGE_NAME Halvex)
set(CPACK_PACKAGE_VENDOR Halvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "OpenVR driver that makes an optical motion-capture installation the tracking source of a VR setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Halvex)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Packages carry no debug information (the RelWithDebInfo native build has it).
set(CPACK_STRIP_FILES ON)

set(packaged_components driver tools documentation)
if(TARGET driver_halvex_configutil)
  list(APPEND packaged_components utility)
endif()
set(CPACK_INSTALL_CMAKE_PROJECTS "")
foreach(component IN LISTS packaged_components)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${CMAKE_BINARY_DIR} ${PROJECT_NAME} ${component} /)
endforeach()

if(WIN32)
  set(CPACK_GENERATOR NSIS)
  set(CPACK_PACKAGE_FILE_NAME Halvex-${PROJECT_VERSION}-win64)
  set(CPACK_NSIS_PACKAGE_NAME "Halvex ${PROJECT_VERSION}")
  set(CPACK_NSIS_DISPLAY_NAME "Halvex OpenVR driver ${PROJECT_VERSION}")
  # Our own template: per-user or all-users install, registration, the utility's entry.
  set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/packaging)
  if(TARGET driver_halvex_configutil)
    set(CPACK_HALVEX_UTILITY_NOTE "The settings utility is in the Start menu under Halvex.")
    set(CPACK_HALVEX_SHORTCUT_INSTALL [=[
  CreateDirectory "$SMPROGRAMS\Halvex"
  CreateShortcut "$SMPROGRAMS\Halvex\Halvex Settings.lnk" "$INSTDIR\driver_halvex_configutil\driver_halvex_configutil.exe"]=])
    set(CPACK_HALVEX_SHORTCUT_UNINSTALL [=[
  Delete "$SMPROGRAMS\Halvex\Halvex Settings.lnk"
  RMDir "$SMPROGRAMS\Halvex"]=])
  else()
    set(CPACK_HALVEX_UTILITY_NOTE
        "This build does not contain the settings utility (driver_halvex_configutil): it is built with Qt by the Visual Studio build. Without it, set the driver's settings in the runtime's settings file (README).")
    set(CPACK_HALVEX_SHORTCUT_INSTALL [=[
  DetailPrint "This build does not contain the settings utility: no Start-menu entry."]=])
    set(CPACK_HALVEX_SHORTCUT_UNINSTALL "")
  endif()
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_PACKAGE_FILE_NAME Halvex-${PROJECT_VERSION}-linux-x86_64)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/packaging/CPackGeneratorOptions.cmake)
  set(CPACK_DEBIAN_PACKAGE_NAME halvex)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Halvex developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Installs the driver folder in /opt/halvex/halvex. Each user registers it with the VR runtime once: /opt/halvex/bin/halvex_register install")
endif()

# The NSIS snippets above hold quotes and backslashes: write them as they are.
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
