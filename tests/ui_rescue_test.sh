#!/usr/bin/env bash
# The Windows program on a drive that fails (faulty_drive.sh) under Wine: the
# nbdfuse file is drive R:'s raw device, UiTest.ScanAndConversionOfAFailingDrive
# scans it and converts every record, and the program must ask for each bad
# sector at most twice (its ReadFile calls, from Wine's relay trace). The
# drive's own count is higher: Wine reads a raw device through the system's cache.
#   ui_rescue_test.sh WINE-RUN-WRAPPER WINEPREFIX UI_TESTS_EXE MAKE_SAMPLE_DISC
# Needs root (FUSE), nbdkit and nbdfuse; exits 77 (skipped) where it cannot run.
set -uo pipefail
wrapper=$1 prefix=$2 tests=$3 maker=$4 drive=$(cd "$(dirname "$0")" && pwd)/faulty_drive.sh
[ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ] && command -v nbdkit nbdfuse >/dev/null || { echo "SKIPPED: needs root, /dev/fuse, nbdkit and nbdfuse"; exit 77; }
work=$(mktemp -d /tmp/zep-ui-rescue.XXXXXX)
trap 'rm -f "$prefix/dosdevices/r::"; "$drive" down "$work/mnt"; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
"$wrapper" "$maker" --type tk40 --dump-runs 'C:\zep-ui-rescue.img' >/dev/null && mv "$prefix/drive_c/zep-ui-rescue.img" "$work/tk40.img" || exit 1
# A block in each of records 2 and 4 of the sample disc, as rescue_test.sh
# chooses them, and one in the scan dump area; one never met fails the count.
b1=$((1409024 + 41 * 4096)) b2=$((4096000 + 101 * 4096 + 2048)) b3=$((39725056 + 50 * 4096))
bad="$b1:$((b1 + 2048)) $b2:$((b2 + 2048)) $b3:$((b3 + 2048))"
"$drive" up "$work/mnt" "$work/tk40.img" "$work/log" "$bad" || exit 1
mkdir -p "$prefix/drive_c/zep-drive-r" && ln -sfn ../drive_c/zep-drive-r "$prefix/dosdevices/r:" && ln -sfn "$work/mnt/drive" "$prefix/dosdevices/r::"
"$wrapper" reg add 'HKLM\Software\Wine\Drives' /v r: /d floppy /f >/dev/null
"$wrapper" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'KERNEL32.ReadFile;KERNEL32.SetFilePointerEx' /f >/dev/null
WINEPREFIX="$prefix" wineserver -k; WINEPREFIX="$prefix" wineserver -w; : >"$work/log"
ZEP_FAILING_DRIVE=R WINEPREFIX="$prefix" WINEDEBUG=+relay WINEDLLOVERRIDES="mscoree,mshtml=" \
  wine "$tests" --gtest_filter=UiTest.ScanAndConversionOfAFailingDrive 2>"$work/relay" || exit 1
WINEPREFIX="$prefix" wineserver -k
# "START LENGTH" of each ReadFile: from where its handle was set, or, reading
# the rest after a short one, from where that one stopped.
awk -F'[(,)]' 'function hex(s, i, n) { s = tolower(s); for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return n }
  /Call KERNEL32.SetFilePointerEx\(/ { pos[$2] = hex($3); fresh[$2] = 1 }
  /Call KERNEL32.ReadFile\(/ && ($2 in pos) { len = hex($4); if (!fresh[$2]) pos[$2] += last[$2] - len
    print pos[$2], len; last[$2] = len; fresh[$2] = 0 }' "$work/relay" >"$work/asks"
failures=0
for range in $bad; do
  pos=${range%:*} end=${range#*:}
  asks=$(awk -v p="$pos" -v e="$end" '$1 < e && $1 + $2 > p' "$work/asks" | wc -l)
  asked=$(awk -v p="$pos" -v e="$end" '$3 == "BAD" && $1 < e && $1 + $2 > p' "$work/log" | wc -l)
  echo "the bad sector at byte $pos: the program asked for it $asks times, the drive was asked $asked times"
  [ "$asks" -ge 1 ] && [ "$asks" -le 2 ] || failures=$((failures + 1))
done
[ "$failures" = 0 ]
