// The second engine the page tests drive: Firefox ESR in kiosk mode on an Xvfb of its
// own (its headless screenshots catch the page before its first frame), spoken to over
// WebDriver BiDi, its own remote protocol, through a WebSocket client of ours (node has
// none built in). Pages offer what browser.js's pages offer the shared helpers:
// evaluate, key presses, close. Every wait is on a condition with a time limit.
'use strict';
const {spawn} = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const {waitFor} = require('./browser.js');

const kFirefox = '/usr/bin/firefox-esr';
const kXvfb = '/usr/bin/Xvfb';
const kStartLimit = 60000;

// Why the Firefox tests cannot run here, or null.
function missingFirefox() {
  for (const program of [kFirefox, kXvfb])
    if (!fs.existsSync(program)) return path.basename(program) + ' is not installed (' + program + ')';
  return null;
}

// A WebSocket of text messages: the browser's side is local, so no extensions, and
// frames from it come unmasked.
function connectWebSocket(url, onMessage) {
  return new Promise((resolve, reject) => {
    const request = http.request(url.replace(/^ws:/, 'http:'), {headers: {Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
                                                 'Sec-WebSocket-Key': crypto.randomBytes(16).toString('base64')}});
    request.on('error', reject);
    request.on('response', (response) => reject(new Error(url + ' answered ' + response.statusCode)));
    request.on('upgrade', (response, socket, head) => {
      let buffered = head, message = [];
      socket.on('data', (chunk) => {
        buffered = Buffer.concat([buffered, chunk]);
        for (;;) {
          let length = buffered.length >= 2 ? buffered[1] & 0x7f : -1, at = 2;
          if (length === 126) [length, at] = buffered.length >= 4 ? [buffered.readUInt16BE(2), 4] : [-1, 0];
          if (length === 127) [length, at] = buffered.length >= 10 ? [Number(buffered.readBigUInt64BE(2)), 10] : [-1, 0];
          if (length < 0 || buffered.length < at + length) return;
          const final = buffered[0] & 0x80, opcode = buffered[0] & 0x0f;
          if (opcode <= 2) message.push(buffered.subarray(at, at + length));
          buffered = buffered.subarray(at + length);
          if (opcode <= 2 && final) {
            onMessage(Buffer.concat(message).toString());
            message = [];
          }
        }
      });
      resolve({
        send(text) {
          const payload = Buffer.from(text), mask = crypto.randomBytes(4);
          const size = payload.length < 126 ? Buffer.from([0x80 | payload.length])
                       : payload.length < 0x10000 ? Buffer.from([0x80 | 126, payload.length >> 8, payload.length & 0xff])
                       : Buffer.concat([Buffer.from([0x80 | 127]), Buffer.alloc(8)]);
          if (payload.length >= 0x10000) size.writeBigUInt64BE(BigInt(payload.length), 1);
          for (let i = 0; i < payload.length; ++i) payload[i] ^= mask[i & 3];
          socket.write(Buffer.concat([Buffer.from([0x81]), size, mask, payload]));
        },
        close: () => socket.destroy(),
      });
    });
    request.end();
  });
}

// Starts `command` and resolves with the child and the first match of `pattern` in
// what it writes to `stream` (stdout or stderr).
function startAndRead(command, args, options, stream, pattern, what) {
  const child = spawn(command, args, {stdio: ['ignore', 'pipe', 'pipe'], ...options});
  let output = '';
  const exited = new Promise((resolve) => child.on('exit', resolve));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('timed out waiting for ' + what + ': ' + output.slice(-2000))), kStartLimit);
    child.on('exit', (code) => reject(new Error(what + ': ' + command + ' ended with ' + code + ': ' + output.slice(-2000))));
    child[stream].on('data', (chunk) => {
      output += chunk;
      const match = pattern.exec(output);
      if (!match) return;
      clearTimeout(timer);
      resolve({child, exited, match});
    });
    child[stream === 'stdout' ? 'stderr' : 'stdout'].resume();
  });
}

// The profile: no first-run pages, downloads saved without asking into `downloads`,
// one CSS pixel a device pixel.
function writeProfile(profile, downloads) {
  const prefs = {
    'browser.shell.checkDefaultBrowser': false, 'browser.startup.homepage_override.mstone': 'ignore',
    'browser.aboutwelcome.enabled': false, 'datareporting.policy.dataSubmissionEnabled': false,
    'browser.download.dir': downloads, 'browser.download.folderList': 2, 'browser.download.useDownloadDir': true,
    'browser.download.always_ask_before_handling_new_types': false, 'browser.download.start_downloads_in_tmp_dir': false,
    'layout.css.devPixelsPerPx': '1.0',
  };
  fs.writeFileSync(path.join(profile, 'user.js'),
                   Object.entries(prefs).map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(''));
}

