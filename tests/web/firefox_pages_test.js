// The pages in the second engine, Firefox ESR: each interactive page shows the frames of
// the rules pixel for pixel and Escape ends its program; a picture page's download is
// byte for byte the file the desktop build writes; the explorer shows the rules' frame.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {servePagesToABrowser, skipUnlessReady, openPage, waitFor, canvasFrame, desktopPicture, downloadingContext,
       downloaded, awaitEnd} = require('./site.js');

skipUnlessReady('firefox');

const session = servePagesToABrowser('firefox');

for (const [program, kind] of [['tunnel_static', 'static'], ['tunnel_animated', 'animated'], ['tunnel_lookaround', 'lookaround']]) {
  test(program + ' shows the frames of the rules pixel for pixel; Escape ends it', async () => {
    const page = await session.open(program + '.html');
    let last = {why: 'no frame read'};
    await waitFor(async () => (last = await canvasFrame(page, kind)).n > 0, 30000, 'a ' + kind + ' frame').catch((error) => {
      throw new Error(error.message + ': last read ' + last.why);
    });
    await page.keyboard.press('Escape');
    await awaitEnd(page, program);
    assert.equal(await page.evaluate("document.getElementById('screen').hidden"), true, 'the canvas is still shown');
    await page.close();
  });
}

test("texture_dump's download is the desktop build's file byte for byte", async () => {
  const {context, folder, close} = await downloadingContext(session.browser);
  try {
    const page = await openPage(context, session.server.url + 'texture_dump.html');
    await awaitEnd(page, 'texture_dump');
    await page.evaluate("document.querySelector('#pictures a').click()");
    const desktop = desktopPicture(process.env.TEXTURE_DUMP, 'Varnoxia_Texture.bmp');
    assert.ok((await downloaded(folder, 'Varnoxia_Texture.bmp')).equals(desktop), "Varnoxia_Texture.bmp differs from the desktop build's");
  } finally {
    await close();
  }
});

test("the explorer with ratio 48 shows the rules' frame 20 pixel for pixel", async () => {
  const page = await session.open('explorer.html#ratio=48&frame=20&paused=1');
  let last = {why: 'no frame read'};
  await waitFor(async () => (last = await canvasFrame(page, 'animated', "document.getElementById('tunnel')", [48, 0.5])).n > 0,
                30000, 'the explorer\'s frame').catch((error) => {
    throw new Error(error.message + ': last read ' + last.why);
  });
  assert.equal(last.n, 20);
  await page.close();
});
