// The explorer page in headless Chromium: its tunnel is the table rules' frame pixel for
// pixel, with the programs' values and with a ratio changed from the keyboard; its table
// pictures are the picture programs' files; the chain of one pixel reads the tables'
// entries there; the address holds every setting, clamped where out of range.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {skipUnlessReady, servePagesToABrowser, waitFor, canvasFrame, desktopPicture} = require('./site.js');

skipUnlessReady();
const session = servePagesToABrowser();

async function open(hash, beforeLoad = '') {
  const page = await session.open('explorer.html#' + hash, {width: 1400, height: 1100, beforeLoad});
  await waitFor(() => page.evaluate(`document.body.dataset.state === 'ready' ||
                                      /cannot|could not/.test(document.getElementById('status').textContent)`),
                20000, 'the explorer to start');
  return page;
}

const hash = (page) => page.evaluate('location.hash.slice(1)');

// Pixel (x, y) of a canvas, or of a 24-bit BMP file, as 0xRRGGBB.
const canvasPixel = (page, id, x, y) => page.evaluate(`(() => {
  const [r, g, b] = document.getElementById('${id}').getContext('2d').getImageData(${x}, ${y}, 1, 1).data;
  return r << 16 | g << 8 | b;
})()`);
function bmpPixel(file, x, y) {
  const width = file.readInt32LE(18), height = file.readInt32LE(22), row = Math.ceil(width * 3 / 4) * 4;
  const at = file.readUInt32LE(10) + (height - 1 - y) * row + 3 * x;
  return file[at + 2] << 16 | file[at + 1] << 8 | file[at];
}

test('the tunnel is the rules\' frame with the programs\' values and with ratio 48 set from the keyboard; the table pictures are the picture programs\' files', async () => {
  const page = await open('frame=20&paused=1');
  assert.deepEqual(await canvasFrame(page, 'animated', "document.getElementById('tunnel')"), {n: 20, why: ''});
  const pictures = [['texture-picture', 'TEXTURE_DUMP', 'Varnoxia_Texture.bmp', 256, 256],
                    ['distance-picture', 'DISTANCE_DUMP', 'Varnoxia_Distance.bmp', 640, 480],
                    ['angle-picture', 'ANGLE_DUMP', 'Varnoxia_Angle.bmp', 640, 480]];
  for (const [id, program, name, width, height] of pictures) {
    const file = desktopPicture(process.env[program], name);
    const shown = await page.evaluate(`Array.from(document.getElementById('${id}').getContext('2d')
      .getImageData(0, 0, ${width}, ${height}).data)`);
    for (let y = 0; y < height; ++y)
      for (let x = 0; x < width; ++x) {
        const at = 4 * (y * width + x);
        const pixel = shown[at] << 16 | shown[at + 1] << 8 | shown[at + 2];
        if (pixel !== bmpPixel(file, x, y)) assert.fail(`${id} (${x}, ${y}) is ${pixel.toString(16)}, ${name} has ${bmpPixel(file, x, y).toString(16)}`);
      }
  }
  // Every control is reached with Tab, in order; the ratio slider then takes arrow keys.
  const reached = [];
  await page.focus('#ratio');
  for (let i = 0; i < 30 && !reached.includes('reset'); ++i) {
    reached.push(await page.evaluate('document.activeElement.id'));
    await page.keyboard.press('Tab');
  }
  for (const id of ['ratio', 'angleScale', 'speedX', 'speedY', 'size', 'rule-xor', 'colour-blue', 'cx', 'cy', 'frame',
                    'back', 'play', 'forward', 'reset'])
    assert.ok(reached.includes(id), id + ' is not reached with Tab: ' + reached.join(' '));
  await page.focus('#ratio');
  for (let i = 0; i < 32; ++i) await page.keyboard.press('ArrowRight');  // 32 + 32 steps of 0.5
  assert.match(await hash(page), /^ratio=48&/);
  assert.equal(await page.evaluate("document.querySelector('code[data-line=ratio]').textContent"),
               'kRatio = 48.0;  // tunnel/settings.h');
  assert.deepEqual(await canvasFrame(page, 'animated', "document.getElementById('tunnel')", [48, 0.5]), {n: 20, why: ''});
  await page.close();
});

