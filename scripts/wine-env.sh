# Sourced, not run: the project's own Wine environment.
# - a prefix inside the build tree, made once, that asks for nothing;
# - Xvfb at 640x480x24 when there is no display (the default 640x480 32-bit mode);
# - an Impact-style font (Anton, OFL) registered as Wine's replacement for "Impact";
# - with no sound card, sound played in real time into a PulseAudio null sink, or without
#   PulseAudio written to a raw file ($KORVA_AUDIO_FILE, 16-bit stereo as played).
# Exports KORVA_WINE (the loader to run programs with) and DISPLAY.

KORVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVA_WINE_DIR="${KORVA_WINE_DIR:-$KORVA_ROOT/build/wine}"
export WINEPREFIX="$KORVA_WINE_DIR/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export KORVA_WINE=wine
mkdir -p "$KORVA_WINE_DIR"
# CI may run without a home directory; Wine and npm want one.
[ -n "${HOME:-}" ] || export HOME="$KORVA_WINE_DIR/home"
mkdir -p "$HOME"

korva_log() { [ -n "${KORVA_QUIET:-}" ] || echo "wine-env: $*" >&2; }

# --- Display ---
if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display number itself and says which: two environments starting at
  # once must not end up on one display.
  rm -f "$KORVA_WINE_DIR/display"
  Xvfb -displayfd 3 -screen 0 "${KORVA_SCREEN:-640x480x24}" -nolisten tcp 3>"$KORVA_WINE_DIR/display" >"$KORVA_WINE_DIR/xvfb.log" 2>&1 &
  KORVA_XVFB_PID=$!
  for _ in $(seq 100); do grep -q '^[0-9]' "$KORVA_WINE_DIR/display" 2>/dev/null && break; sleep 0.05; done
  export DISPLAY=":$(head -n 1 "$KORVA_WINE_DIR/display")"
  export KORVA_VIRTUAL_DISPLAY=1
  korva_log "no display: started a virtual one (Xvfb $DISPLAY, ${KORVA_SCREEN:-640x480x24})"
fi

# Stops what this environment started: Wine's server for the prefix, then Xvfb.
korva_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${KORVA_PRIORITY_PID:-}" ]; then
    kill "$KORVA_PRIORITY_PID" 2>/dev/null || true
    unset KORVA_PRIORITY_PID
  fi
  if [ -n "${KORVA_PULSE_STARTED:-}" ]; then
    pactl exit >/dev/null 2>&1 || true
    unset KORVA_PULSE_STARTED
  fi
  if [ -n "${KORVA_XVFB_PID:-}" ]; then
    kill "$KORVA_XVFB_PID" 2>/dev/null || true
    wait "$KORVA_XVFB_PID" 2>/dev/null || true
    unset KORVA_XVFB_PID
  fi
}

# --- Sound ---
# With no sound card, programs play in real time, as into a player's device, into a sound
# server of our own: PulseAudio with a null sink ("korva") whose monitor the end-to-end tests
# record. Wine falls back to ALSA, routed to a raw file ($KORVA_AUDIO_FILE, 16-bit stereo as
# played, written faster than real time), without PulseAudio or when KORVA_SOUND_TO_FILE is
# set (the Windows tests compare what waveOut played, whole, with the rendered song).
korva_pulse_up() { pactl info >/dev/null 2>&1; }
# Wine's path from waveOut to the server keeps 10 to 15 ms buffered and refills it every 10 ms
# through four threads: winmm's device thread, winepulse's timer and main-loop threads, and
# the wineserver that passes their events. Wine 8 gives Linux none of the Windows priorities,
# so under load (the frame loop and llvmpipe hold both cores, other work too) they wait their
# turn and the server plays silence: 277 silences a minute at load 6. This gives those threads
# (none of them spins) and the prefix's wineserver real-time priority as they appear, as rtkit
# would; the game's own threads keep theirs. Where that is not allowed nothing changes.
# (bench/longplay.sh, README "Reliability")
korva_sound_priority() {
  chrt -f 10 true 2>/dev/null || { korva_log "no real-time priority for Wine's sound threads here: gaps likely under load"; return 0; }
  local owner=$$
  (
    exec >/dev/null 2>&1
    rt() {  # SCHED_FIFO 10 unless it has a real-time policy already (stat's 41st field)
      local f; read -r f < "/proc/$1/stat" 2>/dev/null || return 0
      f=${f##*) }; set -- "$1" $f  # $2 is the third field
      [ "${40:-0}" = 1 ] || [ "${40:-0}" = 2 ] || chrt -f -p 10 "$1"
    }
    while kill -0 "$owner" 2>/dev/null; do
      for p in $(pgrep -f 'wineserver|\.exe'); do
        tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        case "$(cat "/proc/$p/comm" 2>/dev/null)" in wineserver*) rt "$p"; continue ;; esac
        notify=""; before=""; picked=()
        for t in /proc/$p/task/*; do
          case "$(cat "$t/comm" 2>/dev/null)" in
            winepulse_timer|winepulse_mainl|"korva audio") picked+=("${t##*/}") ;;
            wine_mmdevapi_n) notify=${t##*/} ;;
          esac
        done
        # winmm's device thread has no name: it is the one started just before mmdevapi's
        # notification thread (which it starts by opening the device enumerator).
        if [ -n "$notify" ]; then
          for t in /proc/$p/task/*; do
            t=${t##*/}; [ "$t" -lt "$notify" ] && [ "$t" -gt "${before:-0}" ] && before=$t
          done
          [ -n "$before" ] && [ "$before" != "$p" ] && picked+=("$before")
        fi
        for t in "${picked[@]}"; do rt "$t"; done
      done
      sleep 0.5
    done
  ) &
  KORVA_PRIORITY_PID=$!
}
if [ ! -e /proc/asound/cards ] || grep -q 'no soundcards' /proc/asound/cards 2>/dev/null; then
  export KORVA_AUDIO_FILE="${KORVA_AUDIO_FILE:-$KORVA_WINE_DIR/audio.raw}"
  export XDG_CONFIG_HOME="$KORVA_WINE_DIR/xdg"
  mkdir -p "$XDG_CONFIG_HOME/alsa"
  # The file is named when a program opens the device, so a test can choose its own.
  cat > "$XDG_CONFIG_HOME/alsa/asoundrc" <<ALSA
