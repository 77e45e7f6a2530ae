#!/usr/bin/env bash
# Outputs onto a full disk: a small tmpfs, filled with a file of zeros to
# leave the room each case wants. A write that fails is the output's fault:
# it names the system's reason, ends without a crash, leaves no file and no
# temporary file, and an inventory keeps the disc's health apart from it.
# A resumed inventory, once the room is freed, redoes what failed.
#   full_disk_test.sh ZEPCONV MAKE_SAMPLE_DISC
# Needs root (mounts); exits 77 (skipped) with the reason where it cannot run.
set -uo pipefail
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
zepconv=$1 maker=$2
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root: the test mounts a tmpfs"

work=$(mktemp -d /tmp/zep-full.XXXXXX)
full=$work/full
cleanup() { umount "$full" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$maker" "$work/disc.img" >/dev/null || exit 1
"$zepconv" convert "$work/disc.img" --record 3 --out "$work/src" --quiet >/dev/null 2>&1
record=$work/src/TRANSECT3.ZEP
mkdir -p "$full"
mount -t tmpfs -o size=24m tmpfs "$full" || skip "cannot mount a tmpfs"
nc=yes
"$zepconv" netcdf "$record" -o "$work/probe.nc" >/dev/null 2>&1 || nc=
# Leaves KB free in the tmpfs (0: none at all).
leave() {
  rm -f "$full/pad"
  local free
  free=$(df -k --output=avail "$full" | tail -1)
  [ "$1" -ge "$free" ] || dd if=/dev/zero of="$full/pad" bs=1k count=$((free - $1)) status=none 2>/dev/null
}
json() { /usr/bin/python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print($2)" "$1"; }

# name | KB left | zepconv words (OUT: the output in the tmpfs) | status | what the box says
cases=(
  "netcdf, no room at all|0|netcdf $record -o OUT.nc|1|"
  "netcdf, room for a start|300|netcdf $record -o OUT.nc|1|"
  "netcdf, room for most|1200|netcdf $record -o OUT.nc|1|"
  "inventory, room for some records|1500|inventory $work/disc.img --no-viewer --out OUT|1|whole failed 1400"
  "inventory --netcdf, room for the records|6000|inventory $work/disc.img --netcdf --no-viewer --out OUT|1|whole failed 1400"
)
for c in "${cases[@]}"; do
  IFS='|' read -r what kb words want box <<<"$c"
  [[ $words == *netcdf* && -z $nc ]] && { echo "$what: no netCDF in this build, not tried"; continue; }
  rm -rf "${full:?}"/*
  leave "$kb"
  out=$full/out
  "$zepconv" ${words//OUT/$out} >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -eq "$want" ] || fail "$what: status $status, not $want: $(cat "$work/err")"
  grep -q "No space left on device" "$work/err" || fail "$what: the reason is not named: $(cat "$work/err")"
  ! grep -qE "Permission denied|HDF error" "$work/err" || fail "$what: another reason named: $(cat "$work/err")"
  left=$(find "$full" -name '~*' -printf '%P ')
  [ -z "$left" ] || fail "$what: left $left"
  if [ -z "$box" ]; then
    [ ! -e "$out.nc" ] || fail "$what: left a part of a file"
    continue
  fi
  read -r health outputs pings <<<"$box"
  grep -q '^total: 1 disc,' "$work/out" || fail "$what: no total line: $(cat "$work/out")"
  [ "$(json "$out/inventory.json" 'd["discs"][0]["health"]')" = "$health" ] || fail "$what: the disc's health is not $health"
  [ "$(json "$out/inventory.json" 'd["discs"][0]["outputs"]')" = "$outputs" ] || fail "$what: its outputs are not $outputs"
  [ "$(json "$out/inventory.json" 'sum(r["pings"] for r in d["records"])')" = "$pings" ] || fail "$what: pings are not $pings"
  # Room again: the resumed run redoes the disc and mends its outputs.
  rm -f "$full/pad"
  "$zepconv" ${words//OUT/$out} --resume >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -eq 0 ] || fail "$what, resumed: status $status: $(cat "$work/err")"
  [ "$(json "$out/inventory.json" 'd["discs"][0]["outputs"]')" = written ] || fail "$what, resumed: outputs not written"
  (cd "$out" && sha256sum --quiet -c manifest-sha256.txt) || fail "$what, resumed: the manifest does not hold"
  [ -z "$(find "$full" -name '~*')" ] || fail "$what, resumed: left a temporary file"
done

[ "$failures" -eq 0 ] && echo "every output that failed for want of room was named, and mended once resumed"
exit $((failures > 0))
