#!/usr/bin/env bash
# Peak memory (maximum resident set, from /usr/bin/time -v) and wall time of
# bincut, binseek and binsplice on a sparse file of SIZE_GIB GiB (default 5)
# with a 23-byte marker above 4 GiB, and of ubiunpack and ubiunpack-lite on a
# sparse UBI image of that size (128 KiB blocks carrying one squashfs image
# that fills them).  Run by hand; not a test.
#
#   bench/tools_peak_memory.sh <directory of the programs> [scratch dir] [SIZE_GIB]
set -euo pipefail
bin="${1:?directory of bincut, binseek and binsplice}"
scratch="${2:-$(mktemp -d)}"
size_gib="${3:-5}"
marker_offset=$((4 * 1024 * 1024 * 1024 + 12345))
mkdir -p "$scratch"
cd "$scratch"
truncate -s "${size_gib}G" big.bin
printf 'NEEDLE-0123456789abcdef' > needle.bin
dd if=needle.bin of=big.bin bs=1 seek="$marker_offset" conv=notrunc status=none
head -c 4096 /dev/urandom > patch.bin

measure() {
  /usr/bin/time -v "$@" > run.out 2> time.txt || true
  printf '%-10s peak %8s KiB  wall %s\n' "$(basename "$1")" \
    "$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)" \
    "$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' time.txt)"
}
measure "$bin/bincut" big.bin "$marker_offset" 8 cut.out
measure "$bin/binseek" big.bin needle.bin
measure "$bin/binsplice" big.bin 1000 patch.bin splice.out
rm -f big.bin cut.out splice.out

if [[ -x "$bin/ubiunpack" ]]; then
  python3 - ubi.img "$size_gib" <<'PY'
import struct, sys
path, gib = sys.argv[1], int(sys.argv[2])
block, data = 128 * 1024, 126 * 1024  # VID header at 512: 2048 bytes of headers
size = gib << 30
with open(path, "wb") as image:
    image.truncate(size)
    for at in (0, block):  # the second header gives the block size
        image.seek(at)
        image.write(b"UBI#" + bytes(12) + struct.pack(">I", 512) + bytes(44))
    superblock = bytearray(96)
    superblock[0:4] = b"hsqs"
    superblock[40:48] = struct.pack("<q", size // block * data)
    image.seek(2048)
    image.write(superblock)
PY
  measure "$bin/ubiunpack" ubi.img unpacked.sqfs
  measure "$bin/ubiunpack-lite" ubi.img unpacked.sqfs
fi
rm -f ubi.img unpacked.sqfs run.out time.txt needle.bin patch.bin
