#!/usr/bin/env bash
# What the build's binaries load, and from where:
# - no RUNPATH or RPATH entry of any executable or module is empty or
#   relative (an empty entry is the current folder: a library of the right
#   name there would run inside zepconv);
# - zepconv itself links no netCDF library: netCDF-C and the forty libraries
#   behind it come with the zepnetcdf module, on the first netCDF command;
# - a zepconv without its module runs every other command, and netcdf names
#   what is missing, with status 2.
#   binaries_test.sh BUILD-DIR ZEPCONV
set -uo pipefail
build=$1 zepconv=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

checked=0
while IFS= read -r -d '' f; do
  head -c 4 "$f" | grep -q $'^\x7fELF' || continue
  checked=$((checked + 1))
  paths=$(readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
  [ -n "$paths" ] || continue
  IFS=: read -r -a entries <<<"$paths:"  # the extra separator keeps a trailing empty entry
  for ((i = 0; i < ${#entries[@]}; i++)); do
    [[ ${entries[i]} == /* ]] || fail "$f: library path [$paths] has an empty or relative entry '${entries[i]}'"
  done
done < <(find "$build" -path "$build/CMakeFiles" -prune -o -type f \( -perm -u+x -o -name '*.so*' \) -print0)
[ "$checked" -ge 2 ] || fail "found only $checked binaries under $build"

needed=$(readelf -d "$zepconv" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
grep -Eq 'netcdf|hdf5|curl' <<<"$needed" && fail "zepconv links $(grep -E 'netcdf|hdf5|curl' <<<"$needed" | tr '\n' ' ')"

alone=$(mktemp -d)
trap 'rm -rf "$alone"' EXIT
mkdir "$alone/bin"
cp "$zepconv" "$alone/bin/zepconv"
"$alone/bin/zepconv" --version >/dev/null || fail "zepconv without its module: --version failed"
"$alone/bin/zepconv" netcdf "$alone/none.ZEP" -o "$alone/x.nc" 2>"$alone/err"
status=$?
[ "$status" -eq 2 ] || fail "netcdf without the module: status $status, not 2"
grep -q "^zepconv: netcdf: .*zepnetcdf.so" "$alone/err" || fail "netcdf without the module says: $(cat "$alone/err")"
echo "$checked binaries checked"
[ "$failures" -eq 0 ]
