// Pages of matches that did not go as planned: forfeited, late and
// malformed turns, a free-guard-zone foul, an interrupted match and one
// with no throw at all, each told in words.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const k = require('./support');

let browser;
before(async () => { if (!k.chromiumMissing) browser = await k.launch(); });
after(async () => { if (browser) await browser.close(); });

async function open(dir, hash) {
  const { page, seen } = await k.watchedPage(browser);
  await page.goto(k.fileUrl(path.join(dir, 'match.html'), hash));
  return { page, seen };
}

function clean(seen) {
  assert.deepEqual(seen.errors, []);
  assert.deepEqual(seen.dialogs, []);
}

test('late, malformed and forfeited turns are told in words', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('faults');
  const r = await k.referee(['--throws', '8', '--timeout', '0.3', '--no-pictures', '--out', dir,
    `${k.FAKE} --script ok,late:0.6,garbage,exit`, `${k.FAKE} --script ok`]);
  assert.equal(r.code, 1, r.output);
  const { page, seen } = await open(dir, '#end=0&shot=0');
  const statuses = [];
  for (let i = 0; i < 8; i++) {
    statuses.push((await k.shown(page)).status);
    await page.keyboard.press('ArrowRight');
  }
  assert.deepEqual(statuses.filter((_, i) => i % 2 === 0), [
    'ok', 'late: no reply within 0.3 s, the turn is forfeited', 'malformed reply: the turn is forfeited',
    'forfeit: the engine has exited, the turn is lost']);
  assert.ok(statuses.filter((_, i) => i % 2 === 1).every((s) => s === 'ok'));
  const faults = await page.$eval('#faults', (u) => u.textContent);
  assert.match(faults, /A \(python3\), end 0 shot 2: no reply within 0\.3 s/);
  assert.match(faults, /end 0 shot 4: malformed reply: BESTSHOT left right 0/);
  assert.match(faults, /engine has exited/);
  assert.equal(await page.$eval('#forfeits', (p) => p.textContent), 'Throws forfeited: A 3, B 0.');
  assert.match((await k.shown(page)).state, /^Finished: .*set to stop after 8 throws/);
  clean(seen);
  await page.close();
});

test('a free-guard-zone foul says the stones were put back', { skip: k.chromiumMissing }, async () => {
  // Measured: with seed 2, B's hard throw knocks A's guard out of play.
  const dir = k.outDir('foul');
  const r = await k.referee(['--throws', '4', '--seed', '2', '--no-pictures', '--out', dir,
    `${k.FAKE} --script draw:0:-3`, `${k.FAKE} --script draw:0:9`]);
  assert.equal(r.code, 0, r.output);
  const record = k.records(dir);
  const foul = record.find((t) => t.foul);
  assert.ok(foul, 'the seed still gives a foul');
  const { page, seen } = await open(dir, `#end=0&shot=${foul.shot}`);
  const got = await k.shown(page);
  assert.match(got.status, /^foul: a guard in the free guard zone left play; the stones are put back/);
  assert.deepEqual(got.stones.map((s) => s.slot), foul.stones.flatMap((s, slot) => (s ? [slot] : [])));
  clean(seen);
  await page.close();
});

test('an interrupted match says so and has no result', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('interrupted');
  const run = k.startReferee(['--out', dir, '--no-pictures', `${k.FAKE} --think 0.2 --script ok`, `${k.FAKE} --think 0.2 --script ok`]);
  await k.until('three throws', () => {
    try {
      return require('node:fs').readFileSync(path.join(dir, 'record.jsonl.part'), 'utf8').split('\n').length > 3;
    } catch (e) {
      return false;
    }
  });
  run.child.kill('SIGINT');
  const r = await run.done;
  assert.equal(r.code, 130, r.output);
  const { page, seen } = await open(dir);
  const got = await k.shown(page);
  assert.match(got.state, /^Interrupted after \d+ throws: the referee was stopped before the match ended; it has no result\./);
  // It is not live any more: no reload.
  await k.sleep(3000);
  assert.equal(seen.loads, 1);
  clean(seen);
  await page.close();
});

test('a match with no throw, whose engine never started, shows an empty sheet and the fault', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('empty');
  const r = await k.referee(['--throws', '0', '--out', dir, '/nonexistent/engine', `${k.FAKE} --script ok`]);
  assert.equal(r.code, 1, r.output);
  const { page, seen } = await open(dir);
  const got = await k.shown(page);
  assert.equal(got.title, 'No throw was made');
  assert.deepEqual(got.stones, []);
  assert.deepEqual(got.points, [0, 0]);
  assert.match(got.state, /No throw was made\./);
  assert.match(await page.$eval('#faults', (u) => u.textContent), /A \(engine\), before the first throw: /);
  assert.ok(await page.$eval('#next', (b) => b.disabled));
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press(' ');
  clean(seen);
  await page.close();
});
