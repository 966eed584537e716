#pragma once
// A C library the program calls rarely, loaded the first time one of its
// functions is called instead of at every start (opening, mapping and
// relocating a library costs the start about a millisecond). The program
// defines each function it calls, with the library's own declaration, as a
// call through to the library's function, looked up once:
//
//     int foo_open(const char *name) KVR_LAZY_CALL(fooLibrary, foo_open, -1, name)
//
// where fooLibrary() returns the library's handle (LazyLibrary::Open) and -1
// is the answer without the library, chosen so that the caller sees a
// failure it already handles. KVR_LAZY_CALL0 is for a function without
// arguments, KVR_LAZY_CALL_VOID for one without a result.
#include <dlfcn.h>

namespace LazyLibrary {

// The handle of the library (a file name the loader looks up, with its
// major version: "libfoo.so.1"), or null when it cannot be loaded.
inline void *Open(const char *soname)
{
    return dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
}

template <typename Function>
Function Resolve(void *handle, const char *name)
{
    return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

} // namespace LazyLibrary

// The library's function of that name, looked up the first time.
#define KVR_LAZY_REAL(library, name)                                                                       \
    static const auto real = LazyLibrary::Resolve<decltype(&::name)>(library(), #name)

#define KVR_LAZY_CALL(library, name, fallback, ...)                                                       \
    {                                                                                                      \
        KVR_LAZY_REAL(library, name);                                                                      \
        return real ? real(__VA_ARGS__) : fallback;                                                        \
    }
#define KVR_LAZY_CALL0(library, name, fallback)                                                           \
    {                                                                                                      \
        KVR_LAZY_REAL(library, name);                                                                      \
        return real ? real() : fallback;                                                                   \
    }
#define KVR_LAZY_CALL_VOID(library, name, ...)                                                            \
    {                                                                                                      \
        KVR_LAZY_REAL(library, name);                                                                      \
        if (real)                                                                                          \
            real(__VA_ARGS__);                                                                             \
    }
