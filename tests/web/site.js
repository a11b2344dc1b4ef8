// The built pages under test and what the page tests compare them with: the frames of
// the table rules (frame_finder, native) and the desktop build's programs. The paths
// come from the test's environment (tests/CMakeLists.txt).
'use strict';
const {spawnSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {before, after} = require('node:test');
const assert = require('node:assert/strict');
const {launchBrowser, missingBrowser, serveFolder, waitFor} = require('./browser.js');

const site = process.env.TUNNEL_WEB_SITE || '';

// Ends the test file as skipped, saying why, where the browser or the pages are missing.
function skipUnlessReady(missing = missingBrowser) {
  let why = missing();
  if (!why && !fs.existsSync(path.join(site, 'tunnel_animated.html')))
    why = 'the WebAssembly build is missing (' + site + '; emscripten builds it: cmake --preset web)';
  if (!why) return;
  console.log('SKIPPED: ' + why);
  process.exit(77);
}

// The canvas as the page reads it back, R G B A row after row; `canvas` is the page's
// expression for it.
async function canvasPixels(page, canvas) {
  const base64 = await page.evaluate(`(() => {
    const canvas = ${canvas};
    const bytes = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  })()`);
  return Buffer.from(base64, 'base64');
}

// The frame of `kind` (static, animated, lookaround) the canvas shows (or a copy of it
// the page kept): its number, or 0 with why none matches. `settings` are the ratio and
// angleScale of the animated frames, where they are not the programs'.
async function canvasFrame(page, kind, canvas = "document.getElementById('canvas')", settings = []) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-canvas-')), 'canvas.rgba');
  try {
    fs.writeFileSync(file, await canvasPixels(page, canvas));
    const run = spawnSync(process.env.TUNNEL_FRAME_FINDER, [kind, file, ...settings.map(String)], {encoding: 'utf8', timeout: 30000});
    if (run.status !== 0) throw new Error('frame_finder: ' + (run.error?.message || run.stderr));
    const [number, ...why] = run.stdout.trim().split(' ');
    return {n: Number(number), why: why.join(' ')};
  } finally {
    fs.rmSync(path.dirname(file), {recursive: true, force: true});
  }
}

// The file a desktop picture program writes, run in a folder of its own.
function desktopPicture(programPath, name) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-desktop-'));
  try {
    const run = spawnSync(programPath, [], {cwd: folder, timeout: 30000});
    if (run.status !== 0) throw new Error(programPath + ' ended with ' + run.status + (run.error ? ' (' + run.error.message + ')' : ''));
    return fs.readFileSync(path.join(folder, name));
  } finally {
    fs.rmSync(folder, {recursive: true, force: true});
  }
}

function statusText(page) {
  return page.evaluate("document.getElementById('status').textContent");
}

// Waits until the page says its program ended (or could not run), and checks it ended
// with exit code 0.
async function awaitEnd(page, program, limit = 20000) {
  const text = await waitFor(async () => {
    const status = await statusText(page);
    return /ended|stopped|cannot/.test(status) && status;
  }, limit, program + ' to end');
  assert.equal(text, program + ' ended with exit code 0.');
}

// The pages' own server and a browser for one test file (Chromium unless `launch` starts
// another): started before its tests, and both ended after them.
function servePagesToABrowser(launch = launchBrowser) {
  const session = {};
  before(async () => {
    session.server = await serveFolder(site);
    session.browser = await launch();
  });
  after(async () => {
    await session.browser?.close();
    session.server.close();
  });
  return session;
}

module.exports = {site, servePagesToABrowser, skipUnlessReady, canvasFrame, desktopPicture, statusText, awaitEnd};
