// Frames of the core (mivra_core.h): allocation and freeing. Portable C, so
// that the bridge's message decoder builds and is fuzzed on any system.
#include "mivra_core.h"

#include <stdlib.h>
#include <string.h>

MvString *mvStringNew(const uint16_t *text, uint32_t length)
{
	if (length > MV_MAX_STRING)
		return NULL;
	MvString *s = malloc(sizeof *s + (size_t) length * sizeof(uint16_t));
	if (s == NULL)
		return NULL;
	s->length = length;
	if (length > 0)
		memcpy(s->text, text, (size_t) length * sizeof(uint16_t));
	return s;
}

MvString *mvStringAscii(const char *text)
{
	size_t length = strlen(text);
	MvString *s = mvStringNew(NULL, 0);
	if (length > 4096 || s == NULL) {
		free(s);
		return NULL;
	}
	MvString *grown = realloc(s, sizeof *s + length * sizeof(uint16_t));
	if (grown == NULL) {
		free(s);
		return NULL;
	}
	grown->length = (uint32_t) length;
	for (size_t i = 0; i < length; ++i)
		grown->text[i] = (unsigned char) text[i];
	return grown;
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
	else
		free(ref);
}

uint32_t mvElementSize(int32_t elementVt)
{
	switch (elementVt) {
	case MV_VT_I1: case MV_VT_UI1: return 1;
	case MV_VT_I2: case MV_VT_UI2: case MV_VT_BOOL: return 2;
	case MV_VT_I4: case MV_VT_UI4: case MV_VT_INT: case MV_VT_UINT: case MV_VT_ERROR: case MV_VT_R4: return 4;
	case MV_VT_I8: case MV_VT_UI8: case MV_VT_CY: case MV_VT_R8: case MV_VT_DATE: case MV_VT_DISPATCH:
	case MV_VT_UNKNOWN: return 8;
	case MV_VT_DECIMAL: return 16;
	default: return 0;
	}
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
