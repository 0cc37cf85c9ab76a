// The driving page's module writes to no file. The C++ runtime can reach the
// C library's standard error only on a fatal error (its abort message, just
// before it traps), and that would make the module import the system
// interface's file calls, which a browser page does not have. Here they are
// defined instead, and refuse: there is no file to write to. The module then
// imports nothing but the page's own functions.
#include <wasi/api.h>

extern "C" {

__wasi_errno_t __wasi_fd_write(__wasi_fd_t, const __wasi_ciovec_t*, size_t, __wasi_size_t*) {
  return __WASI_ERRNO_BADF;
}

__wasi_errno_t __wasi_fd_seek(__wasi_fd_t, __wasi_filedelta_t, __wasi_whence_t,
                              __wasi_filesize_t*) {
  return __WASI_ERRNO_BADF;
}

__wasi_errno_t __wasi_fd_close(__wasi_fd_t) { return __WASI_ERRNO_BADF; }

}  // extern "C"
