// Encoding and decoding of the bridge's messages (see bridge_wire.h). The
// decoder trusts nothing: every length is checked against what is left of
// the message before anything is allocated, so memory stays linear in the
// message's size, and nesting is capped.
#include "bridge_wire.h"

#include <stdlib.h>
#include <string.h>

static const struct {
	uint16_t op;
	const char *fields;
} operations[] = {
	{MV_OP_INIT_THREAD, "i"},
	{MV_OP_CREATE, "si"},
	{MV_OP_QUERY_INTERFACE, "hs"},
	{MV_OP_RELEASE, "h"},
	{MV_OP_DISPID, "hs"},
	{MV_OP_INVOKE, "hijkF"},
	{MV_OP_NEW_ENUM, "h"},
	{MV_OP_NEXT, "hij"},
	{MV_OP_PUMP, "i"},
	{MV_OP_ADVISE, "hsH"},
	{MV_OP_UNADVISE, "h"},
	{MV_OP_STATISTICS, ""},
	{MV_OP_ECHO, "s"},
	{MV_OP_TYPES_RESULT, "iF"},
	{MV_OP_EVENT_RESULT, "isF"},
	{MV_OP_VTBL_CALL, "hiksIF"},
	{MV_OP_TYPE_INFO_IID, "h"},
	{MV_OP_CHANGE_TYPE, "iF"},
	{MV_OP_RESULT, "hHisF"},
	{MV_OP_FAILURE, "ijkhssss"},
	{MV_OP_EVENT_TYPES, "hij"},
	{MV_OP_EVENT, "hiF"},
};

const char *mvOperationFields(uint16_t op)
{
	for (size_t k = 0; k < sizeof operations / sizeof operations[0]; ++k)
		if (operations[k].op == op)
			return operations[k].fields;
	return NULL;
}

// Decoding.

typedef struct {
	const uint8_t *p;
	size_t left;
	const char *why;
} Reader;

static int failed(Reader *r, const char *why)
{
	if (r->why == NULL)
		r->why = why;
	return -1;
}

static int take(Reader *r, void *out, size_t n)
{
	if (r->left < n)
		return failed(r, "message ends inside a field");
	memcpy(out, r->p, n);
	r->p += n;
	r->left -= n;
	return 0;
}

// A presence byte: 0 or 1, nothing else, so that a message has one encoding.
static int readPresent(Reader *r, uint8_t *v)
{
	if (take(r, v, 1) != 0)
		return -1;
	return *v <= 1 ? 0 : failed(r, "a presence byte other than 0 or 1");
}

static int readU32(Reader *r, uint32_t *v)
{
	uint8_t b[4];
	if (take(r, b, 4) != 0)
		return -1;
	*v = (uint32_t) b[0] | (uint32_t) b[1] << 8 | (uint32_t) b[2] << 16 | (uint32_t) b[3] << 24;
	return 0;
}

static int readU64(Reader *r, uint64_t *v)
{
	uint32_t low, high;
	if (readU32(r, &low) != 0 || readU32(r, &high) != 0)
		return -1;
	*v = (uint64_t) high << 32 | low;
	return 0;
}

static int readString(Reader *r, MvString **out)
{
	uint32_t length;
	*out = NULL;
	if (readU32(r, &length) != 0)
		return -1;
	if (length == 0xFFFFFFFFu)
		return 0;
	if (length > MV_MAX_STRING || (size_t) length * 2 > r->left)
		return failed(r, "string longer than the message");
	MvString *grown = mvStringNew(NULL, length);
	if (grown == NULL)
		return failed(r, "out of memory");
	for (uint32_t k = 0; k < length; ++k) {
		grown->text[k] = (uint16_t) (r->p[0] | r->p[1] << 8);
		r->p += 2;
	}
	r->left -= (size_t) length * 2;
	*out = grown;
	return 0;
}

static int readFrame(Reader *r, int depth, MvFrame **out);

