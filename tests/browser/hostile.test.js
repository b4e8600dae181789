// An engine whose name and replies are markup and script: the page shows
// them as the characters they are and runs none of it.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const k = require('./support');

let browser;
before(async () => { if (!k.chromiumMissing) browser = await k.launch(); });
after(async () => { if (browser) await browser.close(); });

test('a hostile engine\'s name and replies show as text and run nothing', { skip: k.chromiumMissing }, async () => {
  const dir = k.outDir('hostile');
  // The engine's name is its program's file name: markup too.
  const bin = `${dir}-bin`;
  fs.rmSync(bin, { recursive: true, force: true });
  fs.mkdirSync(bin);
  const name = '<img src=x onerror=alert(3)>';
  fs.symlinkSync(path.join(__dirname, 'hostile_engine.py'), path.join(bin, name));
  const r = await k.referee(['--throws', '6', '--no-pictures', '--out', dir, `'${path.join(bin, name)}'`, k.GREEDY]);
  assert.equal(r.code, 1, r.output);
  const record = k.records(dir);
  const { page, seen } = await k.watchedPage(browser);
  await page.goto(k.fileUrl(path.join(dir, 'match.html'), '#end=0&shot=0'));
  const replies = [];
  for (let i = 0; i < record.length; i++) {
    replies.push((await k.shown(page)).reply);
    await page.keyboard.press('ArrowRight');
  }
  assert.deepEqual(replies, record.map((t) => t.reply));
  assert.equal(replies[0], 'BESTSHOT </script><script>alert(1)</script>');
  assert.equal(replies[2], 'BESTSHOT <img src=x onerror=alert(2)>');
  assert.equal(replies[4], 'BESTSHOT \ufffd\ufffd not utf-8 \u2028 \u2029 & <!-- -->');
  const h1 = await page.$eval('h1', (h) => h.textContent);
  assert.equal(h1, `Match: A (${name}) vs B (kelp-strong)`);
  assert.match(await page.$eval('#faults', (u) => u.textContent), /malformed reply: BESTSHOT <\/script><script>alert\(1\)<\/script>/);
  // Nothing became markup: the page's own two scripts, no image.
  assert.equal(await page.$$eval('script', (s) => s.length), 2);
  assert.equal(await page.$$eval('img', (s) => s.length), 0);
  await k.sleep(300);
  assert.deepEqual(seen.dialogs, []);
  assert.deepEqual(seen.errors, []);
  await page.close();
});
