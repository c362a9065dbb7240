/* Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE). */
/* Counts the key derivations of a process. Preloaded (LD_PRELOAD), it stands
 * in for OpenSSL's PKCS5_PBKDF2_HMAC and PKCS5_PBKDF2_HMAC_SHA1, hands every
 * call on to OpenSSL, and for each call of more than KDF_COUNTER_MIN_ITERATIONS
 * iterations appends a line with the iteration count to the file named by the
 * environment variable PLINTH_KDF_COUNT_FILE (nothing when it is unset). The
 * page-HMAC key SQLCipher derives from a key with 2 iterations is not a key
 * derivation and is not counted; a call that OpenSSL makes from inside one of
 * the two (PKCS5_PBKDF2_HMAC_SHA1 calls PKCS5_PBKDF2_HMAC) is counted once.
 * The test support and the benchmark both build it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define KDF_COUNTER_MIN_ITERATIONS 100

typedef struct evp_md_st EVP_MD;
typedef int (*Pbkdf2)(const char*, int, const unsigned char*, int, int, const EVP_MD*, int,
                      unsigned char*);
typedef int (*Pbkdf2Sha1)(const char*, int, const unsigned char*, int, int, int, unsigned char*);

/* How deep the calls of this thread are inside the two functions. */
static __thread int depth;

/* Appends the line of one derivation of `iterations` to the count file. */
static void Note(int iterations) {
  const char* path = getenv("PLINTH_KDF_COUNT_FILE");
  if (depth > 0 || iterations <= KDF_COUNTER_MIN_ITERATIONS || path == NULL) return;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char line[32];
  const int length = snprintf(line, sizeof line, "%d\n", iterations);
  if (write(fd, line, (size_t)length) != length) {
    /* The count comes out short, and the test that reads it fails. */
  }
  close(fd);
}

/* Stores into the function pointer at `function` (of `size` bytes) the next
 * definition of `name` after this library's. (ISO C has no cast from the
 * object pointer dlsym answers to a function pointer; POSIX makes the bytes
 * the same.) */
static void Next(const char* name, void* function, size_t size) {
  void* next = dlsym(RTLD_NEXT, name);
  if (next == NULL) {
    fprintf(stderr, "kdf_counter: %s not found\n", name);
    abort();
  }
  memcpy(function, (const void*)&next, size);
}

int PKCS5_PBKDF2_HMAC(const char* pass, int pass_length, const unsigned char* salt, int salt_length,
                      int iterations, const EVP_MD* digest, int key_length, unsigned char* out) {
  static Pbkdf2 real = NULL;
  if (real == NULL) Next("PKCS5_PBKDF2_HMAC", (void*)&real, sizeof real);
  Note(iterations);
  ++depth;
  const int result =
      real(pass, pass_length, salt, salt_length, iterations, digest, key_length, out);
  --depth;
  return result;
}

int PKCS5_PBKDF2_HMAC_SHA1(const char* pass, int pass_length, const unsigned char* salt,
                           int salt_length, int iterations, int key_length, unsigned char* out) {
  static Pbkdf2Sha1 real = NULL;
  if (real == NULL) Next("PKCS5_PBKDF2_HMAC_SHA1", (void*)&real, sizeof real);
  Note(iterations);
  ++depth;
  const int result = real(pass, pass_length, salt, salt_length, iterations, key_length, out);
  --depth;
  return result;
}
