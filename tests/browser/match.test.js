// A real match page, played by the referee with the built engines, opened
// from the folder and stepped through as a user would.
'use strict';
const { test, before } = require('node:test');
const assert = require('node:assert/strict');
const k = require('./support');

let dir, record;
before(async () => {
  if (k.chromiumMissing) return;
  dir = k.outDir('match');
  const r = await k.referee(['--ends', '2', '--seed', '11', '--no-pictures', '--out', dir, k.STRONG, k.GREEDY]);
  assert.equal(r.code, 0, r.output);
  record = k.records(dir);
});

// What the page must show for throw i of the record.
async function expectThrow(page, i) {
  const got = await k.shown(page);
  const t = record[i];
  assert.equal(got.title, `End ${t.end}, shot ${t.shot}`);
  assert.equal(got.reply, t.reply);
  assert.equal(got.hash, `#end=${t.end}&shot=${t.shot}`);
  assert.deepEqual(got.stones, t.stones.flatMap((s, slot) => (s ? [{ slot, x: s[0], y: s[1] }] : [])));
  const points = [0, 0];
  for (const { end_score: s } of record.slice(0, i + 1)) if (s && s.engine) points['AB'.indexOf(s.engine)] += s.points;
  assert.deepEqual(got.points, points);
}

test('a match page steps by keys, buttons, slider and play, as record.jsonl has it', { skip: k.chromiumMissing }, async () => {
  assert.equal(record.length, 32);
  const url = k.pageUrl(dir, 'match.html');
  const { page, seen } = await k.watchedPage(url);
  await expectThrow(page, 31);
  assert.match((await k.shown(page)).state, /^Finished: /);
  assert.match(await page.$eval('#throw', (d) => d.textContent), /time\d+\.\d{3} sstatusok/);
  const cells = await page.$$eval('#ends td[data-end]', (tds) => tds.map((td) => td.textContent));
  const scores = [0, 1].map((end) => record.find((r) => r.end === end && r.end_score).end_score);
  assert.deepEqual(cells, ['A', 'B'].flatMap((side) => scores.map((s) => (s.engine ? String(s.engine === side ? s.points : 0) : 'blank'))));

  const steps = [['ArrowLeft', 30], ['ArrowUp', 16], ['ArrowUp', 0], ['ArrowDown', 16], ['ArrowRight', 17],
    ['#prev', 16], ['#prev', 15], ['#next-end', 16], ['#prev-end', 0], ['#next', 1], ['End', 31], ['Home', 0]];
  for (const [input, i] of steps) {
    await (input.startsWith('#') ? page.click(input) : page.keyboard.press(input));
    await expectThrow(page, i);
  }
  await page.$eval('#slider', (s) => { s.value = '9'; s.dispatchEvent(new Event('input')); });
  await expectThrow(page, 9);
  // Space plays: the stones move along their paths, and the page goes on to
  // the next throw when one is done.
  await page.keyboard.press(' ');
  assert.equal(await page.$eval('#play', (b) => b.textContent), '⏸ pause');
  await k.until('the next throw', async () => (await k.shown(page)).title === `End 0, shot 10`, 30000);
  await page.keyboard.press(' ');
  await expectThrow(page, 10);
  k.clean(seen, url);
});
