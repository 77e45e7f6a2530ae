#!/usr/bin/env bash
# A rescue at MO speed: the faulty drive of tests/faulty_drive.sh (three bad
# sectors) slowed to 8 MB/s by nbdkit's rate filter, read by GNU ddrescue
# whole and within zepconv's domain, and by zepconv convert straight; the
# time and the bytes each asks the drive for. Needs root (FUSE).
#   bench/rescue_bench.sh ZEPCONV MAKE_SAMPLE_DISC [RATE_BITS_PER_SECOND] [SIZE]
# SIZE grows the sample disc with zeros (truncate -s), so that its records
# fill less of it.
set -uo pipefail
zepconv=$1 maker=$2 rate=${3:-64M} size=${4:-}
drive=$(cd "$(dirname "$0")/../tests" && pwd)/faulty_drive.sh
work=$(mktemp -d /tmp/zep-rescue-bench.XXXXXX)
trap '"$drive" down "$work/mnt"; rm -rf "$work"' EXIT
cd "$work" || exit 1

"$maker" --dump-runs disc.img >/dev/null || exit 1
[ -n "$size" ] && truncate -s "$size" disc.img
"$zepconv" domain disc.img -o all.map >areas.txt 2>/dev/null
start() { sed -n "s/^record $1 .*: bytes \([0-9]*\) to .*/\1/p" areas.txt; }
b1=$(($(start 2) + 41 * 4096)) b2=$(($(start 4) + 101 * 4096 + 2048)) b3=$((39725056 + 50 * 4096))
"$drive" up "$work/mnt" "$work/disc.img" "$work/log" "$b1:$((b1 + 2048)) $b2:$((b2 + 2048)) $b3:$((b3 + 2048))" \
  "$rate" || exit 1

measure() {  # WHAT COMMAND...
  local what=$1 t0 t1 bytes requests
  shift
  : >log
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  bytes=$(awk '{s += $2} END {print s + 0}' log)
  requests=$(wc -l <log)
  printf '| %s | %.1f s | %d | %d |\n' "$what" "$(echo "$t1 - $t0" | bc)" "$bytes" "$requests"
}

echo "disc: $(stat -c %s disc.img) bytes; domain: $(tail -1 areas.txt)"
echo "| Run | Time | Bytes asked for | Requests |"
echo "|---|---|---|---|"
measure "zepconv domain (directory and type evidence)" "$zepconv" domain mnt/drive -o used.map
measure "ddrescue -m used.map (domain only)" ddrescue -q -d -b 2048 -m used.map mnt/drive part.img part.map
measure "ddrescue -r3 -m used.map (3 retry passes)" ddrescue -q -d -b 2048 -r3 -m used.map mnt/drive part.img part.map
measure "ddrescue (whole disc)" ddrescue -q -d -b 2048 mnt/drive whole.img whole.map
measure "zepconv convert straight from the drive" "$zepconv" convert mnt/drive -o straight -q
measure "zepconv convert of the rescued image" "$zepconv" convert part.img -o rescued -q
