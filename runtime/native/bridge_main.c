// mivra-bridge.exe: the core's operations for one client over binary
// standard input and output (see bridge_wire.h). It opens no port; remote use
// goes through SSH. Each channel (a Java thread) gets a thread of its own in
// the apartment it asks for; an event is sent to the client on the channel
// of the thread it arrives on (a thread of the bridge's own when it is none
// of the channels'), and while it is under way that thread runs the client's
// nested calls. Closing the input ends the bridge, after every channel has
// released what its client still holds.
#define COBJMACROS
#include <windows.h>
#include <psapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bridge_wire.h"

typedef struct Item {
	struct Item *next;
	MvMessage message;
} Item;

// Interface pointers the client holds, with how many references and the
// channel that took them (whose thread releases them at the end); one table,
// since a release comes on whichever channel the client's apartment uses.
typedef struct {
	uint64_t *keys;
	uint32_t *counts;
	uint32_t *owners;
	uint32_t capacity, used;
} Held;

typedef struct Channel {
	struct Channel *next;
	uint32_t id;
	HANDLE thread;
	CRITICAL_SECTION lock;
	HANDLE ready;
	Item *head, *tail;
	int closing;
	int multithreaded;
} Channel;

static CRITICAL_SECTION channelsLock, writeLock, heldLock;
static Held held, connections;
static Channel *channels;
static HANDLE output;
static DWORD channelSlot;
static volatile LONG eventChannels;
static volatile LONG ending;
static WCHAR **allowed;
static int allowedCount = -1;

static void complain(const char *text)
{
	fprintf(stderr, "mivra-bridge: %s\n", text);
	fflush(stderr);
}

// Writing: one whole message at a time.

static int sendMessage(const MvMessage *message)
{
	MvWriter writer = {0};
	int result = mvMessageEncode(&writer, message);
	if (result == 0) {
		EnterCriticalSection(&writeLock);
		size_t done = 0;
		while (done < writer.used) {
			DWORD n = 0;
			if (!WriteFile(output, writer.data + done, (DWORD) (writer.used - done), &n, NULL) || n == 0) {
				result = -1;
				break;
			}
			done += n;
		}
		LeaveCriticalSection(&writeLock);
	} else {
		complain("an answer too large for a message");
	}
	mvWriterFree(&writer);
	return result;
}

static void sendResult(uint32_t channel, uint64_t h, uint64_t H, int32_t i, MvString *s, MvFrame *frame)
{
	MvMessage m = {0};
	m.channel = channel;
	m.op = MV_OP_RESULT;
	m.h = h;
	m.H = H;
	m.i = i;
	m.s = s;
	m.frame = frame;
	sendMessage(&m);
}

static void sendFailure(uint32_t channel, int32_t hr, MvFailure *failure)
{
	MvMessage m = {0};
	m.channel = channel;
	m.op = MV_OP_FAILURE;
	m.i = hr;
	m.j = failure->code;
	m.k = failure->helpContext;
	m.h = (uint64_t) (int64_t) failure->argIndex;
	m.s = failure->message;
	m.strings[0] = failure->source;
	m.strings[1] = failure->description;
	m.strings[2] = failure->helpFile;
	sendMessage(&m);
	mvFailureClear(failure);
}

// The pointers the client holds.

static uint32_t slotOf(const Held *table, uint64_t key)
{
	uint32_t k = (uint32_t) ((key >> 4) * 2654435761u) & (table->capacity - 1);
	while (table->keys[k] != 0 && table->keys[k] != key)
		k = (k + 1) & (table->capacity - 1);
	return k;
}

