// CreateFileW, ReplaceFileW, MoveFileExW and LockFileEx; errors turn into false.
#include "win32/win32_file_system.h"

#include <windows.h>
#include <sddl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "win32/wide_text.h"

// The Windows headers name a function ReplaceFile too; here it is the port's method.
#undef ReplaceFile

namespace postvane {
namespace {

constexpr wchar_t kTemporaryMark[] = L".tmp-";

// Larger files are not ours: settings, logs and semaphores are small.
constexpr LONGLONG kReadLimit = 64LL * 1024 * 1024;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle Open(const std::wstring& path, DWORD access, DWORD disposition,
                SECURITY_ATTRIBUTES* security = nullptr) {
  HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ, security, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// "Full access for the current user, nothing inherited": a protected DACL with one entry.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    wchar_t* sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
      LocalFree(sid);
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                           &descriptor_, nullptr);
    }
    CloseHandle(token);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
  }
  ~OwnerOnlySecurity() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  // Null when the user could not be found: then no file is made at all.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Held while the handle is open; closing the handle ends the lock.
class SideFileLock : public FileLock {
 public:
  explicit SideFileLock(FileHandle file) : file_(std::move(file)) {}
  ~SideFileLock() override {
    OVERLAPPED whole{};
    UnlockFileEx(file_.get(), 0, MAXDWORD, MAXDWORD, &whole);
  }

 private:
  FileHandle file_;
};

}  // namespace

bool Win32FileSystem::ReadFile(const std::string& path, std::string& bytes) {
  FileHandle file = Open(Widen(path), GENERIC_READ, OPEN_EXISTING);
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kReadLimit) return false;
  std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), content.data() + done, static_cast<DWORD>(content.size() - done),
                    &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  content.resize(done);
  bytes = std::move(content);
  return true;
}

bool Win32FileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring target = Widen(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A read-only or folder target is refused, as a plain write to it would be.
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  OwnerOnlySecurity security;
  if (security.Attributes() == nullptr) return false;

  std::wstring temporary;
  FileHandle file;
  for (int attempt = 0; attempt < 16 && !file; ++attempt) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    temporary = target + kTemporaryMark + std::to_wstring(GetCurrentProcessId()) +
                std::to_wstring(counter.QuadPart + attempt);
    file = Open(temporary, GENERIC_WRITE, CREATE_NEW, security.Attributes());
  }
  if (!file) return false;
  const bool written = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
  file.reset();
  bool swapped = false;
  if (written) {
    swapped = exists ? ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                     : false;
    if (!swapped) {
      swapped = MoveFileExW(temporary.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
  }
  if (!swapped) DeleteFileW(temporary.c_str());
  return swapped;
}

bool Win32FileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  FileHandle file = Open(Widen(path), GENERIC_WRITE, CREATE_ALWAYS);
  return file && WriteAll(file.get(), bytes);
}

bool Win32FileSystem::AppendFile(const std::string& path, const std::string& bytes) {
  // The receive log holds header blocks of new mail: a file made here is the user's alone.
  OwnerOnlySecurity security;
  if (security.Attributes() == nullptr) return false;
  FileHandle file = Open(Widen(path), FILE_APPEND_DATA, OPEN_ALWAYS, security.Attributes());
  return file && WriteAll(file.get(), bytes);
}

bool Win32FileSystem::IsPlainFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uintmax_t> Win32FileSystem::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (std::uintmax_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool Win32FileSystem::RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::unique_ptr<FileLock> Win32FileSystem::LockSideFile(const std::string& path) {
  OwnerOnlySecurity security;
  if (security.Attributes() == nullptr) return nullptr;
  HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, security.Attributes(),
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  FileHandle file(handle);
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(lockWaitMs_);
  // Saves hold the lock for milliseconds; polling keeps the wait bounded.
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole)) {
      return std::make_unique<SideFileLock>(std::move(file));
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) return nullptr;
    Sleep(2);
  }
}

void Win32FileSystem::RemoveTemporaries(const std::string& path) {
  const std::wstring target = Widen(path);
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((target + kTemporaryMark + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
      DeleteFileW((folder + found.cFileName).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace postvane
