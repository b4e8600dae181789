// Pages of matches that did not go as planned, each told in words: late,
// malformed and forfeited turns, a free-guard-zone foul, an interrupted
// match and one with no throw at all.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const k = require('./support');

test('late, malformed and forfeited turns and a foul are told in words', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('faults');
  // Margins of 1.5 s each way, wide enough for a loaded machine: the late
  // reply comes 1.5 s after its deadline, and the next GO, which waits for
  // it (its deadline counts from when it is sent), 1.5 s before its own.
  const r = await k.referee(['--throws', '8', '--timeout', '3', '--no-pictures', '--out', dir,
    `${k.FAKE} --script ok,late:4.5,garbage,exit`, `${k.FAKE} --script ok`]);
  assert.equal(r.code, 1, r.output);
  const { page, seen } = await k.watchedPage(k.pageUrl(dir, 'match.html', '#end=0&shot=0'));
  const statuses = [];
  for (let i = 0; i < 8; i++, await page.keyboard.press('ArrowRight')) statuses.push((await k.shown(page)).status);
  assert.deepEqual(statuses, ['ok', 'ok', 'late: no reply within 3 s, the turn is forfeited', 'ok',
    'malformed reply: the turn is forfeited', 'ok', 'forfeit: the engine has exited, the turn is lost', 'ok']);
  const faults = await page.$eval('#faults', (u) => u.textContent);
  assert.match(faults, /A \(python3\), end 0 shot 2: no reply within 3 s.*end 0 shot 4: malformed reply: BESTSHOT left right 0.*engine has exited/);
  assert.equal(await page.$eval('#forfeits', (p) => p.textContent), 'Throws forfeited: A 3, B 0.');
  assert.match((await k.shown(page)).state, /^Finished: .*set to stop after 8 throws/);
  k.clean(seen);

  // Measured: with seed 2, B's hard throw knocks A's guard out of play.
  const foulDir = k.outDir('foul');
  await k.referee(['--throws', '4', '--seed', '2', '--no-pictures', '--out', foulDir, `${k.FAKE} --script draw:0:-3`, `${k.FAKE} --script draw:0:9`]);
  const foul = k.records(foulDir).find((t) => t.foul);
  assert.ok(foul, 'the seed still gives a foul');
  await page.goto(k.pageUrl(foulDir, 'match.html', `#end=0&shot=${foul.shot}`));
  const got = await k.shown(page);
  assert.match(got.status, /^foul: a guard in the free guard zone left play; the stones are put back/);
  assert.deepEqual(got.stones.map((s) => s.slot), foul.stones.flatMap((s, slot) => (s ? [slot] : [])));
  k.clean(seen);
});

test('an interrupted match, and one with no throw, say so', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('interrupted');
  const engine = `${k.FAKE} --think 0.2 --script ok`;
  const run = k.startReferee(['--out', dir, '--no-pictures', engine, engine]);
  await k.until('three throws', () => fs.existsSync(`${dir}/record.jsonl.part`) && fs.readFileSync(`${dir}/record.jsonl.part`, 'utf8').split('\n').length > 3);
  run.child.kill('SIGINT');
  assert.equal((await run.done).code, 130);
  const { page, seen } = await k.watchedPage(k.pageUrl(dir, 'match.html'));
  assert.match((await k.shown(page)).state, /^Interrupted after \d+ throws: the referee was stopped before the match ended; it has no result\./);
  await k.sleep(3000);
  assert.equal(seen.loads, 1, 'no reload: the match is over');

  const empty = k.outDir('empty');
  assert.equal((await k.referee(['--throws', '0', '--out', empty, '/nonexistent/engine', `${k.FAKE} --script ok`])).code, 1);
  await page.goto(k.pageUrl(empty, 'match.html'));
  const got = await k.shown(page);
  assert.deepEqual([got.title, got.stones, got.points], ['No throw was made', [], [0, 0]]);
  assert.match(got.state, /No throw was made\./);
  assert.match(await page.$eval('#faults', (u) => u.textContent), /A \(engine\), before the first throw: /);
  assert.ok(await page.$eval('#next', (b) => b.disabled));
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press(' ');
  k.clean(seen);
});