test('the chain of a pixel pointed at reads the tables\' entries there, and a table picture shows its entry', async () => {
  const page = await open('frame=20&paused=1');
  const box = await (await page.$('#tunnel')).boundingBox();
  await page.mouse.move(box.x + 400.5, box.y + 300.5);
  const chain = await page.evaluate(`Object.fromEntries(['x', 'y', 'd', 'a', 'shiftX', 'shiftY', 'u', 'v', 'value']
    .map((name) => [name, Number(document.getElementById('chain-' + name).textContent)]))`);
  // Pixel (400, 300) lies at (80, 60) from the centre: distance 81 (radius 100), angle
  // 229; frame 20's shifts are TruncToInt(256 x 2.0 x 0.1) = 51.
  const u = (81 + 51) % 256, v = (229 + 51) % 256;
  assert.deepEqual(chain, {x: 400, y: 300, d: 81, a: 229, shiftX: 51, shiftY: 51, u, v, value: u ^ v});
  assert.equal(await canvasPixel(page, 'tunnel', 400, 300), u ^ v);
  // The texture picture's mark sits on (u, v), at 1 CSS pixel a texel.
  const mark = await page.evaluate(`(() => { const m = document.querySelector('#texture-picture + .mark');
    return [parseFloat(m.style.left), parseFloat(m.style.top)]; })()`);
  assert.deepEqual(mark, [u + 0.5, v + 0.5]);
  await page.$eval('#texture-picture', (picture) => picture.scrollIntoView());
  const texture = await (await page.$('#texture-picture')).boundingBox();
  await page.mouse.move(texture.x + 10.5, texture.y + 20.5);
  assert.equal(await page.evaluate("document.querySelector('#texture-picture').closest('figure').querySelector('.entry').textContent"),
               'texture[10][20] = ' + (10 ^ 20));
  await page.close();
});

test('the address holds every setting, takes them back, clamps what is out of range and says so; reset gives the programs\' values', async () => {
  const all = 'ratio=48&angleScale=1&speedX=2&speedY=1&size=512&rule=and&colour=grey&cx=300&cy=200&frame=20&paused=1';
  let page = await open(all);
  assert.equal(await hash(page), all);
  assert.deepEqual(await page.evaluate(`[document.getElementById('ratio').value, document.getElementById('rule-and').checked,
    document.querySelector('output[for=size]').textContent, document.getElementById('notice').hidden]`),
    ['48', true, '512 x 512', true]);
  await page.close();

  page = await open('ratio=1000&size=300&rule=plaid&frame=20&paused=1');
  assert.equal(await hash(page), 'ratio=128&angleScale=0.5&speedX=2&speedY=2&size=256&rule=xor&colour=blue&cx=320&cy=240&frame=20&paused=1');
  const notice = await page.evaluate("document.getElementById('notice').textContent");
  for (const part of ['ratio=1000 is out of range (1 to 128): 128 is shown.', 'size=300 is not a power of two',
                      'rule=plaid is not one of xor, and, or, sum, checker'])
    assert.ok(notice.includes(part), notice);
  await page.click('#reset');
  assert.equal(await hash(page), 'ratio=32&angleScale=0.5&speedX=2&speedY=2&size=256&rule=xor&colour=blue&cx=320&cy=240&frame=1&paused=0');
  await page.close();
});

test('a browser without WebAssembly\'s vectors gets the one line the other pages give', async () => {
  const page = await open('', 'WebAssembly.validate = () => false;');
  assert.equal(await page.evaluate("document.getElementById('status').textContent"),
               "explorer: cannot run here: this browser's WebAssembly has no 128-bit vectors (SIMD), which Chrome 91, " +
               'Firefox 89 and Safari 16.4 and later have');
  await page.close();
});
