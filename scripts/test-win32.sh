#!/usr/bin/env bash
# Runs the i686 Windows build (Calvex.dll and its test hosts) in 32-bit: a Debian
# i386 root whose binaries run through qemu-user, with wine32 and a wine prefix in
# it. The root and the prefix are made once and kept outside the work tree (in
# $CALVEX_WIN32_CACHE, default /var/cache/calvex-win32), so later runs reuse them.
#
#   scripts/test-win32.sh [BINDIR]   set up what is missing, then run every program of
#                                    the 32-bit check list from BINDIR (default:
#                                    build/default/win32/bin) in one wine session
#   scripts/test-win32.sh --setup    only set up the root and the prefix
#
# Where this machine cannot run it (not root, no binfmt_misc, no emulator), it says
# "skipped: <reason>" and exits 0; under CI (CI=true) a check that cannot run is a
# failure: it says why and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."

CACHE=${CALVEX_WIN32_CACHE:-/var/cache/calvex-win32}
ROOT=$CACHE/root
PREFIX_IN_ROOT=/opt/wineprefix
SUITE=bookworm
QEMU=/usr/bin/qemu-i386-static
BINFMT=/proc/sys/fs/binfmt_misc
setup_only=0
bindir=build/default/win32/bin
case "${1:-}" in
  --setup) setup_only=1 ;;
  "") ;;
  *) bindir=$1 ;;
esac
# The programs run in the 32-bit root, in this order; each prints one line per check.
programs=(calvex_win_host.exe)
# Then calvex.exe's round trip on the common example image, in the same session:
# each step is "label|command line"; a step passes when it exits with 0. The
# image written from the read output must equal the image written from the
# example sheet (fc /b exits 0 on identical files).
calvex_steps=(
  "calvex-version|calvex.exe --version"
  "calvex-write|calvex.exe write TempDacTab nv.bin TempDacTab.csv"
  "calvex-read|calvex.exe read TempDacTab nv.bin -o back.csv"
  "calvex-copy|copy /y nv.bin nv2.bin"
  "calvex-write-back|calvex.exe write TempDacTab nv2.bin back.csv"
  "calvex-same-image|fc /b nv.bin nv2.bin"
  "calvex-refuses-bad-cell|calvex.exe write TempDacTab nv.bin bad.csv & if errorlevel 2 (cmd /c exit 0) else (cmd /c exit 1)"
)

skip() {
  if [ "${CI:-}" = true ]; then
    echo "test-win32: the 32-bit check cannot run, which fails it under CI: $*" >&2
    exit 1
  fi
  echo "skipped: $*"
  exit 0
}
log() { echo "[test-win32 $(date +%H:%M:%S)] $*"; }
fail() {
  echo "test-win32: $*" >&2
  exit 1
}

start=$(date +%s)
[ "$(id -u)" -eq 0 ] || skip "the 32-bit root needs root (chroot, mounts, binfmt_misc)"
[ "$(uname -m)" = x86_64 ] || skip "the 32-bit root is set up on x86_64 hosts only, this is $(uname -m)"
mkdir -p "$CACHE"
exec 9>"$CACHE/lock"
flock 9

# Host packages: debootstrap and the static emulator.
need=()
for p in debootstrap qemu-user-static; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  log "installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
[ -x "$QEMU" ] || skip "$QEMU is missing"

# binfmt_misc: i386 ELF executables go to the emulator. The F flag opens the
# emulator now, so that it also serves programs inside the root.
if [ ! -e "$BINFMT/register" ]; then
  mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/tmp/calvex-binfmt.err ||
    skip "binfmt_misc cannot be mounted: $(tr '\n' ' ' </tmp/calvex-binfmt.err)"
fi
[ -w "$BINFMT/register" ] || skip "$BINFMT/register is not writable"
if [ -e "$BINFMT/qemu-i386" ] && ! grep -qx "interpreter $QEMU" "$BINFMT/qemu-i386"; then
  echo -1 >"$BINFMT/qemu-i386"
