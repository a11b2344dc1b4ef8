// The programs without a screen in their pages, in headless Chromium: each picture
// program's page shows its picture and offers it for download under its name, byte for
// byte the file the desktop build writes; tunnel_tables ends with code 0, printing
// nothing.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {servePagesToABrowser, skipUnlessReady, openPage, desktopPicture, downloadingContext, downloaded,
       awaitEnd} = require('./site.js');

skipUnlessReady();

const session = servePagesToABrowser();

const kPictures = [
  {program: 'texture_dump', file: 'Varnoxia_Texture.bmp', width: 256, height: 256, desktop: process.env.TEXTURE_DUMP},
  {program: 'distance_dump', file: 'Varnoxia_Distance.bmp', width: 640, height: 480, desktop: process.env.DISTANCE_DUMP},
  {program: 'angle_dump', file: 'Varnoxia_Angle.bmp', width: 640, height: 480, desktop: process.env.ANGLE_DUMP},
];

for (const {program, file, width, height, desktop} of kPictures) {
  test(program + ' shows ' + file + ' and offers it, the desktop build\'s file byte for byte', async () => {
    const {context, folder, close} = await downloadingContext(session.browser);
    try {
      const page = await openPage(context, session.server.url + program + '.html');
      await awaitEnd(page, program);
      const offered = await page.evaluate(`(async () => {
        const links = [...document.querySelectorAll('#pictures a')];
        const pictures = [...document.querySelectorAll('#pictures img')];
        await Promise.all(pictures.map((p) => p.decode()));
        return {names: links.map((a) => a.download), sizes: pictures.map((p) => [p.naturalWidth, p.naturalHeight]),
                output: document.getElementById('output').textContent};
      })()`);
      assert.deepEqual(offered, {names: [file], sizes: [[width, height]], output: ''});

      await page.evaluate("document.querySelector('#pictures a').click()");
      assert.ok((await downloaded(folder, file)).equals(desktopPicture(desktop, file)),
                file + ' differs from the desktop build\'s');
    } finally {
      await close();
    }
  });
}

test('tunnel_tables ends with exit code 0 and prints nothing', async () => {
  const page = await session.open('tunnel_tables.html');
  await awaitEnd(page, 'tunnel_tables');
  assert.equal(await page.evaluate("document.getElementById('output').textContent"), '');
  assert.equal(await page.evaluate("document.querySelectorAll('#pictures *').length"), 0);
  await page.close();
});
