// What the core's files share: VARIANTs to frame slots and back, failures.
#ifndef MIVRA_CORE_INTERNAL_H
#define MIVRA_CORE_INTERNAL_H

#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>

#include "mivra_core.h"

#define PTR(p) ((void *) (uintptr_t) (p))
#define UPTR(p) ((uint64_t) (uintptr_t) (p))
#define LOCAL_ARGS 16

BSTR coreBstr(const MvString *s, HRESULT *hr);
MvString *coreString(const WCHAR *text, UINT length);

// VariantClear, without the call for the values that own nothing.
void coreClearVariant(VARIANT *v);
// An owned VARIANT of slot (vt, bits, ref); vt without VT_BYREF.
HRESULT coreFromSlot(VARIANT *out, int32_t vt, int64_t bits, const void *ref);
// The VARIANT's content into a slot; the VARIANT is left empty.
HRESULT coreToSlot(VARIANT *v, int32_t *vt, int64_t *bits, void **ref);
// The same into slot k of frame, freeing what the slot held.
HRESULT corePutSlot(MvFrame *frame, uint32_t k, VARIANT *v);
// A nested frame of one slot (a VARIANT by reference): its content.
HRESULT coreFromNestedFrame(const MvFrame *frame, VARIANT *out);
// Conversion to a declared type (VT_VARIANT: as it is).
HRESULT coreCoerce(VARIANT *v, VARTYPE to);

void coreFreeExcepInfo(EXCEPINFO *info);
// Fills failure from hr, the EXCEPINFO (taken over) and subject; returns hr.
HRESULT coreFail(MvFailure *failure, HRESULT hr, EXCEPINFO *info, int argIndex, const WCHAR *subject);

#endif