pcm.!default {
  type file
  slave.pcm "null"
  file { @func getenv vars [ KORVA_AUDIO_FILE ] default "$KORVA_WINE_DIR/audio.raw" }
  format "raw"
}
ALSA
  if [ -n "${KORVA_SOUND_TO_FILE:-}" ]; then
    unset PULSE_SERVER  # ALSA's own pulse plugin would find the server too
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winepulse.drv=d"
  elif command -v pulseaudio >/dev/null 2>&1; then
    export PULSE_SERVER="unix:$KORVA_WINE_DIR/pulse/native"
    if ! korva_pulse_up; then
      mkdir -p "$KORVA_WINE_DIR/pulse" && chmod 700 "$KORVA_WINE_DIR/pulse"
      # No rewinds: a sink that re-renders what its monitor already recorded would make the
      # recording replay sound that the program played once.
      XDG_RUNTIME_DIR="$KORVA_WINE_DIR/pulse" pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
        -L "module-null-sink sink_name=korva rate=44100 norewinds=1" \
        -L "module-native-protocol-unix socket=$KORVA_WINE_DIR/pulse/native" >/dev/null 2>&1
      for _ in $(seq 50); do korva_pulse_up && break; sleep 0.1; done
      korva_pulse_up && KORVA_PULSE_STARTED=1
      # Its sink thread makes itself real-time; the main thread, which answers Wine's timing
      # requests, is made so here where allowed (see korva_sound_priority).
      for korva_p in $(pgrep -f "pulseaudio.*$KORVA_WINE_DIR/pulse/native"); do chrt -f -p 10 "$korva_p" 2>/dev/null || true; done
      korva_log "no sound card: sound plays into a PulseAudio null sink (korva)"
    fi
    korva_sound_priority
    # What the server holds of Wine's stream is all that covers a moment in which the host
    # gives this machine's CPUs to others (10 to 30 ms here): Wine asks for 30 ms, which
    # leaves 15 to 25 ms queued. At 100 ms, 30 to 70 ms are: 39 stalls of 30 ms in two minutes
    # made 44 silences before and none after (bench/longplay.sh --stall 30:3). Not more: the
    # server then waits, after an underrun, for more than Wine's 100 ms buffer can give it,
    # Wine's clock runs ahead, and at 200 ms Wine drops what it holds.
    export PULSE_LATENCY_MSEC="${PULSE_LATENCY_MSEC-100}"  # set empty: Wine's own request
  fi
fi

# --- Font: Anton from the npm registry (scripts/font.sh) ---
korva_font() {
  "$KORVA_ROOT/scripts/font.sh" || {
    korva_log "could not fetch the Anton font; text falls back to Wine's default face"
    return 1
  }
}

# --- Prefix, made once ---
if [ ! -e "$WINEPREFIX/.korva-ready" ]; then
  korva_log "making the Wine prefix in $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  if korva_font; then
    cp "$KORVA_ROOT/build/font/Anton.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Impact /t REG_SZ /d Anton /f >/dev/null 2>&1
  fi
  wineserver -w
  touch "$WINEPREFIX/.korva-ready"
fi
# Direct3D without its command-stream thread, whose waits spin a core: on two cores the
# sound server then keeps up (bench/longplay.sh: 0.5 and 3.5 silences a minute instead of
# 6.6 and 7.1). A prefix made before this gets it once.
if [ ! -e "$WINEPREFIX/.korva-csmt-off" ]; then
  wine reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.korva-csmt-off"
fi
