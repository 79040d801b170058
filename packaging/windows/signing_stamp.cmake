# Writes STAMP, a digest of the files that the signing settings in SETTINGS
# (the build's signing.txt) name: the certificate, the key and the passphrase
# file. The build runs this every time, and it rewrites the stamp only when
# the digest changes; the signed program and installer depend on the stamp,
# not on those files by name, so no build file holds their paths, and they
# are signed anew exactly when one of those files changed. The stamp, like
# SETTINGS, is readable by its owner alone, and nothing here prints a path.
# Usage: cmake -DSETTINGS=signing.txt -DSTAMP=signing.stamp -P signing_stamp.cmake
file(STRINGS "${SETTINGS}" lines)
set(digests "")
foreach(line IN LISTS lines)
  if(line MATCHES "^CORVELLE_SIGN_(CERT|KEY|PASSWORD_FILE)=(.+)$")
    set(name "${CMAKE_MATCH_1}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E sha256sum "${CMAKE_MATCH_2}"
      RESULT_VARIABLE failed OUTPUT_VARIABLE sum ERROR_QUIET)
    if(failed)
      set(sum unreadable)  # sign.sh says so when it runs
    endif()
    string(SUBSTRING "${sum}" 0 64 sum)  # the digest, without the path after it
    string(APPEND digests "${name} ${sum}\n")
  endif()
endforeach()
string(SHA256 digest "${digests}")
if(NOT EXISTS "${STAMP}")
  file(TOUCH "${STAMP}")
  file(CHMOD "${STAMP}" PERMISSIONS OWNER_READ OWNER_WRITE)
endif()
file(READ "${STAMP}" before)
if(NOT before STREQUAL digest)
  file(WRITE "${STAMP}" "${digest}")
endif()
