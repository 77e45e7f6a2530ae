#!/usr/bin/python3
"""The echogram viewer and the index, in a real browser: headless Chromium,
with no network, driven through its DevTools protocol over a pipe
(--remote-debugging-pipe: no port, no client library).

What the pointer reads on a damaged record (a hole, unread samples) is held
against `zepconv pings` and the record file's own bytes and map; zooming,
panning, keys, the track and the exports are used as a user would; names
that are markup stay text; a box of 200 discs is sorted and filtered.
usage: viewer_browser_test.py ZEPCONV MAKE_SAMPLE_DISC"""
import csv, io, json, os, re, shutil, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from checks import check, chromium_or_skip, failures  # noqa: E402
from devtools_pipe import Browser  # noqa: E402

zepconv, make_disc = sys.argv[1:3]
chromium = chromium_or_skip()


def disc(tmp, name, *args, renames=()):
    path = os.path.join(tmp, name)
    subprocess.run([make_disc, *args, path], check=True, capture_output=True)
    with open(path, "r+b") as f:
        directory = bytearray(f.read(2048))
        for old, new in renames:
            at = directory.find(old)
            directory[at:at + len(new)] = new
        f.seek(0)
        f.write(directory)
    return path


def unread_ranges(map_path):
    """The byte ranges a GNU ddrescue mapfile does not mark rescued."""
    if not os.path.exists(map_path):
        return []
    lines = [l.split() for l in open(map_path) if l.strip() and not l.startswith("#")]
    return [(int(p, 0), int(p, 0) + int(s, 0)) for p, s, st in (l[:3] for l in lines[1:]) if st != "+"]


def expected_value(record, row, sample, unread):
    if sample >= int(row["sample_count"]):
        return None
    at = int(row["offset"]) + 256 + sample
    if any(a <= at < b for a, b in unread):
        return None
    with open(record, "rb") as f:
        f.seek(at)
        return f.read(1)[0]


