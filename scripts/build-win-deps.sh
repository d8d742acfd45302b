#!/usr/bin/env bash
# Cross-builds static zlib, libzip, expat and libxlsxwriter for MinGW-w64 from
# Debian's source packages, the same versions the Linux build uses.
#
#   bash scripts/build-win-deps.sh ARCH PREFIX
#
# ARCH is i686 or x86_64 (or the full triple, e.g. x86_64-w64-mingw32). PREFIX
# receives include/, lib/*.a and lib/pkgconfig/. A finished PREFIX holds a stamp
# file and is left alone on the next run. Needs root the first time (it adds the
# deb-src entries matching the machine's mirror and installs dpkg-dev).
set -euo pipefail

usage() { echo "usage: $0 i686|x86_64 PREFIX" >&2; exit 2; }
(($# == 2)) || usage
arch=${1%%-*}
case "$arch" in i686 | x86_64) ;; *) usage ;; esac
triple=$arch-w64-mingw32
mkdir -p "$2"
prefix=$(cd "$2" && pwd)
stamp=$prefix/.calvex-win-deps-$triple
jobs=${CALVEX_WIN_DEPS_JOBS:-2}

# Source package and the binary package whose installed version it must match.
sources=(zlib:zlib1g-dev libzip:libzip-dev expat:libexpat1-dev libxlsxwriter:libxlsxwriter-dev)

# One build per prefix at a time; a second run waits, then finds the stamp.
exec 9>"$prefix/.calvex-win-deps.lock"
flock 9
if [[ -f $stamp ]]; then
  echo "build-win-deps: $prefix already holds the $triple libraries ($(tr '\n' ' ' <"$stamp"))"
  exit 0
fi

for tool in "$triple-gcc-posix" "$triple-g++-posix" "$triple-ar" "$triple-ranlib" cmake make flock; do
  command -v "$tool" >/dev/null || { echo "build-win-deps: $tool not found (run scripts/install-deps.sh)" >&2; exit 1; }
done

# deb-src entries: the machine's own mirrors and suites, as source lines.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/calvex-deb-src.sources
  local legacy=/etc/apt/sources.list.d/calvex-deb-src.list
  if apt-cache showsrc zlib 2>/dev/null | grep -q '^Package: zlib'; then return; fi
  ((EUID == 0)) || { echo "build-win-deps: no deb-src entries; run once as root" >&2; exit 1; }
  if compgen -G '/etc/apt/sources.list.d/*.sources' >/dev/null; then
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ $f == "$list" ]] && continue
      grep -q 'deb\.debian\.org\|debian' "$f" || continue
      sed -n '/^Types:.*\bdeb\b/,/^$/p' "$f" | sed 's/^Types:.*/Types: deb-src/'
      echo
    done >"$list"
  fi
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >"$legacy"
  fi
  apt-get update -qq
}

# Downloads and unpacks source package $1 into the current directory: the version
# matching the installed binary package $2 when the mirror still has it, else the
# newest one it can fetch.
fetch_source() {
  local src=$1 bin=$2 want versions v
  want=$(dpkg-query -W -f='${source:Version}' "$bin" 2>/dev/null || true)
  versions=$(apt-cache showsrc "$src" | sed -n 's/^Version: //p' | sort -rV)
  # A mirror that drops a connection now and then gets three tries.
  local attempt
  for attempt in 1 2 3; do
    for v in $want $versions; do
      if apt-get source -qq "$src=$v" >/dev/null 2>&1; then
        [[ -n $want && $v != "$want" ]] && echo "build-win-deps: $src $want not on the mirror, using $v" >&2
        echo "$src=$v" >>"$work/versions"
        return
      fi
    done
    sleep $((attempt * 5))
  done
  echo "build-win-deps: cannot fetch the source package $src" >&2
  exit 1
}

# Runs a build command with its output in the work folder's log, shown on failure.
quiet() {
  "$@" >>"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; echo "build-win-deps: failed: $*" >&2; exit 1; }
}

