/* A DLL whose only content of interest is its TYPELIB resources. */
int placeholder(void) { return 0; }
