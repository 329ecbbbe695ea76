// Scenarios of the runtime natives against Wine's COM servers, each calling
// the natives in the order and with the frames the Java half uses.
#ifndef MIVRA_RT_SCENARIOS_H
#define MIVRA_RT_SCENARIOS_H

#include "rt.h"

void rtScenarioXml(void);
void rtScenarioFileSystem(void);
void rtScenarioDictionary(void);
void rtScenarioRegExp(void);
void rtScenarioErrors(void);
void rtScenarioByRef(void);
void rtScenarioThreads(void);
void rtScenarioRelease(void);
void rtScenarioLeaks(int calls);
void rtScenarioScript(void);
void rtScenarioWmi(void);
// Events, against the test server Mivra.Bell (the type library's path to check its identifiers).
void rtScenarioEvents(const char *tlb);
void rtScenarioEventsMta(void);
void rtScenarioEventLeaks(int rounds, int events);
void rtScenarioWineEvents(void);
void rtScenarioTypeInfo(void);
void rtScenarioTaskScheduler(void);
void rtScenarioCoercion(void);
void rtScenarioPacked(void);

// A server of the harness's own (no type library): 1 takes five arguments
// by reference and changes them, 2 fails with a type mismatch, 3 with an
// EXCEPINFO filled in deferred.
jlong rtTestServer(void);
int rtChangeByRef(void);

// The counting membrane's verdict after a scenario released everything.
void rtCheckReferences(const char *scenario);
// Elements of an enumeration, fetched in batches as the Java half does.
int rtEnumerate(jlong collection, jint elementVt, void (*each)(Frame *batch, int k, void *context), void *context);

#endif
