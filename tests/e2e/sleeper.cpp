// A stand-in for a running threat: a windowless program that only waits, so that a copy started
// as C:\amvo.exe gives a process of that name whose file cannot be deleted while it runs.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(120000);  // long enough for any test; it ends by itself if nobody kills it
    return 0;
}
