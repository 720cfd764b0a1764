/* A C11 program on the C interface: the year of a date, the errors it can meet, and a
 * prepared text. */
#include <quarn/quarn_c.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  quarn_error error;
  quarn_pattern* date = quarn_compile("(\\d{4})-(\\d\\d)", QUARN_NUL_TERMINATED, 0, &error);
  if (date == NULL) return 1;
  quarn_span spans[3];
  const char* text = "on 2026-12";
  if (quarn_search(date, text, QUARN_NUL_TERMINATED, 0, NULL, spans, 3, &error) != QUARN_MATCH) {
    return 1;
  }
  printf("consumer_c: %.*s", (int)(spans[1].end - spans[1].start), text + spans[1].start);

  /* A pattern error, then a search that runs into the depth limit: errors, not "no match". */
  if (quarn_compile("ab(c", QUARN_NUL_TERMINATED, 0, &error) != NULL) return 1;
  printf(" %d@%lld", (int)error.number, (long long)error.position);
  quarn_pattern* star = quarn_compile("a*", QUARN_NUL_TERMINATED, 0, &error);
  char many[601];
  memset(many, 'a', 600);
  many[600] = '\0';
  if (quarn_search(star, many, QUARN_NUL_TERMINATED, 0, NULL, spans, 1, &error) != QUARN_ERROR ||
      error.kind != QUARN_KIND_DEPTH_LIMIT) {
    return 1;
  }
  printf(" %d", (int)error.number);
  quarn_limits deeper = {2000, 0, 0, NULL};
  if (quarn_search(star, many, QUARN_NUL_TERMINATED, 0, &deeper, spans, 1, &error) != QUARN_MATCH) {
    return 1;
  }
  printf(" %lld", (long long)spans[0].end);

  /* A text decoded once: the year after a 4-byte character, in bytes. */
  quarn_text* prepared =
      quarn_text_new("\xF0\x9F\x8E\xB6 2026-12", QUARN_NUL_TERMINATED, NULL, &error);
  if (prepared == NULL ||
      quarn_search_text(date, prepared, 4, NULL, spans, 3, &error) != QUARN_MATCH) {
    return 1;
  }
  printf(" %lld\n", (long long)spans[1].start);
  quarn_text_free(prepared);
  quarn_free(star);
  quarn_free(date);
  return 0;
}
