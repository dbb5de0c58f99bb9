#pragma once
// What the web edge's files share: the page's message line and the state it shows.

extern "C" {
// Shows a sentence on the page (no WebGL, no Web Audio, a fatal error).
void WebMessage(const char* text);
// "loading", "title", "briefing", "game", "ended": for the page and its tests.
void WebState(const char* state);
}
