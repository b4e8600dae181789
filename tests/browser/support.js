// Shared by the browser tests: the built referee and engines, matches
// played into the build tree, and a headless Chromium page that notes every
// console error, page error, dialog and request.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const SOURCE = path.resolve(__dirname, '..', '..');
const BINARY = process.env.KELP_BINARY_DIR || path.join(SOURCE, 'build');
const CHROMIUM = process.env.KELP_CHROMIUM || '/usr/bin/chromium';
const REFEREE = path.join(BINARY, 'kelp-referee');
const FAKE = `/usr/bin/python3 ${SOURCE}/tests/referee/fake_engine.py`;
// Two quick built engines: the strong search and the greedy one, each
// thinking a tenth of a second.
const STRONG = `${BINARY}/kelp-strong --think-ms 100 --threads 1`;
const GREEDY = `${BINARY}/kelp-strong --think-ms 100 --threads 1 --search greedy`;

// A fresh folder under the build tree (the referee wants one that is new).
function outDir(name) {
  const dir = path.join(BINARY, 'test-output', 'browser', name);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(path.dirname(dir), { recursive: true });
  return dir;
}

// Starts the referee; `done` resolves to its exit code and output.
function startReferee(args) {
  const child = spawn(REFEREE, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.on('data', (d) => { output += d; });
  child.stderr.on('data', (d) => { output += d; });
  const done = new Promise((resolve) => child.on('close', (code, signal) => resolve({ code, signal, output })));
  return { child, done };
}

async function referee(args) {
  return startReferee(args).done;
}

function records(dir) {
  return fs.readFileSync(path.join(dir, 'record.jsonl'), 'utf8').trim().split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

const fileUrl = (file, hash) => pathToFileURL(file).href + (hash || '');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function until(what, test, ms = 60000) {
  const end = Date.now() + ms;
  for (;;) {
    const v = await test();
    if (v) return v;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await sleep(100);
  }
}

async function launch() {
  const puppeteer = require('puppeteer-core');
  return puppeteer.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
}

// A page that keeps what a user should never see: console errors, page
// errors, dialogs (an alert that ran), and every request it made.
async function watchedPage(browser) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 1000 });
  const seen = { errors: [], dialogs: [], requests: [], loads: 0 };
  page.on('console', (m) => { if (m.type() === 'error') seen.errors.push(m.text()); });
  page.on('pageerror', (e) => seen.errors.push(e.message));
  page.on('dialog', async (d) => { seen.dialogs.push(d.message()); await d.dismiss(); });
  page.on('request', (r) => seen.requests.push(r.url()));
  page.on('load', () => { seen.loads += 1; });
  return { page, seen };
}

// Evaluates in the page, again if a reload (a live page's) got in between.
async function settled(page, fn) {
  for (let tries = 0; ; tries++) {
    try {
      await page.waitForSelector('#state');
      return await page.evaluate(fn);
    } catch (e) {
      if (tries > 50 || !/context|navigat|detached/i.test(e.message)) throw e;
      await sleep(100);
    }
  }
}

// What the page shows: the throw's heading, facts and stones, the score bar.
async function shown(page) {
  return settled(page, () => ({
    title: document.getElementById('throw-title')?.textContent,
    state: document.getElementById('state')?.textContent,
    reply: document.getElementById('reply')?.textContent ?? null,
    status: document.getElementById('status')?.textContent ?? null,
    points: ['A', 'B'].map((s) => Number(document.getElementById(`points-${s}`).textContent)),
    hash: location.hash,
    stones: [...document.querySelectorAll('#sheet g.stone')].map((g) => ({
      slot: Number(g.dataset.slot), engine: g.dataset.engine, x: Number(g.dataset.x), y: Number(g.dataset.y),
    })),
  }));
}

const chromiumMissing = fs.existsSync(CHROMIUM) ? false : `${CHROMIUM} is missing (scripts/setup installs chromium)`;

module.exports = {
  SOURCE, BINARY, REFEREE, FAKE, STRONG, GREEDY, outDir, startReferee, referee, records, fileUrl,
  sleep, until, launch, watchedPage, settled, shown, chromiumMissing,
};
