// What the page tests drive: a headless Chromium of its own, spoken to over the DevTools
// protocol through a pipe (no port, no package beyond node), and a static server of the
// built pages on 127.0.0.1. Every wait is on a condition with a time limit.
'use strict';
const {spawn} = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const kChromium = '/usr/bin/chromium';

// Why the browser tests cannot run here, or null.
function missingBrowser() {
  return fs.existsSync(kChromium) ? null : 'chromium is not installed (' + kChromium + ')';
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

// How long any protocol command may go unanswered: a frozen page fails the test
// instead of holding it until the test runner's own limit.
const kAnswerLimit = 30000;

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

// Starts Chromium with a fresh profile. The browser object sends protocol commands
// (to a page's session when given) and lets a test listen to events.
function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-chromium-'));
  const child = spawn(kChromium, [
    '--headless=new', '--no-sandbox', '--hide-scrollbars', '--force-device-scale-factor=1',
    '--force-color-profile=srgb', '--disable-gpu', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-quic', '--user-data-dir=' + profile,
    '--remote-debugging-pipe', 'about:blank',
  ], {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
  let stderr = '';
  child.stderr.on('data', (chunk) => { stderr = (stderr + chunk).slice(-4000); });
  const pending = new Map();
  const listeners = [];
  let nextId = 1;
  let buffered = '';
  child.stdio[4].on('data', (chunk) => {
    buffered += chunk;
    let end;
    while ((end = buffered.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffered.slice(0, end));
      buffered = buffered.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const {resolve, reject, method} = pending.get(message.id);
        pending.delete(message.id);
        if (message.error) reject(new Error(method + ': ' + message.error.message));
        else resolve(message.result);
      } else if (message.method) {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  child.on('exit', () => {
    for (const {reject, method} of pending.values()) reject(new Error(method + ': chromium ended. ' + stderr));
    pending.clear();
  });
  return {
    send(method, params = {}, sessionId = undefined) {
      const id = nextId++;
      child.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + '\0');
      const answer = new Promise((resolve, reject) => pending.set(id, {resolve, reject, method}));
      return withinLimit(answer, kAnswerLimit, () => {
        pending.delete(id);
        return new Error(method + ': no answer within ' + kAnswerLimit + ' ms (the page or the browser froze)');
      });
    },
    // Calls listener(params) for each `method` event of the session.
    on(method, sessionId, listener) {
      listeners.push((message) => {
        if (message.method === method && message.sessionId === sessionId) listener(message.params);
      });
    },
    async close() {
      await this.send('Browser.close').catch(() => child.kill());
      await withinLimit(exited, 10000, () => new Error('chromium to end')).catch(() => {
        child.kill('SIGKILL');
        return exited;
      });
      fs.rmSync(profile, {recursive: true, force: true, maxRetries: 10});
    },
  };
}

// A new tab of width x height CSS pixels (one device pixel each) at `url`. `beforeLoad`
// is script that runs in the page before any of its own.
async function openPage(browser, url, {width = 640, height = 480, beforeLoad = ''} = {}) {
  const {targetId} = await browser.send('Target.createTarget', {url: 'about:blank'});
  const {sessionId} = await browser.send('Target.attachToTarget', {targetId, flatten: true});
  const send = (method, params) => browser.send(method, params, sessionId);
  const log = [];
  browser.on('Runtime.exceptionThrown', sessionId, (p) => log.push('exception: ' + (p.exceptionDetails.exception?.description || p.exceptionDetails.text)));
  browser.on('Runtime.consoleAPICalled', sessionId, (p) =>
    log.push(p.type + ': ' + p.args.map((a) => a.value ?? a.description).join(' ')));
  await send('Runtime.enable');
  await send('Page.enable');
  await send('Emulation.setDeviceMetricsOverride', {width, height, deviceScaleFactor: 1, mobile: false});
  if (beforeLoad) await send('Page.addScriptToEvaluateOnNewDocument', {source: beforeLoad});
  let loaded = false;
  browser.on('Page.loadEventFired', sessionId, () => { loaded = true; });
  await send('Page.navigate', {url});
  await waitFor(() => loaded, 20000, url + ' to load');
  const page = {
    targetId,
    sessionId,
    send,
    log,
    // The value of a JavaScript expression in the page; promises are awaited.
    async evaluate(expression) {
      const result = await send('Runtime.evaluate', {expression, awaitPromise: true, returnByValue: true});
      if (result.exceptionDetails)
        throw new Error(expression + ': ' + (result.exceptionDetails.exception?.description || result.exceptionDetails.text));
      return result.result.value;
    },
    async key(type, key, code, keyCode) {
      await send('Input.dispatchKeyEvent', {type, key, code, windowsVirtualKeyCode: keyCode});
    },
    close: () => browser.send('Target.closeTarget', {targetId}),
  };
  return page;
}

module.exports = {missingBrowser, waitFor, withinLimit, sleep, serveFolder, launchBrowser, openPage};
