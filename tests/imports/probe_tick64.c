// Calls GetTickCount64, which came with Windows Vista: the import check must turn this program down for every
// target. Declared here because the build's headers hide what is newer than XP.
__declspec(dllimport) unsigned long long __stdcall GetTickCount64(void);

int main(void) { return (int)(GetTickCount64() & 1); }
