// The echogram viewer of one record, opened from the file system. The data
// come as classic scripts beside the page (the browser reads no local file
// from script): meta.js calls zepViewerMeta, each chunk script
// zepViewerChunk, each row script zepViewerRows. Nothing here goes to the
// network. window.zepViewer is the handle for scripts (see the README).
(function () {
  "use strict";
  const NOT_READ = new Uint32Array(new Uint8Array([255, 0, 255, 255]).buffer)[0];
  const S = {
    meta: null, chunks: new Map(), rows: new Map(), waiting: new Set(), unreadable: new Set(), base: "",
    c0: 0, c1: 1, s0: 0, s1: 1, map: "viridis", lo: 0, hi: 255, lut: null,
    cursor: null, sel: null, dirty: false, drag: null, maxRows: 1, order: null, byIndex: null,
  };
  const el = {};

  // Colour maps: 256 entries each, from their stops.
  function ramp(stops) {
    const out = [];
    for (let i = 0; i < 256; i++) {
      const t = i / 255 * (stops.length - 1), k = Math.min(Math.floor(t), stops.length - 2), f = t - k;
      const a = stops[k], b = stops[k + 1];
      out.push([0, 1, 2].map(j => Math.round(a[j] + (b[j] - a[j]) * f)));
    }
    return out;
  }
  const hex = h => [1, 3, 5].map(i => parseInt(h.substr(i, 2), 16));
  const MAPS = {
    viridis: ramp(["#440154", "#472d7b", "#3b528b", "#2c728e", "#21918c", "#28ae80", "#5ec962", "#addc30", "#fde725"].map(hex)),
    grey: ramp([[0, 0, 0], [255, 255, 255]]),
    // Steps as the EK500 draws them: weak echoes grey and blue, strong red and brown.
    ek500: (function () {
      const steps = ["#ffffff", "#9f9f9f", "#5f5f5f", "#0000ff", "#00007f", "#00bf00", "#007f00", "#ffff00",
        "#ff7f00", "#ff00bf", "#ff0000", "#a6533c", "#783c28"].map(hex);
      const out = [];
      for (let i = 0; i < 256; i++) out.push(steps[Math.min(12, Math.floor(i / 256 * 13))]);
      return out;
    })(),
  };

  function makeLut() {
    const m = MAPS[S.map], lut = new Uint8ClampedArray(256 * 4), span = Math.max(1, S.hi - S.lo);
    for (let v = 0; v < 256; v++) {
      const c = m[Math.round(Math.min(1, Math.max(0, (v - S.lo) / span)) * 255)];
      lut.set([c[0], c[1], c[2], 255], v * 4);
    }
    S.lut = lut;
    S.lut32 = new Uint32Array(lut.buffer);
    S.lutKey = S.map + ":" + S.lo + ":" + S.hi;
  }

  // A chunk's strings hold a byte a character, its top bit flipped (weak
  // echoes, the most, then need no escape): loaded as x-user-defined, bytes
  // below 0x80 read as themselves and the rest as U+F780 to U+F7FF. Any
  // other character means the browser read them otherwise: null.
  function bytes(text) {
    const out = new Uint8Array(text.length);
    let other = false;
    for (let i = 0; i < text.length; i++) {
      const c = text.charCodeAt(i);
      other = other || (c > 0x7F && (c & 0xFF80) !== 0xF780);
      out[i] = (c & 0xFF) ^ 0x80;
    }
    return other ? null : out;
  }

  // ---- data ----
  window.zepViewerMeta = function (m) {
    if (!m.columns) {
      document.getElementById("zep-viewer").textContent = m.record + ": no pings to draw.";
      return;
    }
    S.meta = m;
    S.base = document.body.dataset.chunks || "";
    S.order = new Int32Array(m.columns).fill(-1);
    S.byIndex = new Map();
    let p = 0;
    for (let c = 0; c < m.columns; c++) {
      if (m.n[c] > 0) { S.order[c] = p++; S.byIndex.set(m.idx[c], c); }
      S.maxRows = Math.max(S.maxRows, m.n[c]);
    }
    build();
    S.c0 = 0; S.c1 = Math.max(1, Math.min(m.columns, el.echo.width));
    S.s0 = 0; S.s1 = S.maxRows;
    makeLut();
    drawTrack();
    redraw();
  };
  window.zepViewerChunk = function (level, k, vals, mask, rows, lens) {
    const key = level + ":" + k;
    S.waiting.delete(key);
    const off = new Int32Array(lens.length + 1);
    for (let x = 0; x < lens.length; x++) off[x + 1] = off[x] + lens[x];
    // Read in another encoding (a browser that ignores the element's), the
    // characters or lengths would not hold: better no picture than wrong values.
    const v = bytes(vals), u = mask ? bytes(mask) : null;
    if (!v || v.length !== off[lens.length] || (mask && (!u || u.length !== (v.length + 7) >> 3))) {
      S.failed = (S.failed || 0) + 1;
      S.unreadable.add(key);
      say("could not read chunk " + k + " of level " + level + ": the browser read its bytes as other characters");
      return;
    }
    S.chunks.set(key, { level, k, rows, lens, off, vals: v, mask: u, img: null, imgKey: "" });
    prune();
    redraw();
  };
  window.zepViewerRows = function (k, rows) {
    S.rows.set(k, rows);
    S.waiting.delete("P" + k);
  };

  function load(key, name, charset) {
    if (S.waiting.has(key) || S.unreadable.has(key)) return;
    S.waiting.add(key);
    const s = document.createElement("script");
    // A file has no type to name its encoding: the element's decides.
    if (charset) s.charset = charset;
    s.src = S.base + name;
    s.onload = () => s.remove();
    s.onerror = () => { s.remove(); S.failed = (S.failed || 0) + 1; say("could not load " + name); };
    document.head.appendChild(s);
  }
  function chunk(level, k) {
    const key = level + ":" + k, c = S.chunks.get(key);
    if (c) {
      // Most recently used last: prune drops from the front.
      S.chunks.delete(key);
      S.chunks.set(key, c);
      return c;
    }
    load(level + ":" + k, "L" + level + "-" + k + ".js", "x-user-defined");
    return null;
  }
  // A chunk costs its values and, once drawn, four bytes a value more: at
  // most about 512 MB are kept, the least recently used dropped first.
  const KEEP = 512 * 1024 * 1024;
  function prune() {
    let bytes = 0;
    for (const c of S.chunks.values()) bytes += c.vals.length * 5;
    for (const [key, c] of S.chunks) {
      if (bytes <= KEEP || S.chunks.size <= 8) break;
      S.chunks.delete(key);
      bytes -= c.vals.length * 5;
    }
  }

  // The chunk drawn as a picture in the current colours: not read in its
  // own colour, no sample (past a ping's end, missing pings) left clear.
  function image(c) {
    if (c.img && c.imgKey === S.lutKey) return c.img;
    const cols = c.lens.length, rows = Math.max(1, c.rows);
    const cv = c.img || document.createElement("canvas");
    cv.width = cols; cv.height = rows;
    const ctx = cv.getContext("2d"), data = ctx.createImageData(cols, rows);
    const px = new Uint32Array(data.data.buffer), lut = S.lut32, vals = c.vals, mask = c.mask;
    for (let x = 0; x < cols; x++) {
      const len = c.lens[x], start = c.off[x];
      for (let y = 0; y < len; y++) {
        const i = start + y;
        px[y * cols + x] = mask && (mask[i >> 3] >> (i & 7)) & 1 ? NOT_READ : lut[vals[i]];
      }
    }
    ctx.putImageData(data, 0, 0);
    c.img = cv; c.imgKey = S.lutKey;
    return cv;
  }

  // ---- view ----
  const W = () => el.echo.width, H = () => el.echo.height;
  function level() {
    const per = (S.c1 - S.c0) / W();
    const top = S.meta.levels.length - 1;
    // The finest level with at most one column a screen column.
    return Math.max(0, Math.min(top, Math.ceil(Math.log2(Math.max(1, per)) - 1e-9)));
  }
  const X = c => (c - S.c0) / (S.c1 - S.c0) * W();
  const Y = s => (s - S.s0) / (S.s1 - S.s0) * H();

  function clampView() {
    const n = S.meta.columns;
    let w = Math.min(Math.max(S.c1 - S.c0, Math.min(4, n)), n);
    S.c0 = Math.max(0, Math.min(S.c0, n - w)); S.c1 = S.c0 + w;
    let h = Math.min(Math.max(S.s1 - S.s0, Math.min(4, S.maxRows)), S.maxRows);
    S.s0 = Math.max(0, Math.min(S.s0, S.maxRows - h)); S.s1 = S.s0 + h;
  }
  function redraw() {
    if (!S.meta || S.dirty) return;
    S.dirty = true;
    requestAnimationFrame(() => { S.dirty = false; draw(); });
  }

  function drawLevel(ctx, L, k0, k1, missing) {
    const f = 1 << L, span = S.meta.chunk * f;
    for (let k = k0; k <= k1; k++) {
      const c = chunk(L, k);
      if (!c) { missing.push(k); continue; }
      ctx.drawImage(image(c), X(k * span), Y(0), c.lens.length * f / (S.c1 - S.c0) * W(), c.rows * f / (S.s1 - S.s0) * H());
    }
  }

  function draw() {
    const ctx = el.echo.getContext("2d");
    ctx.imageSmoothingEnabled = false;
    ctx.clearRect(0, 0, W(), H());
    const L = level(), levels = S.meta.levels.length;
    const span = S.meta.chunk << L;
    const k0 = Math.floor(S.c0 / span), k1 = Math.min(S.meta.levels[L][1] - 1, Math.floor((S.c1 - 1e-9) / span));
    // Coarser pictures stand in while a chunk loads.
    let gaps = [];
    for (let l = levels - 1; l > L; l--) {
      const sp = S.meta.chunk << l;
      const a = Math.floor(S.c0 / sp), b = Math.min(S.meta.levels[l][1] - 1, Math.floor((S.c1 - 1e-9) / sp));
      for (let k = a; k <= b; k++) { const c = S.chunks.get(l + ":" + k); if (c) drawLevel(ctx, l, k, k, gaps); }
    }
    gaps = [];
    drawLevel(ctx, L, k0, k1, gaps);
    drawMissing(ctx);
    drawMarks(ctx);
    drawOverview();
    drawTrackMarks();
    el.status.textContent = (gaps.length ? "loading " + gaps.length + " chunks; " : "") +
      "level " + L + " (" + (1 << L) + (L ? " pings" : " ping") + " a column)";
  }

  function drawMissing(ctx) {
    ctx.fillStyle = S.hatch;
    for (const [first, shown] of S.meta.gaps) {
      if (first + shown < S.c0 || first > S.c1) continue;
      ctx.fillRect(X(first), 0, Math.max(1, X(first + shown) - X(first)), H());
    }
  }
  function drawMarks(ctx) {
    if (S.sel) {
      ctx.fillStyle = "rgba(255,165,0,0.25)";
      ctx.fillRect(X(S.sel[0]), 0, X(S.sel[1] + 1) - X(S.sel[0]), H());
    }
    if (S.cursor) {
      ctx.strokeStyle = "rgba(255,255,255,0.8)";
      ctx.strokeRect(X(S.cursor.c), Y(S.cursor.s), Math.max(3, X(S.cursor.c + 1) - X(S.cursor.c)), Math.max(3, Y(S.cursor.s + 1) - Y(S.cursor.s)));
    }
  }

  // The whole record in one strip, the view framed on it.
  function drawOverview() {
    const ov = el.overview, ctx = ov.getContext("2d"), n = S.meta.columns;
    ctx.imageSmoothingEnabled = false;
    ctx.clearRect(0, 0, ov.width, ov.height);
    let L = 0;
    while (L < S.meta.levels.length - 1 && S.meta.levels[L][0] > ov.width) L++;
    const span = S.meta.chunk << L;
    for (let k = 0; k < S.meta.levels[L][1]; k++) {
      const c = chunk(L, k);
      if (c) ctx.drawImage(image(c), k * span / n * ov.width, 0, c.lens.length * (1 << L) / n * ov.width, c.rows * (1 << L) / S.maxRows * ov.height);
    }
    ctx.strokeStyle = "#e00"; ctx.lineWidth = 2;
    ctx.strokeRect(S.c0 / n * ov.width, S.s0 / S.maxRows * ov.height, Math.max(2, (S.c1 - S.c0) / n * ov.width), (S.s1 - S.s0) / S.maxRows * ov.height);
  }

  // ---- pings ----
  function columnOf(index) {
    if (S.byIndex.has(index)) return S.byIndex.get(index);
    const idx = S.meta.idx;
    let a = 0, b = idx.length - 1;
    if (index <= idx[0]) return 0;
    if (index >= idx[b]) return b;
    while (b - a > 1) { const m = (a + b) >> 1; if (idx[m] <= index) a = m; else b = m; }
    return a;
  }
  const POS = ["fix", "interpolated", "none"], TIME = ["fix", "interpolated", "extrapolated", "none"];
  function iso(c) {
    const t = S.meta.t[c];
    if (t === null || S.meta.t0 === null) return null;
    return new Date(S.meta.t0 + t).toISOString().replace(".000Z", "Z");
  }
  function sampleAt(c, s) {
    const n = S.meta.n[c];
    if (n === 0 || s >= n) return { value: null, state: n === 0 ? "missing" : "no sample" };
    const ch = chunk(0, Math.floor(c / S.meta.chunk));
    if (!ch) return { value: undefined, state: "loading" };
    const i = ch.off[c % S.meta.chunk] + s;
    if (ch.mask && (ch.mask[i >> 3] >> (i & 7)) & 1) return { value: null, state: "not read" };
    return { value: ch.vals[i], state: "read" };
  }
  function readoutOf(c, s) {
    const m = S.meta, at = sampleAt(c, s), missing = m.n[c] === 0;
    const gap = missing ? m.gaps.find(g => c >= g[0] && c < g[0] + g[1]) : null;
    return {
      ping: m.idx[c], time: iso(c), latitude: m.lat[c], longitude: m.lon[c],
      position: missing ? "none" : POS[m.ps[c]], timeSource: missing ? "none" : TIME[m.ts[c]],
      mode: m.mode[c], sample: s, value: at.value, state: at.state,
      missing: gap ? { first: gap[2], count: gap[3] } : null,
    };
  }
  function showReadout() {
    if (!S.cursor) { el.readout.textContent = "Point at the echogram."; return; }
    const r = readoutOf(S.cursor.c, S.cursor.s);
    let text;
    if (r.missing) text = "ping " + r.ping + ": missing (pings " + r.missing.first + " to " + (r.missing.first + r.missing.count - 1) + " were not recorded or not read)";
    else {
      text = "ping " + r.ping + " \u00b7 " + (r.time ? r.time + " (" + r.timeSource + ")" : "no time") + " \u00b7 " +
        (r.latitude !== null ? r.latitude.toFixed(7) + ", " + r.longitude.toFixed(7) + " (" + r.position + ")" : "no position") +
        " \u00b7 mode " + r.mode + " \u00b7 sample " + r.sample + " \u00b7 " +
        (r.state === "read" ? "value " + r.value : r.state);
    }
    el.readout.textContent = text;
  }
  function setCursor(c, s) {
    c = Math.max(0, Math.min(S.meta.columns - 1, c));
    s = Math.max(0, Math.min(S.maxRows - 1, s));
    S.cursor = { c, s };
    sampleAt(c, s);
    showReadout();
    redraw();
  }

  // ---- track ----
  function trackFrame() {
    const m = S.meta, tr = el.track;
    let a = 90, b = -90, c = 180, d = -180;
    for (let i = 0; i < m.columns; i++) {
      if (m.lat[i] === null) continue;
      a = Math.min(a, m.lat[i]); b = Math.max(b, m.lat[i]); c = Math.min(c, m.lon[i]); d = Math.max(d, m.lon[i]);
    }
    if (a > b) return null;
    const k = Math.cos((a + b) / 2 * Math.PI / 180), pad = 16;
    const scale = Math.min((tr.width - 2 * pad) / Math.max((d - c) * k, 0.002), (tr.height - 2 * pad) / Math.max(b - a, 0.002));
    const cx = (c + d) / 2, cy = (a + b) / 2;
    return { k, scale, x: lon => tr.width / 2 + (lon - cx) * k * scale, y: lat => tr.height / 2 - (lat - cy) * scale, cy, cx };
  }
  function drawTrack() {
    S.frame = trackFrame();
    const ctx = el.trackBase.getContext("2d"), tr = el.trackBase, m = S.meta, f = S.frame;
    ctx.fillStyle = "#f4f8fb"; ctx.fillRect(0, 0, tr.width, tr.height);
    if (!f) { ctx.fillStyle = "#888"; ctx.fillText("no position", 10, 20); return; }
    polyline(ctx, 0, m.columns - 1, "#1565c0", 2);
    // A scale bar of 1, 2 or 5 times a power of ten.
    const kmPerPx = 111.32 / f.scale, most = kmPerPx * tr.width / 3;
    let bar = Math.pow(10, Math.floor(Math.log10(most)));
    if (bar * 5 <= most) bar *= 5; else if (bar * 2 <= most) bar *= 2;
    const px = bar / kmPerPx;
    ctx.strokeStyle = "#333"; ctx.beginPath(); ctx.moveTo(8, tr.height - 8); ctx.lineTo(8 + px, tr.height - 8); ctx.stroke();
    ctx.fillStyle = "#333"; ctx.font = "10px sans-serif";
    ctx.fillText(bar >= 1 ? bar + " km" : bar * 1000 + " m", 12 + px, tr.height - 5);
  }
  function polyline(ctx, a, b, colour, width) {
    const m = S.meta, f = S.frame;
    ctx.strokeStyle = colour; ctx.lineWidth = width; ctx.beginPath();
    let open = false;
    const step = Math.max(1, Math.floor((b - a) / 4000));
    for (let i = a; i <= b; i += step) {
      if (m.lat[i] === null) { open = false; continue; }
      if (open) ctx.lineTo(f.x(m.lon[i]), f.y(m.lat[i])); else ctx.moveTo(f.x(m.lon[i]), f.y(m.lat[i]));
      open = true;
    }
    ctx.stroke();
  }
  function drawTrackMarks() {
    const ctx = el.track.getContext("2d");
    ctx.clearRect(0, 0, el.track.width, el.track.height);
    ctx.drawImage(el.trackBase, 0, 0);
    if (!S.frame) return;
    polyline(ctx, Math.floor(S.c0), Math.ceil(S.c1) - 1, "rgba(0,0,0,0.35)", 5);
    S.highlight = S.sel ? [S.meta.idx[S.sel[0]], S.meta.idx[S.sel[1]]] : null;
    if (S.sel) polyline(ctx, S.sel[0], S.sel[1], "#ff8c00", 4);
    if (S.cursor && S.meta.lat[S.cursor.c] !== null) {
      ctx.fillStyle = "#d00"; ctx.beginPath();
      ctx.arc(S.frame.x(S.meta.lon[S.cursor.c]), S.frame.y(S.meta.lat[S.cursor.c]), 5, 0, 7); ctx.fill();
    }
  }
  function nearestOnTrack(px, py) {
    const m = S.meta, f = S.frame;
    let best = -1, dist = Infinity;
    for (let i = 0; i < m.columns; i++) {
      if (m.lat[i] === null) continue;
      const d = (f.x(m.lon[i]) - px) ** 2 + (f.y(m.lat[i]) - py) ** 2;
      if (d < dist) { dist = d; best = i; }
    }
    return best;
  }

  // ---- handle ----
  function show(firstPing, lastPing, firstSample, lastSample) {
    S.c0 = columnOf(firstPing); S.c1 = columnOf(lastPing) + 1;
    if (firstSample !== undefined) { S.s0 = firstSample; S.s1 = (lastSample === undefined ? S.maxRows - 1 : lastSample) + 1; }
    clampView(); redraw();
  }
  function view() {
    const m = S.meta;
    return { firstPing: m.idx[Math.floor(S.c0)], lastPing: m.idx[Math.ceil(S.c1) - 1],
      firstSample: Math.floor(S.s0), lastSample: Math.ceil(S.s1) - 1 };
  }
  function pointFor(ping, sample) {
    const r = el.echo.getBoundingClientRect(), c = columnOf(ping);
    return { x: r.left + window.scrollX + X(c + 0.5) * r.width / W(), y: r.top + window.scrollY + Y(sample + 0.5) * r.height / H() };
  }
  function zoom(f, cx, cy, axes) {
    if (axes !== "samples") { S.c0 = cx - (cx - S.c0) * f; S.c1 = cx + (S.c1 - cx) * f; }
    if (axes !== "pings") { S.s0 = cy - (cy - S.s0) * f; S.s1 = cy + (S.s1 - cy) * f; }
    clampView(); redraw();
  }
  function bringIntoView(c) {
    const w = S.c1 - S.c0;
    if (c < S.c0 || c >= S.c1) { S.c0 = c - w / 2; S.c1 = S.c0 + w; clampView(); }
  }

  // ---- export ----
  function download(name, href) {
    const a = document.createElement("a");
    a.href = href; a.download = name; document.body.appendChild(a); a.click(); a.remove();
  }
  function exportPng() {
    const url = el.echo.toDataURL("image/png");
    const v = view();
    download(S.meta.record.replace(/\.[^.]*$/, "") + "-pings-" + v.firstPing + "-" + v.lastPing + ".png", url);
    return url;
  }
  // RFC 4180 fields of one line, as zepconv pings wrote it.
  function fields(line) {
    const out = []; let i = 0;
    while (i <= line.length) {
      if (line[i] === '"') {
        let v = ""; i++;
        while (i < line.length) { if (line[i] === '"') { if (line[i + 1] === '"') { v += '"'; i += 2; } else { i++; break; } } else v += line[i++]; }
        out.push(v); i++;
      } else { const e = line.indexOf(",", i); const j = e < 0 ? line.length : e; out.push(line.slice(i, j)); i = j + 1; }
    }
    return out;
  }
  // A spreadsheet reads a field opening with = + - @ as a formula: such a
  // field (unless a plain number) is quoted and led by an apostrophe.
  function guard(v) {
    if (/^[=+\-@]/.test(v) && !/^[-+]?\d+(\.\d+)?$/.test(v)) return '"\'' + v.replace(/"/g, '""') + '"';
    return /[",\r\n]/.test(v) ? '"' + v.replace(/"/g, '""') + '"' : v;
  }
  function csvOf(c0, c1) {
    const lines = [S.meta.csvHeader], need = [];
    for (let c = c0; c <= c1; c++) {
      if (S.order[c] < 0) continue;
      const k = Math.floor(S.order[c] / S.meta.rowChunk);
      if (!S.rows.has(k)) need.push(k);
      else lines.push(fields(S.rows.get(k)[S.order[c] % S.meta.rowChunk]).map(guard).join(","));
    }
    return { text: lines.join("\r\n") + "\r\n", need };
  }
  function exportCsv() {
    const [a, b] = S.sel || [Math.floor(S.c0), Math.ceil(S.c1) - 1];
    return new Promise(resolve => {
      const attempt = () => {
        const r = csvOf(a, b);
        if (r.need.length) { for (const k of new Set(r.need)) load("P" + k, "P-" + k + ".js"); setTimeout(attempt, 30); return; }
        download(S.meta.record.replace(/\.[^.]*$/, "") + "-pings-" + S.meta.idx[a] + "-" + S.meta.idx[b] + ".csv",
          URL.createObjectURL(new Blob([r.text], { type: "text/csv" })));
        resolve(r.text);
      };
      attempt();
    });
  }

  // Before the data are in, every call gives null.
  const ready = f => (...args) => (S.meta ? f(...args) : null);
  window.zepViewer = {
    show: ready(show), view: ready(view), pointFor: ready(pointFor),
    readout: ready(() => (S.cursor ? readoutOf(S.cursor.c, S.cursor.s) : null)),
    select: (a, b) => { S.sel = [columnOf(a), columnOf(b)]; redraw(); },
    selection: () => (S.sel ? [S.meta.idx[S.sel[0]], S.meta.idx[S.sel[1]]] : null),
    colours: (map, lo, hi) => { setColours(map, lo, hi); },
    trackPointFor: ping => {
      const c = columnOf(ping), r = el.track.getBoundingClientRect();
      if (!S.frame || S.meta.lat[c] === null) return null;
      return { x: r.left + window.scrollX + S.frame.x(S.meta.lon[c]) * r.width / el.track.width,
        y: r.top + window.scrollY + S.frame.y(S.meta.lat[c]) * r.height / el.track.height };
    },
    trackHighlight: () => S.highlight || null,
    exportPng, exportCsv,
    loading: () => S.waiting.size,
  };

  // ---- page ----
  function say(text) { if (el.status) el.status.textContent = text; }
  function setColours(map, lo, hi) {
    if (map) S.map = map;
    if (lo !== undefined) S.lo = lo;
    if (hi !== undefined) S.hi = hi;
    el.map.value = S.map; el.lo.value = S.lo; el.hi.value = S.hi;
    el.loText.textContent = S.lo; el.hiText.textContent = S.hi;
    makeLut(); colourBar(); redraw();
  }
  function colourBar() {
    const ctx = el.bar.getContext("2d");
    for (let x = 0; x < el.bar.width; x++) {
      const v = Math.round(x / (el.bar.width - 1) * 255);
      ctx.fillStyle = "rgb(" + Array.from(S.lut.subarray(v * 4, v * 4 + 3)).join(",") + ")";
      ctx.fillRect(x, 0, 1, el.bar.height);
    }
  }
  function hatch() {
    const p = document.createElement("canvas"); p.width = p.height = 8;
    const c = p.getContext("2d");
    c.fillStyle = "#ddd"; c.fillRect(0, 0, 8, 8);
    c.strokeStyle = "#999"; c.beginPath(); c.moveTo(0, 8); c.lineTo(8, 0); c.stroke();
    return el.echo.getContext("2d").createPattern(p, "repeat");
  }

  function build() {
    const root = document.getElementById("zep-viewer");
    root.innerHTML =
      '<div class="tools"><label>colours <select id="zv-map"><option value="viridis">viridis</option>' +
      '<option value="grey">grey</option><option value="ek500">EK500-like</option></select></label>' +
      '<label>min <input id="zv-lo" type="range" min="0" max="255" value="0"> <span id="zv-lo-t">0</span></label>' +
      '<canvas id="zv-bar" width="160" height="12"></canvas>' +
      '<label>max <input id="zv-hi" type="range" min="0" max="255" value="255"> <span id="zv-hi-t">255</span></label>' +
      '<span class="key"><i class="k-unread"></i>not read <i class="k-missing"></i>missing pings</span>' +
      '<button id="zv-png">PNG of the view</button><button id="zv-csv">CSV of the selected pings</button></div>' +
      '<div class="panes"><div class="echo-pane"><canvas id="zv-echo" tabindex="0" width="900" height="420"></canvas>' +
      '<canvas id="zv-overview" width="900" height="48"></canvas></div>' +
      '<canvas id="zv-track" width="320" height="320"></canvas></div>' +
      '<p id="zv-readout" class="readout"></p><p id="zv-status" class="status"></p>' +
      '<p class="help">Wheel: zoom (Shift: pings only, Alt: samples only). Drag: pan. Shift+drag: select pings. ' +
      'Arrows: step a ping or a sample. Home, End: the ends. + and -: zoom. Click the track: that ping; Shift+drag along it: those pings.</p>';
    for (const [k, id] of [["map", "zv-map"], ["lo", "zv-lo"], ["hi", "zv-hi"], ["loText", "zv-lo-t"], ["hiText", "zv-hi-t"],
      ["bar", "zv-bar"], ["echo", "zv-echo"], ["overview", "zv-overview"], ["track", "zv-track"], ["readout", "zv-readout"],
      ["status", "zv-status"], ["png", "zv-png"], ["csv", "zv-csv"]]) el[k] = document.getElementById(id);
    el.trackBase = document.createElement("canvas");
    el.trackBase.width = el.track.width; el.trackBase.height = el.track.height;
    const w = Math.max(300, Math.min(1400, root.clientWidth - el.track.width - 24));
    el.echo.width = el.overview.width = w;
    S.hatch = hatch();
    wire();
    setColours();
    showReadout();
    const title = document.createElement("p");
    title.className = "facts";
    title.textContent = S.meta.record + ": " + S.meta.pings + " pings" + (S.meta.whole ? "" : "; " + S.meta.notWhole);
    root.prepend(title);
  }

  function cellAt(ev) {
    const r = el.echo.getBoundingClientRect();
    const x = (ev.clientX - r.left) * W() / r.width, y = (ev.clientY - r.top) * H() / r.height;
    return { c: S.c0 + x / W() * (S.c1 - S.c0), s: S.s0 + y / H() * (S.s1 - S.s0) };
  }
  function wire() {
    el.map.onchange = () => setColours(el.map.value);
    el.lo.oninput = () => setColours(undefined, Math.min(+el.lo.value, S.hi - 1));
    el.hi.oninput = () => setColours(undefined, undefined, Math.max(+el.hi.value, S.lo + 1));
    el.png.onclick = exportPng;
    el.csv.onclick = () => { exportCsv(); };
    el.echo.addEventListener("wheel", ev => {
      ev.preventDefault();
      const p = cellAt(ev);
      zoom(ev.deltaY < 0 ? 0.8 : 1.25, p.c, p.s, ev.shiftKey ? "pings" : ev.altKey ? "samples" : "both");
    }, { passive: false });
    el.echo.addEventListener("mousedown", ev => {
      el.echo.focus();
      const p = cellAt(ev);
      S.drag = { x: ev.clientX, y: ev.clientY, c0: S.c0, c1: S.c1, s0: S.s0, s1: S.s1, select: ev.shiftKey, from: Math.floor(p.c) };
    });
    window.addEventListener("mouseup", () => { S.drag = null; });
    el.echo.addEventListener("mousemove", ev => {
      const p = cellAt(ev), d = S.drag;
      if (d && d.select) {
        const to = Math.floor(p.c);
        S.sel = [Math.max(0, Math.min(d.from, to)), Math.min(S.meta.columns - 1, Math.max(d.from, to))];
      } else if (d) {
        const r = el.echo.getBoundingClientRect();
        const dc = (ev.clientX - d.x) / r.width * (d.c1 - d.c0), ds = (ev.clientY - d.y) / r.height * (d.s1 - d.s0);
        S.c0 = d.c0 - dc; S.c1 = d.c1 - dc; S.s0 = d.s0 - ds; S.s1 = d.s1 - ds; clampView();
      }
      setCursor(Math.floor(p.c), Math.floor(p.s));
    });
    el.echo.addEventListener("keydown", key);
    // A click brings its ping into view; Shift and a drag selects the pings
    // between its ends and shows them.
    const onTrack = ev => {
      const r = el.track.getBoundingClientRect();
      return nearestOnTrack((ev.clientX - r.left) * el.track.width / r.width, (ev.clientY - r.top) * el.track.height / r.height);
    };
    el.track.addEventListener("mousedown", ev => { S.trackFrom = S.frame && ev.shiftKey ? onTrack(ev) : -1; });
    el.track.addEventListener("mouseup", ev => {
      if (!S.frame) return;
      const c = onTrack(ev), from = S.trackFrom;
      if (c < 0) return;
      if (from >= 0 && from !== c) {
        S.sel = [Math.min(from, c), Math.max(from, c)];
        S.c0 = S.sel[0]; S.c1 = S.sel[1] + 1; clampView();
      } else bringIntoView(c);
      setCursor(c, S.cursor ? S.cursor.s : 0);
    });
    el.overview.addEventListener("mousedown", ev => {
      const r = el.overview.getBoundingClientRect(), w = S.c1 - S.c0;
      S.c0 = (ev.clientX - r.left) / r.width * S.meta.columns - w / 2; S.c1 = S.c0 + w; clampView(); redraw();
    });
  }
  function key(ev) {
    const c = S.cursor || { c: Math.floor(S.c0), s: Math.floor(S.s0) }, w = S.c1 - S.c0;
    const act = {
      ArrowLeft: () => setCursor(c.c - 1, c.s), ArrowRight: () => setCursor(c.c + 1, c.s),
      ArrowUp: () => setCursor(c.c, c.s - 1), ArrowDown: () => setCursor(c.c, c.s + 1),
      Home: () => { S.c0 = 0; S.c1 = w; clampView(); setCursor(0, c.s); },
      End: () => { S.c1 = S.meta.columns; S.c0 = S.c1 - w; clampView(); setCursor(S.meta.columns - 1, c.s); },
      "+": () => zoom(0.5, (S.c0 + S.c1) / 2, (S.s0 + S.s1) / 2, "both"),
      "=": () => zoom(0.5, (S.c0 + S.c1) / 2, (S.s0 + S.s1) / 2, "both"),
      "-": () => zoom(2, (S.c0 + S.c1) / 2, (S.s0 + S.s1) / 2, "both"),
    }[ev.key];
    if (!act) return;
    ev.preventDefault();
    act();
    if (ev.key.startsWith("Arrow")) bringIntoView(S.cursor.c);
    redraw();
  }
})();
