// Calls AddVectoredExceptionHandler, which came with Windows XP: Windows 2000 lacks it, XP x64 has it.
__declspec(dllimport) void* __stdcall AddVectoredExceptionHandler(unsigned long first, void* handler);

int main(void) { return AddVectoredExceptionHandler(0, 0) != 0; }
