'use strict';
// The page around the demo: decodes the images and the music before the demo starts, starts it
// on the visitor's first click or key (browsers allow sound and full screen only then), passes it
// keys, clicks and resizes, and says when it ended. The demo's C++ reaches all this through
// Module.disco (library.js).
//
// Test-only parameters: ?time=SECONDS&seed=N draws the single frame disco-capture draws at that
// scene time and floor seed (kept in window.discoFrame as a PNG data URL) instead of running.
(function () {
  const canvas = document.getElementById('canvas');
  const note = document.getElementById('note');
  const params = new URLSearchParams(location.search);
  const frameOnly = params.has('time');
  const IMAGES = ['tile.png', 'nine.png', 'vexlogo.png', 'round.png', 'font.png'];
  const MUSIC = 'tralmix.m4a';
  const MAX_SIDE = 16384;
  const touch = matchMedia('(pointer: coarse)').matches;  // a phone or tablet: no keys, taps

  // platform::EventType and KeyEvent's flags and arrow characters.
  const EVENT = { LeftMouseDown: 1, LeftMouseUp: 2, KeyDown: 4, KeyUp: 5, Resized: 7 };
  const SHIFT = 1 << 17, CONTROL = 1 << 18, ALTERNATE = 1 << 19, COMMAND = 1 << 20;
  const NUMERIC_PAD = 1 << 21, FUNCTION_KEY = 1 << 23;
  const ARROWS = { ArrowUp: 0xF700, ArrowDown: 0xF701, ArrowLeft: 0xF702, ArrowRight: 0xF703 };
  const MODIFIERS = new Set(['Shift', 'Control', 'Alt', 'AltGraph', 'Meta', 'OS', 'CapsLock', 'NumLock',
                             'ScrollLock', 'Fn', 'FnLock', 'Hyper', 'Super', 'Symbol', 'SymbolLock']);

  const disco = {
    images: {}, tracks: {}, music: [null], events: [], fullScreen: false, audio: null, webgl: false,
    state: 'loading',  // loading, ready, starting, running, ended
    openMusic(path) {
      const buffer = disco.tracks[path];
      if (!buffer) return 0;
      disco.music.push({ buffer, loops: false, source: null });
      return disco.music.length - 1;
    },
    playMusic(handle) {
      const track = disco.music[handle];
      if (!disco.audio) disco.audio = new AudioContext({ sampleRate: track.buffer.sampleRate });
      if (track.follows) return discoGuest.play(track.buffer, disco.audio);  // at the party's place
      const source = disco.audio.createBufferSource();
      source.buffer = track.buffer;
      source.loop = track.loops;  // from the last sample straight to the first
      source.connect(disco.audio.destination);
      source.start();
      track.source = source;
    },
    closeMusic(handle) {
      const track = disco.music[handle];
      if (track && track.follows) discoGuest.stopMusic();
      if (track && track.source) track.source.stop();
      disco.music[handle] = null;
    },
    end() {
      disco.state = 'ended';
      if (disco.audio) disco.audio.close();
      discoWakeLock.release();
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
      canvas.style.cursor = '';
      canvas.style.opacity = '0.4';  // the last frame stays, dimmed under the note
      note.textContent = `The disco has ended. ${touch ? 'Tap' : 'Click or press a key'} to start it again.`;
    },
  };

  // --- resources -------------------------------------------------------------------------------

  // The colour type and depth in a PNG's header decide RGB or RGBA, and which pictures the desktop
  // refuses (grey, 16-bit, too large); a tRNS chunk adds alpha, as libpng expands it.
  function pngLayout(bytes) {
    const view = new DataView(bytes);
    const signature = [137, 80, 78, 71, 13, 10, 26, 10];
    if (bytes.byteLength < 33 || signature.some((b, i) => view.getUint8(i) !== b)) throw new Error('not a PNG file');
    const width = view.getUint32(16), height = view.getUint32(20);
    const depth = view.getUint8(24), colourType = view.getUint8(25);
    if (depth === 16 || colourType === 0 || colourType === 4) throw new Error('grey or 16-bit picture');
    if (width === 0 || height === 0 || width > MAX_SIDE || height > MAX_SIDE) throw new Error('bad size');
    let transparency = false;
    for (let at = 8; at + 8 <= bytes.byteLength;) {
      const length = view.getUint32(at);
      const type = String.fromCharCode(...new Uint8Array(bytes, at + 4, 4));
      if (type === 'IDAT') break;
      if (type === 'tRNS') transparency = true;
      at += 12 + length;
    }
    return { width, height, channels: colourType === 6 || transparency ? 4 : 3 };
  }

  // The browser's decoder, straight into a texture with nothing premultiplied or colour-converted,
  // read back as it is: the file's own bytes (a 2D canvas would premultiply them).
  let scratch = null;
  function rgbaOf(bitmap) {
    const gl = scratch;
    const texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, texture);
    gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
    gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
    gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, false);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, bitmap);
    const framebuffer = gl.createFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, framebuffer);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, texture, 0);
    const rgba = new Uint8Array(bitmap.width * bitmap.height * 4);
    gl.readPixels(0, 0, bitmap.width, bitmap.height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);  // top row first
    gl.deleteFramebuffer(framebuffer);
    gl.deleteTexture(texture);
    return rgba;
  }

  async function loadImage(name) {
    const response = await fetch('resources/' + name);
    if (!response.ok) throw new Error('HTTP ' + response.status);
    const bytes = await response.arrayBuffer();
    const layout = pngLayout(bytes);
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
                                           { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
    const rgba = rgbaOf(bitmap);
    bitmap.close();
    let pixels = rgba;
    if (layout.channels === 3) {
      pixels = new Uint8Array(layout.width * layout.height * 3);
      for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) pixels.set(rgba.subarray(i, i + 3), j);
    }
    disco.images['resources/' + name] = { width: layout.width, height: layout.height, channels: layout.channels, pixels };
  }

  // Chromium's AAC decoder trims the encoder's priming and padding: the track as long as its
  // container says, so looping it is seamless.
  async function loadMusic(name) {
    const response = await fetch('resources/' + name);
    if (!response.ok) throw new Error('HTTP ' + response.status);
    const bytes = await response.arrayBuffer();
    const decoder = new OfflineAudioContext(2, 1, 44100);
    disco.tracks['resources/' + name] = await decoder.decodeAudioData(bytes);
  }

  // A file that cannot be used leaves its part out, as on the desktop: plain quads, no music.
  async function loadResources() {
    scratch = document.createElement('canvas').getContext('webgl', { premultipliedAlpha: false });
    disco.webgl = !!scratch;  // without it there is nothing to decode the pictures into, nor to draw with
    const loads = (scratch ? IMAGES : []).map(name => loadImage(name).catch(error =>
      console.warn('disco: resources/' + name + ' cannot be used (' + error.message + '): drawn without it')));
    if (!frameOnly) loads.push(loadMusic(MUSIC).catch(error =>
      console.warn('disco: resources/' + MUSIC + ' cannot be used (' + error.message + '): no music')));
    await Promise.all(loads);
    if (scratch) scratch.getExtension('WEBGL_lose_context')?.loseContext();
  }

  // --- the canvas at device pixels ---------------------------------------------------------------

  function fitCanvas() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width === width && canvas.height === height) return;
    canvas.width = width;
    canvas.height = height;
    if (disco.state === 'running') disco.events.push({ type: EVENT.Resized });
  }
  new ResizeObserver(fitCanvas).observe(canvas);
  window.addEventListener('resize', fitCanvas);
  fitCanvas();

  // --- start, keys, end --------------------------------------------------------------------------

  function keyEvent(type, event) {
    let flags = 0;
    if (event.shiftKey) flags |= SHIFT;
    if (event.ctrlKey) flags |= CONTROL;
    if (event.altKey) flags |= ALTERNATE;
    if (event.metaKey) flags |= COMMAND;
    if (event.location === KeyboardEvent.DOM_KEY_LOCATION_NUMPAD) flags |= NUMERIC_PAD;
    let character;
    if (event.key in ARROWS) {
      flags |= FUNCTION_KEY;
      character = ARROWS[event.key];
    } else if (event.key.length === 1) {
      character = event.key.charCodeAt(0);
    } else {
      flags |= FUNCTION_KEY;  // a named key without text
    }
    return { type, flags, character };
  }

  // The stage is wide: a phone held upright would show a sliver of it. Most browsers lock the
  // orientation only on a phone in full screen; the others refuse.
  function turnPhoneSideways() {
    if (!touch || !screen.orientation?.lock) return;
    screen.orientation.lock('landscape').catch(error => console.log('disco: stays upright (' + error.message + ')'));
  }

  async function start() {
    disco.state = 'starting';
    note.textContent = '';
    const track = disco.tracks['resources/' + MUSIC];
    disco.audio = new AudioContext(track ? { sampleRate: track.sampleRate } : {});
    try {
      await canvas.requestFullscreen({ navigationUI: 'hide' });
      disco.fullScreen = true;
      turnPhoneSideways();
    } catch (error) {
      console.log('disco: full screen refused (' + error.message + '): running in the page');
    }
    canvas.focus();
    fitCanvas();
    disco.state = 'running';
    discoWakeLock.hold();
    try {
      Module._disco_start();
    } catch (thrown) {
      if (thrown !== 'unwind') throw thrown;  // how emscripten hands its frame loop to the browser
    }
  }

  function onGesture(event) {
    if (disco.state === 'ready') {
      event.preventDefault();
      start();
    } else if (disco.state === 'ended') {
      location.reload();
    }
  }

  window.addEventListener('keydown', event => {
    if (MODIFIERS.has(event.key) || event.repeat) return;  // a modifier alone is not a key press
    if (disco.state !== 'running') return onGesture(event);
    if (event.key in ARROWS) event.preventDefault();  // the ball's, not the page's scrolling
    disco.events.push(keyEvent(EVENT.KeyDown, event));
  });
  window.addEventListener('keyup', event => {
    if (disco.state === 'running' && !MODIFIERS.has(event.key)) disco.events.push(keyEvent(EVENT.KeyUp, event));
  });
  canvas.addEventListener('mousedown', event => {
    if (event.button !== 0) return;
    if (disco.state === 'running') disco.events.push({ type: EVENT.LeftMouseDown });
    else onGesture(event);
  });
  canvas.addEventListener('mouseup', event => {
    if (event.button === 0 && disco.state === 'running') disco.events.push({ type: EVENT.LeftMouseUp });
  });
  // Escape takes the browser out of full screen before the page sees the key: that too ends it.
  document.addEventListener('fullscreenchange', () => {
    if (!document.fullscreenElement && disco.fullScreen && disco.state === 'running') {
      disco.events.push({ type: EVENT.KeyDown, flags: FUNCTION_KEY });
    }
  });

  // --- the module --------------------------------------------------------------------------------

  function drawFrameOnly() {
    const time = Number(params.get('time'));
    const seed = Number(params.get('seed') || 1) >>> 0;
    if (!Module._disco_render_at(time, seed)) throw new Error('no WebGL');
    window.discoFrame = canvas.toDataURL('image/png');  // in the same task as the drawing
  }

  window.Module = {
    canvas,
    thisProgram: 'disco',
    noInitialRun: frameOnly,
    print: text => console.log(text),
    printErr: text => console.log(text),  // the demo's log lines, not errors
    preRun: [() => {
      Module.addRunDependency('resources');
      loadResources().finally(() => Module.removeRunDependency('resources'));
      // A guest's scene starts on the party's start: its clock is measured first.
      Module.addRunDependency('party');
      discoGuest.ready.then(() => Module.removeRunDependency('party'));
    }],
    postRun: [() => {
      if (frameOnly) return drawFrameOnly();
      if (!disco.gl) {  // main() made no GL context and gave up
        note.textContent = 'This browser cannot show the disco: it offers no WebGL. Turning on hardware ' +
                           '(graphics) acceleration in its settings, or another browser, gives it.';
        console.log('disco: ' + note.textContent);
        disco.state = 'failed';
        return;
      }
      disco.state = 'ready';
      const gesture = touch ? 'Tap' : 'Click or press any key';
      note.textContent = discoGuest.joined() ? `${gesture} to join the party: its picture and its music, full screen.`
                                             : `${gesture} to start the disco, with music, full screen.`;
      // A member's plain http:// link is no secure context: say what a guest gets there.
      if (!window.isSecureContext) note.textContent += ' Over this link the page is not kept for playing offline, ' +
                                                       'and a silent video keeps the screen awake.';
    }],
    disco,
  };
})();
