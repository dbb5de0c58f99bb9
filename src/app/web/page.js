// The page around the game: the setup form, the mouse and keys, and the hooks the page's
// tests read (window.korva).
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

  function at(e) {
    var r = screen.getBoundingClientRect();
    return [Math.floor((e.clientX - r.left) * screen.width / r.width), Math.floor((e.clientY - r.top) * screen.height / r.height)];
  }
  screen.addEventListener('mousemove', function (e) { var p = at(e); Module._WebInput(0, p[0], p[1]); });
  screen.addEventListener('mousedown', function (e) {
    if (e.button != 0) return;
    var p = at(e); pressSeen = false; releaseLate = false; Module._WebInput(1, p[0], p[1]);
  });
  window.addEventListener('mouseup', function (e) {
    if (e.button != 0) return;
    if (pressSeen) Module._WebInput(2, 0, 0); else releaseLate = true;
  });
  screen.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  window.addEventListener('keydown', function (e) { if (e.key == 'Escape' && korva.state != 'setup') Module._WebInput(3, 0, 0); });
  window.addEventListener('pagehide', function () { if (korva.state != 'setup') Module._WebInput(3, 0, 0); });

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
    stage.style.display = 'block';
    stage.style.width = size[0] + 'px';
    stage.style.height = size[1] + 'px';
    if (!$('windowed').checked && stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
    screen.focus();
    Module.ccall('WebStart', null, ['number', 'number', 'number', 'number', 'number'],
                 [size[0], size[1], $('windowed').checked, $('zbuffer').checked, $('retrace').checked], { async: true });
  });
})();
