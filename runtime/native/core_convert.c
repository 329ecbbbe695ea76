// Frame slots to VARIANTs and back, and conversion to declared types.
//
// Ownership: every VARIANT built here owns its content (strings copied,
// interface pointers AddRef'd); a VARIANT turned into a slot hands its
// content over (interface pointers go to the caller owned).
#include "core_internal.h"

#include <stdlib.h>
#include <string.h>

BSTR coreBstr(const MvString *s, HRESULT *hr)
{
	*hr = S_OK;
	if (s == NULL)
		return NULL;
	BSTR b = SysAllocStringLen((const OLECHAR *) s->text, s->length);
	if (b == NULL)
		*hr = E_OUTOFMEMORY;
	return b;
}

MvString *coreString(const WCHAR *text, UINT length)
{
	return mvStringNew((const uint16_t *) text, text != NULL ? length : 0);
}

void coreClearVariant(VARIANT *v)
{
	switch (V_VT(v)) {
	case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
	case VT_INT: case VT_UINT: case VT_ERROR: case VT_I8: case VT_UI8: case VT_BOOL: case VT_R4: case VT_R8:
	case VT_DATE: case VT_CY: case VT_DECIMAL:
		V_VT(v) = VT_EMPTY;
		break;
	default:
		VariantClear(v);
	}
}

// SAFEARRAY elements, addressed by one running index with the first
// dimension varying fastest (the order of the frames' payloads).

typedef struct {
	SAFEARRAY *array;
	UINT dims;
	LONG lower[MV_MAX_DIMS];
	LONG count[MV_MAX_DIMS];
	uint32_t total;
	char *data;                 // accessed data
	UINT size;
} Elements;

static HRESULT openElements(SAFEARRAY *array, Elements *e)
{
	memset(e, 0, sizeof *e);
	e->array = array;
	e->dims = SafeArrayGetDim(array);
	if (e->dims == 0 || e->dims > MV_MAX_DIMS)
		return DISP_E_BADVARTYPE;
	e->size = SafeArrayGetElemsize(array);
	uint64_t total = 1;
	for (UINT d = 0; d < e->dims; ++d) {
		LONG lower, upper;
		HRESULT hr = SafeArrayGetLBound(array, d + 1, &lower);
		if (SUCCEEDED(hr))
			hr = SafeArrayGetUBound(array, d + 1, &upper);
		if (FAILED(hr))
			return hr;
		e->lower[d] = lower;
		int64_t count = upper >= lower ? (int64_t) upper - lower + 1 : 0;
		if (count > INT32_MAX)
			return DISP_E_OVERFLOW;
		e->count[d] = (LONG) count;
		// Saturated, so that a later empty dimension still makes it 0.
		total = (total > UINT32_MAX ? (uint64_t) UINT32_MAX + 1 : total) * (uint64_t) count;
	}
	// oleaut32 sizes an array's data in 32 bits: (2^29 + 1) elements of 8
	// bytes got 8 bytes, and reading them would run past the data.
	if (total > INT32_MAX || total * e->size > UINT32_MAX)
		return DISP_E_OVERFLOW;
	if (total > MV_MAX_ELEMENTS)
		return E_OUTOFMEMORY;
	e->total = (uint32_t) total;
	void *data;
	HRESULT hr = SafeArrayAccessData(array, &data);
	e->data = data;
	return hr;
}

static void closeElements(Elements *e)
{
	if (e->data != NULL)
		SafeArrayUnaccessData(e->array);
	e->data = NULL;
}

static void *elementAt(Elements *e, uint32_t k)
{
	if (e->dims == 1)
		return e->data + (size_t) k * e->size;
	// SafeArrayPtrOfIndex takes the indices in the order of SafeArrayGetUBound's dimensions.
	LONG indices[MV_MAX_DIMS];
	for (UINT d = 0; d < e->dims; ++d) {
		indices[d] = e->lower[d] + (LONG) (k % (uint32_t) e->count[d]);
		k /= (uint32_t) e->count[d];
	}
	void *at = NULL;
	SafeArrayPtrOfIndex(e->array, indices, &at);
	return at;
}

