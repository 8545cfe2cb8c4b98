/*
 * DravontDLL: the client library of the document-exchange service.
 *
 * Calls. Most functions below make one XML-RPC call to the service on this
 * machine; InitContext makes three. These make none and only work on the
 * record or the thread: GetLastDravontError, the Init...ByHandle and
 * Get...Handle functions, AddStreamFilter and RemoveStreamFilter. A NULL
 * argument that a function validates is reported without a call (result 1).
 *
 * Int results:
 *
 *   0  success
 *   1  an argument failed validation (a NULL pointer where one is required)
 *   2  the service reported a failure; its text is the last error
 *   3  the XML-RPC call itself failed: no service, no complete answer, an
 *      answer that is no well-formed method response, or a fault answer
 *   4  a string result cannot be handed back: no allocation callback on
 *      this thread ("Invalid callback function pointer") or the callback
 *      returned NULL ("Can't allocate memory")
 *
 * Functions returning a handle, count or size state their own convention.
 *
 * What else can leave a call. The library is written in C++, and two C++
 * exceptions are not turned into result codes but leave the function, so a
 * caller that is a C program ends in std::terminate (the process aborts,
 * after the library printed the calls that were active):
 *
 *   - the transport's exception (Quillex::XmlRpcException, a std::exception
 *     whose what() is "type error" or "type error: expected an array") when
 *     the service answers a well-formed response of the wrong shape, for
 *     example a text where a number belongs; a service built to this
 *     interface never does;
 *   - std::bad_alloc when memory for a request or an answer runs out.
 *
 * A C++ caller may catch both as std::exception; the call then had no other
 * effect on the caller's records than the ones its description names. C
 * callers that talk to a service they do not trust should run the calls in
 * a process of their own.
 *
 * Threads: any number of threads may call the library at once. Each thread
 * has its own connection to the service, its own last-error text and its
 * own allocation callback (set by InitContext on that thread).
 *
 * Memory: texts handed back through char** outputs are allocated with the
 * allocation callback given to InitContext on the calling thread and belong
 * to the caller, who frees them with the matching deallocator.
 *
 * Environment, read once when the library is loaded:
 *   XMLRPCPORT       TCP port of the service on 127.0.0.1 (default 12069)
 *   XMLRPCVERBOSITY  transport log level, 0 (errors only) to 5 (whole texts)
 *
 * This header is valid C and C++. In C++ the names live in namespace
 * Quillex; in C they are declared without it.
 */
#ifndef DRAVONT_DRAVONTDLL_H
#define DRAVONT_DRAVONTDLL_H

#if defined(DRAVONTDLL_BUILDING)
#define DRAVONT_API __attribute__((visibility("default")))
#else
#define DRAVONT_API
#endif

