#include "image_test_files.h"
#include "isp/ImageFileLoaders.h"
#include "isp/ImageFileOpen.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace orvane {
namespace {

using namespace image_test;

class BinaryReaderTest : public ::testing::Test {
protected:
  void ExpectEarlierImageKept(const ImageLoadResult &result, const std::string &error) {
    ExpectRefused(result, error, earlier, image);
  }

  TempDirectory dir;
  const ImageRecord earlier = EarlierImage();
  ImageRecord image = earlier;
};

TEST_F(BinaryReaderTest, FileOfExactlyTheBufferSizeLoadsWhole) {
  const auto bytes = RandomBytes(kImageBufferSize, 11);
  WriteFile(dir.File("full.bin"), bytes);
  const ImageLoadResult result = LoadBinaryImage(image, dir.File("full.bin"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, kImageBufferSize);
  EXPECT_EQ(image.ImageBuffer, bytes);
  EXPECT_EQ(result.checksum, Sum16(bytes, 0, bytes.size()));
}

TEST_F(BinaryReaderTest, ShortFileLeavesTheRestErased) {
  const auto bytes = RandomBytes(1000, 12);
  WriteFile(dir.File("short.bin"), bytes);
  const ImageLoadResult result = LoadBinaryImage(image, dir.File("short.bin"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 1000u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.ImageBuffer.begin()));
  EXPECT_TRUE(
      std::all_of(image.ImageBuffer.begin() + 1000, image.ImageBuffer.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(result.checksum, Sum16(bytes, 0, bytes.size()));
}

TEST_F(BinaryReaderTest, FileLongerThanTheBufferIsRefusedNotCut) {
  WriteFile(dir.File("long.bin"), RandomBytes(kImageBufferSize + 1, 13));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("long.bin")), "the file is longer than the 262144-byte image");
}

TEST_F(BinaryReaderTest, EmptyFileIsRefused) {
  WriteFile(dir.File("empty.bin"), std::string());
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("empty.bin")), "the file is empty");
}

TEST_F(BinaryReaderTest, MissingFileAndDirectoryAreRefused) {
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("missing.bin")), "the file does not exist");
  std::filesystem::create_directory(dir.path() / "folder.bin");
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("folder.bin")), "it is a directory, not a file");
  ExpectEarlierImageKept(LoadBinaryImage(image, ""), "no file is named");
}

#ifndef _WIN32
// A FIFO or a device would never end (or never start) the read: each is
// refused at once, by both readers, before anything opens it.
TEST_F(BinaryReaderTest, OnlyRegularFilesOfAReadableSizeAreRead) {
  const std::string notRegular = "it is not a regular file (a device, pipe or socket is never read)";
  ASSERT_EQ(mkfifo(dir.File("fifo.bin").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.bin");
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.hex");
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("fifo.bin")), notRegular);
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("zero.bin")), notRegular);
  ExpectEarlierImageKept(LoadHexImage(image, dir.File("zero.hex")), notRegular);

  // A link to a good file is read through.
  WriteFile(dir.File("real.bin"), std::vector<uint8_t>{1, 2, 3});
  std::filesystem::create_symlink(dir.path() / "real.bin", dir.path() / "link.bin");
  EXPECT_TRUE(LoadBinaryImage(image, dir.File("link.bin")).loaded);

  const ImageRecord loaded = image;
  WriteFile(dir.File("huge.hex"), std::string());
  std::filesystem::resize_file(dir.File("huge.hex"), kMaxImageFileBytes + 1);
  ExpectRefused(LoadHexImage(image, dir.File("huge.hex")), "the file is larger than 8388608 bytes", loaded, image);
}

// The name is looked up once: a FIFO swapped in for the file at any moment
// is refused on what the open returned, and no load waits for a writer.
// The swaps run in a child process with a time limit, so a load that did
// wait shows as a child that never ends.
TEST_F(BinaryReaderTest, AFifoSwappedInForTheFileNeverHangsTheLoad) {
  const std::string name = dir.File("fw.bin");
  WriteFile(dir.File("file.bin"), std::vector<uint8_t>{1, 2, 3});
  const pid_t child = ::fork();
  if (child == 0) {
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
      for (int round = 0; !stop; ++round) {
        const std::string fresh = dir.File("fresh" + std::to_string(round % 2));
        if (round % 2 == 0)
          std::filesystem::copy_file(dir.File("file.bin"), fresh, std::filesystem::copy_options::overwrite_existing);
        else if (::mkfifo(fresh.c_str(), 0600) != 0)
          continue;
        ::rename(fresh.c_str(), name.c_str());
      }
    });
    int fifos = 0, files = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < until) {
      ImageRecord target;
      const ImageLoadResult result = LoadBinaryImage(target, name);
      if (result.loaded)
        ++files;
      else if (result.error == "it is not a regular file (a device, pipe or socket is never read)")
        ++fifos;
    }
    stop = true;
    swapper.join();
    ::_exit(files > 0 && fifos > 0 ? 0 : 2);
  }
  int status = -1;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "a load waited on the FIFO";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "both a file and a FIFO were met";
}
#endif

// HEX text given under a binary name (fw.hex.bak) would be programmed as
// firmware character by character.
TEST_F(BinaryReaderTest, IntelHexTextUnderABinaryNameIsRefused) {
  const std::string text = "\r\n" + Record(0x00, 0x0000, {0x01, 0x02}) + kEndRecord;
  WriteFile(dir.File("fw.hex.bak"), text);
  ExpectEarlierImageKept(LoadImageFile(image, dir.File("fw.hex.bak")),
                         "the file holds Intel HEX text, not a binary image; give it a name ending in .hex");
  // A binary image that merely starts with a colon is still one.
  WriteFile(dir.File("colon.bin"), std::vector<uint8_t>{':', '1', '2', 0x00, 0x9A, 0x10});
  EXPECT_TRUE(LoadBinaryImage(image, dir.File("colon.bin")).loaded);
}

