/* Prints a Paradox table as pxlib reads it: the header facts and fields,
 * then one line per record, values separated by " | " (NULL for null,
 * dates as YYYY-MM-DD, times as HH:MM:SS, timestamps as both).
 * Blob fields are not read: pxlib cannot open .mb files.
 * Usage: paradox_oracle TABLE.db      (a test tool, linked only into tests) */
#include <paradox.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void onError(pxdoc_t *p, int type, const char *msg, void *data) {
  (void)p; (void)type; (void)data;
  fprintf(stderr, "pxlib: %s\n", msg);
  exit(2);
}

int main(int argc, char **argv) {
  if (argc != 2) return 64;
  PX_boot();
  pxdoc_t *px = PX_new2(onError, NULL, NULL, NULL);
  if (PX_open_file(px, argv[1]) < 0) return 3;
  PX_set_parameter(px, "targetencoding", "UTF-8");
  pxfield_t *fields = PX_get_fields(px);
  int count = PX_get_num_fields(px);
  printf("version %d type %d codepage %d\n", px->px_head->px_fileversion, px->px_head->px_filetype,
         px->px_head->px_doscodepage);
  for (int i = 0; i < count; i++) printf("%s%s:%d:%d", i ? " " : "", fields[i].px_fname, fields[i].px_ftype, fields[i].px_flen);
  printf("\n");
  int records = PX_get_num_records(px);
  for (int r = 0; r < records; r++) {
    pxval_t **values = PX_retrieve_record(px, r);
    if (!values) return 4;
    for (int i = 0; i < count; i++) {
      pxval_t *v = values[i];
      if (i) printf(" | ");
      if (v->isnull) {
        printf("NULL");
      } else {
        switch (v->type) {
          case pxfAlpha: printf("%.*s", v->value.str.len, v->value.str.val); break;
          case pxfShort: case pxfLong: case pxfAutoInc: printf("%ld", v->value.lval); break;
          case pxfNumber: case pxfCurrency: printf("%.17g", v->value.dval); break;
          case pxfLogical: printf("%s", v->value.lval ? "true" : "false"); break;
          case pxfDate: {
            int y, m, d;
            PX_SdnToGregorian(v->value.lval + 1721425, &y, &m, &d);
            printf("%04d-%02d-%02d", y, m, d);
            break;
          }
          case pxfTime: printf("%s", PX_time2string(px, v->value.lval, "H:i:s")); break;
          case pxfTimestamp: printf("%s", PX_timestamp2string(px, v->value.dval, "Y-m-d H:i:s")); break;
          default: printf("?"); break;
        }
      }
    }
    printf("\n");
  }
  PX_close(px);
  PX_delete(px);
  return 0;
}
