#!/usr/bin/env bash
# Interrupts and kills zepconv at random moments of convert, dump, carve,
# echogram and netcdf, on tmpfs, on ext4 (a loop-mounted image) and on vfat (FUSE), and
# checks what is left: no temporary file where the file system keeps unnamed
# files (every signal, but for a whole file killed between its naming and
# its renaming) and none after SIGINT or SIGTERM anywhere; after a SIGKILL,
# the next run into the folder removes what is left: on vfat, of netcdf
# anywhere (netCDF-C writes its file by name, so that file has a name from
# the start), and of that narrow moment. inventory --netcdf, stopped, leaves nothing a
# resumed run does not clear. netcdf and inventory into a read-only folder
# write nothing and name the file, with status 2. Every file of an
# output name is the earlier one, byte for byte, or the whole new one.
#   kill_test.sh ZEPCONV MAKE_SAMPLE_DISC [ROUNDS]
# Needs root (mounts); exits 77 (skipped) with the reason where it cannot run.
set -uo pipefail
# mkfs.ext4, mkfs.vfat and mount live in the sbin folders, which a caller's
# PATH (env -i, cron, CI) need not hold.
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
# A script's background jobs start deaf to SIGINT; zepconv is started with
# it restored.
run_bg() { env --default-signal=INT "$zepconv" "$@" & }
zepconv=$1 maker=$2 rounds=${3:-2}
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root: the test mounts file systems"

work=$(mktemp -d /tmp/zep-kill.XXXXXX)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do fusermount -u "$m" 2>/dev/null || umount "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A disc whose last record runs over 20000 blocks of the image, so that a
# conversion lasts long enough to be interrupted in the middle.
"$maker" --dump-runs "$work/disc.img" >/dev/null || exit 1
"$maker" --type zep --dump-runs "$work/zep.img" >/dev/null || exit 1  # carve searches ZEP V1.X discs
printf '\x20\x4e\x00\x00' | dd of="$work/disc.img" bs=1 seek=152 conv=notrunc status=none
truncate -s 100M "$work/disc.img"
"$zepconv" convert "$work/disc.img" --record 3 --out "$work/src" --quiet 2>/dev/null
record="$work/src/TRANSECT3.ZEP"

declare -A folders
mkdir -p "$work/tmpfs" "$work/ext4" "$work/vfat"
if mount -t tmpfs -o size=400m tmpfs "$work/tmpfs"; then mounts+=("$work/tmpfs"); folders[tmpfs]=$work/tmpfs
else echo "tmpfs: cannot mount, not tried"; fi
truncate -s 400M "$work/ext4.img" && mkfs.ext4 -q -F "$work/ext4.img" &&
  if mount -o loop "$work/ext4.img" "$work/ext4"; then mounts+=("$work/ext4"); folders[ext4]=$work/ext4
  else echo "ext4: cannot mount a loop device, not tried"; fi
if [ ! -e /dev/fuse ] || ! command -v fusefat >/dev/null || ! command -v mkfs.vfat >/dev/null; then
  echo "vfat: no /dev/fuse, fusefat or mkfs.vfat, not tried"
else
  truncate -s 200M "$work/vfat.img" && mkfs.vfat "$work/vfat.img" >/dev/null &&
    fusefat -o rw+ "$work/vfat.img" "$work/vfat" >/dev/null 2>&1 && mounts+=("$work/vfat") && folders[vfat]=$work/vfat
fi
[ ${#folders[@]} -gt 0 ] || skip "no file system could be mounted"

# The commands, each writing into OUT; vfat is slow, so it converts less.
command_of() {  # name fs -> words
  case $1 in
    convert) [ "$2" = vfat ] && echo "convert $work/disc.img --record 1,2,3 --out OUT" ||
               echo "convert $work/disc.img --out OUT" ;;
    dump) echo "dump $work/disc.img --out OUT/scan.bin" ;;
    carve) echo "carve $work/zep.img --all --out OUT" ;;
    echogram) echo "echogram $record --pings-per-image 4096 -o OUT/echo.png" ;;
    netcdf) echo "netcdf $record -o OUT/rec.nc" ;;
  esac
}

# The whole new output: the same bytes, or for a netCDF file (which carries
# the time it was made) the same dump but for those times.
same_output() {
  cmp -s "$1" "$2" && return
  [[ $1 == *.nc ]] || return 1
  local drop=(-e date_created -e conversion_time -e '^netcdf ')
  cmp -s <(ncdump "$1" 2>&1 | grep -v "${drop[@]}") <(ncdump "$2" 2>&1 | grep -v "${drop[@]}")
}

# Seconds, with nanoseconds: how long a whole run takes, to aim within it.
now() { date +%s.%N; }
# Runs zepconv WORDS quietly and sends it SIG at a random moment within
# TOOK seconds; sets delay and status, and leaves its stderr in $work/err.
stop_within() {  # took sig words...
  local took=$1 sig=$2 pid
  shift 2
  delay=$(echo "scale=3; $took * $((RANDOM % 1000)) / 1000" | bc)
  run_bg "$@" --quiet >/dev/null 2>"$work/err"
  pid=$!
  sleep "$delay"
  kill -"$sig" "$pid" 2>/dev/null
  wait "$pid"
  status=$?
}

