#!/usr/bin/env bash
# zepconv inventory reads each image once: a clean one, a damaged one (its
# mapfile beside it, its hash still sha256sum's) and ones whose directory is
# lost, of both types, clean and damaged: carved for both types at once. strace counts the bytes each read returned, by path.
#   reads_test.sh ZEPCONV MAKE_SAMPLE_DISC
# Exits 77 (skipped) where strace is missing or cannot trace.
set -uo pipefail
zepconv=$1 maker=$2
skip() { echo "SKIPPED: $*"; exit 77; }
command -v strace >/dev/null || skip "no strace"
strace -o /dev/null true 2>/dev/null || skip "strace cannot trace here"
work=$(mktemp -d /tmp/zep-reads.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# image        make_sample_disc's options
discs=(
  "clean.img   --dump-runs"
  "hurt.img    --dump-runs --damaged"
  "lost.img    --dump-runs --zero-directory"
  "lostzep.img --dump-runs --zero-directory --type zep"
  "losthurt.img --dump-runs --zero-directory --damaged"
  "lostzephurt.img --dump-runs --zero-directory --damaged --type zep"
)
images=()
for d in "${discs[@]}"; do
  read -r image options <<<"$d"
  # shellcheck disable=SC2086
  "$maker" $options "$image" >/dev/null || exit 1
  images+=("$image")
done
strace -f -y -s 0 -e trace=read,pread64,preadv,preadv2,copy_file_range -o trace.txt \
  "$zepconv" inventory "${images[@]}" -o box >/dev/null 2>&1
python3 - "${images[@]}" <<'PY' || exit 1
import hashlib, json, os, re, sys
read = {}
for line in open("trace.txt"):
    m = re.search(r"<([^>]*)>.*= (\d+)$", line)
    if m:
        read[os.path.basename(m.group(1))] = read.get(os.path.basename(m.group(1)), 0) + int(m.group(2))
discs = {d["image"]: d for d in json.load(open("box/inventory.json"))["discs"]}
failed = False
for image in sys.argv[1:]:
    size = os.path.getsize(image)
    # The directory and the type's evidence are read apart: a few sectors more.
    if not size <= read.get(image, 0) <= size + 65536:
        print(f"FAIL: {image}: {read.get(image, 0)} bytes read of {size}")
        failed = True
    want = hashlib.sha256(open(image, "rb").read()).hexdigest()
    if discs[image]["image_sha256"] != want:
        print(f"FAIL: {image}: hash {discs[image]['image_sha256']}, sha256sum says {want}")
        failed = True
sys.exit(1 if failed else 0)
PY
