#!/usr/bin/env bash
# Installs and builds what the project needs, and nothing twice.
#   setup.sh native    compilers, GoogleTest, Google Benchmark, libjpeg, CLI11, libxlsxwriter (host);
#                      python3-openpyxl, which reads back the xlsx lists in the tests
#   setup.sh windows   MinGW-w64, Wine, Xvfb, fonts; GoogleTest, libjpeg, zlib and libxlsxwriter built
#                      for MinGW, CLI11's headers beside them; a Wine prefix
#   setup.sh bench-cli what `make bench-cli` needs besides the native set (python3-stdnum, for scale)
#   setup.sh fuzz      clang with libFuzzer
#   setup.sh run       what `make run` needs besides the windows set (ImageMagick for the screenshot)
#   setup.sh dist      what `make dist` needs: MinGW-w64 with GoogleTest, libjpeg and CLI11 as above, zip; no Wine
# Everything built goes under .cache/ (ignored). A second run takes seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/.cache"
mingw_prefix="$cache/mingw"
export DEBIAN_FRONTEND=noninteractive

step=""
fail() { echo "setup: step '$step' failed: $*" >&2; step=""; exit 1; }
trap 'rc=$?; if [ $rc -ne 0 ] && [ -n "$step" ]; then echo "setup: step \"$step\" failed (exit $rc); see the output above" >&2; fi' EXIT

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else fail "needs root to run: $*"; fi
}

apt_updated=0
need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  step="apt-get install ${missing[*]}"
  echo "setup: installing ${missing[*]}"
  if [ $apt_updated -eq 0 ]; then as_root apt-get update -q; apt_updated=1; fi
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
}

native() {
  need_packages make cmake g++ googletest libgtest-dev libbenchmark-dev libjpeg-dev libcli11-dev \
    nlohmann-json3-dev libxlsxwriter-dev python3 python3-openpyxl
}

bench_cli() {
  need_packages python3-stdnum
}

fuzz() {
  need_packages clang libclang-rt-14-dev
}

run() {
  windows
  need_packages imagemagick
}

# Source lists of our own, made from the machine's, so that the system's apt configuration stays as it was.
private_apt() {
  local dir="$cache/apt"
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/archives/partial"
  : > "$dir/sources.list"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >> "$dir/sources.list"
  fi
  local f
  for f in /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$dir/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$dir/sources.list.d/$(basename "$f")"
  done
  apt_opts=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/sources.list.d"
            -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache::Archives=$dir/archives"
            -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
}

mingw_googletest() {
  local stamp="$mingw_prefix/.googletest-done"
  [ -f "$stamp" ] && return 0
  step="build GoogleTest for MinGW from /usr/src/googletest"
  [ -f /usr/src/googletest/CMakeLists.txt ] || fail "/usr/src/googletest is missing (package googletest)"
  rm -rf "$cache/build-googletest"
  cmake -S /usr/src/googletest -B "$cache/build-googletest" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$mingw_prefix" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$cache/build-googletest" -j"$(nproc)" >/dev/null
  cmake --install "$cache/build-googletest" >/dev/null
  rm -rf "$cache/build-googletest"
  touch "$stamp"
}

