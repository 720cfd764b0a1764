/* The C interface of Quarn: compiled patterns as opaque handles, searches into buffers that
 * the caller owns, and errors as codes and texts. Nothing is ever thrown across it, and a
 * failed call leaves every handle usable.
 *
 *   quarn_error error;
 *   quarn_pattern* date = quarn_compile("(\\d{4})-(\\d\\d)", (size_t)-1, 0, &error);
 *   quarn_span spans[3];
 *   if (quarn_search(date, "on 2026-12", (size_t)-1, 0, NULL, spans, 3, &error) == QUARN_MATCH)
 *     printf("year at byte %lld\n", (long long)spans[1].start);
 *   quarn_free(date);
 *
 * The pattern language and the answers are those of the C++ API (quarn/pattern.h).
 * Positions are 0-based and spans half-open: bytes for UTF-8 texts, 16-bit units for UTF-16.
 * A start must lie where a character begins: a start past the end of the text, or inside a
 * UTF-8 sequence, gives QUARN_INVALID_ARGUMENT (error 20053).
 *
 * quarn_search decodes a UTF-8 text on every call; a quarn_text is decoded once, so that a
 * loop of searches over one long text costs no more than one pass:
 *
 *   quarn_text* text = quarn_text_new(bytes, length, NULL, &error);
 *   for (size_t start = 0; quarn_search_text(p, text, start, NULL, spans, 1, &error) ==
 *                          QUARN_MATCH;) { ...; start = next start; }
 *   quarn_text_free(text);
 *
 * Thread safety: a pattern and a text may be searched by any number of threads at once; a
 * cancel token may be set from any thread. */
#ifndef QUARN_QUARN_C_H
#define QUARN_QUARN_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QUARN_C_API __attribute__((visibility("default")))
#else
#define QUARN_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Option flags, as in quarn/quarn.h. */
#define QUARN_IGNORE_CASE 1
#define QUARN_SINGLE_LINE 2
#define QUARN_MULTILINE 4

/* What quarn_search answers. */
#define QUARN_MATCH 1
#define QUARN_NO_MATCH 0
#define QUARN_ERROR (-1)            /* the engine's error: see the quarn_error */
#define QUARN_INVALID_ARGUMENT (-2) /* a null handle or buffer, a start out of range */

/* Pass as a length to read a NUL-terminated text. */
#define QUARN_NUL_TERMINATED ((size_t)-1)

typedef struct quarn_pattern quarn_pattern;
typedef struct quarn_text quarn_text;
typedef struct quarn_cancel quarn_cancel;

typedef struct quarn_span {
  int64_t start; /* -1 for a group that took no part in the match */
  int64_t end;
} quarn_span;

/* What one search may spend; a zero field keeps its default (depth 1000, subject length
 * 32766, no step budget). */
typedef struct quarn_limits {
  uint32_t depth;
  uint64_t subject_length;
  uint64_t steps;
  const quarn_cancel* cancel; /* NULL: none */
} quarn_limits;

/* What went wrong, whatever the number (quarn::ErrorKind in quarn/errors.h): callers test the
 * kind, never the text. 20052 is QUARN_KIND_PATTERN_SYNTAX or QUARN_KIND_DEPTH_LIMIT, and 6
 * QUARN_KIND_OVERFLOW (a count of the pattern) or QUARN_KIND_SUBJECT_LENGTH. */
#define QUARN_KIND_NONE 0
#define QUARN_KIND_PATTERN_SYNTAX 1
#define QUARN_KIND_DEPTH_LIMIT 2
#define QUARN_KIND_OVERFLOW 3
#define QUARN_KIND_SUBJECT_LENGTH 4
#define QUARN_KIND_STEP_BUDGET 5
#define QUARN_KIND_CANCELLED 6
#define QUARN_KIND_INVALID_UTF8 7
#define QUARN_KIND_OUT_OF_MEMORY 8
#define QUARN_KIND_INVALID_OPTIONS 9
#define QUARN_KIND_INVALID_ARGUMENT 10
#define QUARN_KIND_NO_STORED_MATCH 11
#define QUARN_KIND_INTERNAL 12

typedef struct quarn_error {
  int32_t number;    /* 0 when there was none; the engine's numbers otherwise */
  int32_t kind;      /* QUARN_KIND_*: QUARN_KIND_NONE when there was none */
  int64_t position;  /* in the pattern (bytes or units, as it was given), -1 when unknown */
  size_t length;     /* the full length of the message in bytes; above 255 it was cut */
  char message[256]; /* "Error #" + number + ": " + description, UTF-8, NUL-terminated */
} quarn_error;

