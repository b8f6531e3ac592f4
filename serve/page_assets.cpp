// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "page_assets.h"

#include <array>

namespace ql::serve {

namespace {

constexpr std::string_view kIndexHtml = R"QL(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<title>Quillary</title>
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head>
<body>
<header>
<form id="find" role="search" autocomplete="off">
<input id="q" name="q" type="search" list="subjects" placeholder="Look up a word"
 aria-label="Word" autocapitalize="off" spellcheck="false" maxlength="200" autofocus>
<datalist id="subjects"></datalist>
<button type="submit">Look up</button>
</form>
</header>
<main>
<p id="status" role="status"></p>
<div id="entries"></div>
<section id="hits" hidden>
<h2>Found in the text</h2>
<ol id="hitlist"></ol>
</section>
</main>
</body>
</html>
)QL";

constexpr std::string_view kAppCss = R"QL(:root {
  color-scheme: light dark;
  --text: #1d1b16; --back: #fbfaf6; --band: #e8e2d4; --quiet: #6b6557;
  --link: #1f4e9c; --mark: #f6e27a; --line: #d6d0c2;
}
@media (prefers-color-scheme: dark) {
  :root {
    --text: #e6e1d6; --back: #1b1a17; --band: #3a362d; --quiet: #a39d8f;
    --link: #8db4f2; --mark: #6b5a12; --line: #45413a;
  }
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0; background: var(--back); color: var(--text);
  font: 1rem/1.5 system-ui, sans-serif;
}
header {
  position: sticky; top: 0; background: var(--back);
  border-bottom: 1px solid var(--line); padding: .6rem 0;
}
form { display: flex; gap: .5rem; max-width: 48rem; margin: 0 auto; padding: 0 1rem; }
input {
  flex: 1 1 auto; min-width: 0; font: inherit; padding: .4rem .6rem;
  color: inherit; background: transparent; border: 1px solid var(--line); border-radius: .3rem;
}
button { font: inherit; padding: .4rem .8rem; }
main { max-width: 48rem; margin: 0 auto; padding: 0 1rem 2rem; overflow-wrap: anywhere; }
a { color: var(--link); }
#status { color: var(--quiet); min-height: 1.5em; }
.book {
  background: var(--band); font-weight: bold; margin: 1rem 0 .3rem;
  padding: .2rem .5rem; border-radius: .2rem;
}
.entry h2 { font-size: 1.25rem; margin: .3rem 0; }
.entry img, .entry table { max-width: 100%; }
#hits h2 { font-size: 1.1rem; border-top: 1px solid var(--line); padding-top: 1rem; }
#hitlist li { margin-bottom: .6rem; }
.where { color: var(--quiet); font-size: .9em; }
mark { background: var(--mark); color: inherit; }
)QL";