static void tableAdd(Held *table, uint64_t key, uint32_t count, uint32_t owner)
{
	if ((table->used + 1) * 2 > table->capacity) {
		Held grown = {0};
		grown.capacity = table->capacity ? table->capacity * 2 : 64;
		grown.keys = calloc(grown.capacity, sizeof *grown.keys);
		grown.counts = calloc(grown.capacity, sizeof *grown.counts);
		grown.owners = calloc(grown.capacity, sizeof *grown.owners);
		if (grown.keys == NULL || grown.counts == NULL || grown.owners == NULL) {
			free(grown.keys);
			free(grown.counts);
			free(grown.owners);
			return;
		}
		for (uint32_t k = 0; k < table->capacity; ++k)
			if (table->keys[k] != 0 && table->counts[k] > 0)
				tableAdd(&grown, table->keys[k], table->counts[k], table->owners[k]);
		free(table->keys);
		free(table->counts);
		free(table->owners);
		*table = grown;
	}
	uint32_t k = slotOf(table, key);
	if (table->keys[k] == 0) {
		table->keys[k] = key;
		++table->used;
	}
	if (table->counts[k] == 0)
		table->owners[k] = owner;
	table->counts[k] += count;
}

static void tableAddLocked(Held *table, uint64_t key, uint32_t owner)
{
	if (key == 0)
		return;
	EnterCriticalSection(&heldLock);
	tableAdd(table, key, 1, owner);
	LeaveCriticalSection(&heldLock);
}

static void heldAdd(uint64_t key, uint32_t owner)
{
	tableAddLocked(&held, key, owner);
}

// One reference fewer (take) or only whether there is one; 0 when the client
// holds none: a pointer it never got is never called.
static int tableHas(Held *table, uint64_t key, int take)
{
	int found = 0;
	EnterCriticalSection(&heldLock);
	if (table->capacity > 0 && key != 0) {
		uint32_t k = slotOf(table, key);
		if (table->keys[k] != 0 && table->counts[k] > 0) {
			if (take)
				--table->counts[k];
			found = 1;
		}
	}
	LeaveCriticalSection(&heldLock);
	return found;
}

static void heldFrame(const MvFrame *frame, uint32_t owner)
{
	if (frame == NULL)
		return;
	for (uint32_t k = 0; k < frame->count; ++k) {
		int32_t vt = frame->vts[k];
		int32_t base = vt & ~MV_VT_BYREF;
		if (base == MV_VT_DISPATCH || base == MV_VT_UNKNOWN) {
			heldAdd((uint64_t) frame->bits[k], owner);
		} else if (vt == (MV_VT_BYREF | MV_VT_VARIANT)) {
			heldFrame(frame->refs[k], owner);
		} else if ((base & MV_VT_ARRAY) && frame->refs[k] != NULL) {
			MvArray *array = frame->refs[k];
			if (array->elementVt == MV_VT_VARIANT)
				heldFrame(array->payload, owner);
			else if (array->elementVt == MV_VT_DISPATCH || array->elementVt == MV_VT_UNKNOWN)
				for (uint32_t e = 0; e < array->total; ++e)
					heldAdd((uint64_t) ((int64_t *) array->payload)[e], owner);
		}
	}
}

// Ends what the client still holds of the owner's (every owner's when all is
// set), on the calling thread: connections first, then references.
static void heldRelease(uint32_t owner, int all)
{
	for (Held *table = &connections;; table = &held) {
		for (;;) {
			uint64_t key = 0;
			EnterCriticalSection(&heldLock);
			for (uint32_t k = 0; k < table->capacity && key == 0; ++k)
				if (table->keys[k] != 0 && table->counts[k] > 0 && (all || table->owners[k] == owner)) {
					key = table->keys[k];
					--table->counts[k];
				}
			LeaveCriticalSection(&heldLock);
			if (key == 0)
				break;
			if (table == &connections)
				mvUnadvise(key);
			else
				mvRelease(key);
		}
		if (table == &held)
			return;
	}
}

// Queues.

static Item *takeItem(Channel *channel)
{
	for (;;) {
		EnterCriticalSection(&channel->lock);
		Item *item = channel->head;
		if (item != NULL) {
			channel->head = item->next;
			if (channel->head == NULL)
				channel->tail = NULL;
		}
		int closing = channel->closing;
		LeaveCriticalSection(&channel->lock);
		if (item != NULL || closing)
			return item;
		WaitForSingleObject(channel->ready, INFINITE);
	}
}

