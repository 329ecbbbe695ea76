// Frames of the core (mivra_core.h): allocation and freeing. Portable C, so
// that the bridge's message decoder builds and is fuzzed on any system.
#include "mivra_core.h"

#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>

// Short strings come from a few blocks kept for reuse, since each call makes
// and frees some and a heap's allocation can cost more than the rest of the
// call. Any thread may take or give back a block: each is swapped out of its
// place whole. Every string of at most SHORT_STRING characters has room for
// SHORT_STRING, so any of them can be kept.
#define SHORT_STRING 60
#define KEPT_STRINGS 8
static _Atomic(MvString *) keptStrings[KEPT_STRINGS];

MvString *mvStringNew(const uint16_t *text, uint32_t length)
{
	if (length > MV_MAX_STRING)
		return NULL;
	MvString *s = NULL;
	if (length <= SHORT_STRING) {
		for (int k = 0; k < KEPT_STRINGS && s == NULL; ++k)
			if (atomic_load_explicit(&keptStrings[k], memory_order_relaxed) != NULL)
				s = atomic_exchange(&keptStrings[k], NULL);
		if (s == NULL)
			s = malloc(sizeof *s + SHORT_STRING * sizeof(uint16_t));
	} else {
		s = malloc(sizeof *s + (size_t) length * sizeof(uint16_t));
	}
	if (s == NULL)
		return NULL;
	s->length = length;
	if (length > 0 && text != NULL)
		memcpy(s->text, text, (size_t) length * sizeof(uint16_t));
	return s;
}

void mvStringFree(MvString *s)
{
	if (s == NULL)
		return;
	if (s->length <= SHORT_STRING)
		for (int k = 0; k < KEPT_STRINGS; ++k) {
			MvString *none = NULL;
			if (atomic_compare_exchange_strong(&keptStrings[k], &none, s))
				return;
		}
	free(s);
}

MvString *mvStringAscii(const char *text)
{
	size_t length = strlen(text);
	MvString *s = length <= 4096 ? mvStringNew(NULL, (uint32_t) length) : NULL;
	if (s == NULL)
		return NULL;
	for (size_t i = 0; i < length; ++i)
		s->text[i] = (unsigned char) text[i];
	return s;
}

MvFrame *mvFrameNew(uint32_t count)
{
	if (count > MV_MAX_ELEMENTS)
		return NULL;
	MvFrame *frame = calloc(1, sizeof *frame);
	size_t n = count > 0 ? count : 1;
	if (frame == NULL)
		return NULL;
	frame->count = count;
	frame->vts = calloc(n, sizeof *frame->vts);
	frame->bits = calloc(n, sizeof *frame->bits);
	frame->refs = calloc(n, sizeof *frame->refs);
	if (frame->vts == NULL || frame->bits == NULL || frame->refs == NULL) {
		mvFrameFree(frame);
		return NULL;
	}
	return frame;
}

void mvFrameFree(MvFrame *frame)
{
	if (frame == NULL)
		return;
	if (frame->vts != NULL && frame->refs != NULL)
		for (uint32_t i = 0; i < frame->count; ++i)
			mvRefFree(frame->vts[i], frame->refs[i]);
	free(frame->vts);
	free(frame->bits);
	free(frame->refs);
	free(frame);
}

void mvSlotClear(MvFrame *frame, uint32_t i)
{
	mvRefFree(frame->vts[i], frame->refs[i]);
	frame->vts[i] = MV_VT_EMPTY;
	frame->bits[i] = 0;
	frame->refs[i] = NULL;
}

static void arrayFree(MvArray *array)
{
	if (array->payload != NULL) {
		if (array->elementVt == MV_VT_BSTR) {
			MvString **strings = array->payload;
			for (uint32_t k = 0; k < array->total; ++k)
				free(strings[k]);
			free(strings);
		} else if (array->elementVt == MV_VT_VARIANT) {
			mvFrameFree(array->payload);
		} else {
			free(array->payload);
		}
	}
	free(array);
}

