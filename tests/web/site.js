// What every page test stands on: the built pages served on 127.0.0.1, a browser of the
// test's own driven through puppeteer-core (Debian's Chromium, or Firefox ESR over
// WebDriver BiDi, both headless), and what the tests compare the pages with: the frames
// of the table rules (frame_finder, native) and the desktop build's programs. The paths
// come from the test's environment (tests/CMakeLists.txt). Every wait is on a condition
// with a time limit.
'use strict';
const {spawnSync} = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const {before, after} = require('node:test');
const assert = require('node:assert/strict');

const site = process.env.TUNNEL_WEB_SITE || '';

// The browsers, as puppeteer names them, and Debian's programs for them.
const kBrowsers = {chrome: '/usr/bin/chromium', firefox: '/usr/bin/firefox-esr'};

// How long any command to the browser may go unanswered: a frozen page fails the test
// instead of holding it until the test runner's own limit.
const kAnswerLimit = 30000;

// Why the tests cannot run here in `browser`, or null.
function whyNotReady(browser) {
  try {
    require.resolve('puppeteer-core');
  } catch {
    return 'puppeteer-core is not installed (tests/web/node_modules; tools/install-deps --tests installs it)';
  }
  if (!fs.existsSync(kBrowsers[browser])) return browser + ' is not installed (' + kBrowsers[browser] + ')';
  if (!fs.existsSync(path.join(site, 'tunnel_animated.html')))
    return 'the WebAssembly build is missing (' + site + '; emscripten builds it: cmake --preset web)';
  return null;
}

// Ends the test file as skipped (exit code 77), saying why, where puppeteer-core, the
// browser or the pages are missing.
function skipUnlessReady(browser = 'chrome') {
  const why = whyNotReady(browser);
  if (!why) return;
  console.log('SKIPPED: ' + why);
  process.exit(77);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// Resolves as `promise` does, or rejects with makeError() once ms have passed.
function withinLimit(promise, ms, makeError) {
  let timer;
  const late = new Promise((resolve, reject) => { timer = setTimeout(() => reject(makeError()), Math.max(ms, 0)); });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

// Resolves with the condition's first truthy value; rejects with `what` after limitMs,
// also while the condition itself has not answered (a frozen page). The time is read
// before the condition, so the last look comes after the limit, even when a loaded
// machine held the test up past it; that last look gets a second of its own.
async function waitFor(condition, limitMs, what) {
  const end = Date.now() + limitMs;
  const late = () => new Error('timed out after ' + limitMs + ' ms waiting for ' + what);
  for (;;) {
    const past = Date.now() > end;
    const value = await withinLimit(Promise.resolve().then(condition), Math.max(end - Date.now(), 1000), late);
    if (value) return value;
    if (past) throw late();
    await sleep(20);
  }
}

const kTypes = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
                '.png': 'image/png'};

// Serves `folder` on a free port of 127.0.0.1; resolves with {url, close}.
function serveFolder(folder) {
  const server = http.createServer((request, response) => {
    const name = path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = path.join(folder, name === '/' ? 'index.html' : name);
    fs.readFile(file, (error, data) => {
      if (error || !file.startsWith(folder)) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, {'Content-Type': kTypes[path.extname(file)] || 'application/octet-stream'});
      response.end(data);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({url: 'http://127.0.0.1:' + server.address().port + '/', close: () => server.close()});
    });
  });
}

// Starts `browser` ('chrome' or 'firefox') headless with a fresh profile; resolves with
// puppeteer's Browser.
function launchBrowser(browser = 'chrome') {
  const puppeteer = require('puppeteer-core');
  return puppeteer.launch({
    browser, executablePath: kBrowsers[browser], headless: true, protocolTimeout: kAnswerLimit,
    args: browser === 'chrome' ? ['--no-sandbox', '--disable-gpu'] : [],
  });
}

// A new tab of puppeteer's Browser or BrowserContext `browser` at `url`, loaded, with a
// window of width x height CSS pixels at `ratio` device pixels each; `touch` makes it a
// phone's touch screen. `beforeLoad` is script that runs in the page before any of its
// own. Resolves with puppeteer's Page.
async function openPage(browser, url, {width = 640, height = 480, ratio = 1, touch = false, beforeLoad = ''} = {}) {
  const page = await browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: ratio, ...(touch && {isMobile: true, hasTouch: true})});
  if (beforeLoad) await page.evaluateOnNewDocument(beforeLoad);
  await page.goto(url, {waitUntil: 'load', timeout: 20000});
  return page;
}

// The pages' own server and a browser for one test file: started before its tests, and
// both ended after them. session.open(name, options) opens the page `name` (index.html,
// tunnel_static.html, ...) as openPage does.
function servePagesToABrowser(browser = 'chrome') {
  const session = {
    open: (name, options) => openPage(session.browser, session.server.url + name, options),
  };
  before(async () => {
    session.server = await serveFolder(site);
    session.browser = await launchBrowser(browser);
  });
  after(async () => {
    await session.browser?.close();
    session.server?.close();
  });
  return session;
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

// A browser context of `browser` that saves downloads into a fresh folder without
// asking; resolves with {context, folder, close}, close() ending both.
async function downloadingContext(browser) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-downloads-'));
  const context = await browser.createBrowserContext({downloadBehavior: {policy: 'allow', downloadPath: folder}});
  return {context, folder, async close() {
    await context.close();
    fs.rmSync(folder, {recursive: true, force: true});
  }};
}

// The bytes of the download `name` in `folder`, once finished: a browser writes it under
// a temporary name beside it (Chrome may hold the name with an empty file meanwhile).
async function downloaded(folder, name, limit = 20000) {
  const file = path.join(folder, name);
  await waitFor(() => fs.readdirSync(folder).join('/') === name && fs.statSync(file).size > 0, limit,
                name + ' to be downloaded');
  return fs.readFileSync(file);
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

module.exports = {site, skipUnlessReady, waitFor, sleep, serveFolder, launchBrowser, openPage, servePagesToABrowser,
                  canvasFrame, desktopPicture, downloadingContext, downloaded, statusText, awaitEnd};
