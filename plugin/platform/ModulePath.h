#pragma once

// Finds the plug-in's own file (the shared object this code lives in) and stores its
// path and module name (setPIPath).
void setupPIPath();
