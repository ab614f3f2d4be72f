// Disk access for settings, logs and semaphore files; errors turn into false, never throws.
#include "settings/std_file_system.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace postvane {

namespace fs = std::filesystem;

namespace {

fs::path ToPath(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

bool WriteStream(const fs::path& path, const std::string& bytes, std::ios::openmode mode) {
  std::ofstream out(path, mode | std::ios::binary);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  const bool written = static_cast<bool>(out);
  out.close();
  return written && !out.fail();
}

// A name beside the target that no other writer picks: process-wide counter plus random bits.
fs::path TemporaryBeside(const fs::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
           static_cast<std::uint64_t>(now);
  }();
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::mt19937_64 mix(seed + counter.fetch_add(1));
    fs::path candidate = target;
    candidate += ".tmp-" + std::to_string(mix());
    std::error_code error;
    if (!fs::exists(fs::symlink_status(candidate, error))) return candidate;
  }
  return {};
}

// The platform refuses to write a read-only file; a rename would not, so ask first.
bool MayOverwrite(const fs::path& target, fs::perms permissions) {
  const fs::perms writeBits =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if ((permissions & writeBits) == fs::perms::none) return false;
  std::ofstream probe(target, std::ios::binary | std::ios::app);
  return static_cast<bool>(probe);
}

bool ReplaceWithTemporary(const std::string& path, const std::string& bytes) {
  const fs::path target = ToPath(path);
  std::error_code error;
  // Without owners to compare, a link may lead anywhere: never write through one.
  if (fs::is_symlink(fs::symlink_status(target, error))) return false;
  const fs::file_status old = fs::status(target, error);
  const bool exists = fs::exists(old);
  if (exists && !fs::is_regular_file(old)) return false;
  if (exists && !MayOverwrite(target, old.permissions())) return false;

  const fs::path temporary = TemporaryBeside(target);
  if (temporary.empty()) return false;
  bool done = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
      // Restrict before the content is written, so the password is never readable by others.
      fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write,
                      fs::perm_options::replace, error);
      if (!error) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        done = static_cast<bool>(out);
      }
      out.close();
      done = done && !out.fail();
    }
  }
  if (done) {
    fs::rename(temporary, target, error);
    done = !error;
  }
  if (!done) {
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace

bool StdFileSystem::ReadFile(const std::string& path, std::string& bytes) {
  try {
    const fs::path file = ToPath(path);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string content;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return false;
    bytes = std::move(content);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool StdFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  try {
    return ReplaceWithTemporary(path, bytes);
  } catch (const std::exception&) {
    return false;
  }
}

bool StdFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  try {
    return WriteStream(ToPath(path), bytes, std::ios::trunc);
  } catch (const std::exception&) {
    return false;
  }
}

bool StdFileSystem::AppendFile(const std::string& path, const std::string& bytes) {
  try {
    const fs::path file = ToPath(path);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    if (fs::is_symlink(status)) return false;
    const bool created = !fs::exists(status);
    if (!WriteStream(file, bytes, std::ios::app)) return false;
    if (created) {
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write,
                      fs::perm_options::replace, error);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool StdFileSystem::IsPlainFile(const std::string& path) {
  try {
    std::error_code error;
    return fs::is_regular_file(ToPath(path), error);
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<std::uintmax_t> StdFileSystem::FileSize(const std::string& path) {
  try {
    std::error_code error;
    const fs::path file = ToPath(path);
    if (!fs::is_regular_file(file, error)) return std::nullopt;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) return std::nullopt;
    return size;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool StdFileSystem::RenameFile(const std::string& from, const std::string& to) {
  try {
    std::error_code error;
    fs::rename(ToPath(from), ToPath(to), error);
    return !error;
  } catch (const std::exception&) {
    return false;
  }
}

std::unique_ptr<FileLock> StdFileSystem::LockSideFile(const std::string& /*path*/) {
  return std::make_unique<FileLock>();
}

void StdFileSystem::RemoveTemporaries(const std::string& path) {
  try {
    const fs::path target = ToPath(path);
    const std::string fileName = target.filename().string();
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
      if (!IsTemporaryName(it->path().filename().string(), fileName)) continue;
      std::error_code entryError;
      if (!fs::is_regular_file(it->symlink_status(entryError)) || entryError) continue;
      fs::remove(it->path(), entryError);
    }
  } catch (const std::exception&) {
  }
}

std::string TemporaryPrefix(const std::string& fileName) { return fileName + ".tmp-"; }

bool IsTemporaryName(const std::string& name, const std::string& fileName) {
  const std::string prefix = TemporaryPrefix(fileName);
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

}  // namespace postvane
