# Packages built by CPack from the same project: a .deb of the Linux program
# (native builds) and a .zip of the Windows program (the windows preset).
set(CPACK_PACKAGE_NAME corvelle)
set(CPACK_PACKAGE_VENDOR "Corvelle")
set(CPACK_PACKAGE_CONTACT "Corvelle developers <support@corvelle.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up a temperature transmitter over a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS corvelle RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME corvelle-${PROJECT_VERSION}-windows)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS corvelle-linux corvelle-sim RUNTIME DESTINATION bin)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvelle.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvelle.svg
    DESTINATION share/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/corvelle)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_PACKAGE_DESCRIPTION
    "Reads and writes the sensor type and input range of a temperature transmitter\n\
(thermocouple or RTD in, 4-20 mA out) over a serial port, and reads and\n\
calibrates its cold-junction temperature. Includes corvelle-sim, a simulated\n\
transmitter on a pseudo-terminal for demos and training.")
  # Library dependencies are computed from the binaries; the font that has the
  # window's full-width characters is recommended.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
endif()
include(CPack)
