#!/usr/bin/python3
"""The sample discs, whole, damaged and cut short, through every command that
counts pings: check, convert and info must give each record the same pings,
the same pings with unread samples and the same missing pings, and each
command its exit status. Then the lines that count what was lost, word for
word: sectors that failed apart from sectors past the end and from sectors a
domain rescue never tried, a TK40 block counted as two 2048-byte sectors; and the runs carve finds beside the inventory.

usage: sample_discs_test.py ZEPCONV MAKE_SAMPLE_DISC
"""

import csv
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path


def run(*args):
    r = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    return r.returncode, r.stdout, r.stderr


# disc: how to make it; per record: pings, pings with unread samples, missing
# pings (None: not converted); and the statuses of check, convert and info.
DISCS = {
    "tk40": ([], None, {1: (320, 0, 0), 2: (240, 0, 0), 3: (400, 0, 0), 4: (180, 0, 0), 5: (260, 0, 0)}, (0, 0, 0)),
    "tk40-damaged": (["--damaged"], None,
                     {1: (320, 0, 0), 2: (237, 0, 3), 3: (400, 0, 0), 4: (179, 0, 1), 5: (260, 0, 0)}, (1, 1, 1)),
    "zep": (["--type", "zep"], None,
            {1: (320, 0, 0), 2: (240, 0, 0), 3: (400, 0, 0), 4: (180, 0, 0), 5: (260, 0, 0)}, (0, 0, 0)),
    "zep-damaged": (["--type", "zep", "--damaged"], None,
                    {1: (320, 0, 0), 2: (239, 1, 1), 3: (400, 0, 0), 4: (179, 1, 1), 5: (260, 0, 0)}, (1, 1, 1)),
    # Cut 1728 bytes into a sector of TRANSECT3: those bytes are kept.
    "zep-cut": (["--type", "zep"], 3000000,
                {1: (320, 0, 0), 2: (240, 0, 0), 3: (282, 0, 0), 4: (0, 0, 0), 5: (0, 0, 0)}, (1, 1, 1)),
}


def paint(map_text, ranges, status):
    """A GNU ddrescue mapfile's blocks with [pos, end) of each range set to status."""
    lines = [l for l in map_text.splitlines() if l.strip() and not l.startswith("#")]
    blocks = [(int(p, 0), int(s, 0), st) for p, s, st in (l.split()[:3] for l in lines[1:])]
    for pos, end in ranges:
        out = []
        for p, size, st in blocks:
            for a, b, t in ((p, min(p + size, pos), st), (max(p, pos), min(p + size, end), status),
                            (max(p, end), p + size, st)):
                if a < b:
                    out.append((a, b - a, t))
        blocks = out
    return lines[0] + "\n" + "".join(f"0x{p:X} 0x{s:X} {t}\n" for p, s, t in blocks)


