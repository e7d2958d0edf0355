#pragma once
// A header whose code the compiler puts into its caller's procedure: its lines belong to a file
// other than that procedure's own.

namespace linetest
{

[[gnu::always_inline]] inline int inlinedStep(volatile int *value)
{
    *value = *value * 3 + 1;
    *value = *value ^ 0x55;
    return *value + 7;
}

} // namespace linetest
