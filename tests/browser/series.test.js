// The page of a series: its figures as series.json has them, the Elo chart
// over the games, and a table whose links open each game's match page.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const k = require('./support');

let browser;
before(async () => { if (!k.chromiumMissing) browser = await k.launch(); });
after(async () => { if (browser) await browser.close(); });

test('a series page shows series.json, the chart and links to every game', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('series');
  const r = await k.referee(['--games', '6', '--seed', '3', '--sprt', '0', '200', '--no-pictures', '--out', dir,
    `${k.FAKE} --script ok`, `${k.FAKE} --script ok`]);
  assert.equal(r.code, 0, r.output);
  const series = JSON.parse(fs.readFileSync(path.join(dir, 'series.json'), 'utf8'));
  const { page, seen } = await k.watchedPage(browser);
  const url = k.fileUrl(path.join(dir, 'series.html'));
  await page.goto(url);
  const text = (id) => page.$eval(`#${id} .value`, (d) => d.textContent);
  assert.equal(await text('games'), `${series.games_played} / 6`);
  assert.equal(await text('wdl'), `${series.wins} – ${series.draws} – ${series.losses}`);
  assert.equal(await text('forfeits'), String(series.forfeits));
  assert.equal(await text('sprt'), series.sprt.decision ?? 'continue');
  assert.match(await page.$eval('#state', (p) => p.textContent), /^(Finished|Decided)/);
  // One point of the estimate per counted game with a finite estimate; a
  // mark at the edge for each while one side had won every game.
  let score = 0;
  const finite = series.games.map((g, n) => {
    score += { win: 1, draw: 0.5, loss: 0 }[g.result];
    return score > 0 && score < n + 1;
  });
  assert.ok(finite.includes(true) && finite.includes(false), 'the seed still gives both');
  const points = await page.$eval('#chart polyline.estimate', (l) => l.getAttribute('points').trim().split(' ').length);
  assert.equal(points, finite.filter(Boolean).length);
  assert.equal(await page.$$eval('#chart circle.clipped', (c) => c.length), finite.filter((f) => !f).length);
  const rows = await page.$$eval('#games tr[data-game]', (trs) => trs.map((tr) => [...tr.children].map((td) => td.textContent)));
  assert.deepEqual(rows.map((row) => [Number(row[0]), Number(row[1]), row[5]]),
    series.games.map((g) => [g.game, g.seed, g.result]));
  assert.deepEqual(seen.errors, []);
  assert.ok(seen.requests.every((u) => u === url), seen.requests.join('\n'));

  await Promise.all([page.waitForNavigation(), page.click('#games tr[data-game="2"] a')]);
  assert.equal(page.url(), k.fileUrl(path.join(dir, 'game-002', 'match.html')) + page.url().slice(page.url().indexOf('#')));
  assert.match(await page.$eval('h1', (h) => h.textContent), /^Match: A \(B, python3\) vs B \(A, python3\)$/);
  assert.deepEqual(seen.errors, []);
  await page.close();
});