# Each command's words on the sample discs: lines its stdout and stderr must
# hold, and its status. {d} is the folder of the images.
COUNTS = [
    # Sectors that failed, apart from sectors a garbage entry claims past the
    # end; a TK40 block is two of them, so the totals add like to like.
    (["convert", "{d}/tk40-damaged.img", "{d}/zep-damaged.img", "-q", "-o", "{d}/c"], 1,
     ["{d}/tk40-damaged.img -> {d}/c/tk40-damaged: 5 records, 1396 pings, 8 sectors lost, "
      "3999480 sectors past the end, partly done",
      "{d}/zep-damaged.img -> {d}/c/zep-damaged: 5 records, 1398 pings, 4 sectors lost, "
      "1999640 sectors past the end, partly done",
      "total: 2 discs, 10 records, 2794 pings, 12 sectors lost, 5999120 sectors past the end, partly done"], []),
    (["check", "{d}/tk40-damaged.img", "{d}/zep-damaged.img"], 1,
     ["{d}/tk40-damaged.img: 5 records, 1396 pings, 8 sectors lost, 3999480 sectors past the end, partly done",
      "total: 2 discs, 10 records, 2794 pings, 12 sectors lost, 5999120 sectors past the end, partly done"], []),
    # Both generations counted in pings; sectors where the file lacks some, and why.
    (["convert", "{d}/zep-damaged.img", "-q", "-o", "{d}/z"], 1,
     ["record 1 (SURVEY1): 320 pings -> {d}/z/SURVEY1.ZEP",
      "record 2 (HARBOUR): 239 of 240 pings -> {d}/z/HARBOUR.ZEP",
      "record 5 (NIGHT2): 260 pings, 358 of 1999998 sectors (the directory's 2000000 less the first 2, "
      "never copied) -> {d}/z/NIGHT2.ZEP"], []),
    (["list", "{d}/zep-damaged.img"], 0, [],
     ["zepconv: record 5 (NIGHT2): 1999640 of 1999998 sectors to copy (the 2000000 listed less the first 2, never "
      "copied) lie past the end of {d}/zep-damaged.img (4640768 bytes)"]),
    (["check", "{d}/zep.img"], 0,
     ["Count is the directory's; the first 2 sectors of a record are never copied, the other sector columns "
      "count the rest."], []),
    # A domain rescue: outside the domain ddrescue tried nothing ('?'); its
    # bad sectors are '-'.
    (["carve", "{d}/zep-damaged.img", "--mapfile", "{d}/rescued.map", "--all", "-o", "{d}/r"], 1, [],
     ["zepconv: 4 sectors could not be read (first: {d}/rescued.map marks bytes 614400 to 620543 '-' (not "
      "rescued)); runs end at them",
      "zepconv: 45 sectors were never tried by GNU ddrescue (first: {d}/rescued.map marks bytes 2048 to 28671 "
      "'?' (never tried)); runs end at them"]),
    (["convert", "{d}/zep-damaged.img", "--mapfile", "{d}/partial.map", "-q", "-o", "{d}/p", "--record", "2"], 1,
     [], ["zepconv: record 2 (HARBOUR): 3 of 630 sectors could not be read (1 of them was never tried by GNU "
          "ddrescue); their bytes are marked unread in {d}/p/HARBOUR.ZEP.map (first: {d}/partial.map marks bytes "
          "614400 to 616447 '?' (never tried))"]),
    (["check", "{d}/zep-damaged.img", "--mapfile", "{d}/partial.map"], 1, [],
     ["zepconv: record 2 (HARBOUR): damaged: 3 sectors unreadable (300-302), 1 of them never tried by GNU ddrescue, "
      "1 ping with unread samples, ping 15 missing, the ping walk breaks at byte 617216 (1 hole passed over)"]),
    # On a TK40 disc the scan dump area's runs of ping records, as the inventory finds them.
    (["carve", "{d}/tk40-runs.img", "-o", "{d}/k"], 0,
     ["{d}/k/carved-000039735056.zep: 40 pings from byte 39735056",
      "{d}/k/carved-000041822331.zep: 25 pings from byte 41822331",
      "{d}/k/carved-000049162240.zep: 60 pings from byte 49162240"], []),
]


def counts_table(zepconv, make_disc, tmp, failures):
    d = str(tmp)
    run(make_disc, "--dump-runs", tmp / "tk40-runs.img")
    code, _, err = run(zepconv, "domain", tmp / "zep-damaged.img", "-o", tmp / "domain.map")
    assert code == 0, err
    damaged = [l.split() for l in (tmp / "zep-damaged.map").read_text().splitlines() if l.endswith("-")]
    holes = [(int(p, 0), int(p, 0) + int(n, 0)) for p, n, _ in damaged]
    (tmp / "rescued.map").write_text(paint((tmp / "domain.map").read_text(), holes, "-"))
    (tmp / "partial.map").write_text(paint((tmp / "rescued.map").read_text(), [(614400, 616448)], "?"))
    for args, status, out_lines, err_lines in COUNTS:
        code, out, err = run(zepconv, *[a.format(d=d) for a in args])
        missing = [l.format(d=d) for l in out_lines if l.format(d=d) not in out.splitlines()]
        missing += [l.format(d=d) for l in err_lines if l.format(d=d) not in err.splitlines()]
        if code != status or missing:
            failures.append(f"{args[0]} {args[1]}: status {code}, missing {missing}\n{out}{err}")
    # The dump of the same disc, split, and the inventory find the same runs.
    run(zepconv, "dump", tmp / "tk40-runs.img", "-o", tmp / "runs.bin")
    _, out, _ = run(zepconv, "split", tmp / "runs.bin", "-o", tmp / "split")
    split = [l.split(": ")[1].split(" pings")[0] for l in out.splitlines()]
    (tmp / "partial").mkdir()
    shutil.copy(tmp / "zep-damaged.img", tmp / "partial" / "zep-partial.img")
    shutil.copy(tmp / "partial.map", tmp / "partial" / "zep-partial.map")
    run(zepconv, "inventory", tmp / "tk40-runs.img", tmp / "zep-damaged.img", tmp / "partial" / "zep-partial.img",
        "--out", tmp / "box")
    carved = sorted((tmp / "box" / "tk40-runs").glob("carved-*.zep"))
    if split != ["40", "25", "60"] or [p.name for p in carved] != [p.name for p in sorted((tmp / "k").iterdir())]:
        failures.append(f"the dump area's runs: split {split}, inventory {carved}")
    # The inventory's table counts them as check does.
    rows = list(csv.DictReader(open(tmp / "box" / "inventory.csv")))
    lost = {(r["image"], r["name"]): (r["units_lost"], r["units_past_end"], r["units_never_tried"])
            for r in rows if r["record"]}
    if (lost[("zep-damaged.img", "NIGHT2")] != ("0", "1999640", "0") or
            lost[("zep-damaged.img", "HARBOUR")] != ("3", "0", "0") or
            lost[("zep-partial.img", "HARBOUR")] != ("2", "0", "1")):
        failures.append(f"inventory.csv: units lost and past the end {lost}")


