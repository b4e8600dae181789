// A real match page, played by the referee with the built engines, opened
// from the folder and stepped through as a user would.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const k = require('./support');

let browser;
let dir;
let record;
before(async () => {
  if (k.chromiumMissing) return;
  dir = k.outDir('match');
  const r = await k.referee(['--ends', '2', '--seed', '11', '--no-pictures', '--out', dir, k.STRONG, k.GREEDY]);
  assert.equal(r.code, 0, r.output);
  record = k.records(dir);
  browser = await k.launch();
});
after(async () => { if (browser) await browser.close(); });

// What the page must show for throw i of the record.
function expectThrow(got, i) {
  const t = record[i];
  assert.equal(got.title, `End ${t.end}, shot ${t.shot}`);
  assert.equal(got.reply, t.reply);
  const stones = t.stones.map((s, slot) => s && { slot, x: s[0], y: s[1] }).filter(Boolean);
  assert.deepEqual(got.stones.map(({ slot, x, y }) => ({ slot, x, y })), stones);
  const points = [0, 0];
  for (const r of record.slice(0, i + 1)) if (r.end_score && r.end_score.engine) points[r.end_score.engine === 'A' ? 0 : 1] += r.end_score.points;
  assert.deepEqual(got.points, points);
  assert.equal(got.hash, `#end=${t.end}&shot=${t.shot}`);
}

test('a match page steps by keys, buttons and slider, as record.jsonl has it', { skip: k.chromiumMissing }, async () => {
  assert.equal(record.length, 32);
  const { page, seen } = await k.watchedPage(browser);
  const url = k.fileUrl(path.join(dir, 'match.html'));
  await page.goto(url);
  let got = await k.shown(page);
  expectThrow(got, 31);
  assert.match(got.state, /^Finished: /);
  // The score by end, as the record scored the ends.
  const cells = await page.$$eval('#ends td[data-end]', (tds) => tds.map((td) => td.textContent));
  const expected = [0, 1].map((side) => [0, 1].map((end) => {
    const s = record.find((r) => r.end === end && r.end_score).end_score;
    if (!s.engine) return 'blank';
    return String(s.engine === 'AB'[side] ? s.points : 0);
  }));
  assert.deepEqual(cells, expected.flat());

  await page.keyboard.press('ArrowLeft');
  expectThrow(await k.shown(page), 30);
  await page.keyboard.press('ArrowUp');  // the start of this end
  expectThrow(await k.shown(page), 16);
  await page.keyboard.press('ArrowUp');  // the end before
  expectThrow(await k.shown(page), 0);
  await page.keyboard.press('ArrowDown');
  expectThrow(await k.shown(page), 16);
  await page.keyboard.press('ArrowRight');
  expectThrow(await k.shown(page), 17);
  await page.click('#prev');
  await page.click('#prev');
  expectThrow(await k.shown(page), 15);
  await page.click('#next-end');
  expectThrow(await k.shown(page), 16);
  await page.click('#prev-end');
  await page.click('#next');
  expectThrow(await k.shown(page), 1);
  await page.$eval('#slider', (s) => { s.value = '9'; s.dispatchEvent(new Event('input')); });
  expectThrow(await k.shown(page), 9);

  // Space plays: the stones move along their paths, and the page goes on to
  // the next throw when one is done.
  await page.keyboard.press(' ');
  assert.equal(await page.$eval('#play', (b) => b.textContent), '⏸ pause');
  await k.until('the next throw', async () => (await k.shown(page)).title === `End ${record[10].end}, shot ${record[10].shot}`, 30000);
  await page.keyboard.press(' ');
  assert.equal(await page.$eval('#play', (b) => b.textContent), '▶ play');
  await k.sleep(200);
  expectThrow(await k.shown(page), 10);

  assert.deepEqual(seen.errors, []);
  assert.deepEqual(seen.dialogs, []);
  assert.ok(seen.requests.every((u) => u === url), seen.requests.join('\n'));
  await page.close();
});

test('a link to a throw opens that throw', { skip: k.chromiumMissing }, async () => {
  const { page, seen } = await k.watchedPage(browser);
  const i = record.findIndex((r) => r.end === 1 && r.shot === 5);
  const t0 = Date.now();
  await page.goto(k.fileUrl(path.join(dir, 'match.html'), '#end=1&shot=5'));
  const opened = Date.now() - t0;
  expectThrow(await k.shown(page), i);
  const facts = await page.$eval('#throw', (d) => d.textContent);
  assert.match(facts, /time\d+\.\d{3} s/);
  assert.match(facts, /statusok/);
  console.log(`# match page of 2 ends opened in ${opened} ms`);
  assert.deepEqual(seen.errors, []);
  await page.close();
});