static void putItem(Channel *channel, Item *item)
{
	EnterCriticalSection(&channel->lock);
	item->next = NULL;
	if (channel->tail != NULL)
		channel->tail->next = item;
	else
		channel->head = item;
	channel->tail = item;
	LeaveCriticalSection(&channel->lock);
	SetEvent(channel->ready);
}

static void closeChannel(Channel *channel)
{
	EnterCriticalSection(&channel->lock);
	channel->closing = 1;
	LeaveCriticalSection(&channel->lock);
	SetEvent(channel->ready);
}

// The operations.

static int classAllowed(const MvString *name)
{
	if (allowedCount < 0)
		return 1;
	if (name == NULL)
		return 0;
	for (int k = 0; k < allowedCount; ++k) {
		size_t length = wcslen(allowed[k]);
		if (length == name->length && _wcsnicmp(allowed[k], (const WCHAR *) name->text, length) == 0)
			return 1;
	}
	return 0;
}

static int32_t refuse(MvFailure *failure, int32_t hr, const char *text)
{
	mvFailureClear(failure);
	failure->hr = hr;
	failure->argIndex = -1;
	failure->message = mvStringAscii(text);
	return hr;
}

static void runEventTarget(Channel *channel, const MvMessage *request, MvEventTarget *target);

static int takesObject(uint16_t op)
{
	return op == MV_OP_QUERY_INTERFACE || op == MV_OP_DISPID || op == MV_OP_INVOKE || op == MV_OP_NEW_ENUM ||
	       op == MV_OP_NEXT || op == MV_OP_ADVISE || op == MV_OP_VTBL_CALL || op == MV_OP_TYPE_INFO_IID;
}

// A call's frame as the answer: the by-reference slots and the result. The
// arguments passed by value go back empty, so that their objects are not
// counted as handed out once more (the client never releases them twice).
static int32_t callFrame(const MvMessage *m, MvFrame *frame, MvFailure *failure)
{
	uint32_t n = frame->count - 1;
	uint8_t *byRef = malloc(n > 0 ? n : 1);
	if (byRef == NULL)
		return refuse(failure, (int32_t) 0x8007000EL, "out of memory");
	for (uint32_t k = 0; k < n; ++k)
		byRef[k] = (frame->vts[k] & MV_VT_BYREF) != 0;
	int32_t hr = m->op == MV_OP_INVOKE ? mvInvoke(m->h, m->i, m->j, m->k, frame, failure)
	                                   : mvVtblCall(m->h, m->i, m->s, m->k, m->ints, frame, failure);
	if (hr == 0)
		for (uint32_t k = 0; k < n; ++k)
			if (!byRef[k])
				mvSlotClear(frame, k);
	free(byRef);
	return hr;
}