void mvRefFree(int32_t vt, void *ref)
{
	if (ref == NULL)
		return;
	if (vt & MV_VT_ARRAY)
		arrayFree(ref);
	else if (vt == (MV_VT_BYREF | MV_VT_VARIANT))
		mvFrameFree(ref);
	else if ((vt & ~MV_VT_BYREF) == MV_VT_BSTR || vt == MV_VT_DISPATCH)
		mvStringFree(ref);
	else
		free(ref);
}

// Reals, dates and currency travel as their raw bits; R4's are widened with
// the sign of its 32 bits, as an int's are.
static const MvVarType varTypes[] = {
	{MV_VT_EMPTY, 0, MV_NOT_NUMBER}, {MV_VT_NULL, 0, MV_NOT_NUMBER}, {MV_VT_I2, 2, MV_NUMBER_SIGNED},
	{MV_VT_I4, 4, MV_NUMBER_SIGNED}, {MV_VT_R4, 4, MV_NUMBER_SIGNED}, {MV_VT_R8, 8, MV_NUMBER_SIGNED},
	{MV_VT_CY, 8, MV_NUMBER_SIGNED}, {MV_VT_DATE, 8, MV_NUMBER_SIGNED}, {MV_VT_BSTR, 0, MV_NOT_NUMBER},
	{MV_VT_DISPATCH, 8, MV_NOT_NUMBER}, {MV_VT_ERROR, 4, MV_NUMBER_SIGNED}, {MV_VT_BOOL, 2, MV_NUMBER_BOOL},
	{MV_VT_VARIANT, 0, MV_NOT_NUMBER}, {MV_VT_UNKNOWN, 8, MV_NOT_NUMBER}, {MV_VT_DECIMAL, 16, MV_NOT_NUMBER},
	{MV_VT_I1, 1, MV_NUMBER_SIGNED}, {MV_VT_UI1, 1, MV_NUMBER_UNSIGNED}, {MV_VT_UI2, 2, MV_NUMBER_UNSIGNED},
	{MV_VT_UI4, 4, MV_NUMBER_UNSIGNED}, {MV_VT_I8, 8, MV_NUMBER_SIGNED}, {MV_VT_UI8, 8, MV_NUMBER_UNSIGNED},
	{MV_VT_INT, 4, MV_NUMBER_SIGNED}, {MV_VT_UINT, 4, MV_NUMBER_UNSIGNED},
};

const MvVarType *mvVarType(int32_t vt)
{
	for (size_t k = 0; k < sizeof varTypes / sizeof *varTypes; ++k)
		if (varTypes[k].vt == vt)
			return &varTypes[k];
	return NULL;
}

uint32_t mvElementSize(int32_t elementVt)
{
	const MvVarType *row = mvVarType(elementVt);
	return row != NULL ? row->size : 0;
}

int mvArrayElementTypeValid(int32_t elementVt)
{
	return mvElementSize(elementVt) > 0 || elementVt == MV_VT_BSTR || elementVt == MV_VT_VARIANT;
}

MvArray *mvArrayNew(int32_t elementVt, uint32_t dims, const int32_t *counts)
{
	if (!mvArrayElementTypeValid(elementVt) || dims == 0 || dims > MV_MAX_DIMS)
		return NULL;
	uint64_t total = 1;
	for (uint32_t d = 0; d < dims; ++d) {
		if (counts[d] < 0)
			return NULL;
		total *= (uint64_t) counts[d];
		if (total > MV_MAX_ELEMENTS)
			return NULL;
	}
	MvArray *array = calloc(1, sizeof *array);
	if (array == NULL)
		return NULL;
	array->elementVt = elementVt;
	array->dims = dims;
	memcpy(array->counts, counts, dims * sizeof *counts);
	array->total = (uint32_t) total;
	size_t n = total > 0 ? (size_t) total : 1;
	if (elementVt == MV_VT_VARIANT)
		array->payload = mvFrameNew(array->total);
	else if (elementVt == MV_VT_BSTR)
		array->payload = calloc(n, sizeof(MvString *));
	else
		array->payload = calloc(n, mvElementSize(elementVt));
	if (array->payload == NULL) {
		free(array);
		return NULL;
	}
	return array;
}

void mvFailureClear(MvFailure *failure)
{
	if (failure == NULL)
		return;
	free(failure->message);
	free(failure->source);
	free(failure->description);
	free(failure->helpFile);
	memset(failure, 0, sizeof *failure);
}
