// Program entry. The property sheet arrives with the application shell; until then the program only runs its
// start-up self-check and ends with exit code 0.
#include <windows.h>

#include "app/selfcheck.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!SelfCheckPasses()) return 0;
  return 0;
}
