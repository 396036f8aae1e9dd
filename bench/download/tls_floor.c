// The least an OpenSSL client does to fetch one body over https into a file: connect, a
// handshake without verification, one GET, then SSL_read into a 64 KiB buffer and write it
// out. No proxy, no size rules, no progress. Its time against curl's is the floor for any
// client that decrypts in user space on this machine.
//
//   tls_floor PORT PATH FILE
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: tls_floor PORT PATH FILE\n");
        return 2;
    }
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    // The suite the updater offers first.
    SSL_CTX_set_ciphersuites(ctx, "TLS_AES_128_GCM_SHA256");
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_port = htons((unsigned short)atoi(argv[1]));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (struct sockaddr*)&a, sizeof a) != 0) return perror("connect"), 1;
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1) return ERR_print_errors_fp(stderr), 1;
    char req[1024];
    snprintf(req, sizeof req, "GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", argv[2]);
    if (SSL_write(ssl, req, (int)strlen(req)) <= 0) return 1;
    const int out = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return perror("open"), 1;
    enum { kBuffer = 65536 };
    static char buf[kBuffer];
    int inBody = 0;
    for (;;) {
        int n = SSL_read(ssl, buf, kBuffer);
        if (n <= 0) break;
        const char* p = buf;
        if (!inBody) {
            const char* end = memmem(buf, (size_t)n, "\r\n\r\n", 4);
            if (!end) return fprintf(stderr, "tls_floor: the head is not in the first record\n"), 1;
            p = end + 4;
            n -= (int)(p - buf);
            inBody = 1;
        }
        if (write(out, p, (size_t)n) != n) return perror("write"), 1;
    }
    return close(out) != 0 || !inBody;
}
