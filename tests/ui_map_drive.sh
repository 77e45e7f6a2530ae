#!/bin/sh
# Maps drives in the Wine prefix of a build tree for the tests of the Windows
# program: M: reads C:\zep-drive-m.img as a removable (MO) drive, N: the same
# file as a fixed disk. The tests write the image before they scan.
#   ui_map_drive.sh WINE-RUN-WRAPPER WINEPREFIX
set -eu
wrapper=$1
prefix=$2

"$wrapper" cmd /c exit  # creates the prefix on first use
for d in m n; do
  mkdir -p "$prefix/drive_c/zep-drive-$d"
  ln -sfn "../drive_c/zep-drive-$d" "$prefix/dosdevices/$d:"
  ln -sfn ../drive_c/zep-drive-m.img "$prefix/dosdevices/$d::"
done

# Drive types and the list of drives are read when the server starts: restart
# it once, the first time, and not on every run.
if [ ! -f "$prefix/.zep-drives-mapped" ]; then
  "$wrapper" reg add 'HKLM\Software\Wine\Drives' /v m: /d floppy /f
  "$wrapper" reg add 'HKLM\Software\Wine\Drives' /v n: /d hd /f
  WINEPREFIX="$prefix" wineserver -k || true
  WINEPREFIX="$prefix" wineserver -w || true
  touch "$prefix/.zep-drives-mapped"
fi