// Starts an Xvfb of width x height and Firefox in kiosk mode on it; `downloads` is
// where it saves downloads. Resolves with the browser: page(), and close().
async function launchFirefox({width = 640, height = 480, downloads}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-firefox-'));
  writeProfile(profile, downloads);
  const xvfb = await startAndRead(kXvfb, ['-displayfd', '1', '-screen', '0', width + 'x' + height + 'x24', '-noreset', '-nolisten', 'tcp'],
                                  {}, 'stdout', /^(\d+)\n/, 'Xvfb to start');
  let firefox, socket;
  // A test file that ends without closing leaves no X server or browser behind.
  const leftBehind = () => {
    firefox?.child.kill('SIGKILL');
    xvfb.child.kill();
  };
  process.on('exit', leftBehind);
  const pending = new Map();
  let nextId = 1;
  const send = (method, params = {}) => {
    const id = nextId++;
    socket.send(JSON.stringify({id, method, params}));
    return new Promise((resolve, reject) => pending.set(id, {resolve, reject, method}));
  };
  const close = async () => {
    if (socket) await Promise.race([send('browser.close').catch(() => {}), firefox.exited]);
    if (firefox) {
      const ended = await Promise.race([firefox.exited.then(() => true), new Promise((r) => setTimeout(r, 10000))]);
      if (!ended) firefox.child.kill('SIGKILL');
      await firefox.exited;
      socket?.close();
    }
    xvfb.child.kill();
    await xvfb.exited;
    process.off('exit', leftBehind);
    fs.rmSync(profile, {recursive: true, force: true, maxRetries: 10});
  };
  try {
    firefox = await startAndRead(kFirefox, ['--kiosk', '--no-remote', '--profile', profile, '--remote-debugging-port', '0', 'about:blank'],
                                 {env: {...process.env, DISPLAY: ':' + xvfb.match[1]}}, 'stderr', /WebDriver BiDi listening on (ws:\S+)/,
                                 'Firefox to listen');
    firefox.exited.then(() => {
      for (const {reject, method} of pending.values()) reject(new Error(method + ': Firefox ended'));
      pending.clear();
    });
    socket = await connectWebSocket(firefox.match[1] + '/session', (text) => {
      const message = JSON.parse(text);
      const request = pending.get(message.id);
      if (!request) return;
      pending.delete(message.id);
      if (message.type === 'error') request.reject(new Error(request.method + ': ' + message.error + ': ' + message.message));
      else request.resolve(message.result);
    });
    await send('session.new', {capabilities: {}});
  } catch (error) {
    await close();
    throw error;
  }
  const {contexts} = await send('browsingContext.getTree');
  const context = contexts[0].context;
  let preload = null;
  return {
    // The one tab at `url`, loaded; `beforeLoad` runs in the page before any of its own.
    async page(url, {beforeLoad = ''} = {}) {
      if (preload) await send('script.removePreloadScript', {script: preload});
      preload = beforeLoad ? (await send('script.addPreloadScript', {functionDeclaration: '() => {' + beforeLoad + '}'})).script : null;
      await send('browsingContext.navigate', {context, url, wait: 'complete'});
      return {
        // The value of a JavaScript expression in the page, through JSON; promises are awaited.
        async evaluate(expression) {
          const answer = await send('script.evaluate', {
            expression: `(async () => JSON.stringify(await (${expression})))()`, target: {context}, awaitPromise: true,
            resultOwnership: 'none'});
          if (answer.type === 'exception') throw new Error(expression + ': ' + answer.exceptionDetails.text);
          return answer.result.type === 'string' ? JSON.parse(answer.result.value) : undefined;
        },
        // Presses and releases the key of WebDriver's key `value` (Escape: '\uE00C').
        press: (value) => send('input.performActions', {context, actions: [
          {type: 'key', id: 'keyboard', actions: [{type: 'keyDown', value}, {type: 'keyUp', value}]}]}),
        close: () => send('browsingContext.navigate', {context, url: 'about:blank', wait: 'complete'}),
      };
    },
    close,
  };
}

module.exports = {missingFirefox, launchFirefox, waitFor};