for fs in ${ZEP_KILL_FS-${!folders[@]}}; do
  root=${folders[$fs]} interrupted=0
  for name in convert dump carve echogram netcdf; do
    # HDF5 cannot write its files on fusefat at all ("HDF error"), and
    # fusefat mangles the names of what it leaves.
    [ "$fs:$name" = vfat:netcdf ] && continue
    words=$(command_of "$name" "$fs")
    # The whole new output, and a folder of earlier files of the same names.
    mkdir -p "$root/$name-new" "$root/$name-old"
    start=$(now)
    "$zepconv" ${words//OUT/$root/$name-new} --quiet >/dev/null 2>&1
    newStatus=$?
    took=$(echo "$(now) - $start" | bc)
    for f in "$root/$name-new"/*; do echo "earlier $(basename "$f")" > "$root/$name-old/$(basename "$f")"; done
    for sig in INT TERM KILL; do
      for ((round = 0; round < rounds; round++)); do
        out=$root/$name-$sig-$round
        cp -r "$root/$name-old" "$out"
        stop_within "$took" "$sig" ${words//OUT/$out}
        what="$fs $name SIG$sig after ${delay}s (status $status)"
        [ "$status" -gt 128 ] && interrupted=$((interrupted + 1))
        case $sig:$status in
          # Before zepconv has set its handlers (nothing said yet), a signal
          # ends it as it ends any program.
          INT:130 | TERM:143) [ ! -s "$work/err" ] || grep -q 'interrupted' "$work/err" || fail "$what: no \"interrupted\" on stderr" ;;
          KILL:137) ;;
          *:$newStatus) ;;  # the run ended before the signal came
          *) fail "$what: unexpected status"; cat "$work/err" ;;
        esac
        left=$(cd "$out" && ls -A | grep '^~' || true)
        if [ -n "$left" ] && [ "$sig" = KILL ] && [ "$fs" != vfat ] && [ "$name" != netcdf ]; then
          # An unnamed file gets a name only when whole, just before it
          # replaces the earlier one; a kill between the two leaves it named.
          for t in $left; do
            whole=0
            for f in "$root/$name-new"/*; do same_output "$out/$t" "$f" && whole=1; done
            [ "$whole" = 1 ] || fail "$what: left $t, which is not a whole new output"
          done
        fi
        if [ -n "$left" ]; then
          if [ "$sig" = KILL ]; then
            # A named temporary file: the next run into the folder removes it.
            echo "$what: left $left; the next run into the folder removes it"
            "$zepconv" ${words//OUT/$out} --quiet >/dev/null 2>&1
            left=$(cd "$out" && ls -A | grep '^~' || true)
            [ -z "$left" ] || fail "$what: a later run left $left"
          else
            fail "$what: left $left"
          fi
        fi
        for f in "$out"/*; do
          base=$(basename "$f")
          cmp -s "$f" "$root/$name-old/$base" || same_output "$f" "$root/$name-new/$base" ||
            fail "$what: $base is neither the earlier file nor the whole new one"
        done
        rm -rf "$out"
      done
    done
    rm -rf "$root/$name-new" "$root/$name-old"
  done
  commands=5; [ "$fs" = vfat ] && commands=4
  echo "$fs: $interrupted runs of $((commands * 3 * rounds)) ended by the signal, the others before it"
done
# On vfat, once more with the moment chosen: a run stopped while its
# temporary file exists keeps it through a second run into the folder, and
# so does a file of the same pattern from another machine; a killed run's
# file goes with the next run.
temporary_of() {  # folder [name to pass over]: waits until a run has made its temporary file
  for _ in $(seq 500); do
    ls -A "$1" | grep '^~zep' | grep -vx -- "${2:-}" && return
    sleep 0.01
  done
}
if [ -n "${folders[vfat]:-}" ]; then
  out=${folders[vfat]}/live
  mkdir -p "$out"
  run_bg dump "$work/disc.img" --out "$out/scan.bin" 2>"$work/err" >&2
  pid=$!
  live=$(temporary_of "$out")
  kill -STOP "$pid"
  foreign=$(echo "$live" | sed 's/^~zep-[0-9a-f]*-/~zep-00000000-/')
  echo earlier > "$out/$foreign"
  "$zepconv" dump "$work/disc.img" --out "$out/other.bin" >/dev/null 2>&1
  [ -n "$live" ] && [ -e "$out/$live" ] || fail "vfat: a stopped run's temporary file '$live' was taken"
  [ -e "$out/$foreign" ] || fail "vfat: another machine's temporary file was taken"
  kill -CONT "$pid"
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "vfat: the stopped run failed once continued (status $status): $(cat "$work/err")"
  cmp -s "$out/scan.bin" "$out/other.bin" || fail "vfat: the stopped run's dump is not whole"
  run_bg dump "$work/disc.img" --out "$out/scan.bin" 2>"$work/err" >&2
  pid=$!
  dead=$(temporary_of "$out" "$foreign")
  kill -KILL "$pid"
  wait "$pid"
  [ -n "$dead" ] && [ -e "$out/$dead" ] || fail "vfat: a killed run left no temporary file to remove"
  "$zepconv" dump "$work/disc.img" --out "$out/other.bin" >/dev/null 2>&1
  [ ! -e "$out/$dead" ] || fail "vfat: a killed run's temporary file '$dead' outlived the next run"
  [ -e "$out/$foreign" ] || fail "vfat: another machine's temporary file was taken"
  echo "vfat: a stopped run's file and another machine's stayed, a killed run's went"
fi

# netcdf stopped while it writes names its file; into a read-only folder it
# names the file it could not write.
for fs in ${ZEP_KILL_FS-${!folders[@]}}; do
  [ "$fs" = vfat ] && continue
  out=${folders[$fs]}/netcdf-named
  mkdir -p "$out"
  run_bg netcdf "$record" -o "$out/rec.nc" 2>"$work/err" >&2
  pid=$!
  live=$(temporary_of "$out")
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  grep -qx "zepconv: $out/rec.nc: interrupted, not finished" "$work/err" ||
    fail "$fs: netcdf stopped while writing (status $status) said: $(cat "$work/err")"
  left=$(ls -A "$out")
  [ -z "$left" ] || fail "$fs: netcdf stopped while writing left $left"
  echo "$fs: netcdf stopped while writing named its file and left nothing"
done

# inventory --netcdf stopped at a random moment: INT and TERM leave no
# temporary file anywhere in the tree; after KILL, --resume into the folder
# removes what the killed run left and finishes the box, whose manifest then
# holds for every file.
temporaries() { find "$1" -name '~*' -printf '%P '; }
for fs in ${ZEP_KILL_FS-${!folders[@]}}; do
  [ "$fs" = vfat ] && continue
  root=${folders[$fs]}
  start=$(now)
  "$zepconv" inventory "$work/zep.img" --netcdf --out "$root/box-whole" --quiet >/dev/null 2>&1 ||
    fail "$fs: inventory --netcdf failed uninterrupted"
  took=$(echo "$(now) - $start" | bc)
  for sig in INT TERM KILL; do
    out=$root/box-$sig
    stop_within "$took" "$sig" inventory "$work/zep.img" --netcdf --out "$out"
    what="$fs inventory --netcdf SIG$sig after ${delay}s (status $status)"
    case $sig:$status in
      INT:130 | TERM:143) [ ! -s "$work/err" ] || grep -q 'interrupted' "$work/err" || fail "$what: no \"interrupted\" on stderr" ;;
      KILL:137 | *:0) ;;
      *) fail "$what: unexpected status: $(cat "$work/err")" ;;
    esac
    [ ! -d "$out" ] || [ "$sig" = KILL ] || [ -z "$(temporaries "$out")" ] || fail "$what: left $(temporaries "$out")"
    "$zepconv" inventory "$work/zep.img" --netcdf --out "$out" --resume --quiet >/dev/null 2>"$work/err" ||
      fail "$what: the resumed run failed: $(cat "$work/err")"
    [ -z "$(temporaries "$out")" ] || fail "$what: the resumed run left $(temporaries "$out")"
    (cd "$out" && sha256sum --quiet -c manifest-sha256.txt) || fail "$what: the resumed box's manifest does not hold"
    cmp -s "$out/inventory.csv" "$root/box-whole/inventory.csv" || fail "$what: the resumed box's inventory.csv differs"
    rm -rf "$out"
  done
  rm -rf "$root/box-whole"
  echo "$fs: inventory --netcdf stopped by INT, TERM and KILL left no temporary file once resumed"
done

# Into a read-only folder, netcdf names the file it could not write and
# inventory claims nothing; both exit 2.
mkdir -p "$work/ro"
if mount -t tmpfs -o ro,size=1m tmpfs "$work/ro"; then
  mounts+=("$work/ro")
  "$zepconv" netcdf "$record" -o "$work/ro/rec.nc" >/dev/null 2>"$work/err"
  status=$?
  [ "$status" -eq 2 ] && grep -q "^zepconv: $work/ro/rec.nc: " "$work/err" ||
    fail "netcdf into a read-only folder: status $status, said: $(cat "$work/err")"
  echo "netcdf into a read-only folder: status $status, $(cat "$work/err")"
  "$zepconv" inventory "$work/zep.img" --out "$work/ro" >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -eq 2 ] && grep -q "^zepconv: $work/ro" "$work/err" && ! grep -q 'index.html' "$work/out" ||
    fail "inventory into a read-only folder: status $status, printed: $(cat "$work/out" "$work/err")"
  echo "inventory into a read-only folder: status $status, $(cat "$work/err")"
fi

[ "$failures" -eq 0 ] && echo "every interrupted run left the folders as promised"
exit $((failures > 0))