def viewer_checks(b, out, downloads):
    record = os.path.join(out, "damaged", "HARBOUR.ZEP")
    rows = list(csv.DictReader(io.StringIO(subprocess.run([zepconv, "pings", record], capture_output=True,
                                                          text=True).stdout)))
    by_ping = {int(r["ping"]): r for r in rows}
    unread = unread_ranges(record + ".map")
    b.open(os.path.join(out, "damaged", "HARBOUR-viewer.html"), "window.zepViewer && zepViewer.view() != null")
    damaged = next(int(r["ping"]) for r in rows if int(r["unread_samples"]) > 0)
    first_unread = next(s for s in range(int(by_ping[damaged]["sample_count"]))
                        if expected_value(record, by_ping[damaged], s, unread) is None)
    # ping, sample: a whole ping, the pings around the hole, the ping with unread samples (in and out of them),
    # a sample past a short ping's end, the last ping.
    cells = [(0, 100), (14, 300), (16, 4000), (damaged, first_unread), (damaged, max(0, first_unread - 5)),
             (200, 5119), (max(by_ping), 10)]
    for ping, sample in cells:
        b.js(f"zepViewer.show({ping - 10}, {ping + 10}, {max(0, sample - 20)}, {sample + 20})")
        b.mouse("mouseMoved", b.js(f"zepViewer.pointFor({ping}, {sample})"))
        got = b.wait("(r => r && r.state != 'loading' && r)(zepViewer.readout())")
        row = by_ping[ping]
        want = {"ping": ping, "time": row["ping_time"] or None, "position": row["ping_position"],
                "mode": int(row["mode"]), "sample": sample, "value": expected_value(record, row, sample, unread)}
        check({k: got[k] for k in want} == want, f"readout at ping {ping}, sample {sample}: {got} != {want}")
        for axis in ("lat", "lon"):
            value = got["latitude" if axis == "lat" else "longitude"]
            check((value is None) == (row["ping_" + axis] == "") and
                  (value is None or abs(value - float(row["ping_" + axis])) < 1e-7),
                  f"ping {ping}: {axis} {value} is zepconv's {row['ping_' + axis]}")
    # Every byte value from the file to the readout, those a data script escapes among them.
    want, got = [expected_value(record, by_ping[0], s, unread) for s in range(256)], []
    check(want == list(range(256)), f"ping 0's first 256 samples hold every byte value: {want}")
    for first in range(0, 256, 64):
        b.js(f"zepViewer.show(0, 4, {first}, {first + 63})")
        for sample in range(first, first + 64):
            b.mouse("mouseMoved", b.js(f"zepViewer.pointFor(0, {sample})"))
            got.append(b.wait("(r => r && r.state != 'loading' && r)(zepViewer.readout())")["value"])
    check(got == want, f"the readout gives ping 0's samples 0 to 255 as the file holds them: {got} != {want}")
    status = b.js("zepViewerChunk(0, 99, '\\u20ac', '', 1, [1]), document.getElementById('zv-status').textContent")
    check("could not read" in status, f"a chunk read as windows-1252 (0x80 as U+20AC) is refused: {status}")
    missing = next(i for i in range(max(by_ping)) if i not in by_ping)
    b.js(f"zepViewer.show({missing - 5}, {missing + 5}, 0, 100)")
    b.mouse("mouseMoved", b.js(f"zepViewer.pointFor({missing}, 50)"))
    got = b.wait("zepViewer.readout()")
    check(got["ping"] == missing and got["value"] is None and got["missing"]["first"] == missing,
          f"a missing ping reads as missing: {got}")

    # Zoom with the wheel, pan by dragging, step by keys.
    b.js("zepViewer.show(0, 200, 0, 4000)")
    centre = b.js("zepViewer.pointFor(100, 2000)")
    before = b.js("zepViewer.view()")
    b.mouse("mouseWheel", centre, button="none", deltaX=0, deltaY=-300)
    zoomed = b.wait("(v => v.lastPing - v.firstPing < 200 && v)(zepViewer.view())")
    check(zoomed["lastSample"] - zoomed["firstSample"] < before["lastSample"] - before["firstSample"],
          f"the wheel zooms both ways: {before} -> {zoomed}")
    b.mouse("mousePressed", centre)
    b.mouse("mouseMoved", {"x": centre["x"] - 200, "y": centre["y"] - 100}, buttons=1)
    b.mouse("mouseReleased", {"x": centre["x"] - 200, "y": centre["y"] - 100})
    panned = b.wait("zepViewer.view()")
    check(panned["firstPing"] > zoomed["firstPing"] and panned["firstSample"] > zoomed["firstSample"],
          f"a drag pans both ways: {zoomed} -> {panned}")
    ping = b.js("zepViewer.readout().ping")
    b.key("ArrowRight", "ArrowRight", 39)
    check(b.js("zepViewer.readout().ping") == ping + 1, "the right arrow steps one ping")
    b.key("Home", "Home", 36)
    check(b.js("zepViewer.view().firstPing") == 0, "Home goes to the first ping")
    b.key("End", "End", 35)
    check(b.js("zepViewer.view().lastPing") == max(by_ping), "End goes to the last ping")
    width = b.js("(v => v.lastPing - v.firstPing)(zepViewer.view())")
    b.key("+", "Equal", 187, text="+")
    check(b.js("(v => v.lastPing - v.firstPing)(zepViewer.view())") < width, "+ zooms in")

    # The track: a click brings its ping into view; a selected span is marked on it.
    b.js("zepViewer.show(0, 20, 0, 1000)")
    b.click(b.js("zepViewer.trackPointFor(180)"))
    v = b.wait("zepViewer.view()")
    check(v["firstPing"] <= 180 <= v["lastPing"] and b.js("zepViewer.readout().ping") == 180,
          f"a click on the track at ping 180 shows it: {v}")
    b.js("zepViewer.show(0, 60, 0, 1000)")
    b.mouse("mousePressed", b.js("zepViewer.pointFor(10, 100)"), modifiers=8)
    b.mouse("mouseMoved", b.js("zepViewer.pointFor(20, 100)"), modifiers=8, buttons=1)
    b.mouse("mouseReleased", b.js("zepViewer.pointFor(20, 100)"), modifiers=8)
    check(b.js("zepViewer.selection()") == [10, 20], "shift+drag selects pings 10 to 20")
    check(b.js("zepViewer.trackHighlight()") == [10, 20], "the selection is highlighted on the track")
    b.mouse("mousePressed", b.js("zepViewer.trackPointFor(150)"), modifiers=8)
    b.mouse("mouseReleased", b.js("zepViewer.trackPointFor(200)"), modifiers=8)
    check(b.js("zepViewer.selection()") == [150, 200] and b.js("zepViewer.view()")["firstPing"] == 150,
          "Shift and a drag on the track selects and shows its pings")
    b.js("zepViewer.select(10, 20)")
    text = b.js("zepViewer.exportCsv()")
    got = list(csv.reader(io.StringIO(text)))
    want = [list(csv.reader([",".join(["file"] + list(rows[0])[1:])]))[0]] + \
        [["HARBOUR.ZEP"] + list(r.values())[1:] for r in rows if 10 <= int(r["ping"]) <= 20]
    check(got == want, "the CSV of the selection is zepconv pings' rows for pings 10 to 20")

    # Export, as the buttons do it: the files arrive in the downloads.
    for button, ending in (("zv-png", ".png"), ("zv-csv", ".csv")):
        b.js(f"document.getElementById('{button}').click()")
        end = time.time() + 20
        while time.time() < end and not any(f.endswith(ending) for f in os.listdir(downloads)):
            time.sleep(0.1)
        done = [f for f in os.listdir(downloads) if f.endswith(ending)]
        check(len(done) == 1, f"the {ending} export is downloaded: {os.listdir(downloads)}")
    png = [f for f in os.listdir(downloads) if f.endswith(".png")]
    if png:
        data = open(os.path.join(downloads, png[0]), "rb").read()
        check(data[:8] == b"\x89PNG\r\n\x1a\n" and int.from_bytes(data[16:20], "big") == b.js(
            "document.getElementById('zv-echo').width"), "the PNG is the echogram as shown")


