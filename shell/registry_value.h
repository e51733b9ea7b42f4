// Turning the raw bytes of a registry value into a terminated string.
#pragma once

#include <cstddef>

// `buffer` holds the first `size` bytes of a registry value as the registry returned them, in
// a buffer of `capacity` bytes. The value's type is not looked at: a string may or may not
// carry its terminating zero, and any other type is taken as bytes too.
//
// Returns true when the buffer now holds a terminated string: the value's last byte is a zero
// (nothing is written), or there is room for a terminator at `size`, which is then written (a
// `size` of 0 gives the empty string). A zero inside the value ends the string early, as it
// would for any reader of it. Returns false, with the buffer unchanged, when there is no room:
// `capacity` is 0, `size` is larger than `capacity`, or the value fills the whole buffer and
// its last byte is not a zero.
bool terminateRegistryString(char* buffer, size_t capacity, size_t size);
