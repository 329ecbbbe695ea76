// The messages between mivra-bridge.exe and its one client (the Java
// BridgeComLayer). Portable C: the decoder is fuzzed on Linux.
//
// After the handshake (each side sends "MVBR" and the protocol version as
// four bytes each) every message is a little-endian u32 length, then that
// many bytes: u32 channel, u16 operation, and the operation's fields in the
// order its row of the operation table gives. A channel is one Java thread
// (or, with the high bit, one thread of the bridge delivering an event).
// Fields: h/H u64, i/j/k i32, s u32 length in UTF-16 units (0xFFFFFFFF: none)
// and the units, I u32 count and that many i32, F a frame: u32 count, then per
// slot i32 vt, i64 bits and the reference the vt calls for (see
// mivra_core.h): a string for BSTR and for DISPATCH (an object result's
// type-information IID); u8 present and two i64 for DECIMAL; u8 present, u32 dims, i32 counts and the elements for an
// array (packed numbers, strings, or a frame for VARIANT elements); a frame
// of one slot for VT_BYREF|VT_VARIANT.
#ifndef MIVRA_BRIDGE_WIRE_H
#define MIVRA_BRIDGE_WIRE_H

#include <stddef.h>
#include <stdint.h>

#include "mivra_core.h"

#define MV_BRIDGE_MAGIC "MVBR"
#define MV_BRIDGE_VERSION 2u
#define MV_MAX_MESSAGE (64u << 20)
#define MV_MAX_NESTING 8
#define MV_EVENT_CHANNEL 0x80000000u

enum {
	// From the client.
	MV_OP_INIT_THREAD = 1,      // i multithreaded                  -> i in the multithreaded apartment
	MV_OP_CREATE = 2,           // s class, i find                  -> h dispatch
	MV_OP_QUERY_INTERFACE = 3,  // h unknown, s iid                 -> h found or 0
	MV_OP_RELEASE = 4,          // h unknown                        (no answer)
	MV_OP_DISPID = 5,           // h dispatch, s name               -> i dispId
	MV_OP_INVOKE = 6,           // h dispatch, i dispId, j flags, k resultVt, F frame -> F frame
	MV_OP_NEW_ENUM = 7,         // h dispatch                       -> h enumerator
	MV_OP_NEXT = 8,             // h enumerator, i elementVt, j wanted -> F fetched elements
	MV_OP_PUMP = 9,             // i millis                         -> nothing
	MV_OP_ADVISE = 10,          // h unknown, s iid, H sink         -> h connection
	MV_OP_UNADVISE = 11,        // h connection                     (no answer)
	MV_OP_STATISTICS = 12,      //                                  -> h working set, H private bytes
	MV_OP_ECHO = 13,            // s anything                       -> s the same
	MV_OP_TYPES_RESULT = 14,    // i known, F the declared types as VT_I4 slots
	MV_OP_EVENT_RESULT = 15,    // i failed, s failure, F the arguments' new values
	MV_OP_VTBL_CALL = 16,       // h unknown, i slot, k resultVt, s iid, I declared VARTYPEs, F frame -> F frame
	MV_OP_TYPE_INFO_IID = 17,   // h dispatch                       -> s the IID or none
	MV_OP_CHANGE_TYPE = 18,     // i vt, F one slot                 -> F the slot converted
	// From the bridge.
	MV_OP_RESULT = 64,          // h, H, i, s, F
	MV_OP_FAILURE = 65,         // i hr, j code, k helpContext, h argIndex, s message, S source ...
	MV_OP_EVENT_TYPES = 66,     // h sink, i dispId, j count
	MV_OP_EVENT = 67,           // h sink, i dispId, F arguments
};

typedef struct MvMessage {
	uint32_t channel;
	uint16_t op;
	uint64_t h, H;
	int32_t i, j, k;
	MvString *s;                // the first string field
	MvString *strings[3];       // further string fields (FAILURE's source, description, help file)
	int32_t *ints;              // the I field
	uint32_t intCount;
	MvFrame *frame;
} MvMessage;

// The fields of an operation, or NULL for an unknown one.
const char *mvOperationFields(uint16_t op);

// Decodes a message body (what follows the length). 0 on success; else -1
// with *why saying what was wrong. The message owns what it holds.
int mvMessageDecode(const uint8_t *data, size_t size, MvMessage *out, const char **why);
void mvMessageFree(MvMessage *message);

typedef struct MvWriter {
	uint8_t *data;
	size_t used, capacity;
	int failed;
} MvWriter;

// Encodes a message, length first; 0 on success.
int mvMessageEncode(MvWriter *writer, const MvMessage *message);
void mvWriterFree(MvWriter *writer);

#endif