def escape_checks(b, out):
    inventory = json.load(open(os.path.join(out, "inventory-state.json")))
    name = '<i>Q</i>"\''
    rec = next(r for d in inventory["discs"] for r in d["records"] if r["name"] == name)
    page = os.path.join(out, "odd", rec["viewer"])
    # A chunk of the echogram is a call with numbers and two strings of bytes; the other scripts hold no markup.
    literal = rb'"(?:[^"\\\r\n]|\\["\\nr])*"'
    chunk = re.compile(rb"zepViewerChunk\([0-9]+,[0-9]+," + literal + b"," + literal + rb",[0-9]+,\[[0-9,]*\]\);\n")
    for data in os.listdir(page[:-5]):
        text = open(os.path.join(page[:-5], data), "rb").read()
        check(chunk.fullmatch(text) if data.startswith("L") else b"<" not in text and b">" not in text,
              f"{data}: the data script holds only data, and no markup character outside a chunk's bytes")
    b.open(page, "window.zepViewer && zepViewer.view() != null")
    check(b.js("document.querySelector('h1').textContent") == name and b.js("document.querySelectorAll('h1 *').length") == 0,
          "the record's name is text on its viewer page")
    check("</script>" in b.js("document.querySelector('header .disc').textContent"), "the label is text on the page")
    b.open(os.path.join(out, "odd.html"), "true")
    check(b.js(f"[...document.querySelectorAll('.rec h2')].some(h => h.textContent.includes({json.dumps(name)}))")
          and b.js("document.querySelectorAll('.rec h2 i').length") == 0, "the disc page shows the name as text")
    formula = next(r for d in inventory["discs"] for r in d["records"] if r["name"] == "=1+2")
    b.open(os.path.join(out, "odd", formula["viewer"]), "window.zepViewer && zepViewer.view() != null")
    b.js("zepViewer.select(0, 1)")
    first = list(csv.reader(io.StringIO(b.js("zepViewer.exportCsv()"))))[1][0]
    check(first.startswith("'="), f"a field opening with = is kept as text in the CSV: {first}")


