// Imports from a DLL the import check keeps no export list for (as a compiler runtime DLL would be): the check must
// turn the program down and name the DLL rather than let its imports pass unchecked.
__declspec(dllimport) int __stdcall PathFileExistsA(const char* path);

int main(void) { return PathFileExistsA("C:\\") ? 0 : 1; }
