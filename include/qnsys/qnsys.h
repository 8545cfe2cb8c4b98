/*
 * qnsys: the host INI and log library (libqnsys.so).
 *
 * A program reads its INI file and writes its log through these functions.
 * One INI file is open per process at a time; it is designated by the handle
 * -1 (QNSYS_OPEN_INI). One log per process.
 *
 * Threads: every function may be called from any thread at any time. The INI
 * file is read once into memory at QnIniOpen; lookups read that copy.
 *
 * Errors: functions that can fail return 0 on success or one of the
 * QNERROR_ codes below (unsigned, in the 0xE... range; print them with
 * "QNERROR 0x%08X").
 *
 * ---------------------------------------------------------------------------
 * INI syntax
 *   [section]        starts a section; the name is the text up to the first
 *                    ']' (or the line end), blanks trimmed
 *   key=value        a key of the current section; the key is the text before
 *                    the first '=', the value the text after it
 *   ; text, # text   comment lines (after leading blanks)
 * Blanks (space, tab) around names and values are trimmed. Values are bytes,
 * never converted: quotes are kept, nothing is unescaped, any encoding passes.
 * Section and key names compare case-insensitively (ASCII letters only). The
 * first occurrence wins: a repeated key is ignored, and so is the whole body
 * of a repeated section. Lines without '=' and keys before the first section
 * are ignored. LF and CR LF line ends both work.
 *
 * Encodings: a file without a byte order mark is read as the bytes it holds
 * (in the ANSI code page on Windows). A file that starts with the UTF-8 mark
 * (EF BB BF) or a UTF-16 one (FF FE little-endian, FE FF big-endian) is
 * read in that encoding, and its section names, keys and values are
 * converted to the process's ANSI code page (on Linux, where texts are
 * UTF-8, they stay UTF-8 and only the mark goes). A character the code page
 * cannot write becomes '?' (never a look-alike letter), and its key is
 * listed by QnIniCustEnumRefused. A file whose mark declares what its text
 * does not hold, a UTF-32 file, and a file without a mark that has NUL
 * bytes (UTF-16 without its mark) are refused: QNERROR_BAD_ENCODING.
 *
 * ---------------------------------------------------------------------------
 * Log records
 *   One line per record:
 *     YYYY-MM-DD HH:MM:SS.mmm LEVEL facility: text\n
 *   e.g. "2026-12-08 03:22:56.123 WARNING Brivane: link is down"
 *   Local time with milliseconds; LEVEL is FATAL, ERROR, WARNING, INFO or
 *   DEBUG; an empty or NULL facility leaves out "facility: ". Line breaks
 *   inside the text are kept (the record still is one write); trailing line
 *   breaks of the text are dropped and the record ends with exactly one "\n".
 *   Texts of any length are written whole.
 *
 * Settings, from the INI file's section [qnsys], read by QnLogOpen:
 *   logfile   path of the log file, relative to the INI file's directory;
 *             empty or absent: standard error. Opened for appending; each
 *             record is one write, so concurrent threads and processes never
 *             mix their bytes inside a line.
 *   loglevel  fatal, error, warning, info or debug (any letter case): records
 *             of that level and more severe ones are written. Default info;
 *             an unknown word means info and is reported in one WARNING
 *             record.
 *   logmaxsize whole MiB at which the log file is rotated: before a record
 *             would take it past the size, the file is closed, NAME.<keep>
 *             is removed, NAME.<k> renamed to NAME.<k+1> and NAME to
 *             NAME.1, and a new NAME is opened; no record is split between
 *             two files. 0 or absent: never (the file grows; an outside
 *             rotation renames it and calls QnLogOpen again). A rename that
 *             fails is reported once on standard error and tried again after
 *             another sixteenth of the size; records go on into NAME.
 *   logkeep   old files kept, 1 to 1000; default 5.
 *             A value of either key that is no such number means its default
 *             and is reported in one WARNING record.
 * Before QnLogOpen and after QnLogClose records go to standard error at level
 * info. The library's own records use the facility "qnsys".
 */
#ifndef QNSYS_QNSYS_H_
#define QNSYS_QNSYS_H_