static void perform(Channel *channel, MvMessage *m)
{
	MvFailure failure = {0};
	int32_t hr = 0;
	if (takesObject(m->op) && !tableHas(&held, m->h, 0)) {
		refuse(&failure, (int32_t) 0x80004003L, "The bridge handed out no such object (E_POINTER)");
		sendFailure(m->channel, (int32_t) 0x80004003L, &failure);
		return;
	}
	uint64_t h = 0, H = 0;
	int32_t i = 0;
	MvString *s = NULL;
	MvFrame *frame = NULL;
	int answer = 1;
	switch (m->op) {
	case MV_OP_INIT_THREAD: {
		int inMultithreaded = 0;
		hr = mvInitThread(m->i != 0, &inMultithreaded, &failure);
		channel->multithreaded = inMultithreaded;
		i = inMultithreaded;
		break;
	}
	case MV_OP_CREATE:
		hr = classAllowed(m->s) ? mvCreate(m->s, m->i != 0, &h, &failure)
		                        : refuse(&failure, (int32_t) 0x80070005L, "The bridge's allow-list does not name this class");
		heldAdd(h, channel->id);
		break;
	case MV_OP_QUERY_INTERFACE:
		hr = mvQueryInterface(m->h, m->s, &h, &failure);
		heldAdd(h, channel->id);
		break;
	case MV_OP_RELEASE:
		if (tableHas(&held, m->h, 1))
			mvRelease(m->h);
		answer = 0;
		break;
	case MV_OP_DISPID:
		hr = mvDispIdOf(m->h, m->s, &i, &failure);
		break;
	case MV_OP_INVOKE:
		frame = m->frame;
		m->frame = NULL;
		hr = frame != NULL && frame->count >= 1 ? callFrame(m, frame, &failure)
		                                        : refuse(&failure, (int32_t) 0x80070057L, "invoke without a frame");
		if (hr == 0)
			heldFrame(frame, channel->id);
		break;
	case MV_OP_VTBL_CALL:
		frame = m->frame;
		m->frame = NULL;
		hr = frame != NULL && frame->count >= 1 && m->intCount == frame->count - 1
		         ? callFrame(m, frame, &failure)
		         : refuse(&failure, (int32_t) 0x80070057L, "a vtable call whose declared types do not match its frame");
		if (hr == 0)
			heldFrame(frame, channel->id);
		break;
	case MV_OP_TYPE_INFO_IID:
		hr = mvTypeInfoIid(m->h, &s, &failure);
		break;
	case MV_OP_CHANGE_TYPE: {
		frame = m->frame;
		m->frame = NULL;
		int32_t base = frame != NULL && frame->count == 1 ? frame->vts[0] & ~MV_VT_BYREF : -1;
		if (base < 0)
			hr = refuse(&failure, (int32_t) 0x80070057L, "a conversion of other than one slot");
		else if ((base == MV_VT_DISPATCH || base == MV_VT_UNKNOWN) && frame->bits[0] != 0 &&
		         !tableHas(&held, (uint64_t) frame->bits[0], 0))
			hr = refuse(&failure, (int32_t) 0x80004003L, "The bridge handed out no such object (E_POINTER)");
		else
			hr = mvChangeType(m->i, frame, &failure);
		if (hr == 0)
			heldFrame(frame, channel->id);
		break;
	}
	case MV_OP_NEW_ENUM:
		hr = mvNewEnum(m->h, &h, &failure);
		heldAdd(h, channel->id);
		break;
	case MV_OP_NEXT: {
		uint32_t wanted = m->j < 1 ? 1 : m->j > MV_MAX_BATCH ? MV_MAX_BATCH : (uint32_t) m->j;
		uint32_t fetched = 0;
		frame = mvFrameNew(wanted);
		hr = frame != NULL ? mvNext(m->h, m->i, frame, &fetched, &failure) : refuse(&failure, (int32_t) 0x8007000EL, "out of memory");
		if (hr == 0) {
			frame->count = fetched;
			heldFrame(frame, channel->id);
		}
		break;
	}
	case MV_OP_PUMP:
		mvPump(m->i);
		break;
	case MV_OP_ADVISE: {
		MvEventTarget target;
		runEventTarget(channel, m, &target);
		hr = mvAdvise(m->h, m->s, &target, &h, &failure);
		if (hr != 0)
			target.release(target.context);
		else
			tableAddLocked(&connections, h, channel->id);
		break;
	}
	case MV_OP_UNADVISE:
		if (tableHas(&connections, m->h, 1))
			mvUnadvise(m->h);
		answer = 0;
		break;
	case MV_OP_STATISTICS: {
		PROCESS_MEMORY_COUNTERS_EX counters;
		memset(&counters, 0, sizeof counters);
		counters.cb = sizeof counters;
		GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *) &counters, sizeof counters);
		h = counters.WorkingSetSize;
		H = counters.PrivateUsage;
		break;
	}
	case MV_OP_ECHO:
		s = m->s;
		m->s = NULL;
		break;
	default:
		complain("an answer or event reply nobody waits for");
		answer = 0;
		break;
	}
	if (answer) {
		if (hr != 0)
			sendFailure(m->channel, hr, &failure);
		else
			sendResult(m->channel, h, H, i, s, frame);
	}
	mvFailureClear(&failure);
	free(s);
	mvFrameFree(frame);
}

// Events: the sink's target sends the event on the channel of the thread it
// arrives on and runs nested calls until the client's reply comes.

typedef struct {
	uint64_t sink;              // the client's sink id
} TargetContext;

