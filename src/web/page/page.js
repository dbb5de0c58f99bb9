// The page around the game: the setup form, the mouse, touch and keys, the worker that keeps the
// page's files for play without a network, and the hooks the page's tests read (window.korva).
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var stage = $('stage'), screen = $('screen'), presented = 0, pressSeen = true, releaseLate = false;
  var korva = window.korva = {
    state: 'setup', frames: 0,
    texture: function () { return HEAPU8.slice(Module._WebTexture(), Module._WebTexture() + 256 * 256 * 3); },
    score: function () { return Module._WebScore(); },
    level: function () { return Module._WebLevel(); },
    recorded: function () { return Module.korvaRecorded ? Module.korvaRecorded() : new Int16Array(0); },
    targets: function () {
      var list = [];
      for (var i = 0; i < Module._WebTargetCount(); ++i) {
        var p = Module._WebTarget(i) >> 2;  // screenX, screenY, screenRadius, radius, hit
        list.push({ x: HEAP32[p], y: HEAP32[p + 1], r: HEAP32[p + 2], hit: HEAP32[p + 4] != 0 });
      }
      return list;
    },
  };
  Object.defineProperty(korva, 'recordedFrames', { get: function () { return Module.korvaRecordedFrames ? Module.korvaRecordedFrames() : 0; } });
  Module.korvaMessage = function (text) { $('message').textContent = text; $('message').style.display = 'block'; };
  Module.korvaState = function (state) {
    korva.state = state;
    if (state != 'ended') return;
    stage.style.display = 'none';
    if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
    if (!$('message').textContent) Module.korvaMessage('Korvastil has ended: reload the page to play again.');
  };
  // A click shorter than a frame still reaches the frame: its release waits for the
  // next present.
  Module.korvaPresented = function () {
    korva.frames = ++presented;
    pressSeen = true;
    if (releaseLate) { releaseLate = false; Module._WebInput(2, 0, 0); }
  };

  // Canvas pixels of an event; a finger that slides off the picture keeps aiming at its edge.
  function at(e, clamp) {
    var r = screen.getBoundingClientRect(), w = screen.width, h = screen.height;
    var x = Math.floor((e.clientX - r.left) * w / r.width), y = Math.floor((e.clientY - r.top) * h / r.height);
    return clamp ? [Math.min(Math.max(x, 0), w - 1), Math.min(Math.max(y, 0), h - 1)] : [x, y];
  }
  function down(p) { pressSeen = false; releaseLate = false; Module._WebInput(1, p[0], p[1]); }
  function up() { if (pressSeen) Module._WebInput(2, 0, 0); else releaseLate = true; }
  screen.addEventListener('mousemove', function (e) { var p = at(e); Module._WebInput(0, p[0], p[1]); });
  screen.addEventListener('mousedown', function (e) { if (e.button == 0) down(at(e)); });
  window.addEventListener('mouseup', function (e) { if (e.button == 0) up(); });
  // A finger or a pen is the mouse's button held where it touches, as long as it stays down:
  // the first one down holds it, others are ignored. Cancelling pointerdown keeps the browser
  // from sending its own mouse events for the touch as well.
  var finger = null;
  screen.addEventListener('pointerdown', function (e) {
    if (e.pointerType == 'mouse' || finger !== null) return;
    e.preventDefault();
    finger = e.pointerId;
    down(at(e, true));
  });
  screen.addEventListener('pointermove', function (e) {
    if (e.pointerId === finger) { var p = at(e, true); Module._WebInput(0, p[0], p[1]); }
  });
  function lift(e) { if (e.pointerId === finger) { finger = null; up(); } }
  screen.addEventListener('pointerup', lift);
  screen.addEventListener('pointercancel', lift);
  stage.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  window.addEventListener('keydown', function (e) { if (e.key == 'Escape' && korva.state != 'setup') Module._WebInput(3, 0, 0); });
  window.addEventListener('pagehide', function () { if (korva.state != 'setup') Module._WebInput(3, 0, 0); });

  // After the first visit the page starts without a network; the worker is registered once the
  // page has loaded so that it does not compete with the first frames.
  if ('serviceWorker' in navigator) window.addEventListener('load', function () {
    navigator.serviceWorker.register('sw.js').catch(function () {});
  });
  if (!document.createElement('canvas').getContext('webgl2')) {
    Module.korvaMessage('This browser cannot show WebGL 2, which the game draws with.');
    return;
  }
  Module.onRuntimeInitialized = function () {
    var fonts = document.fonts ? document.fonts.load('20px Anton') : Promise.resolve();
    fonts.catch(function () {}).then(function () { $('start').disabled = false; });
  };
  $('start').addEventListener('click', function () {
    var size = $('mode').value.split('x').map(Number);
    var Context = window.AudioContext || window.webkitAudioContext;
    try { Module.korvaAudio = new Context({ sampleRate: 44100 }); Module.korvaAudio.resume(); } catch (e) {}
    $('setup').style.display = 'none';
    stage.style.display = 'flex';
    if (!$('windowed').checked && stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
    screen.focus();
    // Called straight: the export returns at the first present, and Asyncify resumes it there.
    Module._WebStart(size[0], size[1], +$('windowed').checked, +$('zbuffer').checked, +$('retrace').checked);
  });
})();
