#pragma once
// Counts the heap allocations (malloc, calloc, realloc, and so operator new) that the
// calling thread makes between StartCountingAllocations and StopCountingAllocations, by
// redirecting this executable's import slots of the three functions meanwhile.
void StartCountingAllocations();
int StopCountingAllocations();
