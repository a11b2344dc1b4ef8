// The pages in the second engine, Firefox ESR: each interactive page shows the frames of
// the rules pixel for pixel and Escape ends its program; a picture page's download is
// byte for byte the file the desktop build writes; the explorer shows the rules' frame.
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {test} = require('node:test');
const {missingFirefox, launchFirefox, waitFor} = require('./firefox.js');
const {servePagesToABrowser, skipUnlessReady, canvasFrame, desktopPicture, awaitEnd} = require('./site.js');

skipUnlessReady(missingFirefox);

const kEscape = '\uE00C';
const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'tunnel-downloads-'));
process.on('exit', () => fs.rmSync(downloads, {recursive: true, force: true}));

const session = servePagesToABrowser(() => launchFirefox({downloads}));

const open = (program) => session.browser.page(session.server.url + program + '.html');

for (const [program, kind] of [['tunnel_static', 'static'], ['tunnel_animated', 'animated'], ['tunnel_lookaround', 'lookaround']]) {
  test(program + ' shows the frames of the rules pixel for pixel; Escape ends it', async () => {
    const page = await open(program);
    let last = {why: 'no frame read'};
    await waitFor(async () => (last = await canvasFrame(page, kind)).n > 0, 30000, 'a ' + kind + ' frame').catch((error) => {
      throw new Error(error.message + ': last read ' + last.why);
    });
    await page.press(kEscape);
    await awaitEnd(page, program);
    assert.equal(await page.evaluate("document.getElementById('screen').hidden"), true, 'the canvas is still shown');
    await page.close();
  });
}

test("texture_dump's download is the desktop build's file byte for byte", async () => {
  const page = await open('texture_dump');
  await awaitEnd(page, 'texture_dump');
  await page.evaluate("document.querySelector('#pictures a').click()");
  // Firefox writes into a .part file beside the download and removes it when done.
  const saved = path.join(downloads, 'Varnoxia_Texture.bmp');
  await waitFor(() => fs.existsSync(saved) && !fs.existsSync(saved + '.part') && fs.statSync(saved).size > 0, 20000,
                'Varnoxia_Texture.bmp to be downloaded');
  assert.ok(fs.readFileSync(saved).equals(desktopPicture(process.env.TEXTURE_DUMP, 'Varnoxia_Texture.bmp')),
            "Varnoxia_Texture.bmp differs from the desktop build's");
  await page.close();
});

test("the explorer with ratio 48 shows the rules' frame 20 pixel for pixel", async () => {
  const page = await session.browser.page(session.server.url + 'explorer.html#ratio=48&frame=20&paused=1');
  let last = {why: 'no frame read'};
  await waitFor(async () => (last = await canvasFrame(page, 'animated', "document.getElementById('tunnel')", [48, 0.5])).n > 0,
                30000, 'the explorer\'s frame').catch((error) => {
    throw new Error(error.message + ': last read ' + last.why);
  });
  assert.equal(last.n, 20);
  await page.close();
});
