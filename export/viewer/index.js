// The index's table of discs: sorted by a click on any column's heading,
// filtered by health and type, and searched by text. The table reads as it
// stands without this script.
(function () {
  "use strict";
  const table = document.getElementById("discs");
  if (!table) return;
  const body = table.tBodies[0], rows = Array.from(body.rows);
  const heads = Array.from(table.tHead.rows[0].cells);
  let sortColumn = -1, ascending = true;

  function key(row, i) {
    const cell = row.cells[i], text = cell.dataset.sort !== undefined ? cell.dataset.sort : cell.textContent;
    return heads[i].classList.contains("n") ? Number(text) : text.toLowerCase();
  }
  function sortBy(i) {
    ascending = sortColumn === i ? !ascending : true;
    sortColumn = i;
    const order = rows.map((r, n) => [key(r, i), n, r]);
    order.sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : a[1] - b[1]) * (ascending ? 1 : -1));
    for (const [, , r] of order) body.appendChild(r);
    heads.forEach((h, n) => h.setAttribute("aria-sort", n === i ? (ascending ? "ascending" : "descending") : "none"));
  }
  function select(label, values) {
    const s = document.createElement("select");
    s.setAttribute("aria-label", label);
    for (const v of ["", ...values]) {
      const o = document.createElement("option");
      o.value = v; o.textContent = v || "every " + label;
      s.appendChild(o);
    }
    return s;
  }
  const distinct = name => Array.from(new Set(rows.map(r => r.dataset[name]))).sort();
  const health = select("health", distinct("health")), type = select("type", distinct("type"));
  const find = document.createElement("input");
  find.type = "search"; find.placeholder = "find a disc, label or date"; find.setAttribute("aria-label", "find");
  const count = document.createElement("span");
  function filter() {
    const text = find.value.trim().toLowerCase();
    let shown = 0;
    for (const r of rows) {
      const ok = (!health.value || r.dataset.health === health.value) && (!type.value || r.dataset.type === type.value) &&
        (!text || r.textContent.toLowerCase().includes(text));
      r.hidden = !ok;
      shown += ok;
    }
    count.textContent = shown + " of " + rows.length + " discs";
  }
  for (const c of [health, type]) c.addEventListener("change", filter);
  find.addEventListener("input", filter);
  heads.forEach((h, i) => {
    const b = document.createElement("button");
    b.type = "button"; b.textContent = h.textContent + " \u21f5"; b.title = "sort by " + h.textContent;
    b.addEventListener("click", () => sortBy(i));
    h.textContent = ""; h.appendChild(b);
  });
  const bar = document.createElement("div");
  bar.className = "finder";
  bar.append(find, health, type, count);
  table.before(bar);
  filter();
  window.zepIndex = { sortBy, filter: (h, t, text) => { health.value = h || ""; type.value = t || ""; find.value = text || ""; filter(); } };
})();
