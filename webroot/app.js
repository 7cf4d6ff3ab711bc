// The search page. The page's own URL holds the search; everything on screen is derived from it:
// read the state from the URL, ask "/find" for JSON, render the answer with text nodes only.
"use strict";

const DEBOUNCE_MS = 100;
const START_RETRY_MS = 10000;   // how long a search waits for the search application to come up
const RETRY_PAUSE_MS = 500;
const INDEXING_REFRESH_MS = 1000;
const PAGE_SIZES = [25, 50, 100, 200];
const DEFAULT_COUNT = 50;
const SORT_KEYS = ["name", "path", "size", "date"];
const FLAGS = ["anyword", "wholewords", "casesensitive"];
// What the server shows in the browser (the rest it sends as downloads): raster images, PDF,
// audio, video, plain text.
const SHOWABLE = new Set(["apng", "avif", "bmp", "gif", "ico", "jpeg", "jpg", "png", "webp", "pdf",
  "flac", "m4a", "mp3", "oga", "ogg", "opus", "wav", "m4v", "mp4", "ogv", "webm", "txt", "log",
  "md", "csv", "ini", "conf"]);

const $ = (id) => document.getElementById(id);
const numbers = new Intl.NumberFormat();

// ---- State and URLs -------------------------------------------------------------------------

function readState(search) {
  const p = new URLSearchParams(search);
  const count = Number(p.get("count"));
  const page = Math.floor(Number(p.get("page")));
  const sort = p.get("sort") || "";
  const state = {
    q: p.get("q") || "",
    filter: p.get("filter") || "",
    path: p.get("path") || "",
    show: ["folders", "all"].includes(p.get("show")) ? p.get("show") : "files",
    sort: SORT_KEYS.includes(sort) ? sort : "",
    descending: p.get("ascending") === "off",
    count: PAGE_SIZES.includes(count) ? count : DEFAULT_COUNT,
    page: page > 0 ? page : 1,
  };
  for (const flag of FLAGS) state[flag] = p.get(flag) === "on";
  return state;
}

// The page's own URL: only what differs from the defaults.
function pageUrl(state) {
  const p = new URLSearchParams();
  if (state.q) p.set("q", state.q);
  if (state.filter) p.set("filter", state.filter);
  if (state.path) p.set("path", state.path);
  for (const flag of FLAGS) if (state[flag]) p.set(flag, "on");
  if (state.show !== "files") p.set("show", state.show);
  if (state.sort) p.set("sort", state.sort);
  if (state.sort && state.descending) p.set("ascending", "off");
  if (state.count !== DEFAULT_COUNT) p.set("count", state.count);
  if (state.page > 1) p.set("page", state.page);
  const text = p.toString();
  return text ? "/?" + text : "/";
}

function findUrl(state) {
  const p = new URLSearchParams({ format: "json", term: state.q,
    from: (state.page - 1) * state.count, count: state.count });
  if (state.filter) p.set("filter", state.filter);
  if (state.path) p.set("path", state.path);
  for (const flag of FLAGS) if (state[flag]) p.set(flag, "on");
  if (state.show !== "files") p.set("includedirs", "on");
  if (state.show === "all") p.set("includefiles", "on");
  if (state.sort) {
    p.set("sort", state.sort);
    p.set("ascending", state.descending ? "off" : "on");
  }
  return "/find?" + p.toString();
}

function fileUrl(path, inline) {
  return "/download?file=" + encodeURIComponent(path) + (inline ? "&inline=1" : "");
}

function isSearchable(state) {
  return state.q.trim() !== "" || state.filter.trim() !== "" || state.path !== "";
}

// ---- Asking the server ------------------------------------------------------------------------

let state = readState(location.search);
let sequence = 0;          // the newest search; answers of older ones are dropped
let controller = null;     // cancels the search in flight
let debounceTimer = 0;
let refreshTimer = 0;
let typedEntry = false;    // the current history entry was made by typing: keystrokes update it

class SearchError extends Error {}

