// A counting membrane around real COM objects: every interface pointer the
// generated library gets from a watched server is one of these wrappers, which
// forward to the real object and count references themselves. A Release
// beyond the references given out, or a call through a dead pointer, is
// recorded instead of corrupting the server, so the scenarios can check the
// generated code's reference counting exactly.
#ifndef MIVRA_COUNTING_DISPATCH_H
#define MIVRA_COUNTING_DISPATCH_H

#include <stdio.h>
#include <windows.h>
#include <oaidl.h>

// Registers a class factory for the class that makes each new object a
// wrapped one; the real object comes from the server DLL's own factory.
HRESULT countingWatchClass(const wchar_t *progId, const wchar_t *serverDll);
void countingUnwatchAll(void);

// Wraps a pointer the caller owns (the wrapper takes that reference over).
IDispatch *countingWrap(IDispatch *inner);
int countingIsWrapper(IUnknown *unknown);
LONG countingReferences(IDispatch *wrapper);

// Faults seen so far: releases beyond the count and calls on dead wrappers.
long countingOverReleases(void);
long countingDeadCalls(void);
long countingLiveWrappers(void);
long countingWrappersMade(void);
void countingReport(FILE *out);
// The thread whose Release last freed a wrapped object.
DWORD countingLastReleaseThread(void);

#endif
