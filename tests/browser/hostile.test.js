// An engine whose name and replies are markup and script: the page shows
// them as the characters they are and runs none of it.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const k = require('./support');

test('a hostile engine\'s name and replies show as text and run nothing', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('hostile');
  // The engine's name is its program's file name: markup too.
  const name = '<img src=x onerror=alert(3)>';
  fs.rmSync(`${dir}-bin`, { recursive: true, force: true });
  fs.mkdirSync(`${dir}-bin`);
  fs.symlinkSync(path.join(__dirname, '..', 'referee', 'fake_engine.py'), `${dir}-bin/${name}`);
  assert.equal((await k.referee(['--throws', '6', '--no-pictures', '--out', dir, `'${dir}-bin/${name}' --script hostile`, k.GREEDY])).code, 1);
  const record = k.records(dir);
  const { page, seen } = await k.watchedPage(k.pageUrl(dir, 'match.html', '#end=0&shot=0'));
  const replies = [];
  for (let i = 0; i < record.length; i++, await page.keyboard.press('ArrowRight')) replies.push((await k.shown(page)).reply);
  assert.deepEqual(replies, record.map((t) => t.reply));
  assert.deepEqual([replies[0], replies[2], replies[4]], ['BESTSHOT </script><script>alert(1)</script>',
    'BESTSHOT <img src=x onerror=alert(2)>', 'BESTSHOT \ufffd\ufffd not utf-8 \u2028 \u2029 & <!-- -->']);
  assert.equal(await page.$eval('h1', (h) => h.textContent), `Match: A (${name}) vs B (kelp-strong)`);
  assert.match(await page.$eval('#faults', (u) => u.textContent), /malformed reply: BESTSHOT <\/script><script>alert\(1\)<\/script>/);
  // Nothing became markup: the page's own two scripts, no image.
  assert.deepEqual(await page.evaluate(() => [document.scripts.length, document.images.length]), [2, 0]);
  await k.sleep(300);
  k.clean(seen);
});
