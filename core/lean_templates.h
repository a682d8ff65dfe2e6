// Included ahead of every source of the plugin. libstdc++ declares its string and
// stream templates as instantiated in the library, so one use of std::string links
// the whole of the library's instantiation, and with it std::wstring's. Switched
// off, each source instantiates only the members it uses.
//
// _GLIBCXX_EXTERN_TEMPLATE is an internal macro of libstdc++'s bits/c++config.h,
// checked with GCC 12; the test plugin-link-map fails, naming string-inst.o, when a
// library spells it otherwise and the whole instantiation comes back.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