async function fetchAnswer(url, signal, seq) {
  const started = Date.now();
  for (;;) {
    let response;
    try {
      response = await fetch(url, { signal, headers: { Accept: "application/json" } });
    } catch (failure) {
      if (failure.name === "AbortError") throw failure;
      throw new SearchError("The server cannot be reached. Check that WebTessl is running.");
    }
    if (response.ok) {
      try {
        return await response.json();
      } catch (failure) {
        if (failure.name === "AbortError") throw failure;
        throw new SearchError("The server sent an answer this page cannot read.");
      }
    }
    // No answer from the search application: it is starting (the server has just launched
    // it) or busy. Ask again for a while before giving up.
    if (response.status !== 404) throw new SearchError(failureText(response.status));
    if (Date.now() - started > START_RETRY_MS) {
      throw new SearchError("The search application does not answer. Try again in a moment.");
    }
    if (seq === sequence) setStatus("Starting the search application\u2026");
    await pause(RETRY_PAUSE_MS, signal);
  }
}

function failureText(status) {
  if (status === 401 || status === 403) return "This server does not allow searching.";
  if (status >= 500) return "The server ran into a problem with this search. Try again.";
  return "The search could not be done. Try again.";
}

function pause(ms, signal) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(resolve, ms);
    signal.addEventListener("abort", () => {
      clearTimeout(timer);
      reject(new DOMException("Aborted", "AbortError"));
    }, { once: true });
  });
}

async function search() {
  clearTimeout(refreshTimer);
  if (controller) controller.abort();
  const seq = ++sequence;
  if (!isSearchable(state)) {
    controller = null;
    showIdle();
    return;
  }
  controller = new AbortController();
  const asked = state;
  const started = performance.now();
  document.body.classList.add("busy");
  try {
    const answer = await fetchAnswer(findUrl(asked), controller.signal, seq);
    if (seq !== sequence) return;
    render(answer, asked, performance.now() - started);
    if (answer.indexing) {
      refreshTimer = setTimeout(() => { if (seq === sequence) search(); }, INDEXING_REFRESH_MS);
    }
  } catch (failure) {
    if (failure.name === "AbortError" || seq !== sequence) return;
    showFailure(failure instanceof SearchError ? failure.message : "The search failed.");
  } finally {
    if (seq === sequence) document.body.classList.remove("busy");
  }
}

// ---- Rendering ----------------------------------------------------------------------------------

function setStatus(text) {
  $("status").textContent = text;
}

function hideNotices() {
  $("notice").hidden = true;
  $("cut").hidden = true;
}

function showIdle() {
  setStatus("");
  $("hint").hidden = false;
  hideNotices();
  clearResults();
}

function showFailure(text) {
  setStatus(text);
  hideNotices();
  clearResults();
}

function clearResults() {
  $("results").hidden = true;
  $("results").tBodies[0].replaceChildren();
  $("pager").hidden = true;
}

function render(answer, asked, elapsedMs) {
  const results = Array.isArray(answer.results) ? answer.results : [];
  const total = Number(answer.count) || 0;
  const first = (asked.page - 1) * asked.count;
  $("hint").hidden = true;
  $("notice").hidden = !answer.indexing;
  $("cut").hidden = !answer.cut;
  // A search stopped early counted only what it found by then.
  const totalText = (answer.cut ? "at least " : "") + numbers.format(total);
  if (results.length === 0) {
    setStatus(total > 0 ? "No files on this page: " + totalText + " match in all."
                        : "No files match.");
  } else {
    setStatus(numbers.format(first + 1) + "\u2013" + numbers.format(first + results.length) +
              " of " + totalText + " \u00b7 " + Math.round(elapsedMs) + " ms");
  }
  const words = matchWords(asked);
  const rows = document.createDocumentFragment();
  for (const result of results) rows.append(resultRow(result, words, asked));
  $("results").tBodies[0].replaceChildren(rows);
  $("results").hidden = results.length === 0;
  renderSortHeaders(asked);
  renderPager(asked, total, results.length);
}

function resultRow(result, words, asked) {
  const dir = String(result.dir ?? "");
  const file = String(result.file ?? "");
  const path = dir + file;
  const row = document.createElement("tr");
  row.tabIndex = -1;

  const nameCell = cell("name");
  if (result.folder) {
    nameCell.append(narrowLink(path, highlighted(file, words, asked.casesensitive), asked));
  } else {
    const link = element("a", "", highlighted(file, words, asked.casesensitive));
    link.href = fileUrl(path, false);
    link.download = file;
    link.title = "Download " + file;
    nameCell.append(link);
  }
  row.append(nameCell);

  const dirCell = cell("dir");
  const dirLink = narrowLink(dir, [dir], asked);
  dirLink.title = "Search only in " + dir;
  dirCell.append(dirLink);
  row.append(dirCell);

  const size = cell("num size", result.folder ? "" : sizeText(Number(result.size) || 0));
  size.dataset.label = "Size";
  row.append(size);
  const date = cell("date", String(result.timestr ?? "").slice(0, 16));
  row.append(date);

  const actions = cell("actions");
  if (!result.folder && SHOWABLE.has(extension(file))) {
    const open = element("a", "open", ["Open"]);
    open.href = fileUrl(path, true);
    open.target = "_blank";
    open.rel = "noopener";
    open.setAttribute("aria-label", "Open " + file + " in the browser");
    actions.append(open);
  }
  row.append(actions);
  return row;
}

