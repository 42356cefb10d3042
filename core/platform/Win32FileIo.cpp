// Whole-file reads and safe replacement on Windows: UTF-16 names throughout (a folder or user
// name in Cyrillic works), the new bytes flushed to the disk before MoveFileExW puts them in
// place, and names that are no regular file (NUL, COM1, a pipe, a folder) refused.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "common/WideText.h"
#include "core/FileIo.h"

namespace ostrel {
namespace {

int errnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DIRECTORY: return EISDIR;
    default: return EIO;
  }
}

FileWriteResult failure(const char* step, DWORD code) {
  FileWriteResult r;
  r.errorNumber = errnoOf(code);
  r.errorText = std::string(step) + ": " + Win32ErrorText(code);
  return r;
}

FileWriteResult refusal(const char* step, int err, const char* text) {
  FileWriteResult r;
  r.errorNumber = err;
  r.errorText = std::string(step) + ": " + text;
  return r;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  bool close() {
    const bool closed = !ok() || CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE h_;
};

size_t lastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/"); }

// A name in the target's folder that no other writer uses at the same time.
std::wstring temporaryNameFor(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  const size_t cut = lastSeparator(target);
  const std::wstring folder = cut == std::wstring::npos ? L"" : target.substr(0, cut + 1);
  const std::wstring base = cut == std::wstring::npos ? target : target.substr(cut + 1);
  return folder + L"." + base + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1));
}

// What stands at a name now: nothing, a regular file, or something else (a folder, a device
// such as NUL or COM1, a pipe).
enum class Kind { Nothing, File, Folder, Other };

Kind kindOf(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Kind::Folder;
  // Devices and pipes have no attributes of a file, or pretend to: ask the opened object.
  Handle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.ok()) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Kind::Nothing : Kind::Other;
  }
  return GetFileType(h.get()) == FILE_TYPE_DISK ? Kind::File : Kind::Other;
}

bool writeAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr)) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

FileWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return failure("open", ERROR_FILE_NOT_FOUND);
  const std::wstring target = WideFromUtf8(path);
  switch (kindOf(target)) {
    case Kind::Folder: return refusal("open", EISDIR, "Is a directory");
    case Kind::Other: return refusal("open", EINVAL, "Not a regular file");
    case Kind::Nothing:
    case Kind::File: break;
  }
  std::wstring temp;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temp = temporaryNameFor(target);
    created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return failure("open", GetLastError());
  }
  Handle file(created);
  if (!file.ok()) return failure("open", ERROR_FILE_EXISTS);
  auto abandon = [&](const char* step, DWORD code) {
    file.close();
    DeleteFileW(temp.c_str());
    return failure(step, code);
  };
  if (!writeAll(file.get(), bytes)) return abandon("write", GetLastError());
  if (!FlushFileBuffers(file.get())) return abandon("flush", GetLastError());
  if (!file.close()) return abandon("close", GetLastError());
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return abandon("rename", GetLastError());
  FileWriteResult ok;
  ok.ok = true;
  return ok;
}

std::optional<BoundedRead> ReadRegularFile(const std::string& path, std::size_t maxBytes) {
  // Opened once, folders included, and then asked what it is.
  Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  BoundedRead result;
  // One byte past the bound tells whether the file goes on.
  const std::size_t want = maxBytes == SIZE_MAX ? maxBytes : maxBytes + 1;
  char buffer[65536];
  while (result.bytes.size() < want) {
    const DWORD room = static_cast<DWORD>(std::min(sizeof buffer, want - result.bytes.size()));
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, room, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    result.bytes.append(buffer, n);
  }
  if (result.bytes.size() > maxBytes) {
    result.bytes.resize(maxBytes);
    result.complete = false;
  }
  return result;
}

}  // namespace ostrel
