#pragma once

#include "rig.h"

#include <vector>

// One thing that can go wrong in a window: it is injected, what the user must see then is
// checked, and the window is brought back to its code (or, for a token left out over the
// window's end, to the access error).
struct Fault {
    const char* name;
    int weight;  // how often it is drawn, against the others
    void (*run)(Rig& rig);
};

const std::vector<Fault>& fault_catalogue();
