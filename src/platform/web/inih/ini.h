// The settings reader's INI parser in the browser build, where Debian's
// libinih cannot be linked: the same call, with the same rules as the
// desktop's library as Debian builds it (see ini_stream.cpp).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Returns nonzero on success, zero on error.
typedef int (*ini_handler)(void* user, const char* section, const char* name, const char* value);
// Reads the next line (as fgets does) into `str`; NULL at the end.
typedef char* (*ini_reader)(char* str, int num, void* stream);

// Parses lines from `reader`, calling `handler` for each name=value pair.
// Returns 0, or the number of the first line with an error.
int ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user);

#ifdef __cplusplus
}
#endif
