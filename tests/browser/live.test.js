// The page of a match still being played follows it, stays where the user
// stepped back to, and stops reloading once the match has ended.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const k = require('./support');

const throwsShown = (page) => k.settled(page, () => (document.querySelector('#slider:not([disabled])') ? Number(document.getElementById('slider').max) + 1 : 0));

test('a live page follows the match and stops reloading at its end', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('live');
  const engine = `${k.FAKE} --think 0.3 --script ok`;
  const run = k.startReferee(['--ends', '2', '--out', dir, '--no-pictures', engine, engine]);
  await k.until('the page', () => fs.existsSync(`${dir}/match.html`));
  const url = k.pageUrl(dir, 'match.html');
  const { page, seen } = await k.watchedPage(url);
  const first = await k.until('a throw', async () => (await throwsShown(page)) >= 2 && (await throwsShown(page)));
  assert.match((await k.shown(page)).state, /^Live: /);
  // The count and the shown throw read between two reloads: a reload
  // between the two reads would bring a newer throw.
  const [n, got] = await k.until('a newer throw', async () => {
    const before = await throwsShown(page);
    const shown = await k.shown(page);
    return before > first && before === (await throwsShown(page)) && [before, shown];
  });
  assert.equal(got.title, `End ${Math.floor((n - 1) / 16)}, shot ${(n - 1) % 16}`, 'on the newest throw');
  assert.match(got.hash, /follow=1/);

  // Stepped back (just after a reload, so that the next is seconds away),
  // the page stays there across reloads, and on the match's last page.
  let kept;
  for (;;) {
    const loads = seen.loads;
    await k.until('a reload', () => seen.loads > loads);
    await page.keyboard.press('ArrowLeft');
    kept = await k.shown(page);
    if (seen.loads === loads + 1 && !/follow/.test(kept.hash)) break;
  }
  const loads = seen.loads;
  await k.until('a reload', async () => seen.loads > loads && (await throwsShown(page)) > n);
  assert.equal((await k.shown(page)).title, kept.title);
  assert.equal((await run.done).code, 0);
  await k.until('the end of the match', async () => /^Finished: /.test((await k.shown(page)).state));
  assert.equal((await k.shown(page)).title, kept.title);
  const ended = seen.loads;
  await k.sleep(4500);
  assert.equal(seen.loads, ended, 'no reload after the end');
  k.clean(seen, url);
});