#ifdef __cplusplus
namespace Quillex {
extern "C" {
#endif

/* ---- Types ---------------------------------------------------------------
 *
 * A context is the service's number for a client session, carried in a
 * pointer-sized value; it is never dereferenced. NULL means none.
 *
 * Handle records: the service's number for an object and the context it
 * belongs to. The caller owns the record (on its stack or in its own
 * structures); the library only fills and reads the two fields. A record is
 * valid from a successful Init... call until its Free... call.
 */
struct DravontContext_s;
struct DravontFilter_s;

typedef struct DravontAddress_s {
  unsigned int handle;
  struct DravontContext_s* context;
} DravontAddress_s;

typedef struct EDIFolder_s {
  unsigned int handle;
  struct DravontContext_s* context;
} EDIFolder_s;

typedef struct DravontStream_s {
  unsigned int handle;
  struct DravontContext_s* context;
} DravontStream_s;

typedef struct DravontURL {
  unsigned int handle;
  struct DravontContext_s* context;
} DravontURL;

typedef struct DravontMessage_s {
  unsigned int handle;
  struct DravontContext_s* context;
} DravontMessage_s;

typedef struct DravontContext_s DravontContext_s;
typedef struct DravontFilter_s DravontFilter_s;

/* How an attachment is protected; passed to the service unchanged. */
typedef enum ProtectionLevel_t {
  Cleartext = 0,
  Signed = 1,
  SignedEncrypted = 2,
  MIMESignedEncrypted = 4,
  DetachedSigned = 5,
  DetachedSignedEcripted = 6
} ProtectionLevel_t;

/* TCP port of the service, fixed when the library is loaded. */
DRAVONT_API extern int RpcPort;
/* Thread-specific slot indexes (pthread keys) of the calling thread's
 * XML-RPC client, last-error text and allocation callback. */
DRAVONT_API extern unsigned long XmlRpcClientIndex;
DRAVONT_API extern unsigned long LastErrorIndex;
DRAVONT_API extern unsigned long MallocIndex;
/* Load address of the library itself. */
DRAVONT_API extern void* hDLLModule;

/*
 * GetLastDravontError: the text of the most recent failure on the calling
 * thread, or NULL when no call of this thread has failed. A successful call
 * never clears it. The text is owned by the library and stays valid until
 * the next failure on this thread or until the thread ends.
 */
DRAVONT_API const char* GetLastDravontError(void);

/* ---- Context, service version, crypto ------------------------------------ */

/*
 * InitContext: opens a service context for the participant described by
 * `settingsFile` (made absolute and canonical first). `allocate` becomes the
 * calling thread's allocation callback for every later text result, whatever
 * happens next. Checks that the service's major version is 21 or higher and
 * reports this process and its modules to the service.
 * Returns the context, or NULL: see GetLastDravontError ("Invalid callback
 * function pointer", "Failed to get service version", "Failed to parse
 * service version info", "Incompatible service version <v>", "Too long file
 * path", "RPC call InitContext failed", or the service's own text). `status`
 * (may be NULL) receives the service's status code when it answered.
 */
DRAVONT_API DravontContext_s* InitContext(const char* settingsFile, void* (*allocate)(unsigned int), int* status);
/* FreeContext: ends the context. A failed call is not reported. */
DRAVONT_API void FreeContext(DravontContext_s* context);
/* GetServiceVersion: the service's four version numbers. 0, 1 (a NULL
 * pointer; no call made) or 2 (call or parse failed). */
DRAVONT_API int GetServiceVersion(int* major, int* minor, int* third, int* fourth);
/* GetCryptoNum: the service's count for `selector`; -3 when the call failed,
 * -2 when the service reported an error. */
DRAVONT_API int GetCryptoNum(DravontContext_s* context, int selector);
/* SetCryptoDefault, PrepareCrypto: 0, 2 or 3. */
DRAVONT_API int SetCryptoDefault(DravontContext_s* context, int selector, int index);
DRAVONT_API int PrepareCrypto(DravontContext_s* context, int selector, int index);
/* GetCryptoProperty: the property's text through *value (NULL when empty;
 * caller frees). 0, 1, 2, 3 or 4. */
DRAVONT_API int GetCryptoProperty(DravontContext_s* context, int selector, int index, const char* name, char** value);

/* ---- Handle objects ---------------------------------------------------------
 *
 * Each family (address, folder, stream, URL, message) has:
 *   Init...         asks the service to construct the object. The record is
 *                   written (handle from the answer, the given context) even
 *                   when the service reports an error (result 2).
 *   Init...ByHandle wraps a handle the caller already has; no call, 0.
 *   Free...         ends the object at the service; the record is unchanged.
 *   Get...Property  a named property as text through *value (NULL when
 *                   empty; caller frees). 0, 1, 2, 3 or 4.
 *   Get...Handle    the record's handle; 0 for a NULL record.
 * Results: 0 success, 1 NULL record (no call), 2 service error, 3 call failed.
 * NULL texts are sent as empty texts.
 *
 * The texts of the constructors are the service's to interpret; the library
 * passes them through unchanged. For this machine's service:
 *   InitDravontAddress, InitDravontAddressEx: text1 the ticker, text2 the
 *     service name (the address is "EMAIL@" ticker "." service), text3 and
 *     text4 unused, `options` a script expression yielding an object of
 *     options, for example ({subject:"x"}); empty for none.
 *   InitEDIFolder: text1 the ticker and text2 the service of a folder
 *     address; the others unused.
 *   InitDravontURL: `urlText` the delivery address, `parameters` a script
 *     expression yielding an object of parameters.
 *   InitDravontStreamFromFile, InitDravontStreamFromBuffer: the last text
 *     is the stream's file name (what an attachment made from it is called);
 *     empty: the file's base name, or no name for a buffer.
 *   Message constructors: the text is the message's body text.
 */
DRAVONT_API int InitDravontAddress(DravontAddress_s* address, DravontContext_s* context, const char* text1,
                                   const char* text2, const char* text3, const char* text4, const char* options);
DRAVONT_API int InitDravontAddressEx(DravontAddress_s* address, DravontContext_s* context, const char* text1,
                                     const char* text2, const char* text3, const char* text4, const char* options);
DRAVONT_API int InitDravontAddressByHandle(DravontAddress_s* address, DravontContext_s* context, unsigned int handle);
DRAVONT_API int FreeDravontAddress(DravontAddress_s* address);
DRAVONT_API int GetDravontAddressProperty(DravontAddress_s* address, const char* name, char** value);
DRAVONT_API int GetDravontAddressHandle(DravontAddress_s* address);
/* GetDravontSenderAddress, GetDravontSelfAddress: fill `address` from the
 * service; the record is written only on success. 0, 1, 2 or 3. */
DRAVONT_API int GetDravontSenderAddress(DravontContext_s* context, DravontAddress_s* address);
DRAVONT_API int GetDravontSelfAddress(DravontContext_s* context, const char* name, DravontAddress_s* address);

DRAVONT_API int InitEDIFolder(EDIFolder_s* folder, DravontContext_s* context, const char* text1, const char* text2,
                              const char* text3, const char* text4, const char* text5);
DRAVONT_API int InitEDIFolderByHandle(EDIFolder_s* folder, DravontContext_s* context, unsigned int handle);
DRAVONT_API int FreeEDIFolder(EDIFolder_s* folder);
DRAVONT_API int GetEDIFolderProperty(EDIFolder_s* folder, const char* name, char** value);
DRAVONT_API int GetEDIFolderHandle(EDIFolder_s* folder);

/* InitDravontStreamFromFile: a stream over a file the service opens with
 * `mode` ("rb", "rbE": only when nobody writes it, "wb+", "wt+" ...). The
 * path is made absolute; when that fails the call is still made with an
 * empty path and the service's answer decides. */
DRAVONT_API int InitDravontStreamFromFile(DravontStream_s* stream, DravontContext_s* context, const char* path,
                                          const char* mode, const char* text);
/* InitDravontStreamFromBuffer: a stream holding a copy of `length` bytes.
 * A NULL buffer with a length above 0 is 1, "Invalid buffer pointer". */
DRAVONT_API int InitDravontStreamFromBuffer(DravontStream_s* stream, DravontContext_s* context, const void* buffer,
                                            unsigned int length, const char* text);
DRAVONT_API int InitDravontStreamByHandle(DravontStream_s* stream, DravontContext_s* context, unsigned int handle);
DRAVONT_API int FreeDravontStream(DravontStream_s* stream);
DRAVONT_API int GetDravontStreamProperty(DravontStream_s* stream, const char* name, char** value);
DRAVONT_API int GetDravontStreamHandle(DravontStream_s* stream);

/* InitDravontURL: a delivery channel; `parameters` is a script expression
 * that yields an object of parameters. */
DRAVONT_API int InitDravontURL(DravontURL* url, DravontContext_s* context, const char* urlText, const char* parameters);
DRAVONT_API int InitDravontURLByHandle(DravontURL* url, DravontContext_s* context, unsigned int handle);
DRAVONT_API int FreeDravontURL(DravontURL* url);
DRAVONT_API int GetDravontURLProperty(DravontURL* url, const char* name, char** value);
DRAVONT_API int GetDravontURLHandle(DravontURL* url);

/* Message constructors: towards an address, towards a folder, or from a
 * stream holding a received message. The new record's context is always
 * `context`. */
DRAVONT_API int InitDravontMessage(DravontMessage_s* message, DravontContext_s* context, DravontAddress_s* address,
                                   const char* text);
DRAVONT_API int InitDravontMessage2Folder(DravontMessage_s* message, DravontContext_s* context, EDIFolder_s* folder,
                                          const char* text);
DRAVONT_API int InitDravontMessageFromStream(DravontMessage_s* message, DravontContext_s* context,
                                             DravontStream_s* stream, const char* text);
DRAVONT_API int InitDravontMessageByHandle(DravontMessage_s* message, DravontContext_s* context, unsigned int handle);
DRAVONT_API int FreeDravontMessage(DravontMessage_s* message);
DRAVONT_API int GetDravontMessageProperty(DravontMessage_s* message, const char* name, char** value);
DRAVONT_API int GetDravontMessageHandle(DravontMessage_s* message);

/* ---- Streams ----------------------------------------------------------------
 *
 * These return the number the service answers, or 0 on any failure (0 is
 * also a valid answer: GetLastDravontError tells them apart). A service
 * error text is recorded, and its number still returned. Values of 2^31 and
 * more travel as negative ints and come back the same way.
 */
DRAVONT_API unsigned int StreamWrite(DravontStream_s* stream, const void* buffer, unsigned int size);
/* StreamRead: copies at most `size` received bytes into `buffer` (when not
 * NULL) and returns the service's count. */
DRAVONT_API unsigned int StreamRead(DravontStream_s* stream, void* buffer, unsigned int size);
DRAVONT_API unsigned int StreamTell(DravontStream_s* stream);
DRAVONT_API unsigned int StreamLength(DravontStream_s* stream);
DRAVONT_API unsigned int StreamSeek(DravontStream_s* stream, unsigned int offset, int origin);
DRAVONT_API unsigned int StreamWriteToStream(DravontStream_s* first, DravontStream_s* second);
/* GetDravontSubstream: `target` becomes a stream over `length` bytes of
 * `source` from `start` (length (unsigned)-1: all remaining). The target is
 * written even when the service reports an error. 0, 1, 2 or 3. */
DRAVONT_API int GetDravontSubstream(DravontStream_s* source, DravontStream_s* target, unsigned int start,
                                    unsigned int length);
/* Stream filters have no behaviour: both return 0. */
DRAVONT_API int AddStreamFilter(DravontStream_s* stream, DravontFilter_s* filter);
DRAVONT_API int RemoveStreamFilter(DravontStream_s* stream, DravontFilter_s* filter);

/* ---- Messages ---------------------------------------------------------------
 *
 * Results 0, 1 (a NULL pointer; no call), 2 (service error), 3 (call
 * failed), 4 (a text result cannot be handed back). Text outputs are NULL
 * when the value is empty and belong to the caller otherwise.
 */
DRAVONT_API int GetDravontMessageCustomHeader(DravontMessage_s* message, const char* name, char** value);
DRAVONT_API int SetDravontMessageCustomHeader(DravontMessage_s* message, const char* name, const char* value);
/* RemoveDravontMessageCustomHeader: 2 with "Non existent header" when the
 * message has no such header. */
DRAVONT_API int RemoveDravontMessageCustomHeader(DravontMessage_s* message, const char* name);
/* GetDravontMessageDate: seconds since 1970-01-01 UTC; the service's
 * calendar record is taken as this machine's local time. *time is 0 when
 * the service reports an error, -1 when the record does not convert. */
DRAVONT_API int GetDravontMessageDate(DravontMessage_s* message, long long* time);
DRAVONT_API int DravontAttachStreamToMessage(DravontMessage_s* message, DravontStream_s* stream,
                                             ProtectionLevel_t level);
DRAVONT_API int DravontAttachSignedStreamToMessage(DravontMessage_s* message, DravontStream_s* data,
                                                   DravontStream_s* signature, ProtectionLevel_t level);
/* *count is written with the service's number even when it reports an error. */
DRAVONT_API int GetNumOfDravontMessageAttachments(DravontMessage_s* message, int* count);
DRAVONT_API int GetDravontMessageAttachmentFilename(DravontMessage_s* message, int attachment, char** name);
/* *size is written only on success. */
DRAVONT_API int GetDravontMessageAttachmentSize(DravontMessage_s* message, int attachment, unsigned int* size);
/* The two save operations and DravontMessageToStream return the service's
 * number, 1 for a NULL pointer and 3 for a failed call. */
DRAVONT_API unsigned int SaveDravontMessageAttachment(DravontMessage_s* message, int attachment,
                                                      DravontStream_s* stream);
DRAVONT_API unsigned int SaveDravontMessageAttachmentSignature(DravontMessage_s* message, int attachment,
                                                               DravontStream_s* stream);
DRAVONT_API int GetNumOfDravontMessageAttachmentSignatures(DravontMessage_s* message, int attachment, int* count);
DRAVONT_API int GetDravontMessageAttachmentSignatureAttr(DravontMessage_s* message, int attachment, int signature,
                                                         const char* name, char** value);
DRAVONT_API unsigned int DravontMessageToStream(DravontMessage_s* message, DravontStream_s* stream);
/* GetDravontMessageSender: `address` is written (the message's context)
 * before the error text is looked at. */
DRAVONT_API int GetDravontMessageSender(DravontMessage_s* message, DravontAddress_s* address);

/* ---- Delivery and status ---------------------------------------------------- */

DRAVONT_API int DravontURLSetWriteStream(DravontURL* url, DravontStream_s* stream);
DRAVONT_API int DravontURLSetReadStream(DravontURL* url, DravontStream_s* stream);
DRAVONT_API int DravontURLPerform(DravontURL* url);
/* PostMessageTo: posts the message; its id through *messageId (may be NULL;
 * caller frees). 0, 1, 2, 3 or 4. */
DRAVONT_API int PostMessageTo(DravontMessage_s* message, DravontURL* url, char** messageId);
/*
 * DravontCollect: collects at most *count waiting messages (0: all) at the
 * URL. On success *messages is an array of *count records (contexts: the
 * URL's), allocated with the thread's callback and freed by the caller with
 * the matching deallocator; each record is freed with FreeDravontMessage.
 * 1: a NULL pointer. 2: service error (count untouched). 3: the call failed
 * or the answer was malformed (count and array untouched). 4: no callback
 * (count untouched) or the callback returned NULL (count 0).
 */
DRAVONT_API int DravontCollect(DravontURL* url, const char* filter, unsigned int* count, DravontMessage_s** messages);
/* Confirm, ConfirmMessage: accept (status 0) or reject a received message.
 * 2 with "Can't find message id in database" for an unknown message. */
DRAVONT_API int Confirm(DravontURL* url, DravontMessage_s* message, int status, const char* text, DravontURL* sendUrl);
DRAVONT_API int ConfirmMessage(DravontURL* url, const char* messageId, int status, const char* text,
                               DravontURL* sendUrl);
/* *status is written only on success. */
DRAVONT_API int GetMessageStatus(DravontContext_s* context, const char* messageId, int* status);
DRAVONT_API int GetExactMessageStatus(DravontContext_s* context, const char* messageId, DravontAddress_s* address,
                                      int* status, char** value);

/* ---- Scripts and parameters ------------------------------------------------- */

/* Execute: evaluates `script` in the context; its value as text through
 * *result (may be NULL). The result is handed back before the error text is
 * looked at, so a result of 2 may come with a text the caller frees. */
DRAVONT_API int Execute(DravontContext_s* context, const char* script, char** result);
DRAVONT_API int AddMixin(DravontContext_s* context, const char* name, const char* script);
DRAVONT_API int RemoveMixin(DravontContext_s* context, const char* name);
/* ReadDravontParameter: the stored text through *value and its number
 * through *number (may be NULL; 0 on failure). */
DRAVONT_API int ReadDravontParameter(DravontContext_s* context, const char* name, char** value, long long* number);
DRAVONT_API int SaveDravontParameter(DravontContext_s* context, const char* name, const char* value);
DRAVONT_API int SetDravontDetachedSignaturePattern(DravontContext_s* context, const char* pattern);

#ifdef __cplusplus
} /* extern "C" */
} /* namespace Quillex */
#endif

#endif /* DRAVONT_DRAVONTDLL_H */
