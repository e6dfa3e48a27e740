#include <gtest/gtest.h>

#include <cstdint>

#include "VerifierUnit.h"

TEST(ReadBuffer, StartsOnAPageBoundary) {
  // A misaligned buffer costs about 15% of the read speed from the page
  // cache; small and odd sizes must be aligned too.
  for (const std::size_t size : {std::size_t{4096}, std::size_t{5000}, std::size_t{1} << 20}) {
    const TReadBuffer buffer = AllocateReadBuffer(size);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.get()) % 4096, 0u) << size;
    buffer[size - 1] = std::byte{1};  // the whole block is ours
  }
}
