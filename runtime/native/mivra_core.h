// The JNI-free core of the Mivra runtime: every COM operation of the Java
// half's ComLayer, over frames of plain C values. The JNI library and
// mivra-bridge.exe are adapters over it, so both convert alike. This header
// names no Windows type; the operations are built for Windows only, the
// frames (mivra_frame.c) everywhere.
//
// A frame is the C form of ComLayer's frame: per slot a VARTYPE, a 64-bit
// number and a reference whose kind follows from the VARTYPE:
//   VT_BSTR                 MvString (NULL: a null string)
//   VT_DECIMAL              MvDecimal
//   VT_ARRAY | t            MvArray (NULL: a null array)
//   VT_BYREF | VT_VARIANT   MvFrame of one slot
//   VT_DISPATCH             MvString: in a call's result slot and in an
//                           enumerated element the IID the object's type
//                           information names ("" for none); elsewhere NULL
// A frame owns its references; mvFrameFree frees them.
#ifndef MIVRA_CORE_H
#define MIVRA_CORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
	MV_VT_EMPTY = 0, MV_VT_NULL = 1, MV_VT_I2 = 2, MV_VT_I4 = 3, MV_VT_R4 = 4, MV_VT_R8 = 5, MV_VT_CY = 6,
	MV_VT_DATE = 7, MV_VT_BSTR = 8, MV_VT_DISPATCH = 9, MV_VT_ERROR = 10, MV_VT_BOOL = 11, MV_VT_VARIANT = 12,
	MV_VT_UNKNOWN = 13, MV_VT_DECIMAL = 14, MV_VT_I1 = 16, MV_VT_UI1 = 17, MV_VT_UI2 = 18, MV_VT_UI4 = 19,
	MV_VT_I8 = 20, MV_VT_UI8 = 21, MV_VT_INT = 22, MV_VT_UINT = 23,
	MV_VT_TYPEMASK = 0xFFF, MV_VT_ARRAY = 0x2000, MV_VT_BYREF = 0x4000
};

#define MV_MAX_DIMS 8
// More elements than any array a frame carries (a bound for hostile input).
#define MV_MAX_ELEMENTS (1u << 26)
#define MV_MAX_STRING (1u << 28)
#define MV_MAX_BATCH 64

typedef struct MvString {
	uint32_t length;
	uint16_t text[];            // UTF-16, not terminated
} MvString;

typedef struct MvDecimal {
	int64_t halves[2];          // the DECIMAL's memory as two 64-bit halves
} MvDecimal;

typedef struct MvFrame MvFrame;

typedef struct MvArray {
	int32_t elementVt;
	uint32_t dims;
	int32_t counts[MV_MAX_DIMS];
	uint32_t total;             // product of counts
	// total elements, the first index varying fastest: packed numbers (two
	// halves per DECIMAL, pointers as 64 bits), MvString *[] for VT_BSTR, a
	// frame of total slots (MvFrame *) for VT_VARIANT.
	void *payload;
} MvArray;

struct MvFrame {
	uint32_t count;
	int32_t *vts;
	int64_t *bits;
	void **refs;
};

// What a failed operation reports (MivraException's fields).
typedef struct MvFailure {
	int32_t hr;
	int32_t code;
	int32_t helpContext;
	int32_t argIndex;
	MvString *message, *source, *description, *helpFile;
} MvFailure;

// Frames and their values (mivra_frame.c, portable).
// A string of length characters copied from text; with text NULL, for the
// caller to fill.
MvString *mvStringNew(const uint16_t *text, uint32_t length);
// Frees a string (free() does as well, more slowly for the next short one).
void mvStringFree(MvString *s);
MvString *mvStringAscii(const char *text);
MvFrame *mvFrameNew(uint32_t count);
void mvFrameFree(MvFrame *frame);
// Frees slot i's reference and empties the slot.
void mvSlotClear(MvFrame *frame, uint32_t i);
void mvRefFree(int32_t vt, void *ref);
// What the runtime knows of a VARTYPE, one row each: the bytes of its value
// in a VARIANT and in a SAFEARRAY's packed payload (0: held by reference, or
// nothing), and how a slot's 64-bit number carries it.
enum { MV_NOT_NUMBER, MV_NUMBER_SIGNED, MV_NUMBER_UNSIGNED, MV_NUMBER_BOOL };
typedef struct MvVarType {
	int32_t vt;
	uint8_t size;
	uint8_t number;
} MvVarType;
// The row of a VARTYPE without VT_ARRAY and VT_BYREF; NULL for one the runtime does not know.
const MvVarType *mvVarType(int32_t vt);
// Bytes per element of an array's packed payload; 0 for pointer payloads
// (BSTR, VARIANT) and for types an array cannot hold.
uint32_t mvElementSize(int32_t elementVt);
int mvArrayElementTypeValid(int32_t elementVt);
// A new array of the shape, payload zeroed; NULL when the shape is invalid,
// too large or memory is short.
MvArray *mvArrayNew(int32_t elementVt, uint32_t dims, const int32_t *counts);
void mvFailureClear(MvFailure *failure);

