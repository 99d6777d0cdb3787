/* The floor of one command's whole process: read the control file, connect to the loopback
 * address it names, send one fixed request line and copy the answer line to stdout. No JSON
 * is parsed beyond finding the "socket" text, so nothing can run faster on the same road.
 *
 *   floor_client CONTROL_FILE
 *   floor_client --socket 127.0.0.1:PORT
 */
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kMaxFrame = 8 * 1024 * 1024, kChunk = 64 * 1024 };

static const char kRequest[] = "{\"token\":\"bench\",\"op\":\"status\",\"params\":{}}\n";

static int fail(const char* what) {
  fprintf(stderr, "floor_client: %s: %s\n", what, strerror(errno));
  return 1;
}

/* Copies the value of "socket" out of the control file text; 0 when there is none. */
static int socket_from_control(const char* path, char* out, size_t cap) {
  char text[4096];
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return 0;
  text[n] = '\0';
  const char* key = strstr(text, "\"socket\"");
  if (!key) return 0;
  const char* start = strchr(key + 8, '"');
  if (!start) return 0;
  const char* end = strchr(++start, '"');
  if (!end || (size_t)(end - start) >= cap) return 0;
  memcpy(out, start, (size_t)(end - start));
  out[end - start] = '\0';
  return 1;
}

/* "a.b.c.d:port" or "[v6]:port" into a socket address; 0 when it does not read. */
static int parse_address(const char* text, struct sockaddr_storage* addr, socklen_t* len) {
  const char* colon = strrchr(text, ':');
  if (!colon) return 0;
  int port = atoi(colon + 1);
  char host[64];
  size_t host_len = (size_t)(colon - text);
  if (host_len == 0 || host_len >= sizeof host) return 0;
  memset(addr, 0, sizeof *addr);
  if (text[0] == '[') {
    if (host_len < 2 || text[host_len - 1] != ']') return 0;
    memcpy(host, text + 1, host_len - 2);
    host[host_len - 2] = '\0';
    struct sockaddr_in6* a6 = (struct sockaddr_in6*)addr;
    a6->sin6_family = AF_INET6;
    a6->sin6_port = htons((unsigned short)port);
    *len = sizeof *a6;
    return inet_pton(AF_INET6, host, &a6->sin6_addr) == 1;
  }
  memcpy(host, text, host_len);
  host[host_len] = '\0';
  struct sockaddr_in* a4 = (struct sockaddr_in*)addr;
  a4->sin_family = AF_INET;
  a4->sin_port = htons((unsigned short)port);
  *len = sizeof *a4;
  return inet_pton(AF_INET, host, &a4->sin_addr) == 1;
}

int main(int argc, char** argv) {
  char socket_text[256];
  if (argc == 3 && strcmp(argv[1], "--socket") == 0) {
    snprintf(socket_text, sizeof socket_text, "%s", argv[2]);
  } else if (argc == 2) {
    if (!socket_from_control(argv[1], socket_text, sizeof socket_text)) {
      fprintf(stderr, "floor_client: no socket in %s\n", argv[1]);
      return 1;
    }
  } else {
    fprintf(stderr, "usage: floor_client CONTROL_FILE | --socket ADDRESS\n");
    return 2;
  }

  struct sockaddr_storage addr;
  socklen_t addr_len = 0;
  if (!parse_address(socket_text, &addr, &addr_len)) {
    fprintf(stderr, "floor_client: not an address: %s\n", socket_text);
    return 1;
  }
  int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail("socket");
  if (connect(fd, (struct sockaddr*)&addr, addr_len) != 0) return fail("connect");
  if (send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) != (ssize_t)(sizeof kRequest - 1))
    return fail("send");

  static char buffer[kChunk];
  size_t total = 0;
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("recv");
    if (n == 0) break;
    size_t take = (size_t)n;
    if (total + take > kMaxFrame) take = kMaxFrame - total;
    char* line_feed = memchr(buffer, '\n', take);
    if (line_feed) take = (size_t)(line_feed - buffer) + 1;
    for (size_t done = 0; done < take;) {
      ssize_t w = write(STDOUT_FILENO, buffer + done, take - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return fail("write");
      done += (size_t)w;
    }
    total += take;
    if (line_feed || total == kMaxFrame) break;
  }
  close(fd);
  return total > 0 ? 0 : 1;
}
