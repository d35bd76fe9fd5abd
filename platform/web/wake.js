'use strict';
// Keeps the screen on while the demo plays: a phone would dim and lock it mid-dance. The browser
// drops the lock whenever the page is hidden, so it is asked for again when the page is back in
// front. A browser that cannot keep the screen on, or will not, gets one line in the console.
window.discoWakeLock = (function () {
  let wanted = false, lock = null, told = false;

  function tell(why) {
    if (!told) console.log('disco: the screen may turn off while the disco plays (' + why + ')');
    told = true;
  }

  // Where the page may not ask (a party member's plain http:// link is no secure context), a
  // silent video playing in a corner keeps a phone's screen awake, as a film does.
  let video = null;
  function playSilentVideo() {
    if (!video) {
      video = document.createElement('video');
      Object.assign(video, { src: 'keepawake.mp4', muted: true, loop: true, playsInline: true });
      video.setAttribute('playsinline', '');
      video.style.cssText = 'position:fixed;right:0;bottom:0;width:2px;height:2px;opacity:0.01;pointer-events:none';
      document.body.appendChild(video);
    }
    video.play().catch(error => tell('no silent video either: ' + error.message));
  }

  async function ask() {
    if (!navigator.wakeLock) {
      if (!window.isSecureContext) return playSilentVideo();
      return tell('this browser cannot keep it on');
    }
    try {
      const sentinel = await navigator.wakeLock.request('screen');
      if (!wanted || (lock && !lock.released)) sentinel.release();  // ended, or asked twice, meanwhile
      else lock = sentinel;
    } catch (error) {
      tell(error.message);
    }
  }

  document.addEventListener('visibilitychange', () => {
    if (wanted && document.visibilityState === 'visible') ask();
  });

  return {
    hold() {
      wanted = true;
      ask();
    },
    // What keeps the screen on here, for the page to tell a guest.
    way() { return navigator.wakeLock ? 'lock' : window.isSecureContext ? 'none' : 'video'; },
    release() {
      wanted = false;
      if (video) video.pause();
      if (lock) lock.release();
      lock = null;
    },
  };
})();
