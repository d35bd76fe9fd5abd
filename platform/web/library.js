// What the demo's C++ asks of the page (platform/web/*.cpp), linked in with --js-library. The page
// itself (page.js) fills `Module.disco` with the decoded resources, the gesture and the events.
mergeInto(LibraryManager.library, {
  // Whether the browser gave the page's picture decoding a WebGL context.
  disco_webgl_offered: function() { return Module.disco.webgl ? 1 : 0; },

  disco_context_created: function() {
    Module.disco.gl = GLctx;  // for the page's tests: GL errors
  },

  // A context that does not come back within a few seconds will not: the visitor is told how
  // to start again. The music plays on meanwhile.
  disco_context_lost: function() {
    var disco = Module.disco;
    disco.contextLost = true;
    clearTimeout(disco.lostTimer);
    disco.lostTimer = setTimeout(function() {
      if (!disco.contextLost || disco.state !== 'running') return;
      var note = document.getElementById('note');
      note.textContent = 'The browser took the disco\'s picture away and has not given it back. ' +
                         'Reload the page to start it again.';
      console.log('disco: ' + note.textContent);
    }, 3000);
  },

  disco_context_restored: function() {
    var disco = Module.disco;
    disco.contextLost = false;
    clearTimeout(disco.lostTimer);
    if (disco.state === 'running') document.getElementById('note').textContent = '';
  },

  disco_gl_failed: function() {
    var disco = Module.disco;
    disco.end(1);
    disco.state = 'failed';
    var note = document.getElementById('note');
    note.textContent = 'This browser cannot draw the disco: its WebGL does not take the disco\'s ' +
                       'shaders (the console says why). Another browser may show it.';
    console.log('disco: ' + note.textContent);
  },

  disco_canvas_size: function(widthOut, heightOut) {
    var canvas = Module.canvas;
    HEAP32[widthOut >> 2] = canvas.width;
    HEAP32[heightOut >> 2] = canvas.height;
  },

  disco_screen_size: function(widthOut, heightOut) {
    var ratio = window.devicePixelRatio || 1;
    HEAP32[widthOut >> 2] = Math.round(screen.width * ratio);
    HEAP32[heightOut >> 2] = Math.round(screen.height * ratio);
  },

  disco_full_screen_granted: function() { return Module.disco.fullScreen ? 1 : 0; },

  disco_hide_cursor: function() { Module.canvas.style.cursor = 'none'; },

  // The next queued event: its type (platform::EventType's order), modifier flags and character.
  disco_next_event: function(typeOut, flagsOut, characterOut) {
    var event = Module.disco.events.shift();
    if (!event) return 0;
    HEAP32[typeOut >> 2] = event.type;
    HEAPU32[flagsOut >> 2] = event.flags || 0;
    HEAP32[characterOut >> 2] = event.character === undefined ? -1 : event.character;
    return 1;
  },

  disco_end: function(status) { Module.disco.end(status); },

  // Images the page decoded: RGB or RGBA rows, top row first.
  disco_image_info: function(path, infoOut) {
    var image = Module.disco.images[UTF8ToString(path)];
    if (!image) return 0;
    HEAP32[infoOut >> 2] = image.width;
    HEAP32[(infoOut >> 2) + 1] = image.height;
    HEAP32[(infoOut >> 2) + 2] = image.channels;
    return 1;
  },

  disco_image_copy: function(path, destination) {
    HEAPU8.set(Module.disco.images[UTF8ToString(path)].pixels, destination);
  },

  disco_music_open: function(path) { return Module.disco.openMusic(UTF8ToString(path)); },
  disco_music_loops: function(handle, loops) { Module.disco.music[handle].loops = !!loops; },
  disco_music_play: function(handle) { Module.disco.playMusic(handle); },
  disco_music_close: function(handle) { Module.disco.closeMusic(handle); },

  // A guest's page: the party's clock as guest.js measures it.
  disco_music_follow: function(handle) { Module.disco.music[handle].follows = true; },
  disco_music_party_error: function() { return window.discoGuest.musicError(); },
  disco_party_joined: function() { return window.discoGuest.joined() ? 1 : 0; },
  disco_party_start_us: function() { return window.discoGuest.startUs(); },
  disco_party_seconds: function() { return window.discoGuest.seconds(); },
});
