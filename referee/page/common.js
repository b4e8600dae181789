'use strict';
// Shared by the match and the series page. Every text that an engine or a
// command line controls (replies, names, commands, fault messages) is put
// into the page with textContent or as a plain attribute value, never
// parsed as markup: it shows as the characters it is and runs nothing.
const Kelp = (() => {
  const SVG_NS = 'http://www.w3.org/2000/svg';
  // How often an unfinished page looks for a newer copy of itself (ms).
  const RELOAD_MS = 2000;

  // An element with attributes and children (nodes or strings, as text).
  function el(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v !== null && v !== undefined) node.setAttribute(k, String(v));
    }
    for (const c of children) {
      if (c === null || c === undefined) continue;
      node.append(typeof c === 'string' || typeof c === 'number' ? document.createTextNode(String(c)) : c);
    }
    return node;
  }

  function svg(tag, attrs, text) {
    const node = document.createElementNS(SVG_NS, tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v !== null && v !== undefined) node.setAttribute(k, String(v));
    }
    if (text !== undefined) node.textContent = String(text);
    return node;
  }

  function readData() {
    const node = document.getElementById('kelp-data');
    try {
      return JSON.parse(node.textContent);
    } catch (e) {
      return null;
    }
  }

  function num(v, digits) {
    return typeof v === 'number' && Number.isFinite(v) ? v.toFixed(digits) : '–';
  }

  // The fragment (#end=3&shot=12) as a map.
  function fragment() {
    return new URLSearchParams(location.hash.replace(/^#/, ''));
  }

  // Rewrites the fragment without a new history entry or a reload.
  function setFragment(params) {
    const hash = '#' + new URLSearchParams(params).toString();
    if (location.hash === hash) return;
    try {
      history.replaceState(null, '', hash);
    } catch (e) {
      location.hash = hash;
    }
  }

  // While `unfinished`, reloads the page every few seconds to pick up the
  // newer copy the referee wrote, unless busy() says the user is in the
  // middle of something (an animation); then it tries again a bit later.
  function reloadWhile(unfinished, busy) {
    if (!unfinished) return;
    const tick = () => {
      if (busy()) {
        setTimeout(tick, RELOAD_MS / 4);
      } else {
        location.reload();
      }
    };
    setTimeout(tick, RELOAD_MS);
  }

  function page() {
    const main = document.getElementById('page');
    main.replaceChildren();
    return main;
  }

  return { el, svg, readData, num, fragment, setFragment, reloadWhile, page };
})();
