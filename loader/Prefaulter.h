#pragma once

#include <cstddef>

namespace lumora::loader
{

// A photo decoded into a fresh memfd takes a page fault for every 4 KB the
// decoder writes, and a memfd page costs more to bring in than a heap page:
// a 12-megapixel photo pays for twelve thousand of them. This thread brings
// the pages in ahead of the decoder, in blocks small enough to stay in the
// cache, on a core that is otherwise waiting. It never changes a byte.
class Prefaulter
{
public:
    // Starts the thread; call before the sandbox and the address-space cap.
    static void start();
    // Whether the next buffers may be followed: only while the program has a
    // processor to spare for it.
    static void allow(bool allowed);
    // Begins on a new pixel buffer, leaving any earlier one.
    static void follow(void *address, size_t length);
    // Returns once the thread no longer touches this buffer (before it is
    // unmapped, so a later mapping at the same address is never touched).
    static void leave(void *address);
};

} // namespace lumora::loader
