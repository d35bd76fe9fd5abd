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

  async function ask() {
    if (!navigator.wakeLock) return tell('this browser cannot keep it on');
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
    release() {
      wanted = false;
      if (lock) lock.release();
      lock = null;
    },
  };
})();
