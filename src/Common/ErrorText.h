// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The texts that messages give for an error of the system and of the file
// system library, each made in one place so that every message of a kind
// reads the same. SQLite's errors format themselves (SqliteError,
// Business/SqliteConnection.h).
#ifndef PLINTH_COMMON_ERRORTEXT_H_
#define PLINTH_COMMON_ERRORTEXT_H_

#include <boost/system/error_code.hpp>
#include <string>

namespace plinth {

// An error number of the C library (errno, or one that a call returns in its
// place, as fopen_s does), in the two shapes messages give it: its message,
// "No such file or directory", and the number, "errno_t:2", which the lines of
// the file reader (CFileBak) give.
std::string ErrnoMessage(int number);
std::string ErrnoNumber(int number);

// The error of a failed file system call, as the log gives it:
// "errinfo:<the error's message>".
std::string FileSystemError(const boost::system::error_code& ec);

}  // namespace plinth

#endif  // PLINTH_COMMON_ERRORTEXT_H_
