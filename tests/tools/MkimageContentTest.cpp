#include <gtest/gtest.h>

#include <string>

#include "mkimage/Content.h"

namespace ov::mkimage {
namespace {

TEST(MkimageContent, Sha256OfKnownTexts) {
  std::string abc = "abc";
  EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  std::string longer(1000, 'a');
  EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size()}),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(MkimageContent, Crc32OfKnownText) {
  std::string text = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0xCBF43926u);
}

}  // namespace
}  // namespace ov::mkimage