static UINT storedSize(VARTYPE vt)
{
	switch (vt) {
	case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void *);
	case VT_VARIANT: return sizeof(VARIANT);
	default: return mvElementSize(vt);
	}
}

// The element type the array itself records (its VARTYPE or its feature
// flags), never only what the VARIANT around it claims: a server's VARIANT
// saying VT_ARRAY|VT_I4 round a BSTR array would have the pointers read as
// numbers, or worse numbers freed as strings. The VARIANT's claim counts only
// for a plain number array that records nothing, when the sizes agree.
static HRESULT arrayVartype(SAFEARRAY *array, VARTYPE claimed, VARTYPE *out)
{
	VARTYPE vt = VT_EMPTY;
	USHORT features = array->fFeatures;
	if (features & FADF_RECORD)
		return DISP_E_BADVARTYPE;
	if (!(features & FADF_HAVEVARTYPE) || FAILED(SafeArrayGetVartype(array, &vt)))
		vt = VT_EMPTY;
	if (vt == VT_EMPTY) {
		if (features & FADF_BSTR)
			vt = VT_BSTR;
		else if (features & FADF_VARIANT)
			vt = VT_VARIANT;
		else if (features & FADF_DISPATCH)
			vt = VT_DISPATCH;
		else if (features & FADF_UNKNOWN)
			vt = VT_UNKNOWN;
		else if (mvElementSize(claimed) > 0 && claimed != VT_DISPATCH && claimed != VT_UNKNOWN)
			vt = claimed;
	}
	if (!mvArrayElementTypeValid(vt) || SafeArrayGetElemsize(array) != storedSize(vt))
		return DISP_E_BADVARTYPE;
	*out = vt;
	return S_OK;
}

// Slots to VARIANTs.

static HRESULT arrayFromSlot(VARTYPE elemVt, const MvArray *wire, SAFEARRAY **out)
{
	*out = NULL;
	if (wire->elementVt != elemVt || wire->dims < 1 || wire->dims > MV_MAX_DIMS || wire->total > MV_MAX_ELEMENTS)
		return DISP_E_BADVARTYPE;
	SAFEARRAYBOUND bounds[MV_MAX_DIMS];
	uint64_t total = 1;
	for (uint32_t d = 0; d < wire->dims; ++d) {
		if (wire->counts[d] < 0)
			return E_INVALIDARG;
		bounds[d].cElements = (ULONG) wire->counts[d];
		bounds[d].lLbound = 0;
		total *= (uint64_t) wire->counts[d];
		if (total > MV_MAX_ELEMENTS)
			return E_OUTOFMEMORY;
	}
	if (total != wire->total)
		return E_INVALIDARG;
	*out = SafeArrayCreate(elemVt, wire->dims, bounds);
	if (*out == NULL)
		return E_OUTOFMEMORY;
	Elements e;
	HRESULT hr = openElements(*out, &e);
	for (uint32_t k = 0; k < e.total && SUCCEEDED(hr); ++k) {
		void *at = elementAt(&e, k);
		if (at == NULL) {
			hr = E_UNEXPECTED;
			break;
		}
		switch (elemVt) {
		case VT_BSTR:
			*(BSTR *) at = coreBstr(((MvString **) wire->payload)[k], &hr);
			break;
		case VT_DISPATCH: case VT_UNKNOWN: {
			IUnknown *unknown = PTR(((int64_t *) wire->payload)[k]);
			if (unknown != NULL)
				IUnknown_AddRef(unknown);
			*(IUnknown **) at = unknown;
			break;
		}
		case VT_VARIANT: {
			const MvFrame *frame = wire->payload;
			hr = frame->count == e.total ? coreFromSlot((VARIANT *) at, frame->vts[k], frame->bits[k], frame->refs[k])
			                             : E_INVALIDARG;
			break;
		}
		default:
			memcpy(at, (const char *) wire->payload + (size_t) k * e.size, e.size);
			break;
		}
	}
	closeElements(&e);
	if (FAILED(hr)) {
		SafeArrayDestroy(*out);
		*out = NULL;
	}
	return hr;
}

