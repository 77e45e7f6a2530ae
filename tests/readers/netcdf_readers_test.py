#!/usr/bin/python3
"""zepconv netcdf's files as readers we did not write see them.

xarray (over python3-netcdf4) opens every group of each file, and every
sample, ping time and fix must be what zepconv's own walk gives: the samples
at the offsets `pings` names, the times and positions `pings` gives, the
fixes `track` gives. ncdump -h must show the groups.

With EMULATOR and NATIVE_ZEPCONV, ZEPCONV is a Windows zepconv.exe run
through EMULATOR (Wine), the record files are still made by the native tools,
and every file it writes must also equal, variable by variable, the one the
native zepconv writes of the same record.

usage: netcdf_readers_test.py ZEPCONV MAKE_SAMPLE_DISC MAKE_RECORDS [EMULATOR NATIVE_ZEPCONV]
"""

import json
import math
import subprocess
import sys
import tempfile
from datetime import datetime, timezone
from pathlib import Path

import numpy as np
import xarray as xr

GROUPS = ["Provenance", "Sonar", "Sonar/Beam_group1", "Platform", "Environment", "Vendor_specific"]


# What a netCDF file carries of the moment it was written, and of the build
# of zepconv that wrote it (two trees need not be built from one commit).
MOMENT = {"date_created", "conversion_time", "conversion_software_version"}


def run(*args, ok=(0,)):
    words = [str(w) for a in args for w in (a if isinstance(a, list) else [a])]
    r = subprocess.run(words, capture_output=True, text=True)
    if r.returncode not in ok:
        raise AssertionError(f"{args}: exit {r.returncode}\n{r.stderr}")
    return r.stdout


def ns(iso):
    """ISO 8601 UTC text, as zepconv writes it, in nanoseconds since 1970."""
    t = datetime.fromisoformat(iso.replace("Z", "+00:00")).astimezone(timezone.utc)
    return round(t.timestamp() * 1000) * 1_000_000


def unread_mask(record, size):
    """The bytes the record's map (RECORD.map, GNU ddrescue format) names as not read."""
    mask = np.zeros(size, dtype=bool)
    path = Path(str(record) + ".map")
    if not path.exists():
        return mask
    lines = [l.split() for l in path.read_text().splitlines() if l.strip() and not l.startswith("#")]
    for pos, length, status in lines[1:]:
        if status != "+":
            mask[int(pos, 0):int(pos, 0) + int(length, 0)] = True
    return mask


def samples_of(nc):
    raw = xr.open_dataset(nc, group="Sonar/Beam_group1", mask_and_scale=False, decode_times=False)
    return raw.backscatter_r.values[0], raw.ping_index.values


def compare_with_undamaged(damaged_nc, whole_nc):
    """Every sample of the damaged record's netCDF is the undamaged one's, or the fill value."""
    damaged, damaged_index = samples_of(damaged_nc)
    whole, whole_index = samples_of(whole_nc)
    row = {int(i): k for k, i in enumerate(whole_index)}
    fills = 0
    for k, i in enumerate(damaged_index):
        a, b = damaged[k], whole[row[int(i)]]
        n = min(len(a), len(b))
        assert ((a[:n] == b[:n]) | (a[:n] == -1)).all(), f"ping {i}: a sample is neither the disc's nor a fill"
        fills += int(((a[:n] == -1) & (b[:n] != -1)).sum())
    return fills


def read(nc, group):
    """A group whole, raw, with the file closed again."""
    with xr.open_dataset(nc, group=group, mask_and_scale=False, decode_times=False) as ds:
        return ds.load()


def same_variables(nc, reference, roots=None):
    """Every group, variable and attribute of nc as in reference, but for the moment each was written.

    roots: the folders (nc's, reference's) the record files were in, which
    source_filenames names, each with its system's separators."""
    for g in [None] + GROUPS:
        a, b = (read(f, g) for f in (nc, reference))
        assert sorted(a.variables) == sorted(b.variables), (g, sorted(a.variables), sorted(b.variables))
        assert {k: v for k, v in a.attrs.items() if k not in MOMENT} == \
               {k: v for k, v in b.attrs.items() if k not in MOMENT}, (g, a.attrs, b.attrs)
        for name in a.variables:
            x, y = a[name], b[name]
            if name == "source_filenames" and roots:
                x, y = [[str(v).replace("\\", "/").removeprefix(str(r)) for v in z.values] for z, r in zip((x, y), roots)]
                assert x == y, (x, y)
                continue
            assert x.dims == y.dims and x.dtype == y.dtype and str(x.attrs) == str(y.attrs), (g, name, x, y)
            assert np.array_equal(x.values, y.values, equal_nan=x.dtype.kind == "f"), (g, name)


