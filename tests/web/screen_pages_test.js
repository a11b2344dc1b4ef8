// The three interactive programs in their pages, in headless Chromium: the canvas shows,
// pixel for pixel, the frames the table rules give; the picture is placed as on the
// desktop; frames follow the page's animation frames, one per refresh at most; a
// hidden page shows nothing new until it is shown again; Escape ends the program and
// the page says so and offers to start it again. On a phone the index fits the screen
// and the End button ends the program by touch.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {servePagesToABrowser, skipUnlessReady, waitFor, sleep, canvasFrame, statusText, awaitEnd} = require('./site.js');

skipUnlessReady();

const kStartLimit = 20000;

// Counts, from the page's side, its animation frames and the frames put on a canvas,
// noting the animation frame each was put in, and the animation frames that came while
// a timer was overdue: a loaded machine held the program's sleep past its end, so it
// could not be waiting for that frame.
const kCounters = `
  window.counted = {ticks: 0, puts: 0, putTicks: [], lateTicks: 0};
  (function () {
    const due = new Map();  // pending timers, by id: when each should fire
    const setTimer = window.setTimeout, clearTimer = window.clearTimeout;
    window.setTimeout = function (callback, delay, ...args) {
      if (typeof callback !== 'function') return setTimer.call(window, callback, delay, ...args);
      const id = setTimer.call(window, (...given) => { due.delete(id); return callback(...given); }, delay, ...args);
      due.set(id, performance.now() + (Number(delay) || 0));
      return id;
    };
    window.clearTimeout = function (id) { due.delete(id); return clearTimer.call(window, id); };
    (function tick() {
      window.counted.ticks++;
      const now = performance.now();
      if ([...due.values()].some((time) => time <= now)) window.counted.lateTicks++;
      requestAnimationFrame(tick);
    })();
  })();
  const putImageData = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    window.counted.puts++;
    window.counted.putTicks.push(window.counted.ticks);
    return putImageData.apply(this, args);
  };`;

// Holds the page's timers while timers.held: a program sleeping on one (tunnel_static
// waits for the raster with short sleeps) stays asleep, as in a screenshot taken once
// the page's time budget is spent.
const kTimerGate = `
  window.timers = {held: false, waiting: []};
  const setTimeout0 = window.setTimeout;
  window.setTimeout = (run, ms, ...args) => setTimeout0(function due() {
    if (window.timers.held) window.timers.waiting.push(due);
    else run(...args);
  }, ms);`;

// The running program's instance as window.program, caught as the page starts it.
const kProgramInstance = `
  (() => {
    let create;
    Object.defineProperty(window, 'createProgram', {configurable: true,
      get: () => create && ((instance) => create(window.program = instance)),
      set: (value) => { create = value; }});
  })();`;

const session = servePagesToABrowser();

const open = (program, options = {}) => session.open(program + '.html', {beforeLoad: kCounters, ...options});

// Waits until the canvas shows a frame of `kind` that `wanted` accepts; returns its number.
async function awaitFrame(page, kind, wanted = () => true) {
  let last = {n: 0, why: 'no frame read'};
  try {
    await waitFor(async () => {
      last = await canvasFrame(page, kind);
      return last.n > 0 && wanted(last.n);
    }, kStartLimit, 'a ' + kind + ' frame');
  } catch (error) {
    throw new Error(error.message + ': last read ' + last.n + ' ' + last.why);
  }
  return last.n;
}

const counts = (page) => page.evaluate('({ticks: counted.ticks, puts: counted.puts, late: counted.lateTicks})');


// Ended with exit code 0, the canvas gone and an offer to start again.
async function awaitScreenEnd(page, program) {
  await awaitEnd(page, program, kStartLimit);
  assert.equal(await page.evaluate("document.getElementById('screen').hidden"), true, 'the canvas is still shown');
  assert.equal(await page.evaluate("document.getElementById('restart').hidden"), false, 'no offer to start again');
}

// After a restart: the canvas keeps the last frame of the run before, and the new run
// has its keys once it shows its screen.
async function awaitScreenShown(page, program) {
  await waitFor(() => page.evaluate("!document.getElementById('screen').hidden"), kStartLimit,
                program + ' to show its screen again');
}

