/* A plain blocking POP3 client with the same commands as a check: the floor the bench
 * compares against. Per mailbox: USER, PASS, STAT, LAST, UIDL, "TOP n 0" for every message
 * after the saved unique-id, QUIT. With --pipeline the TOP commands go out in windows.
 *
 *   pop3_floor [--pipeline] HOST PORT USER:PASSWORD:SAVED_UIDL ...
 *
 * Prints one line per mailbox: user, message count, new count, header bytes. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kWindowCommands = 64, kWindowBytes = 16384 };

static char *buffer;
static size_t bufferSize, bufferUsed, bufferRead;

static void Fail(const char *what) {
  fprintf(stderr, "pop3_floor: %s\n", what);
  exit(2);
}

static void SendAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, 0);
    if (n <= 0) Fail("send failed");
    data += n;
    size -= (size_t)n;
  }
}

static void Fill(int fd) {
  if (bufferRead > 0 && bufferRead == bufferUsed) bufferRead = bufferUsed = 0;
  if (bufferSize - bufferUsed < 65536) {
    bufferSize = bufferSize * 2 + 65536;
    buffer = realloc(buffer, bufferSize);
    if (buffer == NULL) Fail("out of memory");
  }
  ssize_t n = recv(fd, buffer + bufferUsed, bufferSize - bufferUsed, 0);
  if (n <= 0) Fail("connection closed");
  bufferUsed += (size_t)n;
}

/* One reply line; returns its start inside the buffer and its length without CR LF. */
static char *ReadLine(int fd, size_t *length) {
  for (;;) {
    char *start = buffer + bufferRead;
    char *end = memmem(start, bufferUsed - bufferRead, "\r\n", 2);
    if (end != NULL) {
      *length = (size_t)(end - start);
      bufferRead += *length + 2;
      return start;
    }
    Fill(fd);
  }
}

/* A multi-line reply after its status line: returns the body, up to the dot line. */
static char *ReadBlock(int fd, size_t *length) {
  size_t scanned = 0; /* bytes after the start already searched for the end */
  for (;;) {
    /* Fill may move the buffer or shift the unread bytes to its start: offsets only. */
    char *start = buffer + bufferRead;
    size_t have = bufferUsed - bufferRead;
    if (have >= 3 && memcmp(start, ".\r\n", 3) == 0) {
      *length = 0;
      bufferRead += 3;
      return start;
    }
    size_t from = scanned > 4 ? scanned - 4 : 0;
    char *end = have > from ? memmem(start + from, have - from, "\r\n.\r\n", 5) : NULL;
    if (end != NULL) {
      *length = (size_t)(end - start) + 2;
      bufferRead += *length + 3;
      return start;
    }
    scanned = have;
    Fill(fd);
  }
}

static int Command(int fd, const char *line) {
  char text[512];
  int n = snprintf(text, sizeof text, "%s\r\n", line);
  SendAll(fd, text, (size_t)n);
  size_t length;
  char *reply = ReadLine(fd, &length);
  return length >= 3 && memcmp(reply, "+OK", 3) == 0;
}

static int Connect(const char *host, const char *port) {
  struct addrinfo hints = {0}, *found;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(host, port, &hints, &found) != 0) Fail("host not found");
  int fd = socket(found->ai_family, SOCK_STREAM, 0);
  if (fd < 0 || connect(fd, found->ai_addr, found->ai_addrlen) != 0) Fail("connect failed");
  freeaddrinfo(found);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

static void Check(const char *host, const char *port, char *spec, int pipeline) {
  char *user = strtok(spec, ":");
  char *password = strtok(NULL, ":");
  char *saved = strtok(NULL, ":");
  if (user == NULL || password == NULL) Fail("mailbox is USER:PASSWORD[:UIDL]");
  int fd = Connect(host, port);
  bufferUsed = bufferRead = 0;
  size_t length;
  char line[512];
  ReadLine(fd, &length);
  snprintf(line, sizeof line, "USER %s", user);
  if (!Command(fd, line)) Fail("USER refused");
  snprintf(line, sizeof line, "PASS %s", password);
  if (!Command(fd, line)) Fail("PASS refused");
  SendAll(fd, "STAT\r\n", 6);
  char *reply = ReadLine(fd, &length);
  long count = length > 4 ? strtol(reply + 4, NULL, 10) : 0;
  Command(fd, "LAST");
  if (!Command(fd, "UIDL")) Fail("UIDL refused");
  char *listing = ReadBlock(fd, &length);
  /* The new messages follow the saved id; an unknown id makes every message new. */
  long first = 1;
  if (saved != NULL && *saved != '\0') {
    size_t savedLength = strlen(saved);
    char *at = listing, *end = listing + length;
    while (at < end) {
      char *lineEnd = memmem(at, (size_t)(end - at), "\r\n", 2);
      if (lineEnd == NULL) break;
      char *space = memchr(at, ' ', (size_t)(lineEnd - at));
      if (space != NULL && (size_t)(lineEnd - space - 1) == savedLength &&
          memcmp(space + 1, saved, savedLength) == 0) {
        first = strtol(at, NULL, 10) + 1;
        break;
      }
      at = lineEnd + 2;
    }
  }
  size_t headerBytes = 0;
  /* Without pipelining one TOP waits for its reply; with it a window of commands stays in
   * flight, bounded in count and bytes, and the replies come back in order. */
  long next = first;
  int inFlight = 0;
  size_t bytesInFlight = 0;
  size_t commandBytes[kWindowCommands];
  int head = 0;
  while (next <= count || inFlight > 0) {
    char window[kWindowBytes + 64];
    size_t windowUsed = 0;
    /* Refilled once an eighth of the window is answered: writes of several commands. */
    int refill = !pipeline || inFlight + kWindowCommands / 8 <= kWindowCommands;
    while (refill && next <= count && inFlight < (pipeline ? kWindowCommands : 1) &&
           bytesInFlight < kWindowBytes) {
      int n = snprintf(window + windowUsed, sizeof window - windowUsed, "TOP %ld 0\r\n", next);
      windowUsed += (size_t)n;
      bytesInFlight += (size_t)n;
      commandBytes[(head + inFlight) % kWindowCommands] = (size_t)n;
      ++next;
      ++inFlight;
    }
    if (windowUsed > 0) SendAll(fd, window, windowUsed);
    reply = ReadLine(fd, &length);
    if (length >= 3 && memcmp(reply, "+OK", 3) == 0) {
      ReadBlock(fd, &length);
      headerBytes += length;
    }
    bytesInFlight -= commandBytes[head];
    head = (head + 1) % kWindowCommands;
    --inFlight;
  }
  Command(fd, "QUIT");
  close(fd);
  printf("%s %ld messages, %ld new, %zu header bytes\n", user, count, count - first + 1,
         headerBytes);
}

int main(int argc, char **argv) {
  int pipeline = 0;
  int arg = 1;
  if (arg < argc && strcmp(argv[arg], "--pipeline") == 0) {
    pipeline = 1;
    ++arg;
  }
  if (argc - arg < 3) Fail("usage: pop3_floor [--pipeline] HOST PORT USER:PASSWORD:UIDL ...");
  const char *host = argv[arg], *port = argv[arg + 1];
  for (int i = arg + 2; i < argc; ++i) Check(host, port, argv[i], pipeline);
  free(buffer);
  return 0;
}