/* Compiles a UTF-8 or UTF-16 pattern. Returns NULL when it does not compile or memory runs
 * out; error (may be NULL) then says why. */
QUARN_C_API quarn_pattern* quarn_compile(const char* pattern, size_t length, int32_t flags,
                                         quarn_error* error);
QUARN_C_API quarn_pattern* quarn_compile16(const uint16_t* pattern, size_t length, int32_t flags,
                                           quarn_error* error);
QUARN_C_API void quarn_free(quarn_pattern* pattern); /* NULL is allowed */

/* The number of capturing groups, or QUARN_INVALID_ARGUMENT for a null handle. */
QUARN_C_API int quarn_group_count(const quarn_pattern* pattern);

/* Searches text for the leftmost match that starts at or after start. spans receives the
 * match and then each group, as many as span_count allows (the group count + 1 is enough).
 * limits may be NULL for the defaults, error NULL when not wanted. */
QUARN_C_API int quarn_search(const quarn_pattern* pattern, const char* text, size_t length,
                             size_t start, const quarn_limits* limits, quarn_span* spans,
                             size_t span_count, quarn_error* error);
QUARN_C_API int quarn_search16(const quarn_pattern* pattern, const uint16_t* text, size_t length,
                               size_t start, const quarn_limits* limits, quarn_span* spans,
                               size_t span_count, quarn_error* error);

/* A subject prepared once for many searches (quarn::Text): UTF-8 decoded once, or UTF-16 as
 * it is. The caller's text is not copied: it must stay unchanged until quarn_text_free. A
 * UTF-8 text longer than the subject length of limits (NULL: the default, 32766 UTF-16
 * units) is refused before it is decoded (error 6), and ill-formed UTF-8 gives error 20055;
 * both return NULL with the error. */
QUARN_C_API quarn_text* quarn_text_new(const char* text, size_t length, const quarn_limits* limits,
                                       quarn_error* error);
QUARN_C_API quarn_text* quarn_text_new16(const uint16_t* text, size_t length, quarn_error* error);
QUARN_C_API void quarn_text_free(quarn_text* text); /* NULL is allowed */

/* quarn_search on a prepared text: start and spans in bytes for a UTF-8 text, in 16-bit units
 * for a UTF-16 one. */
QUARN_C_API int quarn_search_text(const quarn_pattern* pattern, const quarn_text* text,
                                  size_t start, const quarn_limits* limits, quarn_span* spans,
                                  size_t span_count, quarn_error* error);

/* What the engine knows about a pattern before any search, as one JSON document (UTF-8,
 * NUL-terminated, described in docs/pattern-analysis.md): how it reads the pattern, every
 * fault that a search of it could meet, warnings, and facts that every match satisfies. A
 * pattern that does not compile gives its error as its one diagnostic. Free the text with
 * quarn_string_free. NULL when pattern is NULL or memory runs out. */
QUARN_C_API char* quarn_analyze(const char* pattern, size_t length, int32_t flags);
QUARN_C_API char* quarn_analyze16(const uint16_t* pattern, size_t length, int32_t flags);
QUARN_C_API void quarn_string_free(char* text); /* NULL is allowed */

/* The faults that a search of the pattern could meet, found before any search: returns how
 * many (0: none; warnings are not counted) and puts the first, by its place in the pattern,
 * into first (may be NULL; position: where the faulty construct begins). QUARN_ERROR when
 * memory runs out, QUARN_INVALID_ARGUMENT for a null pattern. */
QUARN_C_API int quarn_check(const char* pattern, size_t length, int32_t flags, quarn_error* first);
QUARN_C_API int quarn_check16(const uint16_t* pattern, size_t length, int32_t flags,
                              quarn_error* first);

/* A flag that ends the searches given it (with error 20057) once it is set. */
QUARN_C_API quarn_cancel* quarn_cancel_new(void);
QUARN_C_API void quarn_cancel_set(quarn_cancel* cancel);
QUARN_C_API void quarn_cancel_reset(quarn_cancel* cancel);
QUARN_C_API void quarn_cancel_free(quarn_cancel* cancel);

/* The library's version, e.g. "1.1.0". */
QUARN_C_API const char* quarn_version(void);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_QUARN_C_H */
