#pragma once

#include <windows.h>

// Wall time in seconds from the performance counter, fine enough for blocks
// of a few milliseconds.
static inline double seconds(void)
{
	static LARGE_INTEGER frequency;
	LARGE_INTEGER now;
	if (frequency.QuadPart == 0)
		QueryPerformanceFrequency(&frequency);
	QueryPerformanceCounter(&now);
	return (double) now.QuadPart / (double) frequency.QuadPart;
}