cmake_cross() {
  local srcdir=$1 builddir=$2
  shift 2
  quiet cmake -S "$srcdir" -B "$builddir" -G "Unix Makefiles" -Wno-dev --no-warn-unused-cli \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR="$arch" \
    -DCMAKE_C_COMPILER="$triple-gcc-posix" -DCMAKE_CXX_COMPILER="$triple-g++-posix" \
    -DCMAKE_RC_COMPILER="$triple-windres" \
    -DCMAKE_FIND_ROOT_PATH="$prefix;/usr/$triple" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW -DBUILD_SHARED_LIBS=OFF "$@"
  quiet cmake --build "$builddir" -j"$jobs"
  quiet cmake --install "$builddir"
}

# Every patch step checks that it applied: a source or generated file whose
# shape changed stops the build here instead of yielding other libraries.
patch_failed() {
  echo "build-win-deps: $1: $2" >&2
  exit 1
}

# Replaces the lines of file $1 that match $2 (a basic regular expression) by $3.
replace_line() {
  grep -q -- "$2" "$1" || patch_failed "$1" "no line matches '$2'"
  sed -i "s|$2|$3|" "$1"
  grep -q -- "$3" "$1" || patch_failed "$1" "'$3' did not go in"
}

# Appends $2 to the Cflags line of pkg-config file $1 unless it is there.
add_cflag() {
  grep -q '^Cflags:' "$1" || patch_failed "$1" "no Cflags line"
  grep -q -- "$2" "$1" || sed -i "s|^Cflags:.*|& $2|" "$1"
  grep -q -- "^Cflags:.* $2" "$1" || patch_failed "$1" "$2 did not go into its Cflags line"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# apt's lists and downloads are shared by the builds of every target.
(
  flock 8
  ensure_deb_src
  command -v dpkg-source >/dev/null || apt-get install -y -qq --no-install-recommends dpkg-dev
  for entry in "${sources[@]}"; do fetch_source "${entry%%:*}" "${entry##*:}"; done
) 8>"${TMPDIR:-/tmp}/calvex-win-deps-apt.lock"

echo "build-win-deps: zlib"
(
  cd zlib-*/
  quiet env CHOST="$triple" CC="$triple-gcc-posix" AR="$triple-ar" RANLIB="$triple-ranlib" \
    ./configure --static --prefix="$prefix" --libdir="$prefix/lib"
  quiet make -j"$jobs" libz.a
  quiet make install
)

echo "build-win-deps: expat"
# Debian's patches test `XML_DTD == 1`, the value its autotools build defines;
# the CMake config header defines the macro empty.
replace_line "$(echo expat-*/expat/expat_config.h.cmake)" '^#cmakedefine XML_DTD$' '#cmakedefine XML_DTD 1'
cmake_cross expat-*/expat build-expat -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
  -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON
add_cflag "$prefix/lib/pkgconfig/expat.pc" -DXML_STATIC

echo "build-win-deps: libzip"
cmake_cross libzip-*/ build-libzip -DZLIB_ROOT="$prefix" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
  -DENABLE_ZSTD=OFF -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
  -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
# A static libzip on Windows must not declare its functions dllimport.
add_cflag "$prefix/lib/pkgconfig/libzip.pc" -DZIP_STATIC

echo "build-win-deps: libxlsxwriter"
cmake_cross libxlsxwriter-*/ build-xlsxwriter -DZLIB_ROOT="$prefix" -DUSE_SYSTEM_MINIZIP=OFF \
  -DUSE_STANDARD_TMPFILE=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF

# Only static archives: a stray import library would make the linker pick a DLL.
rm -f "$prefix"/lib/*.dll.a "$prefix"/bin/*.dll
for lib in z expat zip xlsxwriter; do
  [[ -f $prefix/lib/lib$lib.a ]] || { echo "build-win-deps: lib$lib.a missing in $prefix/lib" >&2; exit 1; }
done
cp "$work/versions" "$stamp"
echo "build-win-deps: done, $triple libraries in $prefix ($(tr '\n' ' ' <"$stamp"))"
