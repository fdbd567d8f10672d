#include "app/collection_run.h"

// Arguments are ignored and the exit status is always 0: the user only reads
// the console and the folder that opens at the end.
int main() { return velmora::RunTool(); }
