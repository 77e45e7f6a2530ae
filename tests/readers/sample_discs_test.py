#!/usr/bin/python3
"""The sample discs, whole, damaged and cut short, through every command that
counts pings: check, convert and info must give each record the same pings,
the same pings with unread samples and the same missing pings, and each
command its exit status.

usage: sample_discs_test.py ZEPCONV MAKE_SAMPLE_DISC
"""

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
