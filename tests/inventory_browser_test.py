#!/usr/bin/python3
"""An inventory of the sample discs, checked as an archivist and a reader
would: sha256sum -c against its manifest, and a real browser (headless
Chromium, network off) opening its pages from the file system.

The pages carry no script, so the browser is asked through a harness page of
the test's own: it loads each page in a frame and reports, per <img>, whether
the browser decoded it (naturalWidth > 0), and the page's text.
usage: inventory_browser_test.py ZEPCONV MAKE_SAMPLE_DISC"""
import csv, json, os, shutil, subprocess, sys, tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from checks import check, chromium_or_skip, failures  # noqa: E402

zepconv, make_disc = sys.argv[1:3]
chromium = chromium_or_skip()

with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as tmp:
    discs = {"tk40.img": [], "zep.img": ["--type", "zep"], "damaged.img": ["--type", "zep", "--damaged"],
             "lost.img": ["--type", "zep", "--zero-directory"]}
    for name, args in discs.items():
        subprocess.run([make_disc, *args, os.path.join(tmp, name)], check=True, capture_output=True)
    out = os.path.join(tmp, "box")
    run = subprocess.run([zepconv, "inventory", *[os.path.join(tmp, n) for n in discs], "--out", out],
                         capture_output=True, text=True)
    check(run.returncode == 1, f"inventory exits 1 for a box with a damaged disc, not {run.returncode}: {run.stderr}")
    check(os.path.join(tmp, "damaged.map") in run.stderr + open(os.path.join(out, "inventory.csv")).read(),
          "the mapfile beside damaged.img is used and named")

    sums = subprocess.run(["sha256sum", "-c", "--strict", "manifest-sha256.txt"], cwd=out, capture_output=True, text=True)
    check(sums.returncode == 0, "sha256sum -c passes: " + sums.stdout[-500:] + sums.stderr)
    listed = {line.split("  ", 1)[1] for line in open(os.path.join(out, "manifest-sha256.txt")).read().splitlines()}
    on_disk = {os.path.relpath(os.path.join(d, f), out).replace(os.sep, "/")
               for d, _, fs in os.walk(out) for f in fs} - {"manifest-sha256.txt", "inventory-state.json"}
    check(listed == on_disk, f"the manifest lists every file written: missing {on_disk - listed}, extra {listed - on_disk}")

    # The thumbnails are drawn from the pings as they were written: the same
    # picture as echogram --fit draws from the file and its map, unread
    # samples transparent, not painted as data.
    for rec in ("HARBOUR", "REEF.A"):
        stem = os.path.join(out, "damaged", rec)
        record = stem + (".ZEP" if not rec.endswith(".A") else "")
        fit = os.path.join(tmp, rec + "-fit.png")
        subprocess.run([zepconv, "echogram", record, "-o", fit, "--fit", "480x240"], capture_output=True)
        check(open(fit, "rb").read() == open(stem + "-echogram.png", "rb").read(),
              f"{rec}: the inventory's thumbnail is echogram --fit's")

    rows = list(csv.DictReader(open(os.path.join(out, "inventory.csv"), newline="")))
    inventory = json.load(open(os.path.join(out, "inventory.json")))
    pages = ["index.html"] + [d["folder"] + ".html" for d in inventory["discs"]]
    harness = os.path.join(tmp, "harness.html")
    with open(harness, "w") as f:
        f.write("""<!DOCTYPE html><html><body><pre id="result"></pre><script>
const pages = %s, base = %s, result = {};
function next(i) {
  if (i == pages.length) { document.getElementById("result").textContent = JSON.stringify(result); return; }
  const frame = document.createElement("iframe");
  frame.onload = () => {
    const doc = frame.contentDocument;
    result[pages[i]] = {text: doc.body.innerText,
      images: [...doc.images].map(img => [img.getAttribute("src"), img.complete && img.naturalWidth > 0])};
    frame.remove(); next(i + 1);
  };
  frame.src = base + pages[i]; document.body.appendChild(frame);
}
next(0);
</script></body></html>""" % (json.dumps(pages), json.dumps("file://" + out + "/")))
    profile = os.path.join(tmp, "profile")
    dom = subprocess.run(["unshare", "-n", chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                          "--disable-background-networking", "--disable-component-update", "--disable-sync",
                          "--allow-file-access-from-files", "--virtual-time-budget=20000",
                          "--user-data-dir=" + profile, "--dump-dom", "file://" + harness],
                         capture_output=True, text=True, timeout=120)
    start, end = dom.stdout.find('<pre id="result">'), dom.stdout.find("</pre>")
    import html
    seen = json.loads(html.unescape(dom.stdout[start + 17:end]) or "{}")
    check(sorted(seen) == sorted(pages), f"the browser opened every page: {sorted(seen)} {dom.stderr[-300:]}")
    for page, got in seen.items():
        source = open(os.path.join(out, page)).read()
        check(len(got["images"]) == source.count("<img "), f"{page}: the browser sees every <img>")
        for src, loaded in got["images"]:
            check(loaded, f"{page}: {src} loads")
    index = seen.get("index.html", {"text": ""})["text"]
    for d in inventory["discs"]:
        check(os.path.basename(d["image"]) in index, f"index.html names {d['image']}")
        page = seen.get(d["folder"] + ".html", {"text": ""})["text"]
        for r in (r for r in rows if r["image"] == d["image"]):
            check(r["name"] in page, f"{d['folder']}.html shows record {r['name']}")
    check(sum(s.count("<img ") for s in (open(os.path.join(out, p)).read() for p in pages[1:])) == 20,
          "every record's echogram thumbnail is on its disc's page")
    check(len(rows) == 20 and sum(r["verdict"] == "damaged" for r in rows) == 3,
          "20 records, of which the damaged disc's 3 are damaged")
    check("directory lost" in index and "damaged" in index, "index.html marks the damaged disc and the lost directory")

print(f"{len(failures)} failed" if failures else "inventory of the sample discs: manifest and pages check out")
sys.exit(1 if failures else 0)
