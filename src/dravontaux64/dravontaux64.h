/* libdravontaux64.so: converts large signed files between attached and
 * detached signature form through a crypto provider loaded at run time.
 *
 * Both functions take the argument text "log*level*path1*path2*path3" as
 * their third argument; the other arguments are not used. They return
 * nothing: failures are written to the log file named in the first call.
 * Not thread-safe: callers must not enter the library from two threads at
 * once. */
#ifndef DRAVONTAUX64_DRAVONTAUX64_H_
#define DRAVONTAUX64_DRAVONTAUX64_H_

#if defined(DRAVONTAUX64_BUILDING)
#define DRAVONTAUX64_EXPORT __attribute__((visibility("default")))
#else
#define DRAVONTAUX64_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* path1: content, path2: detached signature, path3: the attached file
 * written (as the provider defines them). */
DRAVONTAUX64_EXPORT void AttachSignature(void* unused1, void* unused2, const char* arguments, int unused3);

/* path1: the signed file; path2 receives the content and path3 the detached
 * signature. A file with nothing to detach is left alone. */
DRAVONTAUX64_EXPORT void DetachSignature(void* unused1, void* unused2, const char* arguments, int unused3);

#ifdef __cplusplus
}
#endif

#endif /* DRAVONTAUX64_DRAVONTAUX64_H_ */
