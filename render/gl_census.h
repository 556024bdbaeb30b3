// How many GL textures and display lists the program holds, counted at the
// calls that make and free them: a long run must not let them grow. Off
// until started; started, it wraps four entries of `gl`.
#pragma once

#include <cstdint>

struct TGLCensus {
    // Made minus freed since the count started.
    int64_t Textures = 0;
    int64_t Lists = 0;
};

// Starts counting on the loaded table; again after a reload of the table.
void GL_StartCensus();
bool GL_CensusStarted();
TGLCensus GL_Census();