fi
if [ ! -e "$BINFMT/qemu-i386" ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:$QEMU:F" >"$BINFMT/register" 2>/tmp/calvex-binfmt.err ||
    skip "cannot register the i386 emulator: $(tr '\n' ' ' </tmp/calvex-binfmt.err)"
fi
grep -qx enabled "$BINFMT/status" || skip "binfmt_misc is disabled"
grep -qx enabled "$BINFMT/qemu-i386" || echo 1 >"$BINFMT/qemu-i386"

# The mirror this machine's own sources name for the suite.
mirror() {
  local f uri line suites
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri="" suites=""
    while IFS= read -r line || [ -n "$line" ]; do
      case "$line" in
        URIs:*) uri=$(echo "${line#URIs:}" | awk '{print $1}') ;;
        Suites:*) suites=${line#Suites:} ;;
        "")
          if [[ -n "$uri" && " $suites " == *" $SUITE "* ]]; then
            echo "$uri"
            return
          fi
          uri="" suites=""
          ;;
      esac
    done <"$f"
    if [[ -n "$uri" && " $suites " == *" $SUITE "* ]]; then
      echo "$uri"
      return
    fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v s="$SUITE" '$1 == "deb" { i = 2; if ($i ~ /^\[/) while ($i !~ /\]$/) i++; if ($i ~ /^\[/ || $i ~ /\]$/) i++;
                                      if ($(i + 1) == s) { print $i; exit } }' "$f"
  done | head -n1
}