static Channel *eventChannel(void)
{
	Channel *channel = TlsGetValue(channelSlot);
	if (channel != NULL)
		return channel;
	channel = calloc(1, sizeof *channel);
	if (channel == NULL)
		return NULL;
	channel->id = MV_EVENT_CHANNEL | (uint32_t) InterlockedIncrement(&eventChannels);
	InitializeCriticalSection(&channel->lock);
	channel->ready = CreateEventW(NULL, FALSE, FALSE, NULL);
	EnterCriticalSection(&channelsLock);
	channel->next = channels;
	channels = channel;
	LeaveCriticalSection(&channelsLock);
	TlsSetValue(channelSlot, channel);
	return channel;
}

static void dropEventChannel(Channel *channel)
{
	EnterCriticalSection(&channelsLock);
	for (Channel **at = &channels; *at != NULL; at = &(*at)->next)
		if (*at == channel) {
			*at = channel->next;
			break;
		}
	LeaveCriticalSection(&channelsLock);
	TlsSetValue(channelSlot, NULL);
	while (channel->head != NULL) {
		Item *item = channel->head;
		channel->head = item->next;
		mvMessageFree(&item->message);
		free(item);
	}
	CloseHandle(channel->ready);
	DeleteCriticalSection(&channel->lock);
	free(channel);
}

// Runs requests on the channel until a reply of the kind wanted comes; NULL
// when the connection ends first.
static Item *awaitReply(Channel *channel, uint16_t op)
{
	for (Item *item; (item = takeItem(channel)) != NULL;) {
		if (item->message.op == op)
			return item;
		perform(channel, &item->message);
		mvMessageFree(&item->message);
		free(item);
	}
	return NULL;
}

static int targetTypes(void *context, int32_t dispId, uint32_t count, int32_t *types)
{
	Channel *channel = eventChannel();
	if (channel == NULL || ending)
		return -1;
	MvMessage m = {0};
	m.channel = channel->id;
	m.op = MV_OP_EVENT_TYPES;
	m.h = ((TargetContext *) context)->sink;
	m.i = dispId;
	m.j = (int32_t) count;
	int known = -1;
	if (sendMessage(&m) == 0) {
		Item *reply = awaitReply(channel, MV_OP_TYPES_RESULT);
		if (reply != NULL) {
			MvFrame *declared = reply->message.frame;
			known = reply->message.i > 0 ? 1 : 0;
			if (known && (declared == NULL || declared->count != count))
				known = -1;
			for (uint32_t k = 0; known > 0 && k < count; ++k)
				types[k] = (int32_t) declared->bits[k];
			mvMessageFree(&reply->message);
			free(reply);
		}
	}
	// The arguments' delivery follows on the same channel, which stays until
	// then (and for the next event, when no delivery follows).
	return known;
}

static int targetInvoke(void *context, int32_t dispId, MvFrame *frame, MvString **failure)
{
	Channel *channel = eventChannel();
	int result = -1;
	if (channel == NULL)
		return -1;
	MvMessage m = {0};
	m.channel = channel->id;
	m.op = MV_OP_EVENT;
	m.h = ((TargetContext *) context)->sink;
	m.i = dispId;
	m.frame = frame;
	// The pointers in the arguments are the client's from now on: a nested
	// call may use them before the event returns.
	heldFrame(frame, channel->id);
	if (!ending && sendMessage(&m) == 0) {
		Item *reply = awaitReply(channel, MV_OP_EVENT_RESULT);
		if (reply != NULL) {
			MvFrame *back = reply->message.frame;
			if (reply->message.i != 0) {
				*failure = reply->message.s;
				reply->message.s = NULL;
			} else if (back != NULL && back->count == frame->count) {
				// The client's new values of the by-reference slots.
				for (uint32_t k = 0; k < frame->count; ++k)
					if (frame->vts[k] & MV_VT_BYREF) {
						mvSlotClear(frame, k);
						frame->vts[k] = back->vts[k] | MV_VT_BYREF;
						frame->bits[k] = back->bits[k];
						frame->refs[k] = back->refs[k];
						if (frame->vts[k] != (MV_VT_BYREF | MV_VT_VARIANT) && back->vts[k] == (MV_VT_BYREF | MV_VT_VARIANT))
							frame->vts[k] = back->vts[k];
						back->refs[k] = NULL;
						back->vts[k] = MV_VT_EMPTY;
					}
				result = 0;
			} else {
				*failure = mvStringAscii("The client gave back a frame of another size");
			}
			mvMessageFree(&reply->message);
			free(reply);
		}
	}
	// The client serves an event channel up to the event's answer only: a
	// later event of this thread must come on a new one, since a message on
	// the old one could reach a queue nobody reads any more.
	if (channel->id & MV_EVENT_CHANNEL)
		dropEventChannel(channel);
	return result;
}

