'use strict';
// A guest of a party: the page opened from a party member's link (…/?party) measures the party's clock over
// the member's socket, as the members measure one another (round trips, the quicker half of the
// last sixteen kept, a line through them for the drift), so that it shows the party's frame and
// plays its music at the party's place. Opened any other way there is no such socket, and the
// page plays alone, as it always has.
window.discoGuest = (function () {
  const KEPT = 16;             // exchanges the clock is measured over
  const FIRST_EVERY_MS = 50;   // the first sixteen, quickly, to start soon
  const EVERY_MS = 1000;
  const READY_AFTER = 6;       // exchanges before the page offers to start
  const GLIDE = 0.001;         // the clock followed moves at most 1 ms a second, never jumps...
  const JUMP = 0.05;           // ...unless the party's own clock jumped (it joined another party)
  const LONGEST_TRIP_MS = 2000;
  const WAIT_MS = 3000;        // for the party's clock before the page plays alone

  let socket = null, timer = null, exchanges = [], asked = 0;
  let fitted = null;           // {at, offset, drift}: party seconds − page seconds, at page second `at`
  let applied = null, appliedAt = 0;  // the offset in use, gliding towards the fitted one
  let startUs = 0;
  let readyResolve;
  const ready = new Promise(resolve => { readyResolve = resolve; });

  function pageSeconds() { return performance.now() / 1000; }

  // The quicker half of the exchanges: the slow ones waited in a queue one way or the other.
  function fit() {
    const quick = exchanges.slice().sort((a, b) => a.trip - b.trip).slice(0, Math.max(1, exchanges.length >> 1));
    const n = quick.length;
    const at = quick.reduce((sum, e) => sum + e.at, 0) / n;
    const offset = quick.reduce((sum, e) => sum + e.offset, 0) / n;
    let spread = 0, lean = 0;
    for (const e of quick) {
      spread += (e.at - at) * (e.at - at);
      lean += (e.at - at) * (e.offset - offset);
    }
    // A drift only over a span long enough to tell it from the trips' noise.
    const drift = spread > 25 * n ? Math.max(-1e-3, Math.min(1e-3, lean / spread)) : 0;
    fitted = { at, offset, drift };
  }

  function fittedOffset(at) { return fitted.offset + fitted.drift * (at - fitted.at); }

  // The offset in use at page second `at`, brought towards the fitted one at the glide's pace.
  function offsetAt(at) {
    const target = fittedOffset(at);
    if (applied === null) {
      applied = target;
      appliedAt = at;
    } else if (at > appliedAt) {
      const step = (at - appliedAt) * GLIDE;
      applied += Math.max(-step, Math.min(step, target - applied));
      appliedAt = at;
    }
    return applied;
  }

  function take(message) {
    const back = performance.now();
    if (!(message.data instanceof ArrayBuffer) || message.data.byteLength !== 32) return;
    const view = new DataView(message.data);
    const sent = view.getFloat64(0, true), seconds = view.getFloat64(8, true), start = view.getFloat64(16, true);
    const trip = back - sent;
    if (!(trip >= 0 && trip < LONGEST_TRIP_MS) || !Number.isFinite(seconds) || !Number.isFinite(start)) return;
    const at = (sent + back) / 2000;
    const offset = start / 1e6 + seconds - at;  // the party's own time, whatever its start
    if (fitted && Math.abs(offset - fittedOffset(at)) > JUMP && trip < 4 * quickestTrip()) {
      exchanges = [];   // the party's clock jumped: measured afresh, and followed at once
      applied = null;
    }
    startUs = start;
    exchanges.push({ at, offset, trip });
    if (exchanges.length > KEPT) exchanges.shift();
    fit();
    if (exchanges.length === READY_AFTER) readyResolve(true);
  }

  function quickestTrip() { return Math.min(...exchanges.map(e => e.trip)); }

  function ask() {
    if (!socket || socket.readyState !== WebSocket.OPEN) return;
    const bytes = new ArrayBuffer(8);
    new DataView(bytes).setFloat64(0, performance.now(), true);
    socket.send(bytes);
    timer = setTimeout(ask, ++asked < KEPT ? FIRST_EVERY_MS : EVERY_MS);
  }

  // Only a page served by a member over the network has the socket; a failed one is a page alone.
  function connect() {
    const params = new URLSearchParams(location.search);
    if (!params.has('party') || params.has('time') || !/^https?:$/.test(location.protocol)) return readyResolve(false);
    setTimeout(() => readyResolve(false), WAIT_MS);  // a server that never answers: alone
    open();
  }

  // A socket lost once the clock is measured (the Wi-Fi dropped, the phone slept, the member
  // restarted) is opened again, sooner at first: meanwhile the clock goes on as last measured.
  const AGAIN_AFTER_MS = [1000, 2000, 5000, 10000, 30000];
  let lost = 0;
  function open() {
    socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/party-clock');
    socket.binaryType = 'arraybuffer';
    socket.onopen = () => {
      if (lost) console.log('disco: the party\'s member answers again');
      lost = 0;
      asked = 0;  // measured afresh, quickly
      ask();
    };
    socket.onmessage = take;
    socket.onerror = () => readyResolve(false);
    socket.onclose = () => {
      clearTimeout(timer);
      if (!fitted) return readyResolve(false);
      if (!lost) console.log('disco: the party\'s member stopped answering: its clock is kept as last measured');
      setTimeout(open, AGAIN_AFTER_MS[Math.min(lost++, AGAIN_AFTER_MS.length - 1)]);
    };
  }
  connect();

  const guest = {
    ready,  // resolves true once the party's clock is measured, false for a page alone
    joined() { return fitted !== null; },
    lastAnswerAt() { return exchanges.length ? exchanges[exchanges.length - 1].at : 0; },  // page seconds
    startUs() { return startUs; },
    // The party's time, seconds since its start, at page second `at` (now by default).
    seconds(at = pageSeconds()) { return at + offsetAt(at) - startUs / 1e6; },
  };

  // --- the music at the party's place ----------------------------------------------------------

  const KEEP_EVERY_MS = 250;
  const CATCH_UP = 2;         // seconds over which a difference is worked off...
  const MOST_STRETCH = 0.002; // ...at most 0.2 % faster or slower, a pitch no one hears move
  // Seconds off beyond which the music starts again in place: the party jumped, a start was
  // placed by an output still settling, or the output dropped out (a busy machine starved it) and
  // its sound is that much later since. The gap is heard already; a glide would take minutes.
  const REPLACED = 0.02;
  const OUTPUT_WAIT_MS = 50, OUTPUT_TRIES = 40;  // for a new context's output to be timed

  // When the sample the context plays at `contextTime` is heard, in page seconds: from the
  // output's own timestamp where the browser gives one, else from the latencies it reports.
  function heardAt(context, contextTime) {
    const stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
    if (stamp && stamp.performanceTime > 0) return stamp.performanceTime / 1000 + (contextTime - stamp.contextTime);
    const late = (context.baseLatency || 0) + (context.outputLatency || 0);
    return pageSeconds() + (contextTime - context.currentTime) + late;
  }

  // A looping source whose place in the track is known at any context time: it starts at `place`
  // at context time `at`, and each rate change is noted as it is scheduled.
  function startSource(context, buffer, at, place) {
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.loop = true;
    source.connect(context.destination);
    source.start(at, place);
    return { source, segments: [{ at, place, rate: 1 }] };
  }

  function placeOf(playing, contextTime) {
    const last = playing.segments[playing.segments.length - 1];
    return last.place + (contextTime - last.at) * last.rate;
  }

  function setRate(playing, at, rate) {
    const place = placeOf(playing, at);
    playing.source.playbackRate.setValueAtTime(rate, at);
    playing.segments = [{ at, place, rate }];
  }

  function wrap(difference, length) { return difference - length * Math.round(difference / length); }

  const music = { playing: null, error: NaN, timer: null, waiting: null };

  // Plays `buffer` looping at the party's place, heard where the party's time says, and keeps it
  // there by small changes of rate, never a jump but when it is far off (see REPLACED).
  guest.play = function (buffer, context) {
    const length = buffer.duration;
    // A context just made has no output timestamp until its stream runs, and the latencies it
    // says until then are not yet its output's: a place taken by them is heard tens of ms late.
    const begin = (tries = OUTPUT_TRIES) => {
      const stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
      if (stamp && !(stamp.performanceTime > 0) && tries > 0) {
        music.waiting = setTimeout(begin, OUTPUT_WAIT_MS, tries - 1);
        return;
      }
      music.waiting = null;
      const at = context.currentTime + 0.2;
      const place = ((guest.seconds(heardAt(context, at)) % length) + length) % length;
      music.playing = startSource(context, buffer, at, place);
    };
    const keep = () => {
      if (!music.playing) return;
      const at = context.currentTime + 0.05;
      const error = wrap(placeOf(music.playing, at) - guest.seconds(heardAt(context, at)), length);
      music.error = error;
      if (Math.abs(error) > REPLACED) {
        music.playing.source.stop();
        music.playing = null;
        begin();
        return;
      }
      setRate(music.playing, at, 1 - Math.max(-MOST_STRETCH, Math.min(MOST_STRETCH, error / CATCH_UP)));
    };
    begin();
    music.timer = setInterval(keep, KEEP_EVERY_MS);
  };
  guest.stopMusic = function () {
    clearInterval(music.timer);
    clearTimeout(music.waiting);
    if (music.playing) music.playing.source.stop();
    music.playing = null;
  };
  // How far the music heard is from the party's time, seconds (NaN before it is known).
  guest.musicError = function () { return music.error; };

  return guest;
})();
