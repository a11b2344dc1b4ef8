// What every page does whatever its program: the index leads to every program's page, and
// a browser without what a program needs, or a page opened from disk, gets one clear
// line instead of the program.
'use strict';
const assert = require('node:assert/strict');
const path = require('node:path');
const {test} = require('node:test');
const {pathToFileURL} = require('node:url');
const {site, servePagesToABrowser, skipUnlessReady, openPage, waitFor, statusText} = require('./site.js');

skipUnlessReady();

const session = servePagesToABrowser();

// The explorer first, then the programs in the order to learn them (programs/programs.cmake,
// handed on by tests/CMakeLists.txt).
const kPrograms = ['explorer', ...(process.env.TUNNEL_PROGRAMS || '').split(' ').filter(Boolean)];

test('the index lists the programs in learning order, each with its picture and line, linking to pages that load', async () => {
  const page = await session.open('');
  await waitFor(() => page.evaluate("document.readyState === 'complete'"), 10000, 'the index');
  const rows = await page.evaluate(`(async () => Promise.all([...document.querySelectorAll('tr')].map(async (row) => {
    const link = row.cells[1].querySelector('a');
    const files = await Promise.all(['.html', '.js', '.wasm'].map(async (ending) => {
      const response = await fetch(link.href.replace(/\\.html$/, ending));
      return response.status + ' ' + response.headers.get('content-type');
    }));
    return {name: link.textContent, line: row.cells[2].textContent.length > 20, files,
            pictures: [...row.cells[0].querySelectorAll('a img')].map((img) => img.closest('a').href === link.href)};
  })))()`);
  assert.deepEqual(rows.map((r) => r.name), kPrograms);
  for (const row of rows) {
    assert.ok(row.line, row.name + ' has no line of its own');
    assert.deepEqual(row.files, ['200 text/html', '200 text/javascript', '200 application/wasm'], row.name);
    assert.ok(row.pictures.length > 0 && row.pictures.every(Boolean), row.name + ': no picture linking to its page');
  }
  await page.close();
});

// A WebAssembly without 128-bit vectors: modules holding a vector instruction (its 0xFD
// prefix) do not validate, and the programs' code, which holds them, does not compile.
const kNoVectors = `
  const validate = WebAssembly.validate;
  WebAssembly.validate = (bytes) => !new Uint8Array(bytes.buffer || bytes).includes(0xfd) && validate(bytes);
  WebAssembly.instantiate = WebAssembly.instantiateStreaming = () =>
    Promise.reject(new WebAssembly.CompileError('invalid simd opcode'));`;
const kNoVectorsLine = "cannot run here: this browser's WebAssembly has no 128-bit vectors (SIMD), which Chrome 91, Firefox 89 and " +
                       'Safari 16.4 and later have';

// What is taken from the browser before the page loads (or the page opened from disk),
// and the line the page shows after the program's name.
const kLacking = [
  {program: 'tunnel_animated', script: 'delete window.WebAssembly;', line: 'cannot run here: this browser has no WebAssembly'},
  {program: 'texture_dump', script: 'delete window.WebAssembly;', line: 'cannot run here: this browser has no WebAssembly'},
  {program: 'tunnel_lookaround', script: kNoVectors, line: kNoVectorsLine},
  {program: 'angle_dump', script: kNoVectors, line: kNoVectorsLine},
  {program: 'tunnel_static', script: 'HTMLCanvasElement.prototype.getContext = () => null;',
   line: 'cannot run here: this browser gives no 2D canvas to show the screen on'},
  {program: 'tunnel_animated', fromDisk: true, line: 'cannot run from a file: the pages must be served; run tools/web ' +
   'and open http://127.0.0.1:8000/tunnel_animated.html'},
];

for (const {program, script, fromDisk, line} of kLacking) {
  test(program + ': ' + line, async () => {
    const page = fromDisk ? await openPage(session.browser, pathToFileURL(path.join(site, program + '.html')).href)
                          : await session.open(program + '.html', {beforeLoad: script});
    await waitFor(() => page.evaluate("document.readyState === 'complete'"), 10000, 'the page');
    assert.equal(await statusText(page), program + ': ' + line);
    assert.equal(await page.evaluate("document.getElementById('screen').hidden"), true);
    // Starting again could only fail again.
    assert.equal(await page.evaluate("document.getElementById('restart').hidden"), true);
    await page.close();
  });
}

test('a picture program runs where no 2D canvas is given, as it needs none', async () => {
  const page = await session.open('texture_dump.html', {beforeLoad: 'HTMLCanvasElement.prototype.getContext = () => null;'});
  await waitFor(async () => /ended/.test(await statusText(page)), 20000, 'texture_dump to end');
  assert.equal(await statusText(page), 'texture_dump ended with exit code 0.');
  await page.close();
});

test('a screen program whose canvas gives no 2D context says so in its one line and ends with 1', async () => {
  const page = await session.open('tunnel_lookaround.html', {beforeLoad: `
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (...args) {
      return this.id === 'canvas' ? null : getContext.apply(this, args);
    };`});
  await waitFor(async () => /ended/.test(await statusText(page)), 20000, 'tunnel_lookaround to end');
  assert.equal(await statusText(page), 'tunnel_lookaround ended with exit code 1.');
  assert.equal(await page.evaluate("document.getElementById('output').textContent"),
               'tunnel_lookaround: cannot open the display: no display to show the screen on ' +
               "(the page's canvas gives no 2D drawing context)\n");
  await page.close();
});

test('a page that stops answering fails a wait within its limit, saying what was waited for', async () => {
  const page = await session.open('');
  await page.evaluate('setTimeout(() => { const end = Date.now() + 8000; while (Date.now() < end); })');
  const started = Date.now();
  await assert.rejects(waitFor(() => page.evaluate('false'), 1000, 'a page that froze'),
                       /^Error: timed out after 1000 ms waiting for a page that froze$/);
  assert.ok(Date.now() - started < 5000, 'the wait lasted ' + (Date.now() - started) + ' ms');
  await waitFor(() => page.evaluate('true'), 20000, 'the page to answer again');
  await page.close();
});

// Every link of a page leads somewhere and every picture of it loads (not the ones a
// picture program writes, which its own tests check).
for (const name of ['index', ...kPrograms]) {
  test('every link and picture of ' + name + '.html resolves', async () => {
    const page = await session.open(name + '.html');
    await waitFor(() => page.evaluate("document.readyState === 'complete'"), 10000, name + '.html to load');
    const found = await page.evaluate(`(async () => {
      const links = [...document.querySelectorAll('a[href]')].filter((a) => !a.closest('#pictures'));
      const pictures = [...document.images].filter((img) => !img.closest('#pictures'));
      await Promise.all(pictures.map((img) => img.decode().catch(() => {})));
      return {
        links: await Promise.all(links.map(async (a) => a.getAttribute('href') + ' ' + (await fetch(a.href)).status)),
        pictures: pictures.map((img) => img.getAttribute('src') + ' ' + (img.naturalWidth > 0 ? 'loads' : 'is missing')),
      };
    })()`);
    assert.ok(found.links.length > 0, name + ' links nowhere');
    for (const link of found.links) assert.match(link, / 200$/);
    for (const picture of found.pictures) assert.match(picture, / loads$/);
    await page.close();
  });
}
