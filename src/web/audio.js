// The web edge's sound output: an AudioContext at the song's rate pulls the ring's blocks
// as it plays them; the page may keep the first seconds it was handed (?record=SECONDS).
mergeInto(LibraryManager.library, {
  $Sound: { context: null, node: null, playing: false, block: null, at: 0, kept: null, keptFrames: 0 },

  korva_audio_open__deps: ['$Sound'],
  korva_audio_open: function (rate) {
    if (Sound.context) return 1;
    var Context = window.AudioContext || window.webkitAudioContext;
    try { Sound.context = Module.korvaAudio || new Context({ sampleRate: rate }); } catch (e) { return 0; }
    if (!Sound.context || Sound.context.sampleRate != rate) return 0;
    var seconds = +(new URLSearchParams(location.search).get('record') || 0);
    if (seconds > 0) Sound.kept = new Int16Array(Math.ceil(seconds * rate) * 2);
    Module.korvaRecorded = function () { return Sound.kept ? Sound.kept.subarray(0, 2 * Sound.keptFrames) : new Int16Array(0); };
    Module.korvaRecordedFrames = function () { return Sound.keptFrames; };
    // The node asks for 2048 frames (46 ms) at a time; each block it takes is rendered
    // again at once, two seconds ahead of the ear.
    var node = Sound.node = Sound.context.createScriptProcessor(2048, 0, 2);
    node.onaudioprocess = function (e) {
      var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
      for (var i = 0; i < left.length; ++i) {
        if (!Sound.playing) { left[i] = right[i] = 0; continue; }
        if (!Sound.block || Sound.at >= Sound.block.length) {
          var frames = Module._WebAudioBlockFrames(), ptr = Module._WebAudioBlock();
          Sound.block = HEAP16.slice(ptr >> 1, (ptr >> 1) + 2 * frames);
          Sound.at = 0;
          if (Sound.kept) {
            var room = Sound.kept.length - 2 * Sound.keptFrames, n = Math.min(room, Sound.block.length);
            Sound.kept.set(Sound.block.subarray(0, n), 2 * Sound.keptFrames);
            Sound.keptFrames += n >> 1;
          }
        }
        left[i] = Sound.block[Sound.at++] / 32768;
        right[i] = Sound.block[Sound.at++] / 32768;
      }
    };
    node.connect(Sound.context.destination);
    return 1;
  },

  korva_audio_play__deps: ['$Sound'],
  korva_audio_play: function (on) {
    Sound.playing = !!on;
    Sound.block = null;
    if (on && Sound.context && Sound.context.state != 'running') Sound.context.resume();
  },
});
