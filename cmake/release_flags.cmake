# What ships is built the way the platforms build their own packages, and the
# same bytes come out of every build of one commit.
#
# Hardening: on Linux what dpkg-buildflags gives a Debian package on amd64 with
# all hardening (stack protector, _FORTIFY_SOURCE, format checks, PIE,
# relocations read-only and bound at start, control-flow protection where the
# compiler has it); on Windows the stack protector, linked statically. The
# sanitizer builds keep their own instrumentation instead.
#
# Reproducibility: build paths are mapped out of what ships (the builds that
# the package presets make, not the Debug and sanitizer builds, whose paths
# the debugger needs), and every time stamp a package carries is
# CORVELLE_SOURCE_DATE_EPOCH: SOURCE_DATE_EPOCH when it is set and not empty,
# else the time of the last commit.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

if(NOT CORVELLE_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  # Later maps win, so the build folder, which may lie inside the sources,
  # comes last.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}=./build)
endif()

if(WIN32)
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
elseif(NOT CORVELLE_SANITIZE)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                      -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
  check_cxx_compiler_flag(-fcf-protection CORVELLE_HAS_CF_PROTECTION)
  if(CORVELLE_HAS_CF_PROTECTION)
    add_compile_options(-fcf-protection)
  endif()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  check_pie_supported(LANGUAGES CXX)
endif()
if(NOT WIN32)
  # Relocations resolved at start and then made read-only, as Debian links.
  add_link_options(-Wl,-z,relro,-z,now)
endif()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(CORVELLE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE CORVELLE_SOURCE_DATE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT CORVELLE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    # Sources without their history, from an archive: its own time stamps.
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt CORVELLE_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()
