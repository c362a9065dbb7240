// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// What the tool uses of the product's safe-functions library.
#ifndef PLINTH_LIB_SAFEFUNC_SAFEFUNC_H_
#define PLINTH_LIB_SAFEFUNC_SAFEFUNC_H_

#include <cstddef>

// Sets `count` bytes of `dest` (of `dest_size` bytes) to `value`. Returns 0 on
// success; a null `dest` or `count` above `dest_size` is refused with a
// non-zero code and nothing written.
int ORL_Memset_s(void* dest, std::size_t dest_size, int value, std::size_t count);

// Where callers store each result of ORL_Memset_s.
extern int __orl_safec_errno_t;

// Reports a non-zero result `code` of the safe call `call` made at
// `file`:`line` in `function`, through the log.
void __orl_safec_error_handle(const char* file, int line, const char* function, const char* call,
                              int code);

#endif  // PLINTH_LIB_SAFEFUNC_SAFEFUNC_H_