// The bytes of text as UTF-16, with or without a byte-order mark.
std::string Utf16(const std::string &text, bool littleEndian, bool marked) {
  std::string wide = marked ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
  for (const char c : text) {
    wide += littleEndian ? c : '\0';
    wide += littleEndian ? '\0' : c;
  }
  return wide;
}

// Whatever comes before the first record and however the text is
// encoded, HEX text under a binary name is not programmed as firmware.
TEST_F(BinaryReaderTest, IntelHexTextIsFoundBehindMarksBlanksCommentsAndInUtf16) {
  const std::string first = Record(0x00, 0x0000, {0x01, 0x02});
  const std::string records = first + kEndRecord;
  const std::string hex = "the file holds Intel HEX text, not a binary image; give it a name ending in .hex";
  const std::string wideHex = "the file holds Intel HEX text in UTF-16, not a binary image; save it as plain text "
                              "with a name ending in .hex";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xEF\xBB\xBF" + records, hex},
      // One record behind the mark, with no line end after it.
      {"\xEF\xBB\xBF" + first.substr(0, first.size() - 1), hex},
      {first.substr(0, first.size() - 1) + "  \t\r\n" + kEndRecord, hex},
      {"; firmware 2.1 for the Orvane-R62\n\n" + records, hex},
      {"# made by the build server\r\n  \r\n\t" + records, hex},
      {"\xEF\xBB\xBF// Prüfstand\n" + records, hex},
      {Utf16(records, true, true), wideHex},
      {Utf16(records, false, true), wideHex},
      {Utf16("; comment\r\n" + records, true, false), wideHex},
      {Utf16(records, false, false), wideHex},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    WriteFile(dir.File("fw.bin"), cases[i].first);
    ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("fw.bin")), cases[i].second);
  }
}

// A file that is all printable text with line ends is no firmware either.
TEST_F(BinaryReaderTest, TextThatIsNoHexIsNoImageEither) {
  WriteFile(dir.File("notes.bin"), std::string("Release notes\nFixes the volume step.\n"));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("notes.bin")), "the file holds text, not a binary image");
  WriteFile(dir.File("notes.bin"), std::string("Änderungen\r\n– leiser\r\n"));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("notes.bin")), "the file holds text, not a binary image");
  WriteFile(dir.File("wide.bin"), Utf16("Release notes\r\n", true, true));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("wide.bin")),
                         "the file holds UTF-16 text, not a binary image");

  // One byte that no text has, or no line end, and it may be firmware.
  for (const std::string &bytes : {std::string("Release notes\n\x01"), std::string("VXUSB_Table01"),
                                   std::string("\xC3\x28 text\n"), std::string("A\0B\0\x01\0\n\0", 8)}) {
    WriteFile(dir.File("fw.bin"), bytes);
    EXPECT_TRUE(LoadBinaryImage(image, dir.File("fw.bin")).loaded) << bytes;
  }
}

TEST_F(BinaryReaderTest, AnImageOfOnlyErasedBytesIsRefusedByBothReaders) {
  const std::string reason = "the image holds only 0xFF bytes, which is an erased flash the device cannot start from";
  WriteFile(dir.File("erased.bin"), std::vector<uint8_t>(0x8000, 0xFF));
  ExpectEarlierImageKept(LoadBinaryImage(image, dir.File("erased.bin")), reason);
  WriteFile(dir.File("erased.hex"), Record(0x00, 0x0100, {0xFF, 0xFF}) + kEndRecord);
  ExpectEarlierImageKept(LoadHexImage(image, dir.File("erased.hex")), reason);
  // One programmed byte makes it an image.
  WriteFile(dir.File("one.hex"), Record(0x00, 0x0100, {0xFF, 0xFE}) + kEndRecord);
  EXPECT_TRUE(LoadHexImage(image, dir.File("one.hex")).loaded);
}

TEST_F(BinaryReaderTest, Utf8NameOpens) {
  const std::string name = dir.File("Prüfung 固件 ü.bin");
  WriteFile(name, std::vector<uint8_t>{1, 2, 3});
  const ImageLoadResult result = LoadBinaryImage(image, name);
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 3u);
  EXPECT_EQ(result.checksum, 6);
}

TEST_F(BinaryReaderTest, KindOfTheNameChoosesTheReader) {
  WriteFile(dir.File("image.h00"), Record(0x00, 0x0004, {0xAB}) + kEndRecord);
  ImageLoadResult result = LoadImageFile(image, dir.File("image.h00"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 5u);
  EXPECT_EQ(image.ImageBuffer[4], 0xAB);

  // An upper-case binary name is read as binary.
  WriteFile(dir.File("IMAGE.BIN"), std::vector<uint8_t>{0x12, 0x34});
  result = LoadImageFile(image, dir.File("IMAGE.BIN"));
  ASSERT_TRUE(result.loaded) << result.error;
  EXPECT_EQ(image.ImageLength, 2u);
  EXPECT_EQ(image.ImageBuffer[0], 0x12);

  const ImageRecord before = image;
  WriteFile(dir.File("image.txt"), std::vector<uint8_t>{1});
  ExpectRefused(LoadImageFile(image, dir.File("image.txt")),
                "the name does not end in a binary (.bin) or HEX (.hex) extension", before, image);
}

} // namespace
} // namespace orvane
