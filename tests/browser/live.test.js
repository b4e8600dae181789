// The page of a match still being played follows it, stays where the user
// stepped back to, and stops reloading once the match has ended.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const k = require('./support');

let browser;
before(async () => { if (!k.chromiumMissing) browser = await k.launch(); });
after(async () => { if (browser) await browser.close(); });

const throwsShown = (page) => k.settled(page, () => (document.querySelector('#slider:not([disabled])') ? Number(document.getElementById('slider').max) + 1 : 0));

// Presses a key just after a reload, so that the next one is seconds away;
// again if a reload came first all the same.
async function pressBetweenReloads(page, seen, key, done) {
  for (;;) {
    const loads = seen.loads;
    await k.until('a reload', () => seen.loads > loads);
    await page.keyboard.press(key);
    const got = await k.shown(page);
    if (seen.loads === loads + 1 && done(got)) return got;
  }
}

test('a live page follows the match and stops reloading at its end', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('live');
  const engine = `${k.FAKE} --think 0.3 --script ok`;
  const run = k.startReferee(['--ends', '2', '--out', dir, '--no-pictures', engine, engine]);
  const file = path.join(dir, 'match.html');
  await k.until('the page', () => fs.existsSync(file));
  const { page, seen } = await k.watchedPage(browser);
  const url = k.fileUrl(file);
  await page.goto(url);
  // The newest throw, then a newer one after a reload by itself.
  const first = await k.until('a throw', async () => (await throwsShown(page)) >= 2 && (await throwsShown(page)));
  assert.match((await k.shown(page)).state, /^Live: /);
  await k.until('a newer throw', async () => (await throwsShown(page)) > first);
  assert.ok(seen.loads >= 2);
  const got = await k.shown(page);
  const n = await throwsShown(page);
  assert.equal(got.title, `End ${Math.floor((n - 1) / 16)}, shot ${(n - 1) % 16}`, 'on the newest throw');
  assert.match(got.hash, /follow=1/);

  // Stepped back, the page stays there across reloads.
  const kept = (await pressBetweenReloads(page, seen, 'ArrowLeft', (g) => !/follow/.test(g.hash))).title;
  const loads = seen.loads;
  await k.until('a reload', async () => seen.loads > loads && (await throwsShown(page)) > n);
  assert.equal((await k.shown(page)).title, kept);

  // The match ends: the last copy of the page comes, still where the user was.
  const r = await run.done;
  assert.equal(r.code, 0, r.output);
  await k.until('the end of the match', async () => /^Finished: /.test((await k.shown(page)).state));
  assert.equal((await k.shown(page)).title, kept);
  await page.keyboard.press('End');
  assert.equal((await k.shown(page)).title, 'End 1, shot 15');
  const ended = seen.loads;
  await k.sleep(4500);
  assert.equal(seen.loads, ended, 'no reload after the end');
  assert.deepEqual(seen.errors, []);
  assert.ok(seen.requests.every((u) => u.startsWith(url)), seen.requests.join('\n'));
  await page.close();
});