def counts_of_check(doc):
    return {r["record"]: (r["pings"], r["unread_pings"], r["missing_pings"]) for r in doc["records"]}


def main():
    zepconv, make_disc = sys.argv[1:3]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        for name, (flags, cut, expected, statuses) in DISCS.items():
            image = tmp / f"{name}.img"
            code, _, err = run(make_disc, *flags, image)
            assert code == 0, err
            if cut:
                with open(image, "r+b") as f:
                    f.truncate(cut)
            check_status, out, err = run(zepconv, "check", image, "--json")
            check = counts_of_check(json.loads(out))
            folder = tmp / name
            convert_status, out, err = run(zepconv, "-q", "convert", image, "--out", folder, "--json")
            converted = {f["record"]: (f["pings"], f["unread_pings"], f["missing_pings"], f["file"])
                         for f in json.loads(out)["files"]}
            files = [c[3] for c in converted.values()]
            info_status, out, err = run(zepconv, "info", "--json", *files)
            info = {i["file"]: (i["pings"], i["unread_pings"], i["missing_pings"]) for i in json.loads(out)}
            got_statuses = (check_status, convert_status, info_status)
            if got_statuses != statuses:
                failures.append(f"{name}: statuses check, convert, info {got_statuses}, expected {statuses}")
            for record, want in expected.items():
                by_convert = converted[record][:3]
                by_info = info[converted[record][3]]
                if not (check[record] == by_convert == by_info == want):
                    failures.append(f"{name} record {record}: check {check[record]}, convert {by_convert}, "
                                    f"info {by_info}, expected {want}")
            # A map goes with a file that has unread bytes, and only with it.
            for record, (_, unread, _, path) in converted.items():
                has_map = Path(path + ".map").exists()
                if has_map != (unread > 0 or (name == "zep-cut" and record == 3)):
                    failures.append(f"{name} record {record}: map beside the file: {has_map}")
        # Converting the whole disc over the damaged one's files takes their maps away.
        shutil.rmtree(tmp / "again", ignore_errors=True)
        shutil.copytree(tmp / "zep-damaged", tmp / "again")
        code, _, err = run(zepconv, "-q", "convert", tmp / "zep.img", "--out", tmp / "again")
        maps = sorted(p.name for p in (tmp / "again").glob("*.map"))
        if code != 0 or maps:
            failures.append(f"converting whole records over damaged ones: status {code}, maps left {maps}")
        counts_table(zepconv, make_disc, tmp, failures)
        code, _, err = run(zepconv, "info", tmp / "again" / "HARBOUR.ZEP")
        if code != 0:
            failures.append(f"info of the reconverted HARBOUR.ZEP: status {code}: {err}")
        # A map that is not one stops every reader rather than let zeros pass for samples.
        (tmp / "zep-damaged" / "HARBOUR.ZEP.map").write_text("not a map\n")
        for command in (["info"], ["pings"], ["track", "--format", "csv"]):
            code, _, err = run(zepconv, *command, tmp / "zep-damaged" / "HARBOUR.ZEP")
            if code != 2 or "HARBOUR.ZEP.map" not in err:
                failures.append(f"{command[0]} with a broken map: status {code}: {err}")
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("check, convert and info count alike on every sample disc")


if __name__ == "__main__":
    main()