def check(tools, record, nc, expect_hole=False):
    zepconv, native = tools
    whole = not expect_hole
    run(zepconv, "netcdf", record, "-o", nc, "--deflate", "1", ok=(0,) if whole else (1,))
    if native:
        run(native, "netcdf", record, "-o", str(nc) + ".native", "--deflate", "1", ok=(0,) if whole else (1,))
        same_variables(nc, str(nc) + ".native")
    pings = [json.loads(line) for line in run(zepconv, "pings", record, "--format", "jsonl",
                                               ok=(0,) if whole else (1,)).splitlines()]
    track = run(zepconv, "track", record, "--format", "csv", ok=(0,) if whole else (1,)).splitlines()[1:]
    data = Path(record).read_bytes()
    unread = unread_mask(record, len(data))

    for g in GROUPS:
        xr.open_dataset(nc, group=g).load()
    root = xr.open_dataset(nc)
    assert root.attrs["Conventions"] == "CF-1.7, SONAR-netCDF4-1.0, ACDD-1.3", root.attrs
    assert root.attrs["sonar_convention_name"] == "SONAR-netCDF4"

    beam = xr.open_dataset(nc, group="Sonar/Beam_group1", decode_times=False)
    assert beam.backscatter_r.dims == ("channel", "ping_time", "range_sample")
    assert beam.sizes["ping_time"] == len(pings), (beam.sizes, len(pings))
    # Every sample, and the fill after each ping's last one.
    raw = xr.open_dataset(nc, group="Sonar/Beam_group1", mask_and_scale=False, decode_times=False)
    samples = raw.backscatter_r.values[0]
    index, mode = beam.ping_index.values, beam["mode"].values
    for i, p in enumerate(pings):
        start = p["offset"] + 256
        expected = np.frombuffer(data[start:start + p["sample_count"]], dtype=np.uint8).astype(np.int16)
        expected[unread[start:start + p["sample_count"]]] = -1  # not read: the fill value
        assert int((expected == -1).sum()) == p["unread_samples"], p
        assert (samples[i, :p["sample_count"]] == expected).all(), f"ping {p['ping']}: samples differ"
        assert (samples[i, p["sample_count"]:] == -1).all(), f"ping {p['ping']}: no fill after the samples"
        assert int(index[i]) == p["ping"] and int(mode[i]) == p["mode"]
    decoded = xr.open_dataset(nc, group="Sonar/Beam_group1").backscatter_r
    assert decoded.dtype == np.float32 and bool(np.isnan(decoded.values[0, 0, -1]) == (pings[0]["sample_count"] < decoded.sizes["range_sample"]))

    # Ping times: strictly increasing; a ping's own or interpolated time as
    # pings gives it (to its millisecond), others flagged.
    times = beam.ping_time.values.astype(np.int64)
    assert (np.diff(times) > 0).all(), "ping_time is not strictly increasing"
    assert xr.open_dataset(nc, group="Sonar/Beam_group1").ping_time.dtype.kind == "M"
    source = beam.ping_time_source.values
    lats, lons = beam.platform_latitude.values, beam.platform_longitude.values
    position = xr.open_dataset(nc, group="Platform").position_source.values
    for i, p in enumerate(pings):
        if p["ping_time"] is not None and source[i] in (0, 1, 4):
            assert abs(int(times[i]) - ns(p["ping_time"])) < 1_000_000, (p, times[i])
            assert ["fix", "interpolated", "", "", "extrapolated"][int(source[i])] == p["ping_time_source"], p
        else:
            assert source[i] in (2, 3), (p, source[i])
        lat, lon = float(lats[i]), float(lons[i])
        if p["ping_position"] == "none":
            assert math.isnan(lat) and math.isnan(lon)
        else:
            assert f"{lat:.7f}" == f"{p['ping_lat']:.7f}" and f"{lon:.7f}" == f"{p['ping_lon']:.7f}", (p, lat, lon)
        assert ["fix", "interpolated", "none"][int(position[i])] == p["ping_position"]

    # The fixes, each once, on time1 as track gives them.
    platform = xr.open_dataset(nc, group="Platform", decode_times=False)
    assert platform.sizes["time1"] == len(track), (platform.sizes, len(track))
    fixes = zip(platform.fix_ping_index.values, platform.time1.values, platform.latitude.values, platform.longitude.values)
    for row, (fix_ping, fix_time, fix_lat, fix_lon) in zip(track, fixes):
        _, _, ping, time, lat, lon, _ = row.split(",")
        assert int(fix_ping) == int(ping) and f"{fix_lat:.7f}" == lat and f"{fix_lon:.7f}" == lon, row
        assert int(fix_time) == ns(time), (row, int(fix_time))

    vendor = xr.open_dataset(nc, group="Vendor_specific").load()
    columns = {k: vendor[k].values for k in ["gps_text", "u16_22", "s16_16", "offset", "flags", "u8_38"]}
    for i, p in enumerate(pings):
        assert columns["gps_text"][i] == p["gps_text"], (columns["gps_text"][i], p)  # text, not bytes
        for k in ["u16_22", "s16_16", "offset", "flags", "u8_38"]:
            assert int(columns[k][i]) == p[k], (k, p)
    env = xr.open_dataset(nc, group="Environment")
    assert math.isnan(float(env.sound_speed_indicative[0]))
    return pings, source