// The operations (Windows). Each returns 0 or the failing HRESULT, with
// failure (when not NULL) filled on failure. Pointers are plain addresses.
int32_t mvInitThread(int multithreaded, int *inMultithreaded, MvFailure *failure);
int32_t mvCreate(const MvString *classId, int find, uint64_t *dispatch, MvFailure *failure);
// *found is 0 when the object lacks the interface (not a failure).
int32_t mvQueryInterface(uint64_t unknown, const MvString *iid, uint64_t *found, MvFailure *failure);
void mvRelease(uint64_t unknown);
void mvAddRef(uint64_t unknown);
int32_t mvDispIdOf(uint64_t dispatch, const MvString *name, int32_t *dispId, MvFailure *failure);
// IDispatch::Invoke with arguments in slots 0..count-2; see ComLayer.invoke.
int32_t mvInvoke(uint64_t dispatch, int32_t dispId, int32_t flags, int32_t resultVt, MvFrame *frame,
                 MvFailure *failure);
// A function of an interface through its vtable (DispCallFunc, stdcall,
// HRESULT): arguments in slots 0..count-2, their declared VARTYPEs in declared
// (VT_VARIANT ones passed as VARIANTs); with resultVt not VT_EMPTY a last
// [out,retval] pointer whose value goes to the last slot. A failing HRESULT
// carries the object's IErrorInfo when it offers one for the interface iid.
int32_t mvVtblCall(uint64_t unknown, int32_t slot, const MvString *iid, int32_t resultVt, const int32_t *declared,
                   MvFrame *frame, MvFailure *failure);
// The IID of the object's type information, braced; *iid NULL when it gives none.
int32_t mvTypeInfoIid(uint64_t dispatch, MvString **iid, MvFailure *failure);
// Converts slot 0 of the frame to vt in place, as VariantChangeTypeEx does
// with LOCALE_INVARIANT and VARIANT_ALPHABOOL.
int32_t mvChangeType(int32_t vt, MvFrame *frame, MvFailure *failure);
int32_t mvNewEnum(uint64_t dispatch, uint64_t *enumerator, MvFailure *failure);
// Up to min(frame->count, MV_MAX_BATCH) elements into the frame's slots;
// with elementVt VT_DISPATCH an object element carries the IID of its type
// information as a call's object result does (NULL when it was not found).
int32_t mvNext(uint64_t enumerator, int32_t elementVt, MvFrame *frame, uint32_t *fetched, MvFailure *failure);
void mvPump(int32_t millis);

// Events: what the sink calls. types gives the declared VARTYPEs of the
// event's count arguments (1), or says the listener has no such event (0) or
// failed (-1). invoke delivers a frame of the arguments in declaration order,
// by-reference slots with VT_BYREF, and leaves their new values in it; it
// returns 0, or -1 with *failure the text of the listener's failure. release
// is called once, when the connection is closed and no delivery is under way.
typedef struct MvEventTarget {
	int (*types)(void *context, int32_t dispId, uint32_t count, int32_t *types);
	int (*invoke)(void *context, int32_t dispId, MvFrame *frame, MvString **failure);
	void (*release)(void *context);
	void *context;
} MvEventTarget;

int32_t mvAdvise(uint64_t unknown, const MvString *iid, const MvEventTarget *target, uint64_t *connection,
                 MvFailure *failure);
void mvUnadvise(uint64_t connection);

#ifdef __cplusplus
}
#endif

#endif
