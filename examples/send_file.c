/*
 * send_file: a minimal client of the document-exchange service.
 *
 *   send_file SETTINGS.ini EMAIL@TICKER.SERVICE FILE [URL]
 *
 * Opens a context for the participant described by SETTINGS.ini, prints the
 * service version, and sends FILE as the attachment of one message to the
 * address, through the delivery URL (default "send"). Prints the message id.
 *
 * Build against an installed library:
 *   cc send_file.c $(pkg-config --cflags --libs dravontdll) -o send_file
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <dravont/dravontdll.h>

static void* allocate(unsigned int size) { return malloc(size); }

static int fail(const char* what) {
  const char* reason = GetLastDravontError();
  fprintf(stderr, "send_file: %s: %s\n", what, reason ? reason : "unknown error");
  return 1;
}

/* Splits "EMAIL@TICKER.SERVICE" into its two parts. */
static int splitAddress(const char* address, char* ticker, char* service, size_t size) {
  const char* at = strchr(address, '@');
  const char* dot = at ? strchr(at, '.') : NULL;
  if (at == NULL || dot == NULL || (size_t)(dot - at - 1) >= size || strlen(dot + 1) >= size) return 0;
  memcpy(ticker, at + 1, (size_t)(dot - at - 1));
  ticker[dot - at - 1] = '\0';
  strcpy(service, dot + 1);
  return ticker[0] != '\0' && service[0] != '\0';
}

int main(int argc, char** argv) {
  int major, minor, third, fourth, status = 0, result = 1;
  char ticker[64], service[64];
  char* messageId = NULL;
  DravontContext_s* context;
  DravontAddress_s address;
  DravontStream_s stream;
  DravontMessage_s message;
  DravontURL url;

  if (argc < 4 || argc > 5) {
    fprintf(stderr, "usage: send_file SETTINGS.ini EMAIL@TICKER.SERVICE FILE [URL]\n");
    return 2;
  }
  if (!splitAddress(argv[2], ticker, service, sizeof ticker)) {
    fprintf(stderr, "send_file: not an address: %s\n", argv[2]);
    return 2;
  }

  if (GetServiceVersion(&major, &minor, &third, &fourth) != 0) return fail("service version");
  printf("service version %d.%d.%d.%d\n", major, minor, third, fourth);

  context = InitContext(argv[1], allocate, &status);
  if (context == NULL) return fail("open context");

  if (InitDravontAddress(&address, context, ticker, service, "", "", "") != 0) {
    fail("address");
  } else if (InitDravontStreamFromFile(&stream, context, argv[3], "rb", "") != 0) {
    fail("open file");
  } else {
    if (InitDravontMessage(&message, context, &address, "") != 0) {
      fail("message");
    } else {
      if (DravontAttachStreamToMessage(&message, &stream, Cleartext) != 0) {
        fail("attach");
      } else if (InitDravontURL(&url, context, argc == 5 ? argv[4] : "send", "({})") != 0) {
        fail("delivery URL");
      } else {
        if (PostMessageTo(&message, &url, &messageId) != 0) {
          fail("post");
        } else {
          printf("sent %s as message %s\n", argv[3], messageId ? messageId : "(no id)");
          result = 0;
        }
        free(messageId);
        FreeDravontURL(&url);
      }
      FreeDravontMessage(&message);
    }
    FreeDravontStream(&stream);
  }
  FreeDravontAddress(&address);
  FreeContext(context);
  return result;
}
