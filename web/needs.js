// What the browser lacks for a page's program, in the program's own words, or null.
// Shared by the programs' pages (page.js) and the explorer (explorer.js).
'use strict';

// The smallest module with 128-bit vector instructions (i8x16.splat, i8x16.popcnt), which
// every program's code holds.
const kVectorProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8,
                                     0, 65, 0, 253, 15, 253, 98, 11]);

// showsScreen: the program draws on a canvas.
function tunnelPageMissing(showsScreen) {
  if (typeof WebAssembly !== 'object') return 'this browser has no WebAssembly';
  if (!WebAssembly.validate(kVectorProbe))
    return "this browser's WebAssembly has no 128-bit vectors (SIMD), which Chrome 91, Firefox 89 and " +
           'Safari 16.4 and later have';
  if (showsScreen && !document.createElement('canvas').getContext('2d'))
    return 'this browser gives no 2D canvas to show the screen on';
  return null;
}

// Browsers fetch a page's WebAssembly only from a web server, never from disk: the line
// that says so for the page `name` opened from a file, or null.
function tunnelPageFromDisk(name) {
  if (location.protocol !== 'file:') return null;
  return name + ': cannot run from a file: the pages must be served; run tools/web and open ' +
         'http://127.0.0.1:8000/' + name + '.html';
}