function cell(className, text) {
  const td = document.createElement("td");
  td.className = className;
  if (text) td.textContent = text;
  return td;
}

function element(tag, className, children) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  node.append(...children);
  return node;
}

function narrowLink(folder, children, asked) {
  const link = element("a", "folder", children);
  const narrowed = { ...asked, path: folder, page: 1 };
  link.href = pageUrl(narrowed);
  link.addEventListener("click", (event) => {
    if (event.ctrlKey || event.metaKey || event.shiftKey || event.button !== 0) return;
    event.preventDefault();
    go(narrowed, false);
  });
  return link;
}

function extension(name) {
  const dot = name.lastIndexOf(".");
  return dot < 0 ? "" : name.slice(dot + 1).toLowerCase();
}

function sizeText(bytes) {
  if (bytes < 1024) return numbers.format(bytes) + " B";
  const units = ["KB", "MB", "GB", "TB"];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit++;
  }
  return value.toLocaleString(undefined, { maximumFractionDigits: value < 10 ? 1 : 0 }) + " " +
         units[unit];
}

// The words of the search as the search application reads them: blanks separate, double quotes
// keep a phrase whole. Words with "/" match the path, not the name.
function matchWords(asked) {
  const words = [];
  for (const match of asked.q.matchAll(/"([^"]*)"?|[^\s"]+/g)) {
    const word = match[1] ?? match[0];
    if (word && !word.includes("/")) words.push(asked.casesensitive ? word : word.toLowerCase());
  }
  return words;
}

// The name as text nodes, with every occurrence of a word in a <mark>.
function highlighted(name, words, caseSensitive) {
  if (words.length === 0) return [name];
  const folded = caseSensitive ? name : name.toLowerCase();
  // Lower-casing may change a string's length; then the marks could not be placed safely.
  if (folded.length !== name.length) return [name];
  const marked = new Uint8Array(name.length);
  for (const word of words) {
    for (let at = folded.indexOf(word); at >= 0; at = folded.indexOf(word, at + 1)) {
      marked.fill(1, at, at + word.length);
    }
  }
  const parts = [];
  let start = 0;
  for (let i = 1; i <= name.length; i++) {
    if (i === name.length || marked[i] !== marked[start]) {
      const text = name.slice(start, i);
      parts.push(marked[start] ? element("mark", "", [text]) : text);
      start = i;
    }
  }
  return parts;
}

function renderSortHeaders(asked) {
  for (const button of document.querySelectorAll("th button[data-sort]")) {
    const key = button.dataset.sort;
    const th = button.parentElement;
    if (key === asked.sort) {
      th.setAttribute("aria-sort", asked.descending ? "descending" : "ascending");
    } else {
      th.removeAttribute("aria-sort");
    }
  }
}

function lastPage(asked, total) {
  return Math.max(1, Math.ceil(total / asked.count));
}

function renderPager(asked, total, shown) {
  const last = lastPage(asked, total);
  $("pager").dataset.total = total;
  $("pager").hidden = total <= asked.count && asked.page === 1;
  $("pageinfo").textContent = "Page " + numbers.format(asked.page) + " of " + numbers.format(last);
  $("first").disabled = $("prev").disabled = asked.page <= 1;
  $("next").disabled = $("last").disabled = (asked.page - 1) * asked.count + shown >= total;
}

// ---- Controls -------------------------------------------------------------------------------

function writeControls() {
  if ($("q").value !== state.q) $("q").value = state.q;
  $("filter").value = state.filter;
  for (const flag of FLAGS) $(flag).checked = state[flag];
  $("show").value = state.show;
  $("sort").value = state.sort;
  $("descending").checked = state.descending;
  $("descending").disabled = !state.sort;
  $("count").value = String(state.count);
  $("scope").hidden = !state.path;
  $("scope-path").textContent = state.path;
  document.title = state.q ? state.q + " \u2013 WebTessl" : "WebTessl";
  if (state.filter || FLAGS.some((flag) => state[flag]) || state.show !== "files") {
    $("options").open = true;
  }
}