const kPrograms = [
  {program: 'tunnel_static', kind: 'static', sleeps: true},
  {program: 'tunnel_animated', kind: 'animated', sleeps: false},
  {program: 'tunnel_lookaround', kind: 'lookaround', sleeps: false},
];

for (const {program, kind} of kPrograms) {
  test(program + ' shows the frames of the rules; Escape ends it; it starts again', async () => {
    const page = await open(program);
    const n = await awaitFrame(page, kind);
    assert.equal(await page.evaluate('document.title'), 'Varnoxia Tutorial');
    const box = await page.evaluate(`(() => {
      const canvas = document.getElementById('canvas'), screen = document.getElementById('screen');
      return {place: canvas.style.cssText, scaling: getComputedStyle(canvas).imageRendering,
              cursor: screen.style.cursor, background: getComputedStyle(screen).backgroundColor};
    })()`);
    assert.deepEqual(box, {place: 'left: 0px; top: 0px; width: 640px; height: 480px;', scaling: 'pixelated',
                           cursor: 'none', background: 'rgb(0, 0, 0)'});
    // Still moving: a later read shows another frame.
    if (kind !== 'static') await awaitFrame(page, kind, (m) => m !== n);
    await page.keyboard.press('Escape');
    await awaitScreenEnd(page, program);

    await page.evaluate("document.getElementById('restart').click()");
    await awaitScreenShown(page, program);
    await awaitFrame(page, kind);
    await page.keyboard.press('Escape');
    await awaitScreenEnd(page, program);
    await page.close();
  });
}

// tunnel_static waits for the scan line, read off the same animation frames, and flips
// at once; tunnel_animated flips at the retrace.
for (const program of ['tunnel_static', 'tunnel_animated']) {
  test(program + ' puts one frame per animation frame at most, and keeps up with them', async () => {
    const page = await open(program);
    await waitFor(() => page.evaluate('counted.puts > 0'), kStartLimit, 'a first frame');
    const start = await counts(page);
    await waitFor(async () => (await counts(page)).ticks >= start.ticks + 120, 10000, '120 animation frames');
    const end = await counts(page);
    const ticks = end.ticks - start.ticks, puts = end.puts - start.puts, late = end.late - start.late;
    assert.ok(puts <= ticks, puts + ' frames in ' + ticks + ' animation frames');
    // An animation frame that came while the program's sleep was overdue is the loaded
    // machine's: the program flips at the next. Of the others a program paced by
    // anything else would miss most.
    assert.ok(puts >= (ticks - late) * 0.6,
      'only ' + puts + ' frames in ' + ticks + ' animation frames, ' + late + ' of them during an overdue sleep');
    const putTicks = await page.evaluate('counted.putTicks');
    assert.equal(new Set(putTicks).size, putTicks.length, 'two frames in one animation frame');
    await page.close();
  });
}

test('a hidden page shows no new frame and forgets a key let go elsewhere; shown again it shows the flight again', async () => {
  // No full screen here: the key held would offer it, and leaving it could count as Escape.
  const page = await open('tunnel_animated',
                          {beforeLoad: kCounters + kProgramInstance + 'Element.prototype.requestFullscreen = undefined;'});
  await awaitFrame(page, 'animated');
  await page.keyboard.down('KeyA');
  assert.equal(await page.evaluate('program.keyHeld(65)'), true, 'A pressed does not read as held');
  const other = await session.browser.newPage();
  await other.bringToFront();
  await waitFor(() => page.evaluate("document.visibilityState === 'hidden'"), 5000, 'the page to be hidden');
  await other.keyboard.up('KeyA');
  const hidden = await counts(page);
  await sleep(1500);
  assert.equal((await counts(page)).puts, hidden.puts, 'frames were put while the page was hidden');

  await page.bringToFront();
  await waitFor(() => page.evaluate("document.visibilityState === 'visible'"), 5000, 'the page to be shown again');
  assert.equal(await page.evaluate('program.keyHeld(65)'), false, 'A, let go in another tab, still reads as held');
  await waitFor(async () => (await counts(page)).puts > hidden.puts + 10, kStartLimit, 'frames after showing the page');
  await awaitFrame(page, 'animated');
  await page.keyboard.press('Escape');
  await awaitScreenEnd(page, 'tunnel_animated');
  await other.close();
  await page.close();
});

