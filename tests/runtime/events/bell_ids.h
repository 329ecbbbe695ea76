// The identifiers of bell.idl, for the server and the harness in C (widl
// here writes the type library only; the harness checks the two agree).
#ifndef MIVRA_BELL_IDS_H
#define MIVRA_BELL_IDS_H

#include <guiddef.h>

#define BELL_UNUSED __attribute__((unused))
#define BELL_CLSID_TEXT L"{6D1B0004-3C2A-4F5E-9A10-AABBCCDDEEFF}"
#define BELL_EVENTS_IID_TEXT "{6D1B0002-3C2A-4F5E-9A10-AABBCCDDEEFF}"

static const GUID LIBID_BellLib BELL_UNUSED = {0x6d1b0001, 0x3c2a, 0x4f5e, {0x9a, 0x10, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
static const GUID DIID_DBellEvents BELL_UNUSED = {0x6d1b0002, 0x3c2a, 0x4f5e, {0x9a, 0x10, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
static const GUID DIID_DBell BELL_UNUSED = {0x6d1b0003, 0x3c2a, 0x4f5e, {0x9a, 0x10, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
static const GUID CLSID_Bell BELL_UNUSED = {0x6d1b0004, 0x3c2a, 0x4f5e, {0x9a, 0x10, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};

#endif
