// The explorer page's controls and read-out. Every table, frame and picture comes from the
// explorer's module (the tunnel rules built to WebAssembly, web/explorer/): this script
// hands it the settings, puts the pictures it made on the canvases, keeps the settings in
// the address and shows the chain of numbers of the pixel pointed at.
'use strict';
(function () {
  const status = document.getElementById('status');
  const notice = document.getElementById('notice');
  const tunnel = document.getElementById('tunnel');
  const box = document.getElementById('tunnel-box');
  const controls = document.getElementById('controls');
  const playButton = document.getElementById('play');

  const kWidth = 640, kHeight = 480, kCycle = 200;
  // The settings in the address, in this order; any left out take the programs' values.
  const kOrder = ['ratio', 'angleScale', 'speedX', 'speedY', 'size', 'rule', 'colour', 'cx', 'cy', 'frame', 'paused'];
  const kPrograms = {ratio: 32, angleScale: 0.5, speedX: 2, speedY: 2, size: 256, rule: 'xor', colour: 'blue', cx: 320,
                     cy: 240, frame: 1, paused: 0};
  // Bits of the pictures the module made new.
  const kFrame = 1, kTexture = 2, kDistance = 4, kAngle = 8;

  let module = null;
  let rules = [], colours = [];  // {name, line} of each, from the module
  let s = {...kPrograms};        // the settings shown
  let pointed = null;            // the tunnel pixel followed, {x, y}

  // A double as C++ writes it in the programs: 48.0, 0.125.
  function cpp(value) {
    return Number.isInteger(value) ? value.toFixed(1) : String(value);
  }

  // The line of C++ each control stands for, with its value, and where it is.
  function lines() {
    const rule = rules.find((r) => r.name === s.rule), colour = colours.find((c) => c.name === s.colour);
    return {
      ratio: `kRatio = ${cpp(s.ratio)};  // tunnel/settings.h`,
      angleScale: `kAngleScale = ${cpp(s.angleScale)};  // tunnel/settings.h`,
      speedX: `kSpeedX = ${cpp(s.speedX)};  // tunnel/settings.h`,
      speedY: `kSpeedY = ${cpp(s.speedY)};  // tunnel/settings.h`,
      size: `kTextureSize = ${s.size};  // tunnel/settings.h`,
      rule: `return ${rule.line};  // TextureValue, tunnel/tables.cpp`,
      colour: `return ${colour.line};  // TextureColour, tunnel/settings.h`,
      centre: `BuildTunnelTables(g.texture, g.distance, g.angle, g.textureSize, g.screenWidth, g.screenHeight, ` +
              `${cpp(s.cx)}, ${cpp(s.cy)}, g.ratio, g.angleScale);  // programs/tunnel_animated.cpp`,
      frame: `g.animation = ${module._explorer_animation()};  // after ${s.frame} x (g.animation + 0.005), ` +
             `0.0 again at 1.0: programs/tunnel_animated.cpp`,
    };
  }

  // ---- The address -------------------------------------------------------------------

  // A number setting brought onto its control's range and steps; notes what was changed.
  function numberFrom(name, text, notes) {
    const input = document.getElementById(name);
    const min = Number(input.min), max = Number(input.max), step = Number(input.step);
    const given = Number(text);
    if (text.trim() === '' || !Number.isFinite(given)) {
      notes.push(`${name}=${text} is not a number: the programs' ${kPrograms[name]} is shown.`);
      return kPrograms[name];
    }
    if (name === 'size') {
      // Powers of two only: the nearest, within 64 to 1024.
      const exponent = Math.min(Math.max(Math.round(Math.log2(Math.max(given, 1))), min), max);
      const size = 2 ** exponent;
      if (size !== given) notes.push(`size=${text} is not a power of two from 64 to 1024: ${size} is shown.`);
      return size;
    }
    const clamped = Math.min(Math.max(given, min), max);
    const value = min + Math.round((clamped - min) / step) * step;
    if (clamped !== given) notes.push(`${name}=${text} is out of range (${min} to ${max}): ${value} is shown.`);
    else if (value !== given) notes.push(`${name}=${text} lies between steps of ${step}: ${value} is shown.`);
    return value;
  }

  function choiceFrom(name, text, choices, notes) {
    if (choices.some((c) => c.name === text)) return text;
    notes.push(`${name}=${text} is not one of ${choices.map((c) => c.name).join(', ')}: ${kPrograms[name]} is shown.`);
    return kPrograms[name];
  }

  function readAddress() {
    const given = new URLSearchParams(location.hash.slice(1));
    const notes = [];
    const read = {...kPrograms};
    for (const [name, text] of given) {
      if (name === 'rule') read.rule = choiceFrom(name, text, rules, notes);
      else if (name === 'colour') read.colour = choiceFrom(name, text, colours, notes);
      else if (name === 'paused') {
        if (text !== '0' && text !== '1') notes.push(`paused=${text} is neither 0 nor 1: 0 is shown.`);
        read.paused = text === '1' ? 1 : 0;
      } else if (kOrder.includes(name)) read[name] = numberFrom(name, text, notes);
      else notes.push(`${name} is no setting of the explorer; it is left out.`);
    }
    s = read;
    showNotes(notes);
  }

  function writeAddress() {
    history.replaceState(null, '', '#' + kOrder.map((name) => name + '=' + s[name]).join('&'));
  }

  function showNotes(notes) {
    notice.textContent = notes.join(' ');
    notice.hidden = notes.length === 0;
  }

  // ---- Drawing -----------------------------------------------------------------------

  // A picture the module made: 32-bit words in the canvas's byte order, straight from its memory.
  function put(canvas, pointer, width, height) {
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    const bytes = new Uint8ClampedArray(module.HEAPU8.buffer, pointer, width * height * 4);
    canvas.getContext('2d').putImageData(new ImageData(bytes, width, height), 0, 0);
  }

  // Hands the settings to the module and shows what came out new.
  function apply() {
    const rule = rules.findIndex((r) => r.name === s.rule), colour = colours.findIndex((c) => c.name === s.colour);
    const changed = module._explorer_apply(s.ratio, s.angleScale, s.speedX, s.speedY, s.size, rule, colour, s.cx, s.cy,
                                           s.frame);
    if (changed & kFrame) put(tunnel, module._explorer_frame(), kWidth, kHeight);
    if (changed & kTexture) {
      const side = module._explorer_texture_picture_side();
      put(pictures.texture, module._explorer_texture_picture(), side, side);
    }
    if (changed & kDistance) put(pictures.distance, module._explorer_distance_picture(), kWidth, kHeight);
    if (changed & kAngle) put(pictures.angle, module._explorer_angle_picture(), kWidth, kHeight);
  }

  const pictures = {
    texture: document.getElementById('texture-picture'),
    distance: document.getElementById('distance-picture'),
    angle: document.getElementById('angle-picture'),
  };

  // The frame's slider, value and line: all a played frame changes besides the picture.
  function showFrame() {
    document.getElementById('frame').value = s.frame;
    controls.querySelector('output[for="frame"]').textContent = s.frame + ' of 200';
    controls.querySelector('code[data-line="frame"]').textContent = lines().frame;
  }

  function showSettings() {
    for (const name of ['ratio', 'angleScale', 'speedX', 'speedY', 'cx', 'cy']) {
      document.getElementById(name).value = s[name];
      controls.querySelector(`output[for="${name}"]`).textContent = s[name];
    }
    showFrame();
    document.getElementById('size').value = Math.log2(s.size);
    controls.querySelector('output[for="size"]').textContent = s.size + ' x ' + s.size;
    document.getElementById('rule-' + s.rule).checked = true;
    document.getElementById('colour-' + s.colour).checked = true;
    playButton.textContent = s.paused ? 'Play' : 'Pause';
    const text = lines();
    for (const code of controls.querySelectorAll('code[data-line]')) code.textContent = text[code.dataset.line];
  }

  // ---- The read-out ------------------------------------------------------------------

  // Where the mark over pixel (x, y) of a `width` x `height` picture on `canvas` goes.
  function markAt(canvas, x, y, width, height) {
    return {ring: canvas.parentElement.querySelector('.mark'),
            left: canvas.offsetLeft + (x + 0.5) * canvas.clientWidth / width + 'px',
            top: canvas.offsetTop + (y + 0.5) * canvas.clientHeight / height + 'px'};
  }

  function follow() {
    if (!pointed) return;
    const {x, y} = pointed;
    const at = module._explorer_follow(x, y) >> 2;
    const [d, a, shiftX, shiftY, u, v, value, colour] = module.HEAP32.subarray(at, at + 8);
    // The places first, then everything written: one layout, not one a mark.
    const marks = [markAt(tunnel, x, y, kWidth, kHeight), markAt(pictures.texture, u, v, s.size, s.size),
                   markAt(pictures.distance, x, y, kWidth, kHeight), markAt(pictures.angle, x, y, kWidth, kHeight)];
    const numbers = {x, y, d, a, shiftX, shiftY, u, v, value};
    for (const [name, number] of Object.entries(numbers)) document.getElementById('chain-' + name).textContent = number;
    for (const size of document.querySelectorAll('.chain-size')) size.textContent = s.size;
    // The colour value 0x00BBGGRR: red in the low byte.
    const rgb = [colour & 255, (colour >> 8) & 255, (colour >> 16) & 255];
    document.getElementById('chain-colour').textContent = colours.find((c) => c.name === s.colour).line
        .replaceAll('value', value) + ' = 0x' + colour.toString(16).toUpperCase().padStart(8, '0');
    document.getElementById('chain-swatch').style.background = `rgb(${rgb.join(',')})`;
    document.querySelector('#chain table').hidden = false;
    document.getElementById('chain-hint').hidden = true;
    for (const {ring, left, top} of marks) {
      ring.hidden = false;
      Object.assign(ring.style, {left, top});
    }
  }

  // The pixel of a `width` x `height` picture on `canvas` under the pointer.
  function pixelAt(canvas, event, width, height) {
    const r = canvas.getBoundingClientRect();
    return {x: Math.min(Math.max(Math.floor((event.clientX - r.left) / r.width * width), 0), width - 1),
            y: Math.min(Math.max(Math.floor((event.clientY - r.top) / r.height * height), 0), height - 1)};
  }

  // Pointing at a table picture shows its entry there.
  function showEntry(name, event) {
    const canvas = pictures[name], entry = canvas.closest('figure').querySelector('.entry');
    const width = name === 'texture' ? s.size : kWidth, height = name === 'texture' ? s.size : kHeight;
    const {x, y} = pixelAt(canvas, event, width, height);
    if (name === 'texture') entry.textContent = `texture[${x}][${y}] = ${module._explorer_texture_value(x, y)}`;
    else entry.textContent = `${name}[${x}][${y}] = ${module['_explorer_' + name](x, y)}`;
  }

  // ---- The controls ------------------------------------------------------------------

  function changed() {
    showNotes([]);
    show();
    writeAddress();
  }

  // The settings applied and shown in full.
  function show() {
    apply();
    showSettings();
    follow();
  }

  function fillChoices(name, choices) {
    const place = document.querySelector(`#${name} .choices`);
    for (const choice of choices) {
      const label = document.createElement('label');
      const radio = document.createElement('input');
      Object.assign(radio, {type: 'radio', name, value: choice.name, id: name + '-' + choice.name});
      label.append(radio, ' ' + choice.name);
      place.append(label, ' ');
    }
  }

  function listen() {
    controls.addEventListener('input', (event) => {
      const input = event.target;
      if (input.type === 'radio') s[input.name] = input.value;
      else if (input.id === 'size') s.size = 2 ** Number(input.value);
      else s[input.id] = Number(input.value);
      changed();
    });
    const step = (by) => () => {
      s.paused = 1;
      s.frame = (s.frame - 1 + by + kCycle) % kCycle + 1;
      changed();
    };
    document.getElementById('back').addEventListener('click', step(-1));
    document.getElementById('forward').addEventListener('click', step(1));
    playButton.addEventListener('click', () => {
      s.paused = s.paused ? 0 : 1;
      changed();
    });
    document.getElementById('reset').addEventListener('click', () => {
      s = {...kPrograms};
      changed();
    });
    // An address edited by hand: its settings, brought into range and written back so.
    window.addEventListener('hashchange', () => {
      readAddress();
      show();
      writeAddress();
    });

    // Pointing (or tapping) follows a pixel; dragging moves the centre there.
    let press = null;
    tunnel.addEventListener('pointerdown', (event) => {
      press = {x: event.clientX, y: event.clientY, dragging: false};
      tunnel.setPointerCapture(event.pointerId);
    });
    tunnel.addEventListener('pointermove', (event) => {
      if (press && (press.dragging || Math.hypot(event.clientX - press.x, event.clientY - press.y) > 4)) {
        press.dragging = true;
        const r = tunnel.getBoundingClientRect();
        s.cx = Math.min(Math.max(Math.round((event.clientX - r.left) / r.width * kWidth), 0), kWidth);
        s.cy = Math.min(Math.max(Math.round((event.clientY - r.top) / r.height * kHeight), 0), kHeight);
        show();
      } else if (event.pointerType === 'mouse' && !press) {
        pointed = pixelAt(tunnel, event, kWidth, kHeight);
        follow();
      }
    });
    tunnel.addEventListener('pointerup', (event) => {
      if (press && press.dragging) writeAddress();
      else {
        pointed = pixelAt(tunnel, event, kWidth, kHeight);
        follow();
      }
      press = null;
    });
    tunnel.addEventListener('pointercancel', () => { press = null; });
    for (const name of Object.keys(pictures))
      pictures[name].addEventListener('pointermove', (event) => showEntry(name, event));

    new ResizeObserver(place).observe(box);
    window.addEventListener('resize', place);
  }

  // The tunnel in its box as the programs' pages place theirs: by whole device pixels
  // where it fits, centred (the same placement, from the module).
  function place() {
    const ratio = window.devicePixelRatio || 1;
    const at = module._explorer_place(Math.round(box.clientWidth * ratio), Math.round(box.clientHeight * ratio)) >> 2;
    const [x, y, width, height] = module.HEAP32.subarray(at, at + 4);
    Object.assign(tunnel.style, {left: x / ratio + 'px', top: y / ratio + 'px', width: width / ratio + 'px',
                                 height: height / ratio + 'px'});
    follow();
  }

  // One frame a display refresh while playing, as tunnel_animated presents them.
  function animate() {
    requestAnimationFrame(animate);
    if (s.paused) return;
    s.frame = s.frame % kCycle + 1;
    apply();
    showFrame();
    follow();
  }

  function start(loaded) {
    module = loaded;
    const text = (pointer) => module.UTF8ToString(pointer);
    for (let i = 0; i < module._explorer_rule_count(); ++i)
      rules.push({name: text(module._explorer_rule_name(i)), line: text(module._explorer_rule_line(i))});
    for (let i = 0; i < module._explorer_colour_count(); ++i)
      colours.push({name: text(module._explorer_colour_name(i)), line: text(module._explorer_colour_line(i))});
    fillChoices('rule', rules);
    fillChoices('colour', colours);
    readAddress();
    show();
    writeAddress();
    place();
    listen();
    status.hidden = true;
    document.body.dataset.state = 'ready';
    requestAnimationFrame(animate);
  }

  const lacking = tunnelPageMissing(true);
  if (lacking) {
    status.textContent = 'explorer: cannot run here: ' + lacking;
    return;
  }
  const fromDisk = tunnelPageFromDisk('explorer');
  if (fromDisk) {
    status.textContent = fromDisk;
    return;
  }
  if (typeof createExplorer !== 'function') {
    status.textContent = 'explorer: cannot run here: its code did not load (explorer.js)';
    return;
  }
  createExplorer().then(start, (reason) => {
    status.textContent = 'explorer: could not start: ' + reason;
  });
})();