mingw_libjpeg() {
  local stamp="$mingw_prefix/.libjpeg-done"
  [ -f "$stamp" ] && return 0
  step="fetch the libjpeg-turbo source package"
  private_apt
  as_root apt-get -q "${apt_opts[@]}" update >/dev/null
  rm -rf "$cache/src" && mkdir -p "$cache/src"
  (cd "$cache/src" && apt-get -q "${apt_opts[@]}" source libjpeg-turbo >/dev/null 2>&1) \
    || (cd "$cache/src" && apt-get -q "${apt_opts[@]}" source libjpeg-turbo)
  local src
  src=$(find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo*' | head -n 1)
  [ -n "$src" ] || fail "apt-get source gave no libjpeg-turbo folder"
  step="build libjpeg-turbo for MinGW (static)"
  # SIMD would need nasm; one 150 x 80 logo does not need it.
  cmake -S "$src" -B "$cache/build-libjpeg" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$mingw_prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JAVA=OFF -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  cmake --build "$cache/build-libjpeg" -j"$(nproc)" --target jpeg-static >/dev/null
  mkdir -p "$mingw_prefix/lib" "$mingw_prefix/include"
  cp "$cache/build-libjpeg/libjpeg.a" "$mingw_prefix/lib/"
  cp "$cache/build-libjpeg/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$mingw_prefix/include/"
  rm -rf "$cache/build-libjpeg" "$cache/src"
  touch "$stamp"
}

# Unpacks Debian's source package $1 into .cache/src-$1 and prints the folder.
debian_source() {
  local package="$1" dir="$cache/src-$1"
  private_apt
  as_root apt-get -q "${apt_opts[@]}" update >/dev/null
  rm -rf "$dir" && mkdir -p "$dir"
  # A mirror may lack the newest security upload; the release's own version serves as well.
  local release
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  (cd "$dir" && apt-get -q "${apt_opts[@]}" source "$package" >/dev/null 2>&1) \
    || (cd "$dir" && rm -rf ./* && apt-get -q "${apt_opts[@]}" source "$package/$release" >&2)
  local src
  src=$(find "$dir" -maxdepth 1 -mindepth 1 -type d | head -n 1)
  [ -n "$src" ] || fail "apt-get source gave no $package folder"
  echo "$src"
}

mingw_zlib() {
  local stamp="$mingw_prefix/.zlib-done" src
  [ -f "$stamp" ] && return 0
  step="fetch the zlib source package"
  src=$(debian_source zlib)
  step="build zlib for MinGW (static)"
  cmake -S "$src" -B "$cache/build-zlib" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$mingw_prefix" >/dev/null
  cmake --build "$cache/build-zlib" -j"$(nproc)" --target zlibstatic >/dev/null
  mkdir -p "$mingw_prefix/lib" "$mingw_prefix/include"
  cp "$cache/build-zlib/libzlibstatic.a" "$mingw_prefix/lib/libz.a"
  cp "$cache/build-zlib/zconf.h" "$src/zlib.h" "$mingw_prefix/include/"
  rm -rf "$cache/build-zlib" "$cache/src-zlib"
  touch "$stamp"
}

# With the minizip it carries and its own temporary files (tmpfileplus): no
# library beyond zlib.
mingw_libxlsxwriter() {
  local stamp="$mingw_prefix/.libxlsxwriter-done" src
  [ -f "$stamp" ] && return 0
  mingw_zlib
  step="fetch the libxlsxwriter source package"
  src=$(debian_source libxlsxwriter)
  step="build libxlsxwriter for MinGW (static)"
  cmake -S "$src" -B "$cache/build-libxlsxwriter" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$mingw_prefix" -DCMAKE_PREFIX_PATH="$mingw_prefix" \
    -DZLIB_ROOT="$mingw_prefix" -DZLIB_LIBRARY="$mingw_prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw_prefix/include" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_STATIC_MSVC_RUNTIME=OFF >/dev/null
  cmake --build "$cache/build-libxlsxwriter" -j"$(nproc)" >/dev/null
  cmake --install "$cache/build-libxlsxwriter" >/dev/null
  rm -rf "$cache/build-libxlsxwriter" "$cache/src-libxlsxwriter"
  touch "$stamp"
}

# Header-only libraries: Debian's headers serve the MinGW build as they are. They are copied
# beside our other MinGW libraries, since the toolchain never looks in the host's /usr/include.
# mingw_headers PACKAGE FOLDER: /usr/include/FOLDER of PACKAGE, again when its version changes.
mingw_headers() {
  local package=$1 folder=$2 stamp="$mingw_prefix/.$2-headers-done" version
  version=$(dpkg-query -W -f='${Version}' "$package")
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && return 0
  step="copy the $folder headers for MinGW"
  [ -d "/usr/include/$folder" ] || fail "/usr/include/$folder is missing (package $package)"
  mkdir -p "$mingw_prefix/include"
  rm -rf "$mingw_prefix/include/$folder"
  cp -a "/usr/include/$folder" "$mingw_prefix/include/$folder"
  echo "$version" > "$stamp"
}

mingw_cli11() { mingw_headers libcli11-dev CLI; }
mingw_nlohmann_json() { mingw_headers nlohmann-json3-dev nlohmann; }

wine_prefix() {
  local prefix="$cache/wine" headless="$cache/wine-headless"
  [ -f "$headless/.kestrino-v4" ] && return 0
  step="prepare the Wine prefixes"
  rm -rf "$prefix" "$headless"
  # Made without a display; the wineserver is ended so that a later run starts
  # its own on that run's display.
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$prefix/system.reg" ] || fail "wineboot made no prefix"
    # Wine's own fonts (Marlett draws the title bar's buttons): this Wine does
    # not look in the package's folder, so the prefix gets copies.
    cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" || fail "fonts-wine's fonts are missing"
    # Windows faces the window asks for, mapped onto the Debian fonts installed above.
    local key='HKCU\Software\Wine\Fonts\Replacements'
    for face in "宋体" "SimSun" "NSimSun"; do
      wine reg add "$key" /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
    done
    wine reg add "$key" /v "Arial" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    wine reg add "$key" /v "Courier New" /t REG_SZ /d "Liberation Mono" /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    # The virtual display has no window manager: there Wine draws the frames in
    # a desktop of its own, and closing a window does not wait for a manager.
    cp -a "$prefix" "$headless"
    export WINEPREFIX="$headless"
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f >/dev/null 2>&1
    wineserver -w
  )
  touch "$prefix/.kestrino-v4" "$headless/.kestrino-v4"
}

windows() {
  need_packages make cmake googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth \
    dpkg-dev fonts-liberation fonts-wqy-microhei fonts-wine libcli11-dev nlohmann-json3-dev python3 python3-openpyxl
  mingw_googletest
  mingw_libjpeg
  mingw_libxlsxwriter
  mingw_cli11
  mingw_nlohmann_json
  wine_prefix
}

dist() {
  need_packages make cmake git googletest g++-mingw-w64-x86-64-posix binutils binutils-mingw-w64-x86-64 \
    dpkg-dev libcli11-dev nlohmann-json3-dev zip unzip
  mingw_googletest
  mingw_libjpeg
  mingw_libxlsxwriter
  mingw_cli11
  mingw_nlohmann_json
}

[ $# -gt 0 ] || set -- native windows
for what in "$@"; do
  case "$what" in
    native|windows|fuzz|run|dist) "$what" ;;
    bench-cli) bench_cli ;;
    *) step="arguments"; fail "unknown target '$what' (native, windows, fuzz, run, bench-cli or dist)" ;;
  esac
done
step="done"
