#!/usr/bin/env bash
# A drive that fails, made from programs we did not write: nbdkit serves a
# disc image, answers EIO for chosen byte ranges and logs every request it
# gets ("OFFSET COUNT" a line, "BAD" behind the ones it failed); nbdfuse
# exposes it as the file DIR/drive (DIR is the mount point). With RATE (say 8M) nbdkit's rate filter
# makes it as slow as an MO drive (in bits per second: 64M for 8 MB/s).
#   faulty_drive.sh up DIR IMAGE LOG "POS:END POS:END ..." [RATE]
#   faulty_drive.sh down DIR
# Needs root (FUSE mount). Both are safe to repeat; "down" never fails.
set -uo pipefail

# nbdkit's eval plugin runs this with /bin/sh for each read, as
# "pread HANDLE COUNT OFFSET FLAGS"; a bash started per read would cost more
# than the read.
# shellcheck disable=SC2016
pread='count=$3 offset=$4 end=$(($4 + $3))
for range in $ZEP_DRIVE_BAD; do
  if [ "$offset" -lt "${range#*:}" ] && [ "$end" -gt "${range%:*}" ]; then
    echo "$offset $count BAD" >>"$ZEP_DRIVE_LOG"
    echo "EIO unreadable" >&2
    exit 1
  fi
done
echo "$offset $count" >>"$ZEP_DRIVE_LOG"
exec dd if="$ZEP_DRIVE_IMAGE" bs="$count" skip="$offset" count=1 iflag=skip_bytes status=none'

# DIR as /proc/mounts names it: absolute, its links resolved. Only its
# folder is looked at, since the mount point itself may hang up (a FUSE
# server that died).
absolute() { printf '%s/%s' "$(cd "$(dirname -- "$1")" 2>/dev/null && pwd -P)" "$(basename -- "$1")"; }

case "${1:-}" in
  up)
    dir=$2
    export ZEP_DRIVE_IMAGE=$3 ZEP_DRIVE_LOG=$4 ZEP_DRIVE_BAD=${5:-}
    filters=() rate=()
    [ -n "${6:-}" ] && filters=(--filter=rate) rate=(rate="$6")
    size=$(stat -c %s "$ZEP_DRIVE_IMAGE") || exit 1
    : >"$ZEP_DRIVE_LOG"
    mkdir -p "$dir"
    nbdfuse -r "$dir/drive" --command nbdkit -s "${filters[@]}" eval \
      get_size="echo $size" pread="$pread" \
      block_size='echo 512 4096 131072' "${rate[@]}" >"$ZEP_DRIVE_LOG.nbdfuse" 2>&1 &
    for _ in $(seq 100); do
      [ -f "$dir/drive" ] && [ "$(stat -c %s "$dir/drive" 2>/dev/null)" = "$size" ] && exit 0
      sleep 0.1
    done
    echo "faulty_drive.sh: $dir/drive did not appear: $(cat "$ZEP_DRIVE_LOG.nbdfuse")" >&2
    "$0" down "$dir"
    exit 1
    ;;
  down)
    dir=$(absolute "$2")
    # nbdfuse (and the nbdkit it started) end when their mount goes.
    if grep -q " $dir fuse" /proc/mounts 2>/dev/null; then
      umount "$dir" 2>/dev/null || fusermount3 -u "$dir" 2>/dev/null || fusermount -u "$dir" 2>/dev/null
    fi
    exit 0
    ;;
  *)
    sed -n '2,10p' "$0" >&2
    exit 2
    ;;
esac
