# Run by CPack, before it packs (CPACK_PRE_BUILD_SCRIPTS) and after
# (CPACK_POST_BUILD_SCRIPTS): the modes in the packages do not follow the
# umask of whoever runs it. Files are installed with modes of their own, but
# the folders made for them, and the members of a .deb, take the umask: the
# folders are set to 0755 before packing, and the .deb's members to 0644
# afterwards, as dpkg-deb writes them.
if(CPACK_PACKAGE_FILES)
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(package MATCHES "\\.deb$")
      # Debian's Python, as for the installer's times.
      execute_process(COMMAND /usr/bin/python3 "${CMAKE_CURRENT_LIST_DIR}/ar_modes.py" "${package}"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
elseif(CPACK_TEMPORARY_INSTALL_DIRECTORY)
  file(CHMOD_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
       DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                             WORLD_READ WORLD_EXECUTE)
endif()
