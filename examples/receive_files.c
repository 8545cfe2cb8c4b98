/*
 * receive_files: collects the messages waiting for a participant, saves
 * their attachments into a directory and confirms each message.
 *
 *   receive_files SETTINGS.ini DIRECTORY [URL]
 *
 * URL names the receiving channel (default "receive"). Prints one line per
 * saved attachment. A message whose attachments cannot all be saved is
 * rejected with the reason, so that its sender learns of it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <dravont/dravontdll.h>

static void* allocate(unsigned int size) { return malloc(size); }

static const char* lastError(void) {
  const char* reason = GetLastDravontError();
  return reason ? reason : "unknown error";
}

/* True for a name that stays inside the directory on Windows and POSIX
 * alike: not empty, not "." or "..", without separators or a drive colon
 * (which would also name an alternate data stream on Windows). */
static int isPlainName(const char* name) {
  return name != NULL && name[0] != '\0' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
         strpbrk(name, "/\\:") == NULL;
}

/* Saves attachment `index` of the message under its own name in `directory`.
 * Returns 0 on success; on failure `reason` holds why. */
static int saveAttachment(DravontContext_s* context, DravontMessage_s* message, int index, const char* directory,
                          char* reason, size_t reasonSize) {
  char* name = NULL;
  char path[4096];
  DravontStream_s file;
  unsigned int size = 0;
  int result = 1;
  if (GetDravontMessageAttachmentSize(message, index, &size) != 0) {
    snprintf(reason, reasonSize, "attachment %d: %s", index, lastError());
  } else if (GetDravontMessageAttachmentFilename(message, index, &name) != 0 || !isPlainName(name)) {
    snprintf(reason, reasonSize, "attachment %d has no usable name: %s", index, name ? name : lastError());
  } else if ((size_t)snprintf(path, sizeof path, "%s/%s", directory, name) >= sizeof path) {
    snprintf(reason, reasonSize, "path too long for %s", name);
  } else if (InitDravontStreamFromFile(&file, context, path, "wb+", "") != 0) {
    snprintf(reason, reasonSize, "cannot create %.200s: %.250s", path, lastError());
  } else {
    /* The save answers the number of bytes written: anything but the
     * attachment's size is a failure, explained by the last error. */
    if (SaveDravontMessageAttachment(message, index, &file) != size) {
      snprintf(reason, reasonSize, "cannot save %.200s: %.250s", path, lastError());
    } else {
      printf("saved %s (%u bytes)\n", path, size);
      result = 0;
    }
    FreeDravontStream(&file);
  }
  free(name);
  return result;
}

int main(int argc, char** argv) {
  int status = 0, saved = 0;
  unsigned int count = 0, i;
  DravontContext_s* context;
  DravontURL url;
  DravontMessage_s* messages = NULL;

  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: receive_files SETTINGS.ini DIRECTORY [URL]\n");
    return 2;
  }
  context = InitContext(argv[1], allocate, &status);
  if (context == NULL) {
    fprintf(stderr, "receive_files: open context: %s\n", lastError());
    return 1;
  }
  if (InitDravontURL(&url, context, argc == 4 ? argv[3] : "receive", "({})") != 0) {
    fprintf(stderr, "receive_files: receiving URL: %s\n", lastError());
    FreeContext(context);
    return 1;
  }
  if (DravontCollect(&url, NULL, &count, &messages) != 0) {
    fprintf(stderr, "receive_files: collect: %s\n", lastError());
    count = 0;
  }
  for (i = 0; i < count; ++i) {
    int attachments = 0, a, failed = 0;
    char reason[512] = "";
    if (GetNumOfDravontMessageAttachments(&messages[i], &attachments) != 0) {
      snprintf(reason, sizeof reason, "cannot count attachments: %s", lastError());
      failed = 1;
    }
    for (a = 1; !failed && a <= attachments; ++a) failed = saveAttachment(context, &messages[i], a, argv[2], reason, sizeof reason);
    if (Confirm(&url, &messages[i], failed ? 1 : 0, failed ? reason : "", &url) != 0) {
      fprintf(stderr, "receive_files: confirm: %s\n", lastError());
    }
    if (!failed) ++saved;
    FreeDravontMessage(&messages[i]);
  }
  free(messages);
  printf("%d of %u messages received\n", saved, count);
  FreeDravontURL(&url);
  FreeContext(context);
  return 0;
}