// Window size in CSS pixels and device pixels to one, then where the 640 x 480 canvas is
// placed in it, in CSS pixels: at ratio 2 the whole-pixel scale and the centring are
// counted in device pixels.
const kPlaces = [
  [1300, 1000, 1, 'left: 10px; top: 20px; width: 1280px; height: 960px;'],
  [1000, 700, 1, 'left: 180px; top: 110px; width: 640px; height: 480px;'],
  [641, 481, 2, 'left: 0.5px; top: 0.5px; width: 640px; height: 480px;'],
  [2000, 1500, 1, 'left: 40px; top: 30px; width: 1920px; height: 1440px;'],
  [320, 200, 1, 'left: 27px; top: 0px; width: 266px; height: 200px;'],
  [640, 393, 1, 'left: 58px; top: 0px; width: 524px; height: 393px;'],
  [640, 480, 1, 'left: 0px; top: 0px; width: 640px; height: 480px;'],
];

for (const {program, kind, sleeps} of kPrograms) {
  test(program + ': the picture is scaled by whole pixels where it fits, aspect kept, centred, even while the program sleeps', async () => {
    const page = await open(program, {width: 1300, height: 1000, beforeLoad: kCounters + kTimerGate});
    await awaitFrame(page, kind);
    await page.evaluate('timers.held = true');
    if (sleeps) await waitFor(() => page.evaluate('timers.waiting.length > 0'), 5000, program + ' to sleep');
    for (const [width, height, ratio, place] of kPlaces) {
      await page.setViewport({width, height, deviceScaleFactor: ratio});
      await waitFor(() => page.evaluate("document.getElementById('canvas').style.cssText").then((p) => p === place),
        5000, place + ' in ' + width + ' x ' + height + ' at ratio ' + ratio).catch(async (error) => {
        throw new Error(error.message + '; is ' + await page.evaluate("document.getElementById('canvas').style.cssText"));
      });
    }
    await page.evaluate('timers.held = false; timers.waiting.splice(0).forEach((due) => due())');
    await awaitFrame(page, kind);
    await page.close();
  });
}

// The hint's state as the page shows it: shown or faded out, its opacity, and whether
// it lies over the picture.
const kHint = `(() => {
  const hint = document.getElementById('hint'), at = hint.getBoundingClientRect();
  const picture = document.getElementById('canvas').getBoundingClientRect();
  return {shown: hint.classList.contains('shown'), opacity: getComputedStyle(hint).opacity,
          overPicture: at.left >= picture.left && at.right <= picture.right && at.top >= picture.top &&
                       at.bottom <= picture.bottom && at.width > 0};
})()`;

test('a hint over the picture shows at the start and when the pointer moves, then fades; the frame stays the rules\' own', async () => {
  // Each time the hint shows, the page keeps a copy of the canvas as it is then.
  const page = await open('tunnel_static', {beforeLoad: kCounters + `
    window.hintShown = 0;
    document.addEventListener('DOMContentLoaded', () => new MutationObserver(() => {
      if (!document.getElementById('hint').classList.contains('shown')) return;
      window.hintShown++;
      const canvas = document.getElementById('canvas');
      window.canvasWithHint = Object.assign(document.createElement('canvas'), {width: canvas.width, height: canvas.height});
      window.canvasWithHint.getContext('2d').drawImage(canvas, 0, 0);
    }).observe(document.getElementById('hint'), {attributes: true, attributeFilter: ['class']}));`});
  await awaitFrame(page, 'static');
  assert.ok(await page.evaluate('hintShown > 0'), 'no hint as the screen showed');
  const gone = {shown: false, opacity: '0', overPicture: true};
  await waitFor(async () => JSON.stringify(await page.evaluate(kHint)) === JSON.stringify(gone), 10000, 'the hint to fade');
  await page.mouse.move(200, 150);
  await waitFor(async () => (await page.evaluate(kHint)).opacity === '1', 5000, 'the hint after the pointer moved');
  assert.deepEqual(await page.evaluate(kHint), {shown: true, opacity: '1', overPicture: true});
  assert.ok((await canvasFrame(page, 'static', 'window.canvasWithHint')).n > 0, 'the canvas under the hint is no frame of the rules');
  await awaitFrame(page, 'static');
  await waitFor(async () => JSON.stringify(await page.evaluate(kHint)) === JSON.stringify(gone), 10000, 'the hint to fade again');
  await page.keyboard.press('Escape');
  await awaitScreenEnd(page, 'tunnel_static');
  await page.close();
});