HRESULT coreFromSlot(VARIANT *out, int32_t vt, int64_t bits, const void *ref)
{
	V_VT(out) = VT_EMPTY;
	if (vt & VT_ARRAY) {
		SAFEARRAY *array = NULL;
		VARTYPE elemVt = (VARTYPE) (vt & VT_TYPEMASK);
		if ((vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0 || !mvArrayElementTypeValid(elemVt))
			return DISP_E_BADVARTYPE;
		HRESULT hr = ref != NULL ? arrayFromSlot(elemVt, ref, &array) : S_OK;
		if (FAILED(hr))
			return hr;
		V_VT(out) = (VARTYPE) vt;
		V_ARRAY(out) = array;
		return S_OK;
	}
	const MvVarType *row = mvVarType(vt);
	if (row != NULL && row->number == MV_NUMBER_BOOL) {
		V_BOOL(out) = bits ? VARIANT_TRUE : VARIANT_FALSE;
	} else if (row != NULL && row->number != MV_NOT_NUMBER) {
		// The value's low bytes, as the VARIANT's union keeps them (little-endian).
		memcpy(&V_UI1(out), &bits, row->size);
	}
	switch (row != NULL && row->number != MV_NOT_NUMBER ? VT_EMPTY : vt) {
	case VT_EMPTY: case VT_NULL: break;
	case VT_BSTR: {
		HRESULT hr;
		BSTR b = coreBstr(ref, &hr);
		if (FAILED(hr))
			return hr;
		V_BSTR(out) = b;
		break;
	}
	case VT_DISPATCH: case VT_UNKNOWN:
		V_UNKNOWN(out) = PTR(bits);
		if (V_UNKNOWN(out) != NULL)
			IUnknown_AddRef(V_UNKNOWN(out));
		break;
	case VT_DECIMAL:
		memset(&V_DECIMAL(out), 0, sizeof(DECIMAL));
		if (ref != NULL)
			memcpy(&V_DECIMAL(out), ((const MvDecimal *) ref)->halves, sizeof(DECIMAL));
		V_DECIMAL(out).wReserved = 0;
		break;
	default:
		return DISP_E_BADVARTYPE;
	}
	V_VT(out) = (VARTYPE) vt;
	return S_OK;
}

HRESULT coreFromNestedFrame(const MvFrame *frame, VARIANT *out)
{
	V_VT(out) = VT_EMPTY;
	if (frame == NULL || frame->count < 1)
		return E_INVALIDARG;
	return coreFromSlot(out, frame->vts[0], frame->bits[0], frame->refs[0]);
}

// VARIANTs to slots.

static HRESULT arrayToSlot(SAFEARRAY *array, VARTYPE elemVt, MvArray **out)
{
	*out = NULL;
	Elements e;
	HRESULT hr = openElements(array, &e);
	MvArray *wire = NULL;
	if (SUCCEEDED(hr)) {
		int32_t counts[MV_MAX_DIMS];
		for (UINT d = 0; d < e.dims; ++d)
			counts[d] = e.count[d];
		wire = mvArrayNew(elemVt, e.dims, counts);
		if (wire == NULL)
			hr = E_OUTOFMEMORY;
	}
	for (uint32_t k = 0; SUCCEEDED(hr) && k < e.total; ++k) {
		void *at = elementAt(&e, k);
		if (at == NULL) {
			hr = E_UNEXPECTED;
			break;
		}
		switch (elemVt) {
		case VT_VARIANT: {
			// The element is copied out: the array keeps its own content until destroyed.
			VARIANT copy;
			VariantInit(&copy);
			hr = VariantCopyInd(&copy, (VARIANT *) at);
			if (SUCCEEDED(hr))
				hr = corePutSlot(wire->payload, k, &copy);
			VariantClear(&copy);
			break;
		}
		case VT_BSTR: {
			BSTR b = *(BSTR *) at;
			if (b != NULL && (((MvString **) wire->payload)[k] = coreString(b, SysStringLen(b))) == NULL)
				hr = E_OUTOFMEMORY;
			break;
		}
		case VT_DISPATCH: case VT_UNKNOWN: {
			IUnknown *unknown = *(IUnknown **) at;
			if (unknown != NULL)
				IUnknown_AddRef(unknown);
			((int64_t *) wire->payload)[k] = (int64_t) UPTR(unknown);
			break;
		}
		case VT_DECIMAL: {
			DECIMAL d = *(DECIMAL *) at;
			d.wReserved = 0;
			memcpy((char *) wire->payload + (size_t) k * 16, &d, 16);
			break;
		}
		default:
			memcpy((char *) wire->payload + (size_t) k * e.size, at, e.size);
			break;
		}
	}
	if (e.data != NULL)
		closeElements(&e);
	if (FAILED(hr) && wire != NULL) {
		// Pointers already AddRef'd go back before the array is dropped.
		if (elemVt == VT_DISPATCH || elemVt == VT_UNKNOWN)
			for (uint32_t k = 0; k < wire->total; ++k)
				if (((int64_t *) wire->payload)[k] != 0)
					IUnknown_Release((IUnknown *) PTR(((int64_t *) wire->payload)[k]));
		mvRefFree(VT_ARRAY | elemVt, wire);
		wire = NULL;
	}
	*out = wire;
	return hr;
}

HRESULT coreToSlot(VARIANT *v, int32_t *vt, int64_t *bits, void **ref)
{
	*ref = NULL;
	*bits = 0;
	HRESULT hr = S_OK;
	if (V_VT(v) & VT_BYREF) {
		hr = VariantCopyInd(v, v);
		if (FAILED(hr))
			return hr;
	}
	*vt = V_VT(v);
	if (V_VT(v) & VT_ARRAY) {
		if (V_ARRAY(v) != NULL) {
			VARTYPE elemVt;
			hr = arrayVartype(V_ARRAY(v), V_VT(v) & VT_TYPEMASK, &elemVt);
			if (SUCCEEDED(hr)) {
				*vt = VT_ARRAY | elemVt;
				hr = arrayToSlot(V_ARRAY(v), elemVt, (MvArray **) ref);
			}
		}
		VariantClear(v);
		return hr;
	}
	const MvVarType *row = mvVarType(V_VT(v));
	if (row != NULL && row->number == MV_NUMBER_BOOL) {
		*bits = V_BOOL(v) != VARIANT_FALSE;
	} else if (row != NULL && row->number != MV_NOT_NUMBER) {
		uint64_t raw = 0;
		memcpy(&raw, &V_UI1(v), row->size);
		unsigned shift = 64 - 8 * row->size;
		*bits = row->number == MV_NUMBER_SIGNED && shift > 0 ? (int64_t) (raw << shift) >> shift : (int64_t) raw;
	}
	switch (row != NULL && row->number != MV_NOT_NUMBER ? VT_EMPTY : V_VT(v)) {
	case VT_EMPTY: case VT_NULL: break;
	case VT_BSTR:
		if (V_BSTR(v) != NULL && (*ref = coreString(V_BSTR(v), SysStringLen(V_BSTR(v)))) == NULL)
			hr = E_OUTOFMEMORY;
		break;
	case VT_UNKNOWN:
		// Java calls through IDispatch, so an object that has one is handed out as that.
		if (V_UNKNOWN(v) != NULL) {
			IDispatch *disp = NULL;
			if (SUCCEEDED(IUnknown_QueryInterface(V_UNKNOWN(v), &IID_IDispatch, (void **) &disp))) {
				IUnknown_Release(V_UNKNOWN(v));
				V_VT(v) = VT_DISPATCH;
				V_DISPATCH(v) = disp;
				*vt = VT_DISPATCH;
			}
		}
		/* fall through */
	case VT_DISPATCH:
		*bits = (int64_t) UPTR(V_UNKNOWN(v));
		V_VT(v) = VT_EMPTY;
		return S_OK;
	case VT_DECIMAL: {
		MvDecimal *d = malloc(sizeof *d);
		if (d == NULL) {
			hr = E_OUTOFMEMORY;
		} else {
			DECIMAL copy = V_DECIMAL(v);
			copy.wReserved = 0;
			memcpy(d->halves, &copy, sizeof copy);
			*ref = d;
		}
		VariantInit(v);
		return hr;
	}
	default:
		// A type Java does not hold (a record, say): reported by its VARTYPE.
		break;
	}
	coreClearVariant(v);
	return hr;
}

HRESULT corePutSlot(MvFrame *frame, uint32_t k, VARIANT *v)
{
	int32_t vt;
	int64_t bits;
	void *ref;
	HRESULT hr = coreToSlot(v, &vt, &bits, &ref);
	if (FAILED(hr))
		return hr;
	mvRefFree(frame->vts[k], frame->refs[k]);
	frame->vts[k] = vt;
	frame->bits[k] = bits;
	frame->refs[k] = ref;
	return S_OK;
}

// Conversion to the declared type.

static HRESULT coerceArray(VARIANT *v, VARTYPE elemVt)
{
	SAFEARRAY *source = V_ARRAY(v);
	if (source == NULL) {
		V_VT(v) = VT_ARRAY | elemVt;
		return S_OK;
	}
	VARTYPE from;
	HRESULT hr = arrayVartype(source, V_VT(v) & VT_TYPEMASK, &from);
	if (FAILED(hr))
		return hr;
	if (from == elemVt) {
		V_VT(v) = VT_ARRAY | elemVt;
		return S_OK;
	}
	Elements in, out;
	hr = openElements(source, &in);
	if (FAILED(hr)) {
		closeElements(&in);
		return hr;
	}
	SAFEARRAYBOUND bounds[MV_MAX_DIMS];
	for (UINT d = 0; d < in.dims; ++d) {
		bounds[d].cElements = (ULONG) in.count[d];
		bounds[d].lLbound = in.lower[d];
	}
	SAFEARRAY *target = SafeArrayCreate(elemVt, in.dims, bounds);
	hr = target != NULL ? openElements(target, &out) : E_OUTOFMEMORY;
	for (uint32_t k = 0; k < in.total && SUCCEEDED(hr); ++k) {
		VARIANT element, converted;
		VariantInit(&element);
		VariantInit(&converted);
		void *at = elementAt(&in, k);
		void *to = elementAt(&out, k);
		if (at == NULL || to == NULL) {
			hr = E_UNEXPECTED;
		} else if (from == VT_VARIANT) {
			hr = VariantCopyInd(&element, (VARIANT *) at);
		} else {
			VARIANT borrowed;
			VariantInit(&borrowed);
			V_VT(&borrowed) = VT_BYREF | from;
			V_BYREF(&borrowed) = at;
			hr = VariantCopyInd(&element, &borrowed);
		}
		if (SUCCEEDED(hr)) {
			if (elemVt == VT_VARIANT) {
				*(VARIANT *) to = element;
				VariantInit(&element);
			} else {
				hr = VariantChangeType(&converted, &element, 0, elemVt);
				if (SUCCEEDED(hr)) {
					if (elemVt == VT_DECIMAL)
						*(DECIMAL *) to = V_DECIMAL(&converted);
					else
						memcpy(to, &V_UI1(&converted), out.size);
					VariantInit(&converted);
				}
			}
		}
		VariantClear(&element);
		VariantClear(&converted);
	}
	closeElements(&in);
	if (target != NULL)
		closeElements(&out);
	if (FAILED(hr)) {
		if (target != NULL)
			SafeArrayDestroy(target);
		return hr;
	}
	VariantClear(v);
	V_VT(v) = VT_ARRAY | elemVt;
	V_ARRAY(v) = target;
	return S_OK;
}

HRESULT coreCoerce(VARIANT *v, VARTYPE to)
{
	if (V_VT(v) & VT_BYREF) {
		HRESULT hr = VariantCopyInd(v, v);
		if (FAILED(hr))
			return hr;
	}
	if (to == VT_LPWSTR || to == VT_LPSTR)
		to = VT_BSTR;
	else if (to == VT_HRESULT)
		to = VT_I4;
	if (to == VT_VARIANT || (V_VT(v) == to && !(to & VT_ARRAY)))
		return S_OK;
	if ((to == VT_DISPATCH || to == VT_UNKNOWN || (to & VT_ARRAY)) && (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL)) {
		V_VT(v) = to;
		V_BYREF(v) = NULL;
		return S_OK;
	}
	if (to & VT_ARRAY)
		return (V_VT(v) & VT_ARRAY) ? coerceArray(v, to & VT_TYPEMASK) : DISP_E_TYPEMISMATCH;
	if (to == VT_UNKNOWN && V_VT(v) == VT_DISPATCH)
		return S_OK;
	return VariantChangeType(v, v, 0, to);
}