static int readArray(Reader *r, int32_t vt, int depth, MvArray **out)
{
	*out = NULL;
	uint32_t dims;
	int32_t counts[MV_MAX_DIMS];
	int32_t elementVt = vt & MV_VT_TYPEMASK;
	if ((vt & ~(MV_VT_ARRAY | MV_VT_BYREF | MV_VT_TYPEMASK)) != 0 || !mvArrayElementTypeValid(elementVt))
		return failed(r, "array of an unknown element type");
	if (readU32(r, &dims) != 0)
		return -1;
	if (dims < 1 || dims > MV_MAX_DIMS)
		return failed(r, "array dimensions out of range");
	uint64_t total = 1;
	for (uint32_t d = 0; d < dims; ++d) {
		uint32_t count;
		if (readU32(r, &count) != 0)
			return -1;
		if (count > MV_MAX_ELEMENTS)
			return failed(r, "array too large");
		counts[d] = (int32_t) count;
		total *= count;
		if (total > MV_MAX_ELEMENTS)
			return failed(r, "array too large");
	}
	// Each element takes at least this many bytes of the message.
	uint32_t size = mvElementSize(elementVt);
	uint64_t least = size > 0 ? size : elementVt == MV_VT_BSTR ? 4 : 0;
	if (total * least > r->left)
		return failed(r, "array longer than the message");
	if (elementVt == MV_VT_VARIANT) {
		MvFrame *elements;
		if (readFrame(r, depth + 1, &elements) != 0)
			return -1;
		if (elements->count != total) {
			mvFrameFree(elements);
			return failed(r, "array elements do not match its counts");
		}
		MvArray *array = calloc(1, sizeof *array);
		if (array == NULL) {
			mvFrameFree(elements);
			return failed(r, "out of memory");
		}
		array->elementVt = elementVt;
		array->dims = dims;
		memcpy(array->counts, counts, dims * sizeof *counts);
		array->total = (uint32_t) total;
		array->payload = elements;
		*out = array;
		return 0;
	}
	MvArray *array = mvArrayNew(elementVt, dims, counts);
	if (array == NULL)
		return failed(r, "out of memory");
	int result = 0;
	if (elementVt == MV_VT_BSTR) {
		for (uint32_t k = 0; k < array->total && result == 0; ++k)
			result = readString(r, &((MvString **) array->payload)[k]);
	} else {
		// Little-endian on the wire as in memory: the bridge runs on x86.
		result = take(r, array->payload, (size_t) total * size);
	}
	if (result != 0) {
		mvRefFree(MV_VT_ARRAY | elementVt, array);
		return -1;
	}
	*out = array;
	return 0;
}

static int readRef(Reader *r, int32_t vt, int depth, void **out)
{
	*out = NULL;
	int32_t base = vt & ~MV_VT_BYREF;
	uint8_t present;
	if (base & MV_VT_ARRAY) {
		if (readPresent(r, &present) != 0)
			return -1;
		return present ? readArray(r, vt, depth, (MvArray **) out) : 0;
	}
	switch (base) {
	case MV_VT_BSTR:
		return readString(r, (MvString **) out);
	case MV_VT_DISPATCH:
		return vt == MV_VT_DISPATCH ? readString(r, (MvString **) out) : 0;
	case MV_VT_DECIMAL: {
		if (readPresent(r, &present) != 0)
			return -1;
		if (!present)
			return 0;
		MvDecimal *d = malloc(sizeof *d);
		if (d == NULL)
			return failed(r, "out of memory");
		if (readU64(r, (uint64_t *) &d->halves[0]) != 0 || readU64(r, (uint64_t *) &d->halves[1]) != 0) {
			free(d);
			return -1;
		}
		*out = d;
		return 0;
	}
	case MV_VT_VARIANT: {
		if (vt != (MV_VT_BYREF | MV_VT_VARIANT))
			return failed(r, "a VARIANT slot must be by reference");
		MvFrame *inner;
		if (readFrame(r, depth + 1, &inner) != 0)
			return -1;
		if (inner->count != 1) {
			mvFrameFree(inner);
			return failed(r, "a VARIANT by reference holds one slot");
		}
		*out = inner;
		return 0;
	}
	default:
		return 0;
	}
}

