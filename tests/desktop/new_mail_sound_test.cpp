// The new-mail sound that a new installation plays: present beside the program, and a short,
// clean chime that every WAV player can read.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "desktop/gui_test_main.h"
#include "settings/program_paths.h"

namespace postvane {
namespace {

struct Wav {
  std::uint16_t format = 0;
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  std::uint16_t bits = 0;
  std::vector<std::int16_t> samples;
};

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// Walks the RIFF chunks; a malformed file leaves the fields at zero.
Wav ReadWav(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Wav wav;
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return wav;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const std::size_t size = Le(b, at + 4, 4);
    const std::size_t body = at + 8;
    if (body + size > b.size()) break;
    if (id == "fmt " && size >= 16) {
      wav.format = static_cast<std::uint16_t>(Le(b, body, 2));
      wav.channels = static_cast<std::uint16_t>(Le(b, body + 2, 2));
      wav.rate = Le(b, body + 4, 4);
      wav.bits = static_cast<std::uint16_t>(Le(b, body + 14, 2));
    } else if (id == "data") {
      for (std::size_t i = 0; i + 1 < size; i += 2) {
        wav.samples.push_back(static_cast<std::int16_t>(Le(b, body + i, 2)));
      }
    }
    at = body + size + (size & 1);
  }
  return wav;
}

std::string DefaultSoundFile() {
  const std::filesystem::path program(POSTVANE_PROGRAM_FILE);
  return MakeProgramPaths(program.parent_path().string()).DefaultSoundFile;
}

TEST(NewMailSoundTest, DefaultSoundFileExistsBesideTheProgram) {
  EXPECT_TRUE(std::filesystem::is_regular_file(DefaultSoundFile())) << DefaultSoundFile();
}

TEST(NewMailSoundTest, IsPlainPcmThatEveryPlayerReads) {
  const Wav wav = ReadWav(DefaultSoundFile());
  EXPECT_EQ(wav.format, 1);  // PCM
  EXPECT_EQ(wav.channels, 1);
  EXPECT_EQ(wav.bits, 16);
  EXPECT_GE(wav.rate, 8000u);
  EXPECT_LE(wav.rate, 48000u);
}

TEST(NewMailSoundTest, IsAShortChimeThatNeitherClipsNorClicks) {
  const Wav wav = ReadWav(DefaultSoundFile());
  ASSERT_GT(wav.rate, 0u);
  ASSERT_FALSE(wav.samples.empty());
  const double seconds = static_cast<double>(wav.samples.size()) / wav.rate;
  EXPECT_GT(seconds, 0.3);
  EXPECT_LT(seconds, 3.0);

  int peak = 0;
  for (const std::int16_t s : wav.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 32767 / 5) << "too quiet to be heard";
  EXPECT_LT(peak, 32767 * 9 / 10) << "at or near full scale: clipped or startling";

  // A jump from or to silence at either end is heard as a click.
  const int kEdge = 32767 / 100;
  EXPECT_LT(std::abs(static_cast<int>(wav.samples.front())), kEdge);
  EXPECT_LT(std::abs(static_cast<int>(wav.samples.back())), kEdge);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
