// A core that answers at once, under the shipped JNI adapter built for this
// machine: what remains of a call is the Java half and the JNI work. A
// string result is ten characters (so that making the Java string counts),
// any other an int: the sum of the int arguments and the string arguments'
// lengths. For the adapter's tests, member 5 returns its string arguments
// joined; an object result is 0x2000 whose type information names
// {...0B} (member 6), nothing (7) or was not asked (others), or none (8); a
// VARIANT result is a string, an int, an object or empty (members 10 to 14);
// by-reference arguments come back changed: an int plus one, a string twice.
#include <string.h>

#include "mivra_core.h"

#define E_NOTIMPL_HR ((int32_t) 0x80004001L)
#define E_OUTOFMEMORY_HR ((int32_t) 0x8007000EL)

int32_t mvInitThread(int multithreaded, int *inMultithreaded, MvFailure *failure)
{
	(void) failure;
	*inMultithreaded = multithreaded;
	return 0;
}

int32_t mvCreate(const MvString *classId, int find, uint64_t *dispatch, MvFailure *failure)
{
	(void) classId, (void) find, (void) failure;
	*dispatch = 0x1000;
	return 0;
}

int32_t mvQueryInterface(uint64_t unknown, const MvString *iid, uint64_t *found, MvFailure *failure)
{
	(void) iid, (void) failure;
	*found = unknown;
	return 0;
}

void mvRelease(uint64_t unknown)
{
	(void) unknown;
}

void mvAddRef(uint64_t unknown)
{
	(void) unknown;
}

int32_t mvDispIdOf(uint64_t dispatch, const MvString *name, int32_t *dispId, MvFailure *failure)
{
	(void) dispatch, (void) name, (void) failure;
	*dispId = 1;
	return 0;
}

int32_t mvInvoke(uint64_t dispatch, int32_t dispId, int32_t flags, int32_t resultVt, MvFrame *frame,
                 MvFailure *failure)
{
	static const uint16_t text[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
	(void) dispatch, (void) flags, (void) failure;
	uint32_t n = frame->count - 1;
	mvSlotClear(frame, n);
	for (uint32_t i = 0; i < n; ++i)
		if (frame->vts[i] == (MV_VT_BYREF | MV_VT_I4)) {
			frame->vts[i] = MV_VT_I4;
			frame->bits[i] += 1;
		} else if (frame->vts[i] == (MV_VT_BYREF | MV_VT_BSTR)) {
			const MvString *old = frame->refs[i];
			uint32_t length = old != NULL ? old->length : 0;
			MvString *twice = mvStringNew(NULL, 2 * length);
			if (twice == NULL)
				return E_OUTOFMEMORY_HR;
			if (length > 0) {
				memcpy(twice->text, old->text, 2 * length);
				memcpy(twice->text + length, old->text, 2 * length);
			}
			mvSlotClear(frame, i);
			frame->vts[i] = MV_VT_BSTR;
			frame->refs[i] = twice;
		}
	if (resultVt == MV_VT_EMPTY)
		return 0;
	if (resultVt == MV_VT_VARIANT) {
		// 10 and 11: strings of 10 and 100 characters; 12 an int; 13 an object; others empty.
		if (dispId == 10 || dispId == 11) {
			uint32_t length = dispId == 10 ? 10 : 100;
			MvString *s = mvStringNew(NULL, length);
			if (s == NULL)
				return E_OUTOFMEMORY_HR;
			for (uint32_t k = 0; k < length; ++k)
				s->text[k] = text[k % 10];
			frame->vts[n] = MV_VT_BSTR;
			frame->refs[n] = s;
		} else if (dispId == 12 || dispId == 13) {
			frame->vts[n] = dispId == 12 ? MV_VT_I4 : MV_VT_DISPATCH;
			frame->bits[n] = dispId == 12 ? 42 : 0x2000;
		}
		return 0;
	}
	if (resultVt == MV_VT_DISPATCH) {
		frame->vts[n] = MV_VT_DISPATCH;
		frame->bits[n] = dispId == 8 ? 0 : 0x2000;
		frame->refs[n] = dispId == 6 ? mvStringAscii("{00000000-0000-0000-0000-00000000000B}")
		                 : dispId == 7 ? mvStringAscii("") : NULL;
		return 0;
	}
	if (resultVt == MV_VT_BSTR && dispId == 5) {
		uint32_t length = 0;
		for (uint32_t i = 0; i < n; ++i)
			if (frame->vts[i] == MV_VT_BSTR && frame->refs[i] != NULL)
				length += ((const MvString *) frame->refs[i])->length;
		MvString *joined = mvStringNew(NULL, length);
		if (joined == NULL)
			return E_OUTOFMEMORY_HR;
		length = 0;
		for (uint32_t i = 0; i < n; ++i)
			if (frame->vts[i] == MV_VT_BSTR && frame->refs[i] != NULL) {
				const MvString *part = frame->refs[i];
				memcpy(joined->text + length, part->text, 2 * part->length);
				length += part->length;
			}
		frame->vts[n] = MV_VT_BSTR;
		frame->refs[n] = joined;
		return 0;
	}
	if (resultVt == MV_VT_BSTR) {
		frame->vts[n] = MV_VT_BSTR;
		frame->refs[n] = mvStringNew(text, 10);
		return 0;
	}
	int64_t sum = 0;
	for (uint32_t i = 0; i < n; ++i)
		if (frame->vts[i] == MV_VT_I4)
			sum += frame->bits[i];
		else if (frame->vts[i] == MV_VT_BSTR && frame->refs[i] != NULL)
			sum += ((const MvString *) frame->refs[i])->length;
	frame->vts[n] = MV_VT_I4;
	frame->bits[n] = sum;
	return 0;
}

int32_t mvVtblCall(uint64_t unknown, int32_t slot, const MvString *iid, int32_t resultVt, const int32_t *declared,
                   MvFrame *frame, MvFailure *failure)
{
	(void) slot, (void) iid, (void) declared;
	return mvInvoke(unknown, slot, 1, resultVt, frame, failure);
}

int32_t mvTypeInfoIid(uint64_t dispatch, MvString **iid, MvFailure *failure)
{
	(void) dispatch, (void) failure;
	*iid = NULL;
	return 0;
}

int32_t mvChangeType(int32_t vt, MvFrame *frame, MvFailure *failure)
{
	(void) vt, (void) frame, (void) failure;
	return E_NOTIMPL_HR;
}

int32_t mvNewEnum(uint64_t dispatch, uint64_t *enumerator, MvFailure *failure)
{
	(void) dispatch, (void) enumerator, (void) failure;
	return E_NOTIMPL_HR;
}

int32_t mvNext(uint64_t enumerator, int32_t elementVt, MvFrame *frame, uint32_t *fetched, MvFailure *failure)
{
	(void) enumerator, (void) elementVt, (void) frame, (void) failure;
	*fetched = 0;
	return 0;
}

void mvPump(int32_t millis)
{
	(void) millis;
}

int32_t mvAdvise(uint64_t unknown, const MvString *iid, const MvEventTarget *target, uint64_t *connection,
                 MvFailure *failure)
{
	(void) unknown, (void) iid, (void) target, (void) connection, (void) failure;
	return E_NOTIMPL_HR;
}

void mvUnadvise(uint64_t connection)
{
	(void) connection;
}
