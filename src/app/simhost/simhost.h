// What Korvane-sim.exe adds to the program: the simulated machine it runs on, and device events delivered as the
// WM_DEVICECHANGE messages the real system sends.
#pragma once

#include <windows.h>

#include <string>

// The directory of the running program, without a trailing backslash.
std::string ProgramDirectory();

// Builds the machine from the machine file in `dir`, or the default machine when there is none; sets the
// simulated current directory to `dir` and the Windows directory to `dir`\sim-windows. False with *error when the
// file is faulty or an image cannot be opened.
bool BuildSimMachine(const std::string& dir, std::string* error);

// Makes the simulated machine deliver WM_DEVICECHANGE (arrival or removal of a volume interface) to every window
// that registered for device notifications. Call it on the UI thread: the messages are sent from its message loop,
// in order with the other messages posted to it.
void InstallSimDeviceEvents();

// The simulated program: builds the machine beside the program, then runs it as Korvane.exe runs. A faulty machine
// file is shown in a message box and ends the program with exit code 1.
int RunSimulatedProgram(HINSTANCE instance);