def index_checks(b, tmp, out):
    """200 discs from the state of a real run: --resume keeps each as done."""
    many = os.path.join(tmp, "many")
    os.makedirs(many)
    state = json.load(open(os.path.join(out, "inventory-state.json")))
    source = next(d for d in state["discs"] if d["folder"] == "tk40")
    healths, types, discs = ["whole", "damaged", "directory lost"], ["TK40", "ZEP V1.X"], []
    for i in range(200):
        image = os.path.join(many, f"disc{i:03}.img")
        os.symlink(os.path.join(tmp, os.path.basename(source["image"])), image)
        discs.append(dict(source, image=os.path.basename(image), folder=f"disc{i:03}", files=[], health=healths[i % 3],
                          type=types[i % 2], label=f"BOX-{i:03}"))
        discs[-1]["records"] = [dict(r, pings=r["pings"] + i * 7 % 101) for r in source["records"]]
    json.dump(dict(state, discs=discs), open(os.path.join(many, "inventory-state.json"), "w"))
    subprocess.run([zepconv, "inventory", *[os.path.join(many, d["image"]) for d in discs], "--out", many, "--resume"],
                   capture_output=True)
    b.open(os.path.join(many, "index.html"), "window.zepIndex")
    check(b.js("document.querySelectorAll('#discs tbody tr').length") == 200, "the index lists 200 discs")
    check(b.js("document.querySelectorAll('svg.track g[stroke] polyline').length") > 0, "the box map has a coastline")
    b.click(b.js("(r => ({x: r.x + 5, y: r.y + 5}))(document.querySelectorAll('#discs th button')[5].getBoundingClientRect())"))
    pings = b.js("[...document.querySelectorAll('#discs tbody tr')].map(r => +r.cells[5].textContent)")
    check(pings == sorted(pings) and pings != [sum(r["pings"] for r in d["records"]) for d in discs],
          "a click on 'pings' sorts by pings")
    b.js("zepIndex.filter('damaged', 'TK40', '')")
    shown = b.js("[...document.querySelectorAll('#discs tbody tr')].filter(r => !r.hidden).map(r => r.dataset.health + '/' + r.dataset.type)")
    check(len(shown) == sum(1 for i in range(200) if i % 3 == 1 and i % 2 == 0) and set(shown) == {"damaged/TK40"},
          f"filtered by health and type: {len(shown)}")
    b.js("zepIndex.filter('', '', 'box-117')")
    check(b.js("[...document.querySelectorAll('#discs tbody tr')].filter(r => !r.hidden).length") == 1, "found by text")


with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as tmp:
    images = [disc(tmp, "damaged.img", "--type", "zep", "--damaged", "--every-value"), disc(tmp, "tk40.img"),
              disc(tmp, "odd.img", "--type", "zep", renames=[(b"NIGHT2\r", b'<i>Q</i>"\'\r'),
                                                             (b"SURVEY1\r", b"=1+2\r"), (b"BALTIC-08\r", b"</script>\r")])]
    out = os.path.join(tmp, "box")
    subprocess.run([zepconv, "inventory", *images, "--out", out], capture_output=True)
    bare = os.path.join(tmp, "bare")
    subprocess.run([zepconv, "inventory", images[1], "--out", bare, "--no-viewer"], capture_output=True)
    check(not [f for _, _, fs in os.walk(bare) for f in fs if "viewer" in f], "--no-viewer writes no viewer")
    downloads = os.path.join(tmp, "downloads")
    os.makedirs(downloads)
    b = Browser(chromium, os.path.join(tmp, "profile"), downloads)
    try:
        viewer_checks(b, out, downloads)
        escape_checks(b, out)
        index_checks(b, tmp, out)
    finally:
        b.close()
    requests = [e["params"]["request"]["url"] for e in b.events if e["method"] == "Network.requestWillBeSent"]
    check(requests and all(u.split(":")[0] in ("file", "data", "blob") for u in requests),
          f"no request left the machine: {[u for u in requests if not u.startswith('file:')][:5]}")
    errors = [e for e in b.events if e["method"] == "Runtime.exceptionThrown" or
              (e["method"] == "Log.entryAdded" and e["params"]["entry"]["level"] == "error") or
              (e["method"] == "Runtime.consoleAPICalled" and e["params"]["type"] == "error")]
    check(not errors, f"no error on the console: {errors[:3]}")

print(f"{len(failures)} failed" if failures else "viewer and index: readouts, controls, exports and names check out")
sys.exit(1 if failures else 0)
