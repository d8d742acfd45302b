#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets in fuzz/corpus/<target>/: real
# squashfs images (mksquashfs) inside real UBI images (ubinize) for the
# unpacker, real superblocks for sqseal's checks, and hand-made seeds for the
# readers and the search.  Deterministic (fixed times, sequence numbers and
# contents), and small: the images use small erase blocks.  Run from
# anywhere; needs squashfs-tools and mtd-utils.  Regression inputs (crashes
# found, named crash-*) are kept.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
corpus="$here/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

seed() {  # seed <target> <name>: stdin becomes the seed file
  mkdir -p "$corpus/$1"
  cat > "$corpus/$1/$2"
}

# A small, fixed file tree and its squashfs image.
mkdir -p "$work/root/etc"
printf 'calvex seed\n' > "$work/root/etc/version"
head -c 3000 /dev/zero | tr '\0' 'a' > "$work/root/data.txt"
mksquashfs "$work/root" "$work/rootfs.sqfs" -noappend -no-progress -quiet -all-root \
  -mkfs-time 0 -all-time 0 -b 4096 >/dev/null

# The unpacker's input: a mode byte (0: raw image), a piece-size byte, the image.
cat > "$work/ubi.ini" <<INI
[rootfs]
mode=ubi
image=$work/rootfs.sqfs
vol_id=0
vol_type=static
vol_name=rootfs
vol_size=$(stat -c %s "$work/rootfs.sqfs")
INI
# Erase block size, minimum I/O unit, VID header offset.
for geometry in "16KiB 512 512" "16KiB 2048 2048" "32KiB 512 2048"; do
  read -r peb min_io vid_offset <<<"$geometry"
  ubinize -o "$work/ubi.img" -p "$peb" -m "$min_io" -O "$vid_offset" -Q 1 "$work/ubi.ini"
  { printf '\000\020'; cat "$work/ubi.img"; } | seed unubinize_fuzzer "ubinize-p$peb-m$min_io-O$vid_offset"
done
# Built images: mode 1, piece size, block size unit count, VID header offset,
# block count, bytes cut, squashfs offset, bytes_used, data.
printf '\001\007\001\000\002\003\000\000\100\000\000\020\000\000seed' | seed unubinize_fuzzer built-4k-3-blocks
printf '\001\040\177\000\020\002\000\000\000\000\000\000\001\000xy' | seed unubinize_fuzzer built-256k-2-blocks

# sqseal's checks: superblock length byte, superblock, three sizes, signature.
{
  printf '\140'
  head -c 96 "$work/rootfs.sqfs"
  printf '\200\002\000\000\000\000\000\000'  # 640
  printf '\040\000\000\000\000\000\000\000'  # 32
  printf '\000\060\000\000\000\000\000\000'  # 12288
  head -c 672 /dev/zero | tr '\0' 's'
} | seed sqseal_format_fuzzer mksquashfs-superblock
printf '\140hsqs' | seed sqseal_format_fuzzer short-magic-only

# The search: prefix limit byte, piece size byte, needle length, needle, text.
printf '\004\010\004abcaxxabcabcaxabca' | seed needle_search_fuzzer overlapping
printf '\202\003\006\000\001\000\001\000\001\000\001\000\001\000\001\000\001' | seed needle_search_fuzzer periodic
printf '\100\100\001zzzzzz' | seed needle_search_fuzzer single-byte

# The readers: mode byte (0: narrow texts split at '|'), then the texts.
printf '\0000x1F|0X0X12|12345678|123456789|g1| 42abc|-2147483649|4294967296|x| X |1|0|1|x|1|0|0|1|1|0|1' |
  seed cell_readers_fuzzer narrow-mix
printf '\001\x31\x00\xff\xff\x30\x00\x78\x00\xff\xff\x20\x00\x31\x00\x20\x00\xff\xff\x2d\x00\x39\x00' |
  seed cell_readers_fuzzer wide-mix
