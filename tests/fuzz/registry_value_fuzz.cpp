// Fuzz target for terminateRegistryString: a registry value of any length and any bytes, with a
// claimed size up to and past the buffer's capacity.
//
// Input: two bytes of capacity (0 to 2047), two bytes of claimed size (0 to 4095, so sizes past
// the capacity come up often), then the value's bytes, repeated to fill the buffer. The buffer
// is exactly `capacity` bytes on the heap, so any access past it is caught. Checked: on success
// the buffer holds a zero within its capacity, the string up to it is the value's bytes up to
// their first zero, and no byte but the one at the claimed size changed; on failure nothing
// changed; success happens exactly when a plain reading says the value fits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "shell/registry_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t capacity = (data[0] | data[1] << 8) % 2048;
  const size_t claimed = (data[2] | data[3] << 8) % 4096;
  const uint8_t* bytes = data + 4;
  const size_t byteCount = size - 4;

  std::vector<char> before(capacity);
  for (size_t i = 0; i < capacity; ++i) {
    before[i] = byteCount == 0 ? 'x' : static_cast<char>(bytes[i % byteCount]);
  }
  std::unique_ptr<char[]> buffer(new char[capacity]);
  if (capacity > 0) std::memcpy(buffer.get(), before.data(), capacity);

  const bool usable = terminateRegistryString(buffer.get(), capacity, claimed);

  // The plain reading: the value fits when it leaves room for a terminator, or brings its own
  // as its last byte.
  const bool fits =
      capacity > 0 && claimed <= capacity && (claimed < capacity || before[claimed - 1] == '\0');
  if (usable != fits) std::abort();
  if (!usable) {
    if (capacity > 0 && std::memcmp(buffer.get(), before.data(), capacity) != 0) std::abort();
    return 0;
  }
  const void* zero = std::memchr(buffer.get(), '\0', capacity);
  if (zero == nullptr) std::abort();
  const std::string value(before.data(), claimed);
  const std::string expected(value.c_str());
  if (std::string(buffer.get()) != expected) std::abort();
  for (size_t i = 0; i < capacity; ++i) {
    if (i != claimed && buffer[i] != before[i]) std::abort();
  }
  return 0;
}
