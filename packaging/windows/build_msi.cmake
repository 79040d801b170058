# Builds the Windows installer from corvelle.wxs, the same bytes on every
# build of one commit:
#   cmake -DVERSION=a.b.c -DEXE=corvelle.exe -DOUT=file.msi [-DEPOCH=seconds]
#         [-DSIGN_SCRIPT=sign.sh [-DSIGN_SETTINGS=signing.txt]] -P build_msi.cmake
# The product and package codes are derived from the version (the upgrade code
# never changes, so a newer version still replaces an older one). wixl stamps
# the summary information with the time it runs and a random package code, and
# the cabinet with the program's modification time: it runs on a copy of the
# program dated EPOCH (SOURCE_DATE_EPOCH by default) in UTC, the package code
# is written afterwards, and then every time in the summary information is
# set to EPOCH (msi_times.py), whatever the build's clock says. With
# SIGN_SCRIPT, that script signs the finished installer, with the signing
# settings in SIGN_SETTINGS.
cmake_minimum_required(VERSION 3.25)
foreach(required VERSION EXE OUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "build_msi.cmake needs -D${required}=...")
  endif()
endforeach()
if(NOT DEFINED EPOCH OR EPOCH STREQUAL "")
  set(EPOCH "$ENV{SOURCE_DATE_EPOCH}")
endif()
if(NOT EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "build_msi.cmake needs -DEPOCH or SOURCE_DATE_EPOCH (seconds)")
endif()

set(upgrade_code f0ce6a0e-635a-4ccc-a271-a4a24d62a6d5)
string(UUID product_code NAMESPACE ${upgrade_code} NAME "product ${VERSION}" TYPE SHA1)
string(UUID package_code NAMESPACE ${upgrade_code} NAME "package ${VERSION}" TYPE SHA1 UPPER)

get_filename_component(out "${OUT}" ABSOLUTE)
string(RANDOM LENGTH 8 suffix)
set(stage "${out}.stage-${suffix}")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY_FILE "${EXE}" "${stage}/corvelle.exe")

# The cabinet's DOS times are local times.
set(ENV{TZ} UTC)

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${stage}")
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

run(touch -d "@${EPOCH}" corvelle.exe)
run(wixl -a x64 -D Version=${VERSION} -D ProductCode=${product_code}
    -o installer.msi "${CMAKE_CURRENT_LIST_DIR}/corvelle.wxs")
# Called directly: the template's semicolon would split it in a function's
# arguments.
execute_process(COMMAND msibuild installer.msi -s "Corvelle temperature transmitter setup"
                        Corvelle "x64;1033" "{${package_code}}"
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE_RECURSE "${stage}")
  message(FATAL_ERROR "failed (${result}): msibuild -s")
endif()
# Debian's Python, which has python3-olefile.
run(/usr/bin/python3 "${CMAKE_CURRENT_LIST_DIR}/msi_times.py" installer.msi ${EPOCH})
if(SIGN_SCRIPT)
  run(bash "${SIGN_SCRIPT}" installer.msi ${SIGN_SETTINGS})
endif()
file(COPY_FILE "${stage}/installer.msi" "${out}")
file(REMOVE_RECURSE "${stage}")
