// The interface identifiers the program asks for, defined here rather than taken from
// dxguid, whose single object would bring every DirectX identifier into the executable.
#include <initguid.h>
#include <ddraw.h>
#include <d3d.h>