static int readFrame(Reader *r, int depth, MvFrame **out)
{
	*out = NULL;
	uint32_t count;
	if (depth > MV_MAX_NESTING)
		return failed(r, "frames nested too deep");
	if (readU32(r, &count) != 0)
		return -1;
	// A slot takes at least 12 bytes.
	if ((uint64_t) count * 12 > r->left)
		return failed(r, "frame longer than the message");
	MvFrame *frame = mvFrameNew(count);
	if (frame == NULL)
		return failed(r, "out of memory");
	for (uint32_t k = 0; k < count; ++k) {
		uint32_t vt;
		if (readU32(r, &vt) != 0 || readU64(r, (uint64_t *) &frame->bits[k]) != 0) {
			mvFrameFree(frame);
			return -1;
		}
		if ((vt & ~(uint32_t) (MV_VT_ARRAY | MV_VT_BYREF | MV_VT_TYPEMASK)) != 0) {
			mvFrameFree(frame);
			return failed(r, "slot of an unknown VARTYPE");
		}
		void *ref;
		if (readRef(r, (int32_t) vt, depth, &ref) != 0) {
			mvFrameFree(frame);
			return -1;
		}
		frame->vts[k] = (int32_t) vt;
		frame->refs[k] = ref;
	}
	*out = frame;
	return 0;
}

static int readInts(Reader *r, MvMessage *out)
{
	uint32_t count;
	if (readU32(r, &count) != 0)
		return -1;
	if (count > MV_MAX_ELEMENTS || (uint64_t) count * 4 > r->left)
		return failed(r, "numbers longer than the message");
	out->ints = malloc(sizeof *out->ints * (count > 0 ? count : 1));
	if (out->ints == NULL)
		return failed(r, "out of memory");
	out->intCount = count;
	for (uint32_t k = 0; k < count; ++k)
		if (readU32(r, (uint32_t *) &out->ints[k]) != 0)
			return -1;
	return 0;
}

int mvMessageDecode(const uint8_t *data, size_t size, MvMessage *out, const char **why)
{
	Reader r = {data, size, NULL};
	memset(out, 0, sizeof *out);
	uint8_t op[2];
	const char *fields = NULL;
	int result = readU32(&r, &out->channel) == 0 && take(&r, op, 2) == 0 ? 0 : -1;
	if (result == 0) {
		out->op = (uint16_t) (op[0] | op[1] << 8);
		fields = mvOperationFields(out->op);
		if (fields == NULL)
			result = failed(&r, "unknown operation");
	}
	int strings = 0;
	for (const char *f = fields; result == 0 && f != NULL && *f; ++f) {
		uint32_t word;
		switch (*f) {
		case 'h': result = readU64(&r, &out->h); break;
		case 'H': result = readU64(&r, &out->H); break;
		case 'i': result = readU32(&r, &word); out->i = (int32_t) word; break;
		case 'j': result = readU32(&r, &word); out->j = (int32_t) word; break;
		case 'k': result = readU32(&r, &word); out->k = (int32_t) word; break;
		case 's':
			result = readString(&r, strings == 0 ? &out->s : &out->strings[strings - 1]);
			++strings;
			break;
		case 'F': result = readFrame(&r, 0, &out->frame); break;
		case 'I': result = readInts(&r, out); break;
		default: result = failed(&r, "operation table"); break;
		}
	}
	if (result == 0 && r.left != 0)
		result = failed(&r, "bytes after the last field");
	if (result != 0) {
		mvMessageFree(out);
		*why = r.why != NULL ? r.why : "malformed message";
	}
	return result;
}

void mvMessageFree(MvMessage *message)
{
	free(message->s);
	for (int k = 0; k < 3; ++k)
		free(message->strings[k]);
	free(message->ints);
	mvFrameFree(message->frame);
	memset(message, 0, sizeof *message);
}

// Encoding.

static void put(MvWriter *w, const void *bytes, size_t n)
{
	if (w->failed)
		return;
	if (w->capacity - w->used < n) {
		size_t capacity = w->capacity > 0 ? w->capacity : 256;
		while (capacity - w->used < n && capacity < ((size_t) MV_MAX_MESSAGE << 1))
			capacity *= 2;
		uint8_t *grown = capacity - w->used >= n ? realloc(w->data, capacity) : NULL;
		if (grown == NULL) {
			w->failed = 1;
			return;
		}
		w->data = grown;
		w->capacity = capacity;
	}
	memcpy(w->data + w->used, bytes, n);
	w->used += n;
}

