/*
 * DravontDLL: the client library of the document-exchange service.
 *
 * Every function below (but GetLastDravontError) makes one XML-RPC call to
 * the service on this machine and returns an integer result code:
 *
 *   0  success
 *   1  an argument failed validation (a NULL pointer where one is required)
 *   2  the service reported a failure; its text is the last error
 *   3  the XML-RPC call itself failed (no service, broken answer, fault)
 *   4  a string result cannot be handed back: no allocation callback on
 *      this thread ("Invalid callback function pointer") or the callback
 *      returned NULL ("Can't allocate memory")
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

#ifdef __cplusplus
} /* extern "C" */
} /* namespace Quillex */
#endif

#endif /* DRAVONT_DRAVONTDLL_H */
