'use strict';
// Plays with no network after one visit: sw.js keeps every file of this build and serves them.
// It is registered once the page is ready, so that filling its cache finds the files the page has
// just loaded in the browser's HTTP cache. A new build's worker takes over at once; a page not
// started yet is then loaded again, whole from the new build, rather than run from two.
(function () {
  if (!('serviceWorker' in navigator)) return;
  const updating = !!navigator.serviceWorker.controller;  // else the first visit, from the network
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (updating && ['loading', 'ready', 'failed'].includes(Module.disco.state)) location.reload();
  });
  Module.postRun.push(() => navigator.serviceWorker.register('sw.js').catch(error =>
    console.log('disco: no offline copy of the page (' + error.message + ')')));
})();
