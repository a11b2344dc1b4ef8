// The page's half of the canvas display (web_display.cpp): the canvas the page gives
// the program as Module.canvas, inside a black box covering the window (its parent),
// the animation frames, the page being shown or hidden, the keys, and the browser's
// full screen.
mergeInto(LibraryManager.library, {
  $WebCanvas__deps: ['$callUserCallback', 'web_window_resized'],
  $WebCanvas: {
    context: null,
    listeners: null,  // an AbortController for every listener of this program
    shown: false,
    fullScreen: false,  // the box went full screen at our request
    escapeLocked: false,  // and the keyboard lock gives Escape to the program there
    lastFrame: 0,  // performance.now() time of the latest animation frame
    period: 1000 / 60,  // between animation frames, measured
    frameWaiter: null,
    sleeper: null,
    sleepsUntilShown: false,
    keyDown: null,  // by virtual key: down now, and pressed since GetAsyncKeyState read it
    keyPressed: null,

    // Virtual keys by the key's place on the keyboard, whatever the layout.
    virtualKey: function(code) {
      var named = {Escape: 27, Backspace: 8, Enter: 13, Space: 32, ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39,
                   ArrowDown: 40};
      if (code in named) return named[code];
      var m = /^(?:Key([A-Z])|Digit([0-9])|F([1-9]|1[0-2]))$/.exec(code);
      if (!m) return 0;
      if (m[1]) return m[1].charCodeAt(0);
      if (m[2]) return m[2].charCodeAt(0);
      return 0x6F + Number(m[3]);
    },

    press: function(key) {
      if (!WebCanvas.keyDown[key]) WebCanvas.keyPressed[key] = 1;
      WebCanvas.keyDown[key] = 1;
    },

    box: function() { return Module['canvas'].parentElement; },

    // A click or a key offers the browser's full screen, the exclusive mode's
    // counterpart. There the browser would take Escape for itself; the keyboard lock
    // gives it to the program, and where there is no lock, leaving the full screen is
    // taken as the Escape the browser kept.
    offerFullScreen: function() {
      var box = WebCanvas.box();
      if (!WebCanvas.shown || document.fullscreenElement || !box.requestFullscreen) return;
      box.requestFullscreen().then(function() {
        WebCanvas.fullScreen = true;
        var keyboard = navigator.keyboard;
        if (!keyboard || !keyboard.lock) return false;
        return keyboard.lock(['Escape']).then(function() { return true; });
      }).then(function(locked) {
        WebCanvas.escapeLocked = locked && WebCanvas.fullScreen;
      }).catch(function() {}).then(WebCanvas.tellEscape);
    },

    // The box says who gets Escape in the full screen once the keyboard lock has
    // answered: data-escape is "program" (locked) or "browser" (leaving is the Escape).
    tellEscape: function() {
      var box = WebCanvas.box();
      if (WebCanvas.fullScreen) box.dataset.escape = WebCanvas.escapeLocked ? 'program' : 'browser';
      else delete box.dataset.escape;
    },

    leaveFullScreen: function() {
      if (!WebCanvas.fullScreen) return;
      WebCanvas.fullScreen = WebCanvas.escapeLocked = false;
      WebCanvas.tellEscape();
      if (navigator.keyboard && navigator.keyboard.unlock) navigator.keyboard.unlock();
      if (document.fullscreenElement) document.exitFullscreen().catch(function() {});
    },

    start: function() {
      WebCanvas.keyDown = new Uint8Array(256);
      WebCanvas.keyPressed = new Uint8Array(256);
      // Whether GetAsyncKeyState would read the key as held, for the page's scripts.
      Module['keyHeld'] = function(key) { return WebCanvas.keyDown[key] === 1; };
      var options = {signal: (WebCanvas.listeners = new AbortController()).signal};
      window.addEventListener('keydown', function(event) {
        var key = WebCanvas.virtualKey(event.code);
        if (key && !event.repeat) WebCanvas.press(key);
        // Keys the program reads do not scroll the page; F keys stay the browser's.
        if (key && !/^F\d/.test(event.code)) event.preventDefault();
        if (key !== 27) WebCanvas.offerFullScreen();
      }, options);
      window.addEventListener('keyup', function(event) {
        WebCanvas.keyDown[WebCanvas.virtualKey(event.code)] = 0;
      }, options);
      window.addEventListener('pointerdown', WebCanvas.offerFullScreen, options);
      document.addEventListener('fullscreenchange', function() {
        if (document.fullscreenElement || !WebCanvas.fullScreen) return;
        // With the lock, Escape came as a key; the full screen was left some other way
        // (another tab, the browser's own controls), which a program outlives.
        if (!WebCanvas.escapeLocked && WebCanvas.shown && document.visibilityState === 'visible') WebCanvas.press(27);
        WebCanvas.fullScreen = WebCanvas.escapeLocked = false;
        WebCanvas.tellEscape();
      }, options);
      // Placed anew at once, whatever the program is doing: one waiting for the raster
      // sleeps on timers, and a page drawn with no timer run since (a screenshot) would
      // keep the old placement until its next pump.
      window.addEventListener('resize', function() { callUserCallback(_web_window_resized); }, options);
      document.addEventListener('visibilitychange', function() {
        if (document.visibilityState === 'visible') {
          if (WebCanvas.sleepsUntilShown) WebCanvas.wake('sleeper');
        } else {
          WebCanvas.keyDown.fill(0);  // the key-ups go to whatever the user went to
          WebCanvas.wake('frameWaiter', 0);
        }
      }, options);
      var tick = function(time) {
        if (WebCanvas.listeners.signal.aborted) return;
        requestAnimationFrame(tick);
        var interval = time - WebCanvas.lastFrame;
        if (interval > 4 && interval < 50) WebCanvas.period += (interval - WebCanvas.period) / 8;
        WebCanvas.lastFrame = time;
        WebCanvas.wake('frameWaiter', 1);
      };
      requestAnimationFrame(tick);
    },

    wake: function(waiter, value) {
      var wakeUp = WebCanvas[waiter];
      WebCanvas[waiter] = null;
      if (wakeUp) callUserCallback(function() { wakeUp(value); });
    },
  },

  web_canvas_available__deps: ['$WebCanvas'],
  web_canvas_available: function() {
    if (!WebCanvas.context) {
      var canvas = Module['canvas'];
      WebCanvas.context = canvas && canvas.parentElement && canvas.getContext('2d', {alpha: false});
      if (!WebCanvas.context) return false;
      WebCanvas.start();
    }
    return true;
  },

  web_canvas_stop__deps: ['$WebCanvas'],
  web_canvas_stop: function() {
    if (WebCanvas.listeners) WebCanvas.listeners.abort();
  },

  web_canvas_show__deps: ['$WebCanvas'],
  web_canvas_show: function(shown) {
    WebCanvas.shown = !!shown;
    WebCanvas.box().hidden = !shown;
    if (!shown) WebCanvas.leaveFullScreen();
  },

  web_canvas_size: function(width, height) {
    Module['canvas'].width = width;
    Module['canvas'].height = height;
  },

  // In device pixels, so a whole-pixel scale is one on the screen too.
  web_canvas_place: function(x, y, width, height) {
    var style = Module['canvas'].style, ratio = window.devicePixelRatio || 1;
    style.left = x / ratio + 'px';
    style.top = y / ratio + 'px';
    style.width = width / ratio + 'px';
    style.height = height / ratio + 'px';
  },

  web_window_size: function(width, height) {
    var ratio = window.devicePixelRatio || 1;
    HEAP32[width >> 2] = Math.round(window.innerWidth * ratio);
    HEAP32[height >> 2] = Math.round(window.innerHeight * ratio);
  },

  web_page_visible: function() { return document.visibilityState === 'visible'; },

  // Titles come in the platform's 8-bit text, whose codes are Unicode's first 256.
  web_set_title: function(title) {
    var text = '';
    for (var at = title; HEAPU8[at]; ++at) text += String.fromCharCode(HEAPU8[at]);
    document.title = text;
  },

  web_show_cursor__deps: ['$WebCanvas'],
  web_show_cursor: function(shown) { WebCanvas.box().style.cursor = shown ? '' : 'none'; },

  // Waits for the next animation frame; false when the page was or got hidden, where
  // there is none.
  web_wait_animation_frame__deps: ['$WebCanvas'],
  web_wait_animation_frame: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      if (document.visibilityState !== 'visible') return wakeUp(0);
      WebCanvas.frameWaiter = wakeUp;
    });
  },

  web_put_frame__deps: ['$WebCanvas'],
  web_put_frame: function(rgba, width, height) {
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    WebCanvas.context.putImageData(new ImageData(bytes, width, height), 0, 0);
  },

  web_last_animation_frame__deps: ['$WebCanvas'],
  web_last_animation_frame: function() { return WebCanvas.lastFrame; },

  web_animation_frame_period__deps: ['$WebCanvas'],
  web_animation_frame_period: function() { return WebCanvas.period; },

  web_key_state__deps: ['$WebCanvas'],
  web_key_state: function(key) {
    var pressed = WebCanvas.keyPressed[key];
    WebCanvas.keyPressed[key] = 0;
    return (WebCanvas.keyDown[key] ? 0x8000 : 0) | pressed;
  },

  // untilShown: the page's being shown again ends the sleep too.
  web_sleep__deps: ['$WebCanvas'],
  web_sleep: function(milliseconds, untilShown) {
    return Asyncify.handleSleep(function(wakeUp) {
      if (!(milliseconds > 0)) return wakeUp();
      var timer = setTimeout(function() { WebCanvas.wake('sleeper'); }, milliseconds);
      WebCanvas.sleeper = function() { clearTimeout(timer); wakeUp(); };
      WebCanvas.sleepsUntilShown = !!untilShown;
    });
  },
});