#if defined(__MINGW32__) && !defined(__clang__)
/* QnSys.dll formats as C99 does (%zu, %lld), whatever the caller's stdio. */
#define QNSYS_API
#define QNSYS_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define QNSYS_API __attribute__((visibility("default")))
#define QNSYS_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define QNSYS_API
#define QNSYS_PRINTF(formatIndex, firstArgument)
#endif

/* The handle of the INI file opened by QnIniOpen. */
#define QNSYS_OPEN_INI (-1)

/* Error codes. */
#define QNERROR_INVALID_ARGUMENT 0xE0000001u /* a required pointer is NULL or a text is empty */
#define QNERROR_FILE_NOT_FOUND 0xE0000002u   /* no file under that path */
#define QNERROR_IS_DIRECTORY 0xE0000003u     /* the path names a directory */
#define QNERROR_ACCESS_DENIED 0xE0000004u    /* the file exists but may not be read */
#define QNERROR_NOT_REGULAR_FILE 0xE0000005u /* a device, FIFO or socket */
#define QNERROR_READ_FAILED 0xE0000006u      /* any other failure to read the file */
#define QNERROR_BAD_PATH 0xE0000007u         /* the path cannot be made absolute (too long, no current directory) */
#define QNERROR_NOT_OPEN 0xE0000008u         /* no INI file is open */
#define QNERROR_INVALID_HANDLE 0xE0000009u   /* an INI handle other than -1 */
#define QNERROR_BUFFER_TOO_SMALL 0xE000000Au /* the output does not fit the caller's buffer */
#define QNERROR_LOG_OPEN_FAILED 0xE000000Bu  /* the log file cannot be opened */
#define QNERROR_BAD_ENCODING 0xE000000Cu     /* the INI file's text is not in an encoding it can read */

/* How QnIniOpen read the file (QnIniGetEncoding). */
#define QNSYS_INI_BYTES 0     /* no byte order mark: the bytes as they are */
#define QNSYS_INI_UTF8 1      /* UTF-8 with its byte order mark */
#define QNSYS_INI_UTF16LE 2   /* UTF-16 little-endian with its byte order mark */
#define QNSYS_INI_UTF16BE 3   /* UTF-16 big-endian with its byte order mark */