// Clicks the picture and waits for the full screen and the keyboard lock's answer;
// returns who gets Escape there, the program or the browser.
async function click(page) {
  await page.mouse.click(100, 100);
  await waitFor(() => page.evaluate("document.fullscreenElement?.id === 'screen'"), 5000, 'the full screen');
  return waitFor(() => page.evaluate("document.getElementById('screen').dataset.escape"), 5000,
                 'the keyboard lock to answer in the full screen');
}

test('a click offers the full screen, where the keyboard lock gives Escape to the program', async () => {
  const page = await open('tunnel_static');
  await awaitFrame(page, 'static');
  assert.equal(await click(page), 'program');
  assert.equal(await page.evaluate("getComputedStyle(document.querySelector('#hint .offer')).display"), 'none',
               'the hint still offers the full screen in the full screen');
  // Left some other way (the browser's own controls): the program goes on.
  await page.evaluate('document.exitFullscreen()');
  const puts = (await counts(page)).puts;
  await waitFor(async () => (await counts(page)).puts > puts + 10, kStartLimit, 'frames after the full screen');
  assert.match(await statusText(page), /running/);
  assert.equal(await click(page), 'program');
  await page.keyboard.press('Escape');
  await awaitScreenEnd(page, 'tunnel_static');
  assert.equal(await page.evaluate('document.fullscreenElement'), null, 'still in the full screen');
  await page.close();
});

test('without a keyboard lock, leaving the full screen is the Escape the browser kept', async () => {
  const page = await open('tunnel_static', {beforeLoad: kCounters + 'Keyboard.prototype.lock = undefined;'});
  await awaitFrame(page, 'static');
  assert.equal(await click(page), 'browser');
  await page.evaluate('document.exitFullscreen()');
  await awaitScreenEnd(page, 'tunnel_static');
  await page.close();
});

test('on a phone: the index fits its width, each line under its pictures; a touch offers the full screen, End ends the program and Start it again starts it', async () => {
  const phone = {width: 390, height: 844, ratio: 3, touch: true};
  const index = await session.open('', phone);
  const layout = await index.evaluate(`({width: innerWidth, scrolls: document.documentElement.scrollWidth > innerWidth,
    linesUnderPictures: [...document.querySelectorAll('tr')].every((row) =>
      row.cells[2].getBoundingClientRect().top >= row.cells[0].getBoundingClientRect().bottom)})`);
  assert.deepEqual(layout, {width: 390, scrolls: false, linesUnderPictures: true});
  await index.close();

  // The page's timers held: the hint, once shown, stays for the test's touches.
  const page = await open('tunnel_animated', {...phone, beforeLoad: kCounters + kTimerGate});
  await awaitFrame(page, 'animated');
  await page.evaluate('timers.held = true');
  const hintText = () => page.evaluate("document.getElementById('hint').innerText");
  assert.equal(await hintText(), 'End ends it; touch for the full screen');
  await page.tap('#canvas');
  await waitFor(() => page.evaluate("document.fullscreenElement?.id === 'screen'"), 5000, 'the full screen');
  const {shown, opacity} = await page.evaluate(kHint);
  assert.deepEqual({shown, opacity, text: await hintText()}, {shown: true, opacity: '1', text: 'End ends it'});
  await page.tap('#end');
  await awaitScreenEnd(page, 'tunnel_animated');
  await page.evaluate('timers.held = false; timers.waiting.splice(0).forEach((due) => due())');
  await page.tap('#restart');
  await awaitScreenShown(page, 'tunnel_animated');
  await awaitFrame(page, 'animated');
  await page.close();
});
