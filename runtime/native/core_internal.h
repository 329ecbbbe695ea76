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

// The storage a by-reference argument points at.
typedef union {
	VARIANT variant;
	DECIMAL decimal;
} ByRefStore;

// A frame slot as an argument (by-reference ones pointing into store), its
// new value back into the frame, and the argument's clean-up.
HRESULT prepareArgument(int32_t vt, int64_t bits, void *ref, VARIANTARG *arg, ByRefStore *store);
HRESULT returnArgument(MvFrame *frame, uint32_t i, int32_t vt, ByRefStore *store);
void clearArgument(int32_t vt, VARIANTARG *arg, ByRefStore *store);
// An object result in slot k of frame (declared resultVt) gets in its
// reference the IID its type information names; the object is released and
// the slot emptied when that fails.
HRESULT coreResultIid(MvFrame *frame, uint32_t k, int32_t resultVt);
// The same for an element of a collection, where a failure leaves the IID out.
void coreElementIid(MvFrame *frame, uint32_t k);

void coreFreeExcepInfo(EXCEPINFO *info);
// Fills failure from hr, the EXCEPINFO (taken over) and subject; returns hr.
HRESULT coreFail(MvFailure *failure, HRESULT hr, EXCEPINFO *info, int argIndex, const WCHAR *subject);

#endif
