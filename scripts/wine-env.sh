# Sourced, not run: the project's own Wine environment.
# - a prefix inside the build tree, made once, that asks for nothing;
# - Xvfb at 640x480x24 when there is no display (the default 640x480 32-bit mode);
# - an Impact-style font (Anton, OFL) registered as Wine's replacement for "Impact";
# - sound routed to a raw file when the machine has no sound card
#   ($KORVA_AUDIO_FILE, default build/wine/audio.raw: 16-bit stereo as played).
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
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${KORVA_SCREEN:-640x480x24}" -nolisten tcp >/dev/null 2>&1 &
  KORVA_XVFB_PID=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
  export KORVA_VIRTUAL_DISPLAY=1
  korva_log "no display: started a virtual one (Xvfb $DISPLAY, ${KORVA_SCREEN:-640x480x24})"
fi

# Stops what this environment started: Wine's server for the prefix, then Xvfb.
korva_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${KORVA_XVFB_PID:-}" ]; then
    kill "$KORVA_XVFB_PID" 2>/dev/null || true
    wait "$KORVA_XVFB_PID" 2>/dev/null || true
    unset KORVA_XVFB_PID
  fi
}

# --- Sound ---
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
fi

# --- Font: Anton from the npm registry, converted to TTF once ---
korva_font() {
  local dir="$KORVA_ROOT/build/font" ttf="$KORVA_ROOT/build/font/Anton.ttf"
  [ -s "$ttf" ] && return 0
  mkdir -p "$dir"
  (cd "$dir" && npm pack --silent @fontsource/anton >/dev/null 2>&1 &&
     tar -xzf fontsource-anton-*.tgz &&
     cp package/files/anton-latin-400-normal.woff2 Anton.woff2 &&
     woff2_decompress Anton.woff2 >/dev/null 2>&1 &&
     rm -rf package fontsource-anton-*.tgz Anton.woff2) || {
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
