/* Seconds on the high-resolution clock, which every process of one Wine prefix shares. */
#ifndef VTCONSOLE_BENCH_TIMING_H
#define VTCONSOLE_BENCH_TIMING_H

#include <windows.h>

static double Seconds(void)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

#endif