static void targetRelease(void *context)
{
	free(context);
}

static void runEventTarget(Channel *channel, const MvMessage *request, MvEventTarget *target)
{
	(void) channel;
	TargetContext *context = malloc(sizeof *context);
	if (context != NULL)
		context->sink = request->H;
	target->types = targetTypes;
	target->invoke = targetInvoke;
	target->release = targetRelease;
	target->context = context;
}

static DWORD WINAPI channelMain(void *argument)
{
	Channel *channel = argument;
	TlsSetValue(channelSlot, channel);
	for (Item *item; (item = takeItem(channel)) != NULL;) {
		perform(channel, &item->message);
		mvMessageFree(&item->message);
		free(item);
	}
	heldRelease(channel->id, 0);
	CoUninitialize();
	return 0;
}

static Channel *channelFor(uint32_t id)
{
	EnterCriticalSection(&channelsLock);
	Channel *channel = channels;
	while (channel != NULL && channel->id != id)
		channel = channel->next;
	if (channel == NULL && !(id & MV_EVENT_CHANNEL) && (channel = calloc(1, sizeof *channel)) != NULL) {
		channel->id = id;
		InitializeCriticalSection(&channel->lock);
		channel->ready = CreateEventW(NULL, FALSE, FALSE, NULL);
		channel->thread = CreateThread(NULL, 0, channelMain, channel, 0, NULL);
		if (channel->thread == NULL) {
			CloseHandle(channel->ready);
			DeleteCriticalSection(&channel->lock);
			free(channel);
			channel = NULL;
		} else {
			channel->next = channels;
			channels = channel;
		}
	}
	LeaveCriticalSection(&channelsLock);
	return channel;
}

// Reading.

// Reads through a buffer: one ReadFile takes whatever the pipe holds, often
// several messages, and each ReadFile is a trip to the Wine server.
static uint8_t inputBuffer[1 << 16];
static DWORD inputStart, inputEnd;

static int readAll(HANDLE input, void *buffer, DWORD size)
{
	DWORD done = 0;
	while (done < size) {
		if (inputStart == inputEnd) {
			DWORD n = 0;
			if (!ReadFile(input, inputBuffer, sizeof inputBuffer, &n, NULL) || n == 0)
				return done == 0 ? 0 : -1;
			inputStart = 0;
			inputEnd = n;
		}
		DWORD take = inputEnd - inputStart < size - done ? inputEnd - inputStart : size - done;
		memcpy((char *) buffer + done, inputBuffer + inputStart, take);
		inputStart += take;
		done += take;
	}
	return 1;
}

static int parseAllowList(const char *list)
{
	int count = 1;
	for (const char *p = list; *p; ++p)
		count += *p == ',';
	allowed = calloc((size_t) count, sizeof *allowed);
	if (allowed == NULL)
		return -1;
	allowedCount = 0;
	const char *start = list;
	for (const char *p = list;; ++p) {
		if (*p == ',' || *p == 0) {
			int length = (int) (p - start);
			if (length > 0) {
				WCHAR *name = calloc((size_t) length + 1, sizeof(WCHAR));
				if (name == NULL)
					return -1;
				MultiByteToWideChar(CP_UTF8, 0, start, length, name, length);
				allowed[allowedCount++] = name;
			}
			start = p + 1;
		}
		if (*p == 0)
			break;
	}
	return 0;
}

