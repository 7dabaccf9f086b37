#include "app/Viewer.h"

int main() { return runViewer(); }
