// Imports nothing newer than the target; linked with header version fields of Windows Vista (6.0) to be turned
// down for those alone.
int main(void) { return 0; }
