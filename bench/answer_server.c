#define _GNU_SOURCE
/* An app that answers at once: it publishes a control file in the given APPDATA folder and
 * answers every connection, after its request line, with one fixed answer line. It ends by
 * itself after a lifetime (default 900 s) so that a benchmark run never leaves it behind.
 *
 *   answer_server APPDATA status|big [LIFETIME_SECONDS]
 *
 * "status" answers with a small status answer; "big" with an answer line of close to 8 MiB,
 * the most the program reads.
 */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kMaxFrame = 8 * 1024 * 1024 };

static const char kStatusAnswer[] =
    "{\"ok\":true,\"data\":{\"activeTabId\":\"tab-2\",\"app\":\"Quillboard\",\"formats\":["
    "{\"extension\":\"docx\",\"label\":\"Word document\",\"writable\":true},"
    "{\"extension\":\"xlsx\",\"label\":\"Excel workbook\",\"writable\":true},"
    "{\"extension\":\"pdf\",\"label\":\"PDF\",\"writable\":false}],"
    "\"tabs\":[{\"dirty\":false,\"id\":\"tab-1\",\"path\":\"C:\\\\Users\\\\ana\\\\Notes.md\","
    "\"revision\":3,\"title\":\"Notes.md\"},{\"dirty\":true,\"id\":\"tab-2\",\"path\":null,"
    "\"revision\":17,\"title\":\"Résumé – draft\"}],\"version\":\"0.1.75\"}}\n";

static void append(char** at, const char* text) {
  size_t n = strlen(text);
  memcpy(*at, text, n);
  *at += n;
}

/* A realistic large answer: many small objects with strings (escapes and non-ASCII included),
 * integers and decimals, ending in a line feed, never longer than the frame limit. */
static size_t make_big_answer(char* out) {
  char* at = out;
  append(&at, "{\"ok\":true,\"data\":{\"items\":[");
  char item[256];
  for (int i = 0;; ++i) {
    int n = snprintf(item, sizeof item,
                     "%s{\"id\":%d,\"kind\":\"paragraph\",\"text\":\"Section %d: café «quoted» "
                     "\\\"text\\\" with a tab\\t and ✓\",\"width\":%d.25}",
                     i ? "," : "", i, i, i % 1000);
    if ((size_t)(at - out) + (size_t)n + 4 > kMaxFrame) break;
    append(&at, item);
  }
  append(&at, "]}}\n");
  return (size_t)(at - out);
}

static int publish(const char* appdata, unsigned port) {
  char dir[4096], path[4200], temp[4300], text[256];
  snprintf(dir, sizeof dir, "%s/com.vantix.office", appdata);
  if (mkdir(dir, 0700) != 0 && errno != EEXIST) return 0;
  snprintf(path, sizeof path, "%s/cli-control.json", dir);
  snprintf(temp, sizeof temp, "%s.tmp", path);
  int len = snprintf(text, sizeof text,
                     "{\"version\":3,\"socket\":\"127.0.0.1:%u\",\"token\":\"bench\",\"pid\":%d}",
                     port, (int)getpid());
  FILE* f = fopen(temp, "wbe");
  if (!f) return 0;
  int ok = fwrite(text, 1, (size_t)len, f) == (size_t)len;
  ok = (fclose(f) == 0) && ok;
  return ok && rename(temp, path) == 0;
}

/* Reads up to the request's line feed, so that closing afterwards sends no reset. */
static void read_request_line(int fd) {
  char buffer[4096];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || memchr(buffer, '\n', (size_t)n)) return;
  }
}

static void send_all(int fd, const char* bytes, size_t len) {
  while (len > 0) {
    ssize_t n = send(fd, bytes, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    len -= (size_t)n;
  }
}

int main(int argc, char** argv) {
  if (argc < 3 || (strcmp(argv[2], "status") != 0 && strcmp(argv[2], "big") != 0)) {
    fprintf(stderr, "usage: answer_server APPDATA status|big [LIFETIME_SECONDS]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  alarm(argc > 3 ? (unsigned)atoi(argv[3]) : 900u);

  const char* answer = kStatusAnswer;
  size_t answer_len = sizeof kStatusAnswer - 1;
  if (strcmp(argv[2], "big") == 0) {
    char* big = malloc(kMaxFrame);
    if (!big) return 1;
    answer_len = make_big_answer(big);
    answer = big;
  }

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in addr = {0};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || bind(listener, (struct sockaddr*)&addr, len) != 0 ||
      listen(listener, 128) != 0 || getsockname(listener, (struct sockaddr*)&addr, &len) != 0) {
    perror("answer_server: listen");
    return 1;
  }
  if (!publish(argv[1], ntohs(addr.sin_port))) {
    perror("answer_server: control file");
    return 1;
  }
  for (;;) {
    int fd = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      perror("answer_server: accept");
      return 1;
    }
    read_request_line(fd);
    send_all(fd, answer, answer_len);
    close(fd);
  }
}