#ifdef __cplusplus
extern "C" {
#endif

/* Called by QnIniCustEnumKeys once per key. `ini` is the handle passed to
 * QnIniCustEnumKeys; `key` and `value` are NUL-terminated and valid only
 * during the call. Return 0 to go on, anything else to stop. */
typedef int (*QnIniEnumKeysCallback)(int ini, const char* key, const char* value, void* context);

/* ---- INI file ------------------------------------------------------------ */

/* Called by QnIniCustEnumRefused once per section or key whose text the
 * ANSI code page could not write: `key` is "" for a section's own name.
 * Both are NUL-terminated, as converted ('?' for what could not be
 * written), and valid only during the call. Return 0 to go on. */
typedef int (*QnIniEnumRefusedCallback)(int ini, const char* section, const char* key, void* context);

/* QnIniOpen: reads the INI file at `path` into memory; a later change of the
 * file is not seen until it is opened again. A relative path is taken against
 * the current directory; the path is kept in absolute, lexically canonical
 * form ("." and ".." resolved as text, links not followed). An INI file
 * already open is closed first, so after a failure none is open.
 * Returns 0, QNERROR_INVALID_ARGUMENT (NULL or empty path),
 * QNERROR_FILE_NOT_FOUND, QNERROR_IS_DIRECTORY, QNERROR_ACCESS_DENIED,
 * QNERROR_NOT_REGULAR_FILE, QNERROR_BAD_PATH, QNERROR_READ_FAILED or
 * QNERROR_BAD_ENCODING (see Encodings above). */
QNSYS_API unsigned int QnIniOpen(const char* path);

/* QnIniGetEncoding: how the open INI file was read: QNSYS_INI_BYTES,
 * QNSYS_INI_UTF8, QNSYS_INI_UTF16LE or QNSYS_INI_UTF16BE; -1 when none is
 * open or `ini` is not -1. */
QNSYS_API int QnIniGetEncoding(int ini);

/* QnIniCustEnumRefused: calls `callback` for each section in force whose
 * name, and each key in force whose line (name or value), the ANSI code
 * page could not write, in file order. Their values read as converted, with
 * '?' in place: a program should refuse to use them.
 * Returns the first non-zero callback result, or 0. */
QNSYS_API int QnIniCustEnumRefused(int ini, QnIniEnumRefusedCallback callback, void* context);

/* QnIniClose: forgets the open INI file; does nothing when none is open.
 * Callbacks running in QnIniCustEnumKeys keep their file until they return. */
QNSYS_API void QnIniClose(void);

/* QnIniGetFileName: copies the open INI file's absolute path into `buffer`.
 * On entry *size is the buffer's size in bytes. On success the buffer holds
 * the NUL-terminated path and *size its length without the NUL.
 * Returns 0, QNERROR_INVALID_ARGUMENT (buffer or size NULL),
 * QNERROR_INVALID_HANDLE, QNERROR_NOT_OPEN, or QNERROR_BUFFER_TOO_SMALL; then
 * *size is the size needed including the NUL and the buffer holds "" when
 * *size was not 0. On the other failures neither is changed. */
QNSYS_API unsigned int QnIniGetFileName(int ini, char* buffer, unsigned int* size);

/* QnIniCustGetInt: the key's value read as an integer: blanks, an optional
 * sign, then decimal digits or "0x"/"0X" and hexadecimal digits; reading
 * stops at the first other byte ("12abc" is 12). Decimal values beyond the
 * int range saturate at INT_MIN/INT_MAX; hexadecimal values are 32-bit
 * patterns (only the low 32 bits count, so 0xFFFFFFFF is -1).
 * Returns `defaultValue` when the key is absent (also for a NULL section or
 * key, no open INI file, or a handle other than -1) and when its value holds
 * no number: empty, blanks only, a word ("Signed"), or a sign or "0x" without
 * digits after it. So a key that holds either a number or a name can be
 * read with a default no expected number equals; when that default comes
 * back, QnIniCustGetStr gives the name. */
QNSYS_API int QnIniCustGetInt(int ini, const char* section, const char* key, int defaultValue);

/* QnIniCustGetStr: copies the key's value, or `defaultValue` when the key is
 * absent (NULL means ""), into `buffer`: at most size-1 bytes, always
 * NUL-terminated when size > 0. A NULL section or key, no open INI file or a
 * handle other than -1 count as an absent key.
 * Returns the number of bytes copied, without the NUL (0 when buffer is NULL
 * or size is 0; then nothing is written). */
QNSYS_API unsigned int QnIniCustGetStr(int ini, char* buffer, unsigned int size, const char* section, const char* key,
                                       const char* defaultValue);

/* QnIniCustEnumKeys: calls `callback` for each key of `section`, in file
 * order, with `ini`, the key, its value and `context`. The callback may call
 * any function of this library (the keys it sees stay valid even when it
 * closes or reopens the INI file).
 * Returns the first non-zero callback result (which stops the walk), or 0 when
 * all keys were visited, the section is absent, or section or callback is
 * NULL. */
QNSYS_API int QnIniCustEnumKeys(int ini, const char* section, QnIniEnumKeysCallback callback, void* context);

/* ---- Log ------------------------------------------------------------------ */

/* QnLogOpen: applies the [qnsys] settings of the open INI file (see above).
 * `flags` is reserved; pass 0. Opening again reapplies the settings.
 * Returns 0; QNERROR_NOT_OPEN when no INI file is open (logging goes on to
 * standard error at level info); QNERROR_LOG_OPEN_FAILED when the log file
 * cannot be opened (logging goes to standard error at the configured level,
 * and an ERROR record there names the file). */
QNSYS_API unsigned int QnLogOpen(int flags);

/* QnLogClose: closes the log file; records go to standard error at level info
 * again. */
QNSYS_API void QnLogClose(void);

/* QnLog<Level>Ex: formats the printf-style text and writes one record of that
 * level when the level is enabled. A NULL format writes an empty text. */
QNSYS_API void QnLogInfoEx(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API void QnLogWarningEx(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API void QnLogErrorEx(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API void QnLogFatalEx(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);

/* Debug records, an addition of this library: QnLogDebugEx writes a DEBUG
 * record when the level is enabled ("loglevel=debug"); QnLogDebugFlag
 * returns the level's flag (as the trcheckEx_ calls do) without writing.
 * Host libraries without them exist: a caller that must run with those too
 * looks both up at run time and writes no debug records without them. */
QNSYS_API void QnLogDebugEx(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API int* QnLogDebugFlag(void);

/* trcheckEx_<call>: does what the plain call does and returns a pointer to
 * that level's flag: non-zero while the level is enabled. The flag lives for
 * the process lifetime and follows later QnLogOpen/QnLogClose calls; read it
 * atomically (the QN_LOG_ macros do). The _0 variant is the info call for
 * formats without arguments. */
QNSYS_API int* trcheckEx_QnLogInfoEx_(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API int* trcheckEx_QnLogWarningEx_(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API int* trcheckEx_QnLogErrorEx_(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);
QNSYS_API int* trcheckEx_QnLogInfoEx_0(const char* facility, const char* format, ...) QNSYS_PRINTF(2, 3);

/* QnSystemLogEx: a critical record. Writes one FATAL record with the facility
 * "system" and the text "<title> <formatted text>" (just the formatted text
 * when title is NULL or empty) to the log, and the same record to standard
 * error as well when the log is a file. `level` and `flags` are accepted for
 * the callers' sake and do not change the record: it is always FATAL. */
QNSYS_API void QnSystemLogEx(int level, const char* title, int flags, const char* format, ...) QNSYS_PRINTF(4, 5);

#ifdef __cplusplus
} /* extern "C" */

#include <atomic>

/* Guarded logging. Each call site keeps the level flag's pointer in its own
 * cache. The first call goes through the trcheckEx_ variant (which writes the
 * record when enabled) and fills the cache; later calls skip formatting
 * entirely while the level is disabled. Fatal records are always written.
 * Usage: QN_LOG_WARNING("Brivane", "rule %s: %d files", name, count);
 * Thread-safe. While the level is disabled the arguments are not evaluated
 * (except on the site's first call). */
#define QNSYS_GUARDED_LOG_(checkedCall, plainCall, ...)                                           \
  do {                                                                                            \
    static std::atomic<int*> qnsysSiteFlag_{nullptr};                                             \
    int* const qnsysFlag_ = qnsysSiteFlag_.load(std::memory_order_acquire);                       \
    if (qnsysFlag_ == nullptr) {                                                                  \
      qnsysSiteFlag_.store(checkedCall(__VA_ARGS__), std::memory_order_release);                  \
    } else if (std::atomic_ref<int>(*qnsysFlag_).load(std::memory_order_relaxed) != 0) {          \
      plainCall(__VA_ARGS__);                                                                     \
    }                                                                                             \
  } while (0)

#define QN_LOG_INFO(facility, format, ...) \
  QNSYS_GUARDED_LOG_(trcheckEx_QnLogInfoEx_, QnLogInfoEx, facility, format __VA_OPT__(, ) __VA_ARGS__)
#define QN_LOG_INFO0(facility, format) QNSYS_GUARDED_LOG_(trcheckEx_QnLogInfoEx_0, QnLogInfoEx, facility, format)
#define QN_LOG_WARNING(facility, format, ...) \
  QNSYS_GUARDED_LOG_(trcheckEx_QnLogWarningEx_, QnLogWarningEx, facility, format __VA_OPT__(, ) __VA_ARGS__)
#define QN_LOG_ERROR(facility, format, ...) \
  QNSYS_GUARDED_LOG_(trcheckEx_QnLogErrorEx_, QnLogErrorEx, facility, format __VA_OPT__(, ) __VA_ARGS__)
#define QN_LOG_FATAL(facility, format, ...) \
  do {                                      \
    QnLogFatalEx(facility, format __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

#endif /* __cplusplus */

#endif /* QNSYS_QNSYS_H_ */
