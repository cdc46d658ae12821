// The script runner is shared by the front ends (ui/Script.h).
#pragma once

#include "ui/Script.h"
