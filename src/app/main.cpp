#include <windows.h>

// The program's entry. Start-up, the intro screens and the game arrive in later
// steps; until then the program ends at once, successfully.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ExitProcess(0);
}