def main():
    zepconv, make_disc, make_records = sys.argv[1:4]
    # Under an emulator the records come from the native zepconv, and check
    # compares each file with its own.
    native = sys.argv[5] if len(sys.argv) > 5 else None
    tools = ([sys.argv[4], zepconv], native) if native else (zepconv, None)
    zepconv = native or zepconv
    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        run(make_disc, tmp / "tk40.img")
        run(zepconv, "convert", tmp / "tk40.img", "--out", tmp / "tk40", "--record", "1")
        run(make_disc, "--type", "zep", "--damaged", tmp / "zep.img")
        run(zepconv, "convert", tmp / "zep.img", "--out", tmp / "zep", "--record", "2", "--record", "4", ok=(0, 1))
        run(make_disc, "--type", "zep", tmp / "zepwhole.img")
        run(zepconv, "convert", tmp / "zepwhole.img", "--out", tmp / "zepwhole", "--record", "2", "--record", "4")
        run(make_records, tmp)

        pings, _ = check(tools, tmp / "tk40" / "SURVEY1.ZEP", tmp / "tk40.nc")
        assert {p["ping_position"] for p in pings} >= {"fix", "interpolated"}
        # The nine pings after the last fix go on at the record's two seconds a ping.
        assert [p["ping_time_source"] for p in pings[-10:]] == ["fix"] + ["extrapolated"] * 9
        steps = np.diff(xr.open_dataset(tmp / "tk40.nc", group="Sonar/Beam_group1", decode_times=False)
                        .ping_time.values[-10:].astype(np.int64))
        assert (steps == 2_000_000_000).all(), steps

        pings, _ = check(tools, tmp / "MIXED.ZEP", tmp / "mixed.nc")
        assert len({p["mode"] for p in pings}) == 13

        pings, _ = check(tools, tmp / "zep" / "HARBOUR.ZEP", tmp / "hole.nc", expect_hole=True)
        assert len(pings) == 239 and 15 not in [p["ping"] for p in pings]
        assert [p["ping"] for p in pings if p["unread_samples"]] == [14]
        assert [p["missing_before"] for p in pings if p["ping"] == 16] == [1]

        # The damaged disc's records against the same records of the
        # undamaged one: what was not read is a fill value, the rest equal.
        for name, unread in [("HARBOUR.ZEP", 2816), ("REEF.A", None)]:
            check(tools, tmp / "zepwhole" / name, tmp / "whole.nc")
            if name != "HARBOUR.ZEP":
                check(tools, tmp / "zep" / name, tmp / "damaged.nc", expect_hole=True)
            fills = compare_with_undamaged(tmp / ("hole.nc" if name == "HARBOUR.ZEP" else "damaged.nc"), tmp / "whole.nc")
            assert fills > 0 and (unread is None or fills == unread), (name, fills)

        pings, source = check(tools, tmp / "NOGPS.ZEP", tmp / "nogps.nc")
        assert all(p["ping_position"] == "none" for p in pings) and (source == 2).all()
        first = xr.open_dataset(tmp / "nogps.nc", group="Sonar/Beam_group1").ping_time.values[0]
        assert str(first).startswith("2008-11-05T00:00:00"), first

        pings, _ = check(tools, tmp / "MIDNIGHT.ZEP", tmp / "midnight.nc")
        days = {p["ping_time"][:10] for p in pings if p["ping_time"]}
        assert days == {"2008-11-05", "2008-11-06"}, days

        # inventory --netcdf of the damaged disc: a file for each record,
        # and under an emulator each as the native inventory writes it.
        box = tmp / "box"
        run(tools[0], "inventory", tmp / "zep.img", "--netcdf", "--out", box, ok=(0, 1))
        files = sorted(p.relative_to(box) for p in box.rglob("*.nc"))
        assert len(files) >= 2, files
        if native:
            run(native, "inventory", tmp / "zep.img", "--netcdf", "--out", tmp / "box.native", ok=(0, 1))
            assert files == sorted(p.relative_to(tmp / "box.native") for p in (tmp / "box.native").rglob("*.nc"))
        for f in files:
            if native:
                same_variables(box / f, tmp / "box.native" / f, (box, tmp / "box.native"))
            xr.open_dataset(box / f, group="Sonar/Beam_group1").load()

        header = run("ncdump", "-h", tmp / "mixed.nc")
        for g in ["Provenance", "Sonar", "Beam_group1", "Platform", "Environment", "Vendor_specific"]:
            assert f"group: {g} {{" in header, g
    print("netCDF files read back by xarray and ncdump: every sample, ping time and fix as zepconv walks them")


if __name__ == "__main__":
    main()