static void putU32(MvWriter *w, uint32_t v)
{
	uint8_t b[4] = {(uint8_t) v, (uint8_t) (v >> 8), (uint8_t) (v >> 16), (uint8_t) (v >> 24)};
	put(w, b, 4);
}

static void putU64(MvWriter *w, uint64_t v)
{
	putU32(w, (uint32_t) v);
	putU32(w, (uint32_t) (v >> 32));
}

static void putString(MvWriter *w, const MvString *s)
{
	if (s == NULL) {
		putU32(w, 0xFFFFFFFFu);
		return;
	}
	putU32(w, s->length);
	for (uint32_t k = 0; k < s->length; ++k) {
		uint8_t b[2] = {(uint8_t) s->text[k], (uint8_t) (s->text[k] >> 8)};
		put(w, b, 2);
	}
}

static void putFrame(MvWriter *w, const MvFrame *frame);

static void putRef(MvWriter *w, int32_t vt, const void *ref)
{
	int32_t base = vt & ~MV_VT_BYREF;
	uint8_t present = ref != NULL;
	if (base & MV_VT_ARRAY) {
		put(w, &present, 1);
		if (!present)
			return;
		const MvArray *array = ref;
		putU32(w, array->dims);
		for (uint32_t d = 0; d < array->dims; ++d)
			putU32(w, (uint32_t) array->counts[d]);
		if (array->elementVt == MV_VT_VARIANT)
			putFrame(w, array->payload);
		else if (array->elementVt == MV_VT_BSTR)
			for (uint32_t k = 0; k < array->total; ++k)
				putString(w, ((MvString **) array->payload)[k]);
		else
			put(w, array->payload, (size_t) array->total * mvElementSize(array->elementVt));
		return;
	}
	if (base == MV_VT_BSTR || vt == MV_VT_DISPATCH) {
		putString(w, ref);
	} else if (base == MV_VT_DECIMAL) {
		put(w, &present, 1);
		if (present) {
			putU64(w, (uint64_t) ((const MvDecimal *) ref)->halves[0]);
			putU64(w, (uint64_t) ((const MvDecimal *) ref)->halves[1]);
		}
	} else if (vt == (MV_VT_BYREF | MV_VT_VARIANT)) {
		putFrame(w, ref);
	}
}

static void putFrame(MvWriter *w, const MvFrame *frame)
{
	if (frame == NULL) {
		putU32(w, 0);
		return;
	}
	putU32(w, frame->count);
	for (uint32_t k = 0; k < frame->count; ++k) {
		putU32(w, (uint32_t) frame->vts[k]);
		putU64(w, (uint64_t) frame->bits[k]);
		putRef(w, frame->vts[k], frame->refs[k]);
	}
}

int mvMessageEncode(MvWriter *w, const MvMessage *m)
{
	const char *fields = mvOperationFields(m->op);
	if (fields == NULL)
		return -1;
	size_t start = w->used;
	putU32(w, 0);
	putU32(w, m->channel);
	uint8_t op[2] = {(uint8_t) m->op, (uint8_t) (m->op >> 8)};
	put(w, op, 2);
	int strings = 0;
	for (const char *f = fields; *f; ++f) {
		switch (*f) {
		case 'h': putU64(w, m->h); break;
		case 'H': putU64(w, m->H); break;
		case 'i': putU32(w, (uint32_t) m->i); break;
		case 'j': putU32(w, (uint32_t) m->j); break;
		case 'k': putU32(w, (uint32_t) m->k); break;
		case 's': putString(w, strings == 0 ? m->s : m->strings[strings - 1]); ++strings; break;
		case 'F': putFrame(w, m->frame); break;
		case 'I':
			putU32(w, m->intCount);
			for (uint32_t k = 0; k < m->intCount; ++k)
				putU32(w, (uint32_t) m->ints[k]);
			break;
		default: break;
		}
	}
	size_t length = w->used - start - 4;
	if (w->failed || length > MV_MAX_MESSAGE)
		return -1;
	uint8_t b[4] = {(uint8_t) length, (uint8_t) (length >> 8), (uint8_t) (length >> 16), (uint8_t) (length >> 24)};
	memcpy(w->data + start, b, 4);
	return 0;
}

void mvWriterFree(MvWriter *writer)
{
	free(writer->data);
	memset(writer, 0, sizeof *writer);
}
