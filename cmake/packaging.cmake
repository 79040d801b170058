# Packages built by CPack from the same project: a .deb of the Linux program
# (native builds) and a .zip of the Windows program (the windows preset). The
# Windows installer is built beside the zip by wixl (src/app/win32).
set(CPACK_PACKAGE_NAME corvelle)
set(CPACK_PACKAGE_VENDOR "Corvelle")
set(CPACK_PACKAGE_CONTACT "Corvelle developers <support@corvelle.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up a temperature transmitter over a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Every time stamp in the archives is the commit's (cmake/release_flags.cmake),
# and in UTC where a format keeps local times (a zip's DOS times), however
# CPack is run: through scripts/package.sh or a package preset alone.
set(epoch_file ${CMAKE_BINARY_DIR}/cpack_epoch.cmake)
file(CONFIGURE OUTPUT ${epoch_file} @ONLY CONTENT [[
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} @CORVELLE_SOURCE_DATE_EPOCH@)
endif()
set(ENV{TZ} UTC)
]])
set(CPACK_PROJECT_CONFIG_FILE ${epoch_file})
# Nor do the modes follow the umask (cmake/cpack_modes.cmake).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_modes.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_modes.cmake)

if(WIN32)
  # As it ships: already stripped when linked, and signed when a certificate
  # is given, so CPack must not strip it again.
  install(FILES ${CMAKE_BINARY_DIR}/dist/corvelle.exe DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME corvelle-${PROJECT_VERSION}-windows)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(linux ${PROJECT_SOURCE_DIR}/packaging/linux)
  # The changelog and the manual pages go in compressed, without a time stamp,
  # as Debian wants them.
  set(compressed ${CMAKE_BINARY_DIR}/packaging)
  set(compressed_files "")
  foreach(name changelog corvelle.1 corvelle-sim.1)
    add_custom_command(OUTPUT ${compressed}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
      COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" sh ${linux}/${name} ${compressed}/${name}.gz
      DEPENDS ${linux}/${name} VERBATIM)
    list(APPEND compressed_files ${compressed}/${name}.gz)
  endforeach()
  add_custom_target(corvelle-compressed-docs ALL DEPENDS ${compressed_files})

  set(CPACK_STRIP_FILES ON)
  install(TARGETS corvelle-linux corvelle-sim RUNTIME DESTINATION bin)
  # And, as Debian strips, without the compilers' notes (.comment, .note).
  install(CODE "
    foreach(program corvelle corvelle-sim)
      execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
  install(FILES ${linux}/io.github.corvelle.Corvelle.desktop DESTINATION share/applications)
  install(FILES ${linux}/io.github.corvelle.Corvelle.metainfo.xml DESTINATION share/metainfo)
  install(FILES ${linux}/corvelle.svg DESTINATION share/icons/hicolor/scalable/apps)
  install(FILES ${linux}/copyright ${compressed}/changelog.gz DESTINATION share/doc/corvelle)
  install(FILES ${compressed}/corvelle.1.gz ${compressed}/corvelle-sim.1.gz
    DESTINATION share/man/man1)
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
