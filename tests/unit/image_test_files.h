#pragma once

// Files on disk for the image file tests: a fresh directory per test,
// Intel HEX records built by hand, and HEX files written by srec_cat.

#include "isp/ImageFileLoaders.h"
#include "isp/ImageFileOpen.h"
#include "isp/ImageRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace orvane::image_test {

class TempDirectory {
public:
  TempDirectory() {
    // create_directory fails on a name already taken, so no two tests
    // share a directory (mkdtemp is not on Windows).
    std::random_device seed;
    std::mt19937_64 generator(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto candidate =
          std::filesystem::temp_directory_path() / ("orvane_image_" + std::to_string(generator() % 1000000000));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate;
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary directory");
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory &) = delete;
  TempDirectory &operator=(const TempDirectory &) = delete;

  const std::filesystem::path &path() const { return path_; }
  // UTF-8 text of the path of name inside the directory.
  std::string File(const std::string &name) const { return Utf8FromPath(path_ / PathFromUtf8(name)); }

private:
  std::filesystem::path path_;
};

// UTF-8 text of the path of name inside folder, with the platform's separator.
inline std::string Join(const std::string &folder, const std::string &name) {
  return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
}

inline void WriteFile(const std::string &path, const std::string &content) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

inline void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(count);
  for (auto &b : bytes)
    b = static_cast<uint8_t>(generator());
  return bytes;
}

inline uint16_t Sum16(const std::vector<uint8_t> &bytes, size_t from, size_t to) {
  uint32_t sum = 0;
  for (size_t i = from; i < to; ++i)
    sum += bytes[i];
  return static_cast<uint16_t>(sum);
}

// One Intel HEX record line with its checksum.
inline std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t> &data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address & 0xFF), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : bytes)
    sum = static_cast<uint8_t>(sum + b);
  bytes.push_back(static_cast<uint8_t>(0x100 - sum));
  std::string line = ":";
  for (uint8_t b : bytes) {
    line += kDigits[b >> 4];
    line += kDigits[b & 0xF];
  }
  return line + "\n";
}

inline const std::string kEndRecord = ":00000001FF\n";

// srec_cat is a Linux program: the cross-checks against it run there only.
#ifdef _WIN32
#define ORVANE_NEEDS_SREC_CAT() GTEST_SKIP() << "srec_cat runs on Linux only"
#else
#define ORVANE_NEEDS_SREC_CAT() static_cast<void>(0)
#endif

// Writes bytes to a binary file and converts it with srec_cat; extra holds
// srec_cat's input and output options, e.g. "-offset 0x100" before -o.
inline void SrecCat(const std::vector<uint8_t> &bytes, const std::string &hexPath, const std::string &inputOptions,
                    const std::string &outputOptions) {
  const std::string binPath = hexPath + ".src.bin";
  WriteFile(binPath, bytes);
  const std::string command =
      "srec_cat '" + binPath + "' -binary " + inputOptions + " -o '" + hexPath + "' -intel " + outputOptions + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// An image record that already holds a recognisable earlier image.
inline ImageRecord EarlierImage() {
  ImageRecord image;
  image.ImageBuffer = RandomBytes(kImageBufferSize, 99);
  image.ImageLength = 0x1234;
  return image;
}

inline void ExpectImageKept(const ImageRecord &before, const ImageRecord &after) {
  EXPECT_EQ(after.ImageBuffer, before.ImageBuffer);
  EXPECT_EQ(after.ImageLength, before.ImageLength);
}

// A refusal with the reason given that left the image as it was before.
inline void ExpectRefused(const ImageLoadResult &result, const std::string &error, const ImageRecord &before,
                          const ImageRecord &after) {
  EXPECT_FALSE(result.loaded);
  EXPECT_EQ(result.error, error);
  ExpectImageKept(before, after);
}

} // namespace orvane::image_test
