// The C++ run-time's failure paths, kept small for the plugin and the checker. The
// library's own pull in a symbol demangler and formatted printing, for messages
// that a game's process, with no console, never shows.
//
// Each function here stands in for one of the library's, by the linker's --wrap
// (cmake/lean.cmake names them): every call of the library's name, in our code
// and in the library's, goes to __wrap_ and that name. The library's object
// (functexcept.o, vterminate.o) is then never taken; should something else from
// it be used, it comes in beside these with no clash, and the test
// plugin-link-map fails, naming it. Checked with GCC 12 (Debian's mingw-w64
// 12-win32); a library that routes its checks through other names shows there too.
#include <cstdlib>
#include <new>

extern "C" {

// The default for std::terminate: end the process, as the library's handler does
// after printing the exception's name to stderr. (The checker, a console tool,
// sets a handler that prints it.)
void __wrap__ZN9__gnu_cxx27__verbose_terminate_handlerEv() { std::abort(); }

// The standard containers' and strings' checks. They are out of reach for the
// sizes made here, and the only handlers (in the process-attach notification) are
// blind to the type, so the exception the allocator throws serves for all.
void __wrap__ZSt20__throw_length_errorPKc(const char*) { throw std::bad_alloc(); }
void __wrap__ZSt19__throw_logic_errorPKc(const char*) { throw std::bad_alloc(); }
void __wrap__ZSt24__throw_out_of_range_fmtPKcz(const char*, ...) { throw std::bad_alloc(); }
void __wrap__ZSt17__throw_bad_allocv() { throw std::bad_alloc(); }
void __wrap__ZSt28__throw_bad_array_new_lengthv() { throw std::bad_alloc(); }

}
