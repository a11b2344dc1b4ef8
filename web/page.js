// Starts the page's program once the page and the program's code have loaded and tells
// what became of it. A screen program shows its canvas over the page, with a hint over
// the picture for a few seconds (how to end it, how to get the full screen; on a touch
// screen a button that ends it, since there is no Escape key); once a program has ended
// the page says so with its exit code, shows the pictures it wrote and offers them for
// download under their names, and offers to start the program again.
'use strict';
(function () {
  const program = document.body.dataset.program;
  const showsScreen = document.body.dataset.showsScreen === 'yes';
  const status = document.getElementById('status');
  const output = document.getElementById('output');
  const pictures = document.getElementById('pictures');
  const restart = document.getElementById('restart');
  const canvas = document.getElementById('canvas');
  const screen = document.getElementById('screen');
  const hint = document.getElementById('hint');
  const touchScreen = matchMedia('(pointer: coarse)').matches;

  // How long the hint stays over the picture once the screen shows or the pointer moves.
  const kHintMs = 3000;
  let hintTimer = 0;
  function showHint() {
    hint.classList.add('shown');
    clearTimeout(hintTimer);
    hintTimer = setTimeout(function () { hint.classList.remove('shown'); }, kHintMs);
  }

  function print(line) {
    output.hidden = false;
    output.textContent += line + '\n';
  }

  // The pictures the program left in its working folder, shown and offered for download.
  function offerPictures(FS) {
    if (!FS) return;
    const folder = FS.cwd().replace(/\/$/, '');
    for (const name of FS.readdir(folder || '/')) {
      const path = folder + '/' + name;
      if (!/\.bmp$/i.test(name) || !FS.isFile(FS.stat(path).mode)) continue;
      const url = URL.createObjectURL(new Blob([FS.readFile(path)], {type: 'image/bmp'}));
      const figure = document.createElement('figure');
      const picture = document.createElement('img');
      picture.src = url;
      picture.alt = name;
      const link = document.createElement('a');
      link.href = url;
      link.download = name;
      link.textContent = 'Download ' + name;
      const caption = document.createElement('figcaption');
      caption.append(link);
      figure.append(picture, caption);
      pictures.append(figure);
    }
  }

  function finished(text) {
    status.textContent = text;
    restart.hidden = false;
  }

  function start() {
    restart.hidden = true;
    output.hidden = true;
    output.textContent = '';
    for (const link of pictures.querySelectorAll('a')) URL.revokeObjectURL(link.href);
    pictures.replaceChildren();
    status.textContent = program + (showsScreen ? ' is running; ' + (touchScreen ? 'End' : 'Escape') + ' ends it.'
                                                : ' is running.');
    const instance = {
      canvas: canvas,
      thisProgram: program,
      print: print,
      printErr: print,
      onExit: function (code) {
        offerPictures(instance.FS);
        finished(program + ' ended with exit code ' + code + '.');
      },
      onAbort: function (reason) {
        finished(program + ' stopped: ' + reason);
      },
    };
    createProgram(instance).catch(function (reason) {
      finished(program + ' could not start: ' + reason);
    });
  }

  const lacking = tunnelPageMissing(showsScreen);
  if (lacking) {
    status.textContent = program + ': cannot run here: ' + lacking;
    return;
  }
  const fromDisk = tunnelPageFromDisk(program);
  if (fromDisk) {
    status.textContent = fromDisk;
    return;
  }
  restart.addEventListener('click', start);
  if (showsScreen) {
    screen.addEventListener('pointermove', showHint);
    screen.addEventListener('pointerdown', showHint);
    // End presses Escape for the program, as the keyboard would; the touch on it is no
    // request for the full screen.
    const end = document.getElementById('end');
    end.addEventListener('pointerdown', function (event) { event.stopPropagation(); });
    end.addEventListener('click', function () {
      for (const type of ['keydown', 'keyup']) window.dispatchEvent(new KeyboardEvent(type, {key: 'Escape', code: 'Escape'}));
    });
    new MutationObserver(function () { if (!screen.hidden) showHint(); })
      .observe(screen, {attributes: true, attributeFilter: ['hidden']});
  }
  if (typeof createProgram !== 'function') {
    status.textContent = program + ': cannot run here: its code did not load (' + program + '.js)';
    return;
  }
  start();
})();
