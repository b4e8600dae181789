// Shared by the browser tests: the built referee and engines, matches
// played into the build tree, and a headless Chromium page that notes its
// console errors, page errors, dialogs, requests and loads.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const SOURCE = path.resolve(__dirname, '..', '..');
const BINARY = process.env.KELP_BINARY_DIR || path.join(SOURCE, 'build');
const CHROMIUM = process.env.KELP_CHROMIUM || '/usr/bin/chromium';
const FAKE = `/usr/bin/python3 ${SOURCE}/tests/referee/fake_engine.py`;
// Two quick built engines: the strong search and the greedy one.
const STRONG = `${BINARY}/kelp-strong --think-ms 100 --threads 1`;
const GREEDY = `${STRONG} --search greedy`;
const chromiumMissing = !fs.existsSync(CHROMIUM) && `${CHROMIUM} is missing (scripts/setup installs chromium)`;

function outDir(name) {
  const dir = path.join(BINARY, 'test-output', 'browser', name);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(path.dirname(dir), { recursive: true });
  return dir;
}

// The referee started; `done` resolves to its exit code and output.
function startReferee(args) {
  const child = spawn(path.join(BINARY, 'kelp-referee'), args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.on('data', (d) => { output += d; });
  child.stderr.on('data', (d) => { output += d; });
  return { child, done: new Promise((resolve) => child.on('close', (code) => resolve({ code, output }))) };
}
const referee = (args) => startReferee(args).done;

const records = (dir) => fs.readFileSync(path.join(dir, 'record.jsonl'), 'utf8').trim().split('\n').map((l) => JSON.parse(l));
const pageUrl = (dir, file, hash = '') => pathToFileURL(path.join(dir, file)).href + hash;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function until(what, test, ms = 60000) {
  for (const end = Date.now() + ms; ; await sleep(100)) {
    const v = await test();
    if (v) return v;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
  }
}

// One browser for a test file, started by its first page and closed after
// the file's tests whatever happens in them: an open browser keeps node, and
// so the test run, alive.
let browser;
require('node:test').after(() => browser && browser.then((b) => b.close()));

async function watchedPage(url) {
  browser ??= require('puppeteer-core').launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
  const page = await (await browser).newPage();
  await page.setViewport({ width: 1200, height: 1000 });
  const seen = { errors: [], dialogs: [], requests: [], loads: 0 };
  page.on('console', (m) => { if (m.type() === 'error') seen.errors.push(m.text()); });
  page.on('pageerror', (e) => seen.errors.push(e.message));
  page.on('dialog', async (d) => { seen.dialogs.push(d.message()); await d.dismiss(); });
  page.on('request', (r) => seen.requests.push(r.url()));
  page.on('load', () => { seen.loads += 1; });
  if (url) await page.goto(url);
  return { page, seen };
}

// Nothing a user should never see: no error, no alert, no request but the
// page's own file.
function clean(seen, url) {
  assert.deepEqual(seen.errors, []);
  assert.deepEqual(seen.dialogs, []);
  if (url) assert.ok(seen.requests.every((u) => u.startsWith(url.split('#')[0])), seen.requests.join('\n'));
}
const assert = require('node:assert/strict');

// Evaluates in the page, again if a (live page's) reload got in between.
async function settled(page, fn) {
  for (let tries = 0; ; tries++) {
    try {
      await page.waitForSelector('#state');
      return await page.evaluate(fn);
    } catch (e) {
      if (tries > 50 || !/context|navigat|detached|does not belong to the document/i.test(e.message)) throw e;
      await sleep(100);
    }
  }
}

// What the match page shows: the throw's heading, reply, status and stones,
// the score bar, the state line and the fragment.
const shown = (page) => settled(page, () => ({
  title: document.getElementById('throw-title').textContent,
  state: document.getElementById('state').textContent,
  reply: document.getElementById('reply')?.textContent ?? null,
  status: document.getElementById('status')?.textContent ?? null,
  points: ['A', 'B'].map((s) => Number(document.getElementById(`points-${s}`).textContent)),
  hash: location.hash,
  stones: [...document.querySelectorAll('#sheet g.stone')].map((g) => ({ slot: Number(g.dataset.slot), x: Number(g.dataset.x), y: Number(g.dataset.y) })),
}));

module.exports = {
  FAKE, STRONG, GREEDY, chromiumMissing, outDir, startReferee, referee, records, pageUrl, sleep, until,
  watchedPage, clean, settled, shown,
};