int main(int argc, char **argv)
{
	for (int k = 1; k < argc; ++k) {
		if (strcmp(argv[k], "--allow") == 0 && k + 1 < argc) {
			if (parseAllowList(argv[++k]) != 0)
				return 2;
		} else {
			fprintf(stderr, "mivra-bridge: unknown argument \"%s\"; usage: mivra-bridge [--allow ProgID,...]\n", argv[k]);
			return 2;
		}
	}
	_setmode(_fileno(stdin), _O_BINARY);
	_setmode(_fileno(stdout), _O_BINARY);
	HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
	output = GetStdHandle(STD_OUTPUT_HANDLE);
	InitializeCriticalSection(&channelsLock);
	InitializeCriticalSection(&writeLock);
	InitializeCriticalSection(&heldLock);
	channelSlot = TlsAlloc();

	uint8_t hello[8];
	int status = 0;
	if (readAll(input, hello, 8) != 1 || memcmp(hello, MV_BRIDGE_MAGIC, 4) != 0) {
		complain("the client did not begin with the handshake");
		return 1;
	}
	uint32_t version = (uint32_t) hello[4] | (uint32_t) hello[5] << 8 | (uint32_t) hello[6] << 16 |
	                   (uint32_t) hello[7] << 24;
	uint8_t answer[8] = {'M', 'V', 'B', 'R', MV_BRIDGE_VERSION, 0, 0, 0};
	DWORD written = 0;
	WriteFile(output, answer, 8, &written, NULL);
	if (version != MV_BRIDGE_VERSION) {
		fprintf(stderr, "mivra-bridge: the client speaks version %u, this bridge %u\n", version, MV_BRIDGE_VERSION);
		return 1;
	}

	uint8_t *buffer = NULL;
	for (;;) {
		uint8_t head[4];
		int got = readAll(input, head, 4);
		if (got == 0)
			break;
		uint32_t length = (uint32_t) head[0] | (uint32_t) head[1] << 8 | (uint32_t) head[2] << 16 |
		                  (uint32_t) head[3] << 24;
		if (got < 0 || length > MV_MAX_MESSAGE) {
			complain(got < 0 ? "the input ended inside a message" : "a message longer than the limit");
			status = 1;
			break;
		}
		buffer = realloc(buffer, length > 0 ? length : 1);
		if (buffer == NULL || readAll(input, buffer, length) != 1) {
			complain(buffer == NULL ? "out of memory" : "the input ended inside a message");
			status = 1;
			break;
		}
		Item *item = calloc(1, sizeof *item);
		const char *why = "out of memory";
		if (item == NULL || mvMessageDecode(buffer, length, &item->message, &why) != 0) {
			fprintf(stderr, "mivra-bridge: malformed message: %s\n", why);
			fflush(stderr);
			free(item);
			status = 1;
			break;
		}
		Channel *channel = channelFor(item->message.channel);
		if (channel == NULL) {
			fprintf(stderr, "mivra-bridge: a message for channel %08x, which is not open\n", item->message.channel);
			fflush(stderr);
			mvMessageFree(&item->message);
			free(item);
			status = 1;
			break;
		}
		putItem(channel, item);
	}
	free(buffer);

	// The end: every channel thread releases what its client held and leaves
	// its apartment. A thread stuck in a server's call does not hold the exit.
	InterlockedExchange(&ending, 1);
	EnterCriticalSection(&channelsLock);
	for (Channel *channel = channels; channel != NULL; channel = channel->next)
		closeChannel(channel);
	LeaveCriticalSection(&channelsLock);
	for (;;) {
		EnterCriticalSection(&channelsLock);
		HANDLE thread = NULL;
		for (Channel *channel = channels; channel != NULL && thread == NULL; channel = channel->next)
			if (channel->thread != NULL) {
				thread = channel->thread;
				channel->thread = NULL;
			}
		LeaveCriticalSection(&channelsLock);
		if (thread == NULL)
			break;
		WaitForSingleObject(thread, 5000);
		CloseHandle(thread);
	}
	// What event threads handed out, released in the multithreaded apartment.
	CoInitializeEx(NULL, COINIT_MULTITHREADED);
	heldRelease(0, 1);
	fflush(stderr);
	ExitProcess((UINT) status);
}
