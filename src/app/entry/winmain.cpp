// Program entry of Korvane.exe (the real system) and Korvane-sim.exe (the simulated machine).
#include <windows.h>

#include "app/gui/program.h"
#if KORVANE_SIMULATED
#include "app/simhost/simhost.h"
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#if KORVANE_SIMULATED
  return RunSimulatedProgram(instance);
#else
  return RunProgram(instance);
#endif
}
