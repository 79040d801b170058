# Builds the Windows installer from corvelle.wxs, the same bytes on every
# build of one commit:
#   cmake -DVERSION=a.b.c -DEXE=corvelle.exe -DOUT=file.msi [-DEPOCH=seconds]
#         [-DSIGN_SCRIPT=sign.sh] -P build_msi.cmake
# The product and package codes are derived from the version (the upgrade code
# never changes, so a newer version still replaces an older one). wixl stamps
# the summary information with the time it runs and a random package code, and
# the cabinet with the program's modification time: it runs under faketime at
# EPOCH (SOURCE_DATE_EPOCH by default), on a copy of the program dated EPOCH,
# and the package code is written afterwards. With SIGN_SCRIPT, that script
# signs the finished installer.
cmake_minimum_required(VERSION 3.25)
foreach(required VERSION EXE OUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "build_msi.cmake needs -D${required}=...")
  endif()
endforeach()
if(NOT DEFINED EPOCH)
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

# string(TIMESTAMP) tells the time SOURCE_DATE_EPOCH names.
set(ENV{SOURCE_DATE_EPOCH} "${EPOCH}")
string(TIMESTAMP when "%Y-%m-%d %H:%M:%S" UTC)
set(ENV{TZ} UTC)
set(frozen faketime "${when}")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${stage}")
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

run(touch -d "@${EPOCH}" corvelle.exe)
run(${frozen} wixl -a x64 -D Version=${VERSION} -D ProductCode=${product_code}
    -o installer.msi "${CMAKE_CURRENT_LIST_DIR}/corvelle.wxs")
# Called directly: the template's semicolon would split it in a function's
# arguments.
execute_process(COMMAND ${frozen} msibuild installer.msi -s "Corvelle temperature transmitter setup"
                        Corvelle "x64;1033" "{${package_code}}"
                WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE_RECURSE "${stage}")
  message(FATAL_ERROR "failed (${result}): msibuild -s")
endif()
if(SIGN_SCRIPT)
  run(bash "${SIGN_SCRIPT}" installer.msi)
endif()
file(COPY_FILE "${stage}/installer.msi" "${out}")
file(REMOVE_RECURSE "${stage}")