// Moves to a new state: the URL first, then the screen. Typing makes one new history entry and
// then updates it keystroke by keystroke, so Back returns to the search before the typing.
function go(next, typing) {
  clearTimeout(debounceTimer);
  state = next;
  const url = pageUrl(state);
  if (url !== location.pathname + location.search) {
    if (typing && typedEntry) history.replaceState(null, "", url);
    else history.pushState(null, "", url);
  }
  typedEntry = typing;
  writeControls();
  search();
}

function fromControls() {
  const next = { ...state, q: $("q").value, filter: $("filter").value, show: $("show").value,
    sort: $("sort").value, descending: $("descending").checked, count: Number($("count").value),
    page: 1 };
  for (const flag of FLAGS) next[flag] = $(flag).checked;
  return next;
}

function sortBy(key) {
  const same = state.sort === key;
  // A new key starts in its natural direction: names A to Z, sizes and dates largest and newest.
  const descending = same ? !state.descending : key === "size" || key === "date";
  go({ ...state, sort: key, descending, page: 1 }, false);
}

function moveSelection(step) {
  const rows = [...$("results").tBodies[0].rows];
  if (rows.length === 0 || $("results").hidden) return false;
  const at = rows.indexOf(document.activeElement);
  const next = at < 0 ? (step > 0 ? 0 : rows.length - 1)
                      : Math.min(rows.length - 1, Math.max(0, at + step));
  rows[next].focus();
  return true;
}

// Enter on a result: files the browser shows open in place (Back returns here), the others
// download, folders narrow the search.
function openRow(row) {
  const open = row.querySelector("a.open");
  if (open) location.assign(open.href);
  else row.querySelector("td.name a")?.click();
}

function bind() {
  $("search").addEventListener("submit", (event) => {
    event.preventDefault();
    go(fromControls(), false);
  });
  $("q").addEventListener("input", () => {
    clearTimeout(debounceTimer);
    debounceTimer = setTimeout(() => go({ ...state, q: $("q").value, page: 1 }, true),
                               DEBOUNCE_MS);
  });
  for (const id of [...FLAGS, "show", "sort", "descending", "count"]) {
    $(id).addEventListener("change", () => go(fromControls(), false));
  }
  $("filter").addEventListener("input", () => {
    clearTimeout(debounceTimer);
    debounceTimer = setTimeout(() => go(fromControls(), true), DEBOUNCE_MS);
  });
  $("scope-clear").addEventListener("click", () => go({ ...state, path: "", page: 1 }, false));
  for (const button of document.querySelectorAll("th button[data-sort]")) {
    button.addEventListener("click", () => sortBy(button.dataset.sort));
  }
  $("first").addEventListener("click", () => go({ ...state, page: 1 }, false));
  $("prev").addEventListener("click", () => go({ ...state, page: state.page - 1 }, false));
  $("next").addEventListener("click", () => go({ ...state, page: state.page + 1 }, false));
  $("last").addEventListener("click", () => {
    const total = Number($("pager").dataset.total) || 0;
    go({ ...state, page: lastPage(state, total) }, false);
  });
  window.addEventListener("popstate", () => {
    typedEntry = false;
    state = readState(location.search);
    writeControls();
    search();
  });
  document.addEventListener("keydown", onKey);
}

function onKey(event) {
  if (event.altKey || event.ctrlKey || event.metaKey) return;
  const target = event.target;
  const typing = target instanceof HTMLInputElement && target.type !== "checkbox" ||
                 target instanceof HTMLSelectElement;
  if (event.key === "/" && !typing) {
    event.preventDefault();
    $("q").focus();
    $("q").select();
  } else if (event.key === "ArrowDown" && (target === $("q") || !typing)) {
    if (moveSelection(1)) event.preventDefault();
  } else if (event.key === "ArrowUp" && !typing) {
    if (document.activeElement?.parentElement === $("results").tBodies[0] &&
        document.activeElement === $("results").tBodies[0].rows[0]) {
      $("q").focus();
      event.preventDefault();
    } else if (moveSelection(-1)) {
      event.preventDefault();
    }
  } else if (event.key === "Enter" && target instanceof HTMLTableRowElement) {
    event.preventDefault();
    openRow(target);
  }
}

bind();
writeControls();
search();