constexpr std::string_view kAppJs = R"QL("use strict";
(() => {
  const field = document.getElementById("q");
  const offered = document.getElementById("subjects");
  const entries = document.getElementById("entries");
  const status = document.getElementById("status");
  const hitsPart = document.getElementById("hits");
  const hitList = document.getElementById("hitlist");
  let titles = new Map();
  let shown = 0;

  // The tags a rendered entry keeps (the record view's own narrow set);
  // anything else gives its text only, and these give nothing at all.
  const kept = { B: "b", I: "i", U: "u", P: "p", BR: "br", HR: "hr", LI: "li", OL: "ol",
    UL: "ul", CENTER: "center", A: "a", STRIKE: "s", SUP: "sup", SUB: "sub", H2: "h2",
    FONT: "span" };
  const dropped = new Set(["SCRIPT", "STYLE", "HEAD", "TITLE", "IFRAME", "OBJECT", "EMBED",
    "TEMPLATE", "SVG", "MATH", "NOSCRIPT", "FORM", "INPUT", "TEXTAREA", "SELECT"]);

  function copyInto(from, to) {
    for (const node of from.childNodes) {
      if (node.nodeType === Node.TEXT_NODE) {
        to.appendChild(document.createTextNode(node.data));
      } else if (node.nodeType === Node.ELEMENT_NODE && !dropped.has(node.tagName)) {
        const tag = kept[node.tagName];
        if (!tag) { copyInto(node, to); continue; }
        const el = document.createElement(tag);
        if (tag === "a") {
          const href = node.getAttribute("href") || "";
          if (href.startsWith("/?q=")) el.setAttribute("href", href);
        }
        if (tag === "span" && node.getAttribute("color") === "red") el.className = "found";
        copyInto(node, el);
        to.appendChild(el);
      }
    }
  }

  function entryOf(html) {
    const doc = new DOMParser().parseFromString(html, "text/html");
    const div = document.createElement("div");
    div.className = "entry";
    copyInto(doc.body, div);
    return div;
  }

  async function getJson(path, args) {
    const url = path + "?" + new URLSearchParams(args).toString();
    const answer = await fetch(url, { headers: { Accept: "application/json" } });
    const body = await answer.json();
    if (!answer.ok) throw new Error(body && body.error ? body.error : answer.statusText);
    return body;
  }

  function section(s) {
    const part = document.createElement("section");
    const band = document.createElement("div");
    band.className = "book";
    band.textContent = s.title;
    part.appendChild(band);
    part.appendChild(entryOf(s.html));
    return part;
  }

  // A snippet with its marked words; marks are byte ranges of its UTF-8.
  function snippetOf(hit) {
    const bytes = new TextEncoder().encode(hit.snippet);
    const text = (a, b) => new TextDecoder().decode(bytes.subarray(a, b));
    const span = document.createElement("span");
    let at = 0;
    for (const [offset, length] of hit.marks) {
      if (offset < at || offset + length > bytes.length) continue;
      span.appendChild(document.createTextNode(text(at, offset)));
      const mark = document.createElement("mark");
      mark.textContent = text(offset, offset + length);
      span.appendChild(mark);
      at = offset + length;
    }
    span.appendChild(document.createTextNode(text(at, bytes.length)));
    return span;
  }

  function showHits(hits) {
    hitList.replaceChildren();
    for (const hit of hits) {
      const li = document.createElement("li");
      const a = document.createElement("a");
      a.href = "/?" + new URLSearchParams({ book: hit.book, index: hit.index }).toString();
      a.textContent = hit.subject;
      const where = document.createElement("span");
      where.className = "where";
      where.textContent = " " + (titles.get(hit.book) || "");
      li.append(a, where, document.createElement("br"), snippetOf(hit));
      hitList.appendChild(li);
    }
    hitsPart.hidden = hits.length === 0;
  }

  async function show(args) {
    const turn = ++shown;
    entries.replaceChildren();
    hitList.replaceChildren();
    hitsPart.hidden = true;
    status.textContent = "";
    try {
      if (args.has("book") && args.has("index")) {
        const s = await getJson("/api/record", { book: args.get("book"), index: args.get("index") });
        if (turn !== shown) return;
        entries.appendChild(section(s));
        field.value = s.subject;
        return;
      }
      const word = args.get("q") || "";
      field.value = word;
      if (!word) return;
      const found = await getJson("/api/lookup", { q: word });
      if (turn !== shown) return;
      for (const s of found) entries.appendChild(section(s));
      if (found.length === 0) status.textContent = "No book has \u201c" + word + "\u201d.";
      const hits = await getJson("/api/fts", { q: word }).catch(() => []);
      if (turn !== shown) return;
      showHits(hits);
    } catch (e) {
      if (turn === shown) status.textContent = e.message;
    }
  }

  function go(search) {
    if (search !== location.search) history.pushState(null, "", "/" + search);
    show(new URLSearchParams(search));
    window.scrollTo(0, 0);
  }

  document.getElementById("find").addEventListener("submit", (e) => {
    e.preventDefault();
    const word = field.value.trim();
    if (word) go("?" + new URLSearchParams({ q: word }).toString());
  });

  document.addEventListener("click", (e) => {
    const a = e.target.closest("a[href]");
    if (!a || e.ctrlKey || e.metaKey || e.shiftKey || e.button !== 0) return;
    const href = a.getAttribute("href");
    if (!href.startsWith("/?")) return;
    e.preventDefault();
    go(href.slice(1));
  });

  window.addEventListener("popstate", () => show(new URLSearchParams(location.search)));

  let typing = 0;
  field.addEventListener("input", () => {
    clearTimeout(typing);
    const word = field.value;
    typing = setTimeout(async () => {
      if (!word.trim()) { offered.replaceChildren(); return; }
      try {
        const subjects = await getJson("/api/suggest", { q: word });
        if (word !== field.value) return;
        offered.replaceChildren(...subjects.map((s) => {
          const option = document.createElement("option");
          option.value = s;
          return option;
        }));
      } catch (e) { /* no offer this time */ }
    }, 120);
  });

  getJson("/api/books", {}).then((books) => {
    titles = new Map(books.map((b) => [b.id, b.title]));
  }).catch(() => {}).finally(() => show(new URLSearchParams(location.search)));
})();
)QL";

constexpr std::array<PageAsset, 3> kAssets = {{
    {"/", "text/html; charset=utf-8", kIndexHtml},
    {"/app.css", "text/css; charset=utf-8", kAppCss},
    {"/app.js", "text/javascript; charset=utf-8", kAppJs},
}};

}  // namespace

const PageAsset* FindAsset(std::string_view path) {
  for (const PageAsset& a : kAssets)
    if (a.path == path) return &a;
  return nullptr;
}

}  // namespace ql::serve
