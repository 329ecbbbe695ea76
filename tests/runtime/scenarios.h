// Scenarios against Wine's COM servers, each written as a Java user of the
// generated classes would write it. Each returns after its own checks; the
// failures are counted by the harness.
#ifndef MIVRA_SCENARIOS_H
#define MIVRA_SCENARIOS_H

#include "harness.h"

void scenarioDictionary(void);
void scenarioFileSystem(void);
void scenarioRegExp(void);
void scenarioXmlDocument(void);
void scenarioLeaks(int iterations);
void scenarioAccessible(void);

// Shared by the scenarios: the counting membrane's verdict once every
// wrapper has been released and collected.
void checkReferenceCounts(const char *scenario, int expectAllReleased);

// Text with characters outside ASCII and outside the BMP, as UTF-8 and UTF-16.
extern const char *const nonAsciiUtf8;
extern const wchar_t *const nonAsciiUtf16;

#endif
