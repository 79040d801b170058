# Shared by the README's commands and the end-to-end tests: installs what is
# missing, builds presets. Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export DEBIAN_FRONTEND=noninteractive

# Debian packages each part of the build and the tests needs.
PACKAGES_BUILD=(cmake g++ make googletest libgtest-dev libgmock-dev pkg-config)
PACKAGES_QT=(qt6-base-dev qt6-base-dev-tools fonts-wqy-microhei)
PACKAGES_WINDOWS=(mingw-w64 g++-mingw-w64-x86-64)
PACKAGES_WINE=(wine wine64 xvfb imagemagick fonts-wqy-microhei binutils-mingw-w64-x86-64)
PACKAGES_FUZZ=(clang libclang-rt-14-dev)
PACKAGES_PACKAGE=(dpkg-dev file unzip wixl msitools python3 python3-olefile faketime lintian appstream desktop-file-utils
  osslsigncode openssl diffoscope-minimal)

# Installs the packages of the given lists that are not installed yet; runs
# apt-get update only when something is missing.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "== installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# Runs a workflow preset (configure and build; warnings fail the build)
# quietly; the log is kept, and its end shown on failure.
build_preset() {
  local preset="$1"
  local log="$ROOT/build/$preset.log"
  mkdir -p "$ROOT/build"
  echo "== building $preset"
  if ! (cd "$ROOT" && cmake --workflow --preset "$preset") >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "== build of $preset failed (full log: $log)"
    return 1
  fi
}

# Packages come out the same whoever builds them: the archives take file modes
# from the umask and write local times where their formats have no time zone
# (a zip's DOS times), so both are pinned while packaging, as
# dpkg-buildpackage pins the umask.
pin_packaging_environment() {
  umask 0022
  export TZ=UTC
}

# Writes SHA256SUMS for the packages in folder $1, for whoever downloads them.
write_checksums() {
  (cd "$1" && shopt -s nullglob && sha256sum -- *.deb *.zip *.msi >SHA256SUMS)
}
