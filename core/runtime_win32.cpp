// The C++ run-time's failure paths, kept small for the plugin and the checker. The
// library's own pull in a symbol demangler and formatted printing, for messages
// that a game's process, with no console, never shows.
//
// These are libstdc++'s own reserved names: they win only because the linker sees
// them before the library's object (functexcept.o, vterminate.o) and so never takes
// that object. Checked with GCC 12 (Debian's mingw-w64 12-win32); the test
// plugin-link-map fails, naming the object, when a library version brings one back.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {

// The default for std::terminate: end the process, as the library's handler does
// after printing the exception's name to stderr.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

// The standard containers' and strings' checks. They are out of reach for the
// sizes made here, and the only handlers (in the process-attach notification) are
// blind to the type, so the exception the allocator throws serves for all.
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_logic_error(const char*) { throw std::bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw std::bad_alloc(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }

}  // namespace std
