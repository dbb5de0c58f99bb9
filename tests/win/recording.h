#pragma once
// Stand-ins for the Direct3D device, primary surface, back buffer, DirectDraw and GDI's
// TextOutA that log what the drawing code asks of them, a line a call in order (a repeat
// only counted: " x2"). While a Recording lives the game draws with them, its clock reads
// `start` ms and moves `perPresent` at each Flip or Blt, and heap allocations are counted.
#include <cstdint>
#include <string>
#include <vector>

struct Recording {
    explicit Recording(uint32_t start = 0, uint32_t perPresent = 0);
    ~Recording();
    std::vector<std::string> log;
    int allocations = 0;  // by malloc (and so operator new) and calloc
};

// The first hardware card's windowed display and device, made once for the whole run.
void OpenDisplay();
