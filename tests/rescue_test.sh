#!/usr/bin/env bash
# A rescue of a damaged disc from a drive that fails (faulty_drive.sh: nbdkit
# answering EIO for chosen sectors, exposed by nbdfuse), for both recorder
# types: zepconv domain, GNU ddrescue -m with it (which must ask for nothing
# outside the domain), zepconv convert of the image with the mapfile beside
# it (every ping of the undamaged disc but those on the bad sectors, the lost
# ones named); convert, check, carve, dump and the inventory straight from
# the drive, each asking for every bad sector at most twice; and a drive
# whose record directory does not read.
#   rescue_test.sh ZEPCONV MAKE_SAMPLE_DISC
# Needs root (FUSE), nbdkit, nbdfuse and ddrescue; exits 77 (skipped) with
# the reason where it cannot run.
set -uo pipefail
zepconv=$1 maker=$2
drive=$(cd "$(dirname "$0")" && pwd)/faulty_drive.sh
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root: the drive is a FUSE mount"
[ -e /dev/fuse ] || skip "no /dev/fuse"
for tool in nbdkit nbdfuse ddrescue ddrescuelog; do
  command -v "$tool" >/dev/null || skip "no $tool (scripts/deps installs nbdkit, libnbd-bin and gddrescue)"
done

