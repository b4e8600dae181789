// The page of a series: its figures as series.json has them, the Elo chart
// over the games, and a table whose links open each game's match page.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const k = require('./support');

test('a series page shows series.json, the chart and links to every game', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('series');
  const r = await k.referee(['--games', '6', '--seed', '3', '--sprt', '0', '200', '--no-pictures', '--out', dir,
    `${k.FAKE} --script ok`, `${k.FAKE} --script ok`]);
  assert.equal(r.code, 0, r.output);
  const series = JSON.parse(fs.readFileSync(`${dir}/series.json`, 'utf8'));
  const url = k.pageUrl(dir, 'series.html');
  const { page, seen } = await k.watchedPage(url);
  const figures = Object.fromEntries(await page.$$eval('.figure', (fs) => fs.map((f) => [f.id, f.querySelector('.value').textContent])));
  assert.deepEqual([figures.games, figures.wdl, figures.forfeits, figures.sprt], [`${series.games_played} / 6`,
    `${series.wins} – ${series.draws} – ${series.losses}`, String(series.forfeits), series.sprt.decision]);
  // The pairs' estimate, which the summary prints first, beside the per-game one.
  assert.equal(series.pairs.reduce((a, b) => a + b, 0), 3);
  const none = { 1: '+∞', 0: '−∞' }[series.pair_score] || '–';
  assert.equal(figures['elo-pair'], series.elo_pair === null ? none : `${series.elo_pair >= 0 ? '+' : ''}${series.elo_pair.toFixed(1)}`);
  // A point of the estimate per game with a finite one; a mark at the edge
  // for each while one side had won every game.
  let score = 0;
  const finite = series.games.map((g, n) => (score += { win: 1, draw: 0.5, loss: 0 }[g.result]) > 0 && score < n + 1);
  assert.ok(finite.includes(true) && finite.includes(false), 'the seed still gives both');
  assert.equal(await page.$eval('#chart polyline.estimate', (l) => l.getAttribute('points').trim().split(' ').length), finite.filter(Boolean).length);
  assert.equal(await page.$$eval('#chart circle.clipped', (c) => c.length), finite.filter((f) => !f).length);
  const rows = await page.$$eval('#games tr[data-game]', (trs) => trs.map((tr) => [...tr.children].map((td) => td.textContent)));
  assert.deepEqual(rows.map((row) => [Number(row[0]), Number(row[1]), row[5]]), series.games.map((g) => [g.game, g.seed, g.result]));
  k.clean(seen, url);

  await Promise.all([page.waitForNavigation(), page.click('#games tr[data-game="2"] a')]);
  assert.ok(page.url().startsWith(k.pageUrl(dir, 'game-002/match.html')));
  assert.equal(await page.$eval('h1', (h) => h.textContent), 'Match: A (B, python3) vs B (A, python3)');
  k.clean(seen);
});
