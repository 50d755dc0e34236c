#pragma once

// What every fuzz target checks besides crashes: a broken rule of the reader stops the run
// like a crash, so libFuzzer keeps the input.
inline void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}