# Ends what wine left running in the root: the server, then any process of the
# root that did not go with it.
stop_root_processes() {
  local p pids=()
  if [ -x "$ROOT/usr/bin/wineserver" ] && [ -d "$ROOT/proc/self" ]; then
    in_root wineserver -k >/dev/null 2>&1 || true
  fi
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$ROOT" ] && pids+=("${p#/proc/}")
  done
  if ((${#pids[@]})); then
    kill -9 "${pids[@]}" 2>/dev/null || true
  fi
}

mounted=()
cleanup() {
  local i
  stop_root_processes
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mount_root() {
  local m
  for m in proc dev/pts dev/shm; do
    mountpoint -q "$ROOT/$m" && continue
    mkdir -p "$ROOT/$m"
    case $m in
      proc) mount -t proc proc "$ROOT/proc" ;;
      dev/pts) mount -t devpts -o newinstance,ptmxmode=0666 devpts "$ROOT/dev/pts" ;;
      dev/shm) mount -t tmpfs -o mode=1777 shm "$ROOT/dev/shm" ;;
    esac
    mounted+=("$ROOT/$m")
  done
}

unmount_root() {
  local m
  for m in dev/shm dev/pts proc; do
    while mountpoint -q "$ROOT/$m"; do umount "$ROOT/$m" 2>/dev/null || umount -l "$ROOT/$m"; done
  done
}

in_root() {
  chroot "$ROOT" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root LANG=C.UTF-8 \
    WINEPREFIX=$PREFIX_IN_ROOT WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32 "$@"
}

# 1. The i386 root.
if [ ! -e "$CACHE/root.done" ]; then
  src=$(mirror)
  [ -n "$src" ] || fail "no $SUITE mirror in /etc/apt/sources.list or /etc/apt/sources.list.d"
  if [ -d "$ROOT" ]; then
    unmount_root
    rm -rf --one-file-system "$ROOT"
  fi
  log "debootstrap --arch=i386 --variant=minbase $SUITE from $src"
  t=$(date +%s)
  debootstrap --arch=i386 --variant=minbase "$SUITE" "$ROOT" "$src" >"$CACHE/debootstrap.log" 2>&1 ||
    {
      tail -n 20 "$CACHE/debootstrap.log" >&2
      fail "debootstrap failed (log: $CACHE/debootstrap.log)"
    }
  sec=${src%/}-security
  case "$src" in */debian | */debian/) sec=${src%/}; sec=${sec%/debian}/debian-security ;; esac
  cat >"$ROOT/etc/apt/sources.list" <<EOF
deb $src $SUITE main
deb $src $SUITE-updates main
deb $sec $SUITE-security main
EOF
  touch "$CACHE/root.done"
  log "root ready in $(($(date +%s) - t)) s"
fi
mount_root
in_root /bin/true || skip "i386 programs do not run in the root"

# 2. wine and wine32 in the root.
if [ ! -e "$CACHE/wine.done" ]; then
  log "installing wine wine32 in the root"
  t=$(date +%s)
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  in_root apt-get update -qq >"$CACHE/wine-install.log" 2>&1 &&
    in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine wine32 \
      >>"$CACHE/wine-install.log" 2>&1 ||
    {
      tail -n 20 "$CACHE/wine-install.log" >&2
      fail "installing wine in the root failed (log: $CACHE/wine-install.log)"
    }
  in_root apt-get clean
  touch "$CACHE/wine.done"
  log "wine installed in $(($(date +%s) - t)) s"
fi

# 3. The wine prefix, made once. The first wine call may give up waiting while
# wineboot carries on: wait for the wine server to end.
if [ ! -e "$CACHE/prefix.done" ]; then
  log "creating the wine prefix (slow under emulation)"
  t=$(date +%s)
  rm -rf "$ROOT$PREFIX_IN_ROOT"
  in_root wineboot -i >"$CACHE/wineboot.log" 2>&1 || true
  in_root wineserver -w >>"$CACHE/wineboot.log" 2>&1 || true
  [ -e "$ROOT$PREFIX_IN_ROOT/system.reg" ] && [ -e "$ROOT$PREFIX_IN_ROOT/drive_c/windows/system32/kernel32.dll" ] ||
    {
      tail -n 20 "$CACHE/wineboot.log" >&2
      fail "the wine prefix was not created (log: $CACHE/wineboot.log)"
    }
  touch "$CACHE/prefix.done"
  log "prefix ready in $(($(date +%s) - t)) s"
fi
log "setup done in $(($(date +%s) - start)) s"
((setup_only)) && exit 0

# 4. One wine session runs every program; the .cmd reports each exit status.
[ -f "$bindir/Calvex.dll" ] || fail "$bindir/Calvex.dll not found: build the default preset first"
run_id=run-$$
run_dir=$ROOT/opt/calvex-test/$run_id
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp "$bindir/Calvex.dll" "$run_dir/"
cmd=$run_dir/run.cmd
printf '@echo off\r\ncd /d Z:\\opt\\calvex-test\\%s\r\n' "$run_id" >"$cmd"
for p in "${programs[@]}"; do
  [ -f "$bindir/$p" ] || fail "$bindir/$p not found"
  cp "$bindir/$p" "$run_dir/"
  printf '%s\r\necho exit %s %%ERRORLEVEL%%\r\n' "$p" "$p" >>"$cmd"
done
if [ -f "$bindir/calvex.exe" ]; then
  cp "$bindir/calvex.exe" "$run_dir/"
  cp examples/common/nv.bin examples/common/TempDacTab.csv "$run_dir/"
  sed '0,/^[0-9]/s//x&/' examples/common/TempDacTab.csv >"$run_dir/bad.csv"
  for step in "${calvex_steps[@]}"; do
    printf '%s\r\necho exit %s %%ERRORLEVEL%%\r\n' "${step#*|}" "${step%%|*}" >>"$cmd"
    programs+=("${step%%|*}")
  done
else
  fail "$bindir/calvex.exe not found"
fi
log "running ${programs[*]} in one 32-bit wine session"
t=$(date +%s)
# The session's wine services keep its output open after the programs end, so the
# output goes to a file that is shown as it grows until cmd has ended.
raw=$CACHE/last-run.raw
: >"$raw"
in_root timeout 45m wine cmd /c "Z:\\opt\\calvex-test\\$run_id\\run.cmd" >"$raw" 2>&1 &
wine_pid=$!
tail -n +1 -s 2 -f --pid="$wine_pid" "$raw" | sed -u 's/\r$//'
wine_status=0
wait "$wine_pid" || wine_status=$?
stop_root_processes
sed 's/\r$//' "$raw" >"$CACHE/last-run.log"
rm -rf "$run_dir"
((wine_status == 0)) || echo "test-win32: the wine session ended with status $wine_status" >&2
log "wine session took $(($(date +%s) - t)) s"

passed=0 failed=0
for p in "${programs[@]}"; do
  if grep -qx "exit $p 0" "$CACHE/last-run.log"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "test-win32: $p did not exit with 0" >&2
  fi
done
echo "win32: $passed passed, $failed failed"
((failed == 0))