work=$(mktemp -d /tmp/zep-rescue.XXXXXX)
cleanup() { "$drive" down "$work/mnt"; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cd "$work" || exit 1

# The byte where record N starts, from what zepconv domain prints.
record_start() { sed -n "s/^record $2 .*: bytes \([0-9]*\) to .*/\1/p" "$1"; }

# Whether every request in nbdkit's log lies inside a '+' block of MAP.
inside_domain() {  # MAP LOG
  local starts=() ends=() pos size status offset count i ok
  while read -r pos size status _; do
    [ "$status" = + ] && starts+=($((pos))) && ends+=($((pos + size)))
  done < <(grep -v '^#' "$1" | awk 'NF >= 3')
  while read -r offset count _; do
    ok=0
    for i in "${!starts[@]}"; do
      [ "$offset" -ge "${starts[$i]}" ] && [ $((offset + count)) -le "${ends[$i]}" ] && ok=1 && break
    done
    [ $ok = 1 ] || { echo "request $offset+$count lies outside the domain"; return 1; }
  done <"$2"
}

# Each bad sector's requests in the log: at most twice (a batch, then
# alone), and the command met one at all.
asks_at_most_twice() {  # WHAT
  local range pos end n met=0
  for range in $bad; do
    pos=${range%:*} end=${range#*:}
    n=$(awk -v p="$pos" -v e="$end" '$3 == "BAD" && $1 < e && $1 + $2 > p' log | wc -l)
    met=$((met + n))
    [ "$n" -le 2 ] || fail "$1 asked for the bad sector at byte $pos $n times"
  done
  [ "$met" -gt 0 ] || fail "$1 met no bad sector: nothing was tested"
}

for type in tk40 zep; do
  echo "== $type"
  "$maker" --type "$type" --dump-runs "$type.img" >/dev/null || exit 1
  SECONDS=0
  "$zepconv" domain "$type.img" -o whole.map >areas.txt 2>/dev/null || fail "$type: domain of the image"
  # One sector in each of records 2 and 4, away from the pings that carry a
  # fix or a value to the pings after them, and one in the dump area.
  unit=4096 first=0
  [ $type = zep ] && unit=2048 first=2
  b1=$(($(record_start areas.txt 2) + (41 - first) * unit))
  b2=$(($(record_start areas.txt 4) + (101 - first) * unit + unit - 2048))
  b3=$((39725056 + 50 * 4096))
  bad="$b1:$((b1 + 2048)) $b2:$((b2 + 2048)) $b3:$((b3 + 2048))"
  # The mount point as a user types it, relative: up and down both take it.
  "$drive" up mnt "$work/$type.img" "$work/log" "$bad" || exit 1

  "$zepconv" domain mnt/drive -o used.map >/dev/null 2>&1 || fail "$type: domain of the drive"
  cmp -s <(grep -v '^#' whole.map) <(grep -v '^#' used.map) || fail "$type: the drive's domain is not the image's"
  ddrescuelog -t used.map >/dev/null || fail "$type: ddrescuelog cannot read the domain mapfile"
  : >log
  ddrescue -q -d -b 2048 -m used.map mnt/drive disc.img disc.map || fail "$type: ddrescue -m"
  ddrescue -q -d -b 2048 -r3 -m used.map mnt/drive disc.img disc.map || fail "$type: ddrescue -r3"
  inside_domain used.map log || fail "$type: ddrescue read outside the domain"
  echo "domain and ddrescue: ${SECONDS}s"

  "$zepconv" convert "$type.img" -o whole -q >/dev/null 2>&1
  "$zepconv" convert disc.img -o rescued -q >/dev/null 2>said.txt
  [ $? = 1 ] || fail "$type: convert of the rescued image does not end with status 1"
  grep -q "using the mapfile beside it, disc.map" said.txt || fail "$type: the mapfile beside the image was not used"
  grep -q "HARBOUR.*could not be read" said.txt && grep -q "REEF.A.*could not be read" said.txt ||
    fail "$type: the lost units are not named: $(cat said.txt)"
  # Outside the domain ddrescue tried nothing: not read, but not bad either.
  "$zepconv" carve disc.img --all -o carved -q >/dev/null 2>said.txt
  grep -q "^zepconv: 3 sectors could not be read (first: disc.map marks bytes $b1 to $((b1 + 2047)) '-' (not rescued)); runs end at them$" said.txt &&
    grep -q "^zepconv: [0-9]* sectors were never tried by GNU ddrescue (first: disc.map marks bytes 2048 to [0-9]* '?' (never tried)); runs end at them$" said.txt ||
    fail "$type: carve of the rescued image does not tell bad sectors from never-tried ones: $(cat said.txt)"
  rm -rf carved
  if [ $type = tk40 ]; then
    # Every ping but blocks 41 of HARBOUR and 101 of REEF.A, the rest alike.
    # The ping after each lost one says so in its last column (missing_before).
    "$zepconv" pings whole/* | sed 's|^whole/||' | cut -d, -f1,3- | grep -v -e '^HARBOUR.ZEP,41,' -e '^REEF.A,101,' |
      sed 's/,[^,]*$//' | sort >want.csv
    "$zepconv" pings rescued/* | sed 's|^rescued/||' | cut -d, -f1,3- >got_all.csv
    sed 's/,[^,]*$//' got_all.csv | sort >got.csv
    cmp -s want.csv got.csv || fail "tk40: the rescued pings differ: $(diff want.csv got.csv | head -5)"
    [ "$(grep -c ',1$' got_all.csv)" = 2 ] && grep -q '^HARBOUR.ZEP,42,.*,1$' got_all.csv &&
      grep -q '^REEF.A,102,.*,1$' got_all.csv || fail "tk40: the pings after the lost ones do not say one is missing"
  fi

  commands=("convert mnt/drive -o straight" "check mnt/drive" "dump mnt/drive -o dump.bin"
            "inventory mnt/drive -o box --no-viewer")
  [ $type = zep ] && commands+=("carve mnt/drive --all -o carved")  # TK40 blocks hold no ping records to carve
  for command in "${commands[@]}"; do
    : >log
    # shellcheck disable=SC2086
    "$zepconv" $command -q >/dev/null 2>&1
    asks_at_most_twice "$type: ${command%% *}"
  done
  echo "all: ${SECONDS}s"
  rm -rf got_all.csv whole rescued straight carved dump.bin disc.img disc.map used.map box
  "$drive" down mnt
  ! grep -q " $work/mnt fuse" /proc/mounts || fail "$type: faulty_drive.sh down mnt left the drive mounted"
done

echo "== a drive whose record directory does not read"
bad="0:2048"
"$drive" up "$work/mnt" "$work/tk40.img" "$work/log" "$bad" || exit 1
"$zepconv" domain mnt/drive -o used.map >/dev/null 2>said.txt
[ $? = 2 ] || fail "domain without a directory does not end with status 2"
grep -q "the record directory (bytes 0 to 2047) does not read" said.txt || fail "domain does not name the directory: $(cat said.txt)"
[ ! -e used.map ] || fail "domain wrote a mapfile without a directory"
asks_at_most_twice "domain"
"$drive" down "$work/mnt"

[ "$failures" = 0 ] && echo "all passed"
[ "$failures" = 0 ]
